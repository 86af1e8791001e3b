#include "ui/lyrics_dlg.h"

#include "app/about_dlg.h"
#include "ui/lyrics_dir.h"

CLyricsDlg::CLyricsDlg(CDialog* parent) : CDialog(IDD_MAIN_DIALOG, parent) {
    m_hIcon = Backend().LoadIcon(IDR_MAINFRAME);
}

CLyricsDlg::~CLyricsDlg() {
    m_lyricsFile.Close();
    if (m_saveLyricsDirectory) WriteLyricsDirectory(m_lyricsDir);
}

void CLyricsDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_LYRIC_EDIT, m_lyricEdit);
    DDX_Control(dx, IDC_OPTIONS, m_optionsButton);
    DDX_Text(dx, IDC_LYRIC_EDIT, m_displayText);
    DDV_MaxChars(dx, m_displayText, LYRIC_EDIT_MAX_CHARS);
    DDX_Check(dx, IDC_OPTIONS, m_directoryMode);
}

bool CLyricsDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    const std::string about = Backend().LoadString(IDS_ABOUTBOX);
    if (!about.empty()) Backend().AppendSystemMenuItem(IDM_ABOUTBOX, about);

    Backend().SetIcon(m_hIcon, true);
    Backend().SetIcon(m_hIcon, false);

    m_player.OpenBlock();
    ReadLyricsDirectory(m_lyricsDir, sizeof m_lyricsDir);
    SetTimer(kTickTimerId, kTickPeriodMs);
    return true;  // the framework gives the focus to the lyric display
}

void CLyricsDlg::OnCommand(int id, int notifyCode) {
    if (id == IDC_OPTIONS && notifyCode == kBnClicked) {
        OnOptions();
    } else if (id == IDC_LYRIC_EDIT && notifyCode == kEnSetFocus) {
        OnSetFocusLyricEdit();
    } else {
        CDialog::OnCommand(id, notifyCode);
    }
}

// Runs after the button has toggled its own pressed state.
void CLyricsDlg::OnOptions() {
    if (m_directoryMode == 0) {
        KillTimer(kTickTimerId);
        m_directoryMode = 1;
        m_lyricEdit.SetReadOnly(false);
        m_displayText = m_lyricsDir;
        SetWindowText(STROFIX_DIR_MODE_TITLE);
        m_lyricEdit.SetFocus();  // the focus handler keeps it here and shows the directory
        m_lyricEdit.SetSel(0, kDirectorySelectionEnd);
        UpdateData(false);
        return;
    }

    m_directoryMode = 0;
    UpdateData(true);
    if (AcceptLyricsDirectory(m_displayText, m_lyricsDir, sizeof m_lyricsDir)) {
        m_lyricEdit.SetReadOnly(true);
        m_displayText.clear();
        SetWindowText(STROFIX_APP_TITLE);
        UpdateData(false);
        SetTimer(kTickTimerId, kTickPeriodMs);
    } else {
        MessageBox(STROFIX_INVALID_PATH_TEXT, STROFIX_ERROR_CAPTION, kMbOk);
        m_directoryMode = 1;
        m_lyricEdit.SetFocus();
        m_lyricEdit.SetSel(0, kDirectorySelectionEnd);
        UpdateData(false);
    }
}

// In display mode the field never keeps the focus: the Options button takes it.
void CLyricsDlg::OnSetFocusLyricEdit() {
    if (m_directoryMode == 0) m_optionsButton.SetFocus();
    UpdateData(false);
}

void CLyricsDlg::OnSysCommand(unsigned command, long param) {
    if ((command & kScMask) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
    } else {
        CDialog::OnSysCommand(command, param);
    }
}

void CLyricsDlg::OnPaint() {
    if (!Backend().IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    int clientWidth = 0;
    int clientHeight = 0;
    int iconWidth = 0;
    int iconHeight = 0;
    Backend().GetClientSize(&clientWidth, &clientHeight);
    Backend().GetIconMetrics(&iconWidth, &iconHeight);
    const IconPosition at = CenteredIconPosition(clientWidth, clientHeight, iconWidth, iconHeight);
    Backend().PaintIconic(m_hIcon, at.x, at.y);
}

IconHandle CLyricsDlg::OnQueryDragIcon() {
    return m_hIcon;
}

IconPosition CenteredIconPosition(int clientWidth, int clientHeight, int iconWidth,
                                  int iconHeight) {
    return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}
