// The application shell: runs the main window as a modal dialog and ends the program
// when it ends.
#pragma once

#include "platform/win_app.h"

class CLyricsApp : public CWinApp {
public:
    bool InitInstance() override;
};
