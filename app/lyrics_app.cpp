#include "app/lyrics_app.h"

#include "ui/lyrics_dlg.h"

bool CLyricsApp::InitInstance() {
    Enable3dControls();
    {
        CLyricsDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
    }              // the window object goes: the lyrics file is closed and the directory saved
    return false;  // no message pump of our own: the program ends
}
