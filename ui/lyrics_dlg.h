// The main window: a one-line strip showing the current lyric line, with an Options
// button that turns the strip into a field for the lyrics directory.
#pragma once

#include <string>

#include "platform/dialog.h"
#include "player/player_info.h"
#include "res/resource.h"
#include "sync/lyrics_file.h"

constexpr unsigned kTickTimerId = 1;
constexpr unsigned kTickPeriodMs = 300;
constexpr int kDirectorySelectionEnd = 100;

class CLyricsDlg : public CDialog {
public:
    explicit CLyricsDlg(CDialog* parent = nullptr);
    ~CLyricsDlg() override;  // closes the lyrics file, saves the lyrics directory

    // The heart: loading a song's lyrics and the 300 ms tick.
    bool LoadLyrics(const char* songPath);
    void OnTimer(unsigned timerId) override;

    bool OnInitDialog() override;
    void OnCommand(int id, int notifyCode) override;  // the message map
    void OnOptions();
    void OnSetFocusLyricEdit();
    void OnSysCommand(unsigned command, long param) override;
    void OnPaint() override;
    IconHandle OnQueryDragIcon() override;

    // The window's state; public like the dialog members a class wizard writes, so the
    // tools and tests can look at it.
    char m_lyricsDir[kLyricsDirSize] = {};
    TextModeFile m_lyricsFile;
    CEdit m_lyricEdit;
    CButton m_optionsButton;
    std::string m_displayText;
    int m_directoryMode = 0;
    int m_entryCount = 0;
    LyricTable m_table = {};
    CPlayerInfo m_player;
    IconHandle m_hIcon = nullptr;
    // The window saves the lyrics directory when it goes; a program that only follows the
    // player (and may have been given another directory) clears this.
    bool m_saveLyricsDirectory = true;

protected:
    void DoDataExchange(CDataExchange* dx) override;
};

// Where a minimised window draws its icon: centred in the client area.
struct IconPosition {
    int x;
    int y;
};
IconPosition CenteredIconPosition(int clientWidth, int clientHeight, int iconWidth, int iconHeight);

// The tick's memory of the last song loaded and the line shown. Shared by all ticks for
// the whole run; tests start each case from the initial state with this.
void ResetTickState();
// The song whose lyrics the table holds: the path of the last successful load, "" before
// the first. A tick whose song path differs from it has not found that song's lyrics.
const char* TickSongPath();
