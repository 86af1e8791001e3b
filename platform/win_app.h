// The application object: one global instance, constructed before main; the platform's
// entry point calls InitInstance once and ends the program when it returns FALSE.
#pragma once

class CDialog;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual bool InitInstance() { return false; }
    // The three-dimensional control look is every toolkit's default now: nothing to do.
    void Enable3dControls() {}

    CDialog* m_pMainWnd = nullptr;
};

// The one application object, or null before it is constructed.
CWinApp* AfxGetApp();
