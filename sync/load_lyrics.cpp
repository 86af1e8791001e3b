#include "platform/platform.h"
#include "ui/lyrics_dlg.h"

// Turns the song path into a sorted table of timed lines. Whatever the result, the tick
// timer runs again when this returns: the tick stopped it before the call.
bool CLyricsDlg::LoadLyrics(const char* songPath) {
    m_lyricsFile.Close();
    const char separator = platform::PathSeparator();
    RemoveTrailingSeparator(m_lyricsDir, separator);  // the shortened value is what is saved

    char path[kLyricsPathSize];
    const bool loaded = BuildLyricsPath(m_lyricsDir, songPath, separator, path, sizeof path) &&
                        LoadLyricsFile(path, m_lyricsFile, m_table, &m_entryCount);
    SetTimer(kTickTimerId, kTickPeriodMs);
    return loaded;
}
