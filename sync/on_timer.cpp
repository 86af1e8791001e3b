#include <cstring>

#include "ui/lyrics_dlg.h"

namespace {
// The song whose lyrics the table holds (changed only by a successful load) and the slot
// whose text is shown.
char g_lastSongPath[kSongPathSize] = "";
int g_currentLine = 0;
}  // namespace

void ResetTickState() {
    g_lastSongPath[0] = '\0';
    g_currentLine = 0;
}

const char* TickSongPath() {
    return g_lastSongPath;
}

void CLyricsDlg::OnTimer(unsigned /*timerId*/) {
    char songPath[kSongPathSize];
    // A block that could not be opened reads as an empty path at position 0.
    if (!m_player.GetSongPath(songPath, sizeof songPath)) songPath[0] = '\0';

    if (std::strcmp(songPath, g_lastSongPath) != 0) {
        KillTimer(kTickTimerId);
        if (LoadLyrics(songPath)) {
            g_currentLine = 0;
            std::memcpy(g_lastSongPath, songPath, sizeof g_lastSongPath);  // same-size buffers
        } else {
            m_displayText = STROFIX_NO_LYRICS_TEXT;
            UpdateData(false);
            g_currentLine = 0;
        }
        return;
    }

    std::uint32_t position = 0;
    if (!m_player.GetPosition(&position)) position = 0;
    const std::uint32_t seconds = position / 1000;
    for (int i = 0; i < m_entryCount; ++i) {
        if (m_table[i].seconds == seconds) {
            g_currentLine = i;
            break;
        }
    }
    // A line stays up until another line's second comes. A file without tags shows an
    // empty line, never a text an earlier song left in the table.
    m_displayText = m_entryCount > 0 ? m_table[g_currentLine].text : "";
    UpdateData(false);
}
