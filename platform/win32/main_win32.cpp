// The program's entry point: the application object, constructed before this runs, does
// everything in InitInstance; the command line is not examined.
#include "platform/win32/win32_api.h"

#include <commctrl.h>

#include "platform/win_app.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
    // Registers the common-controls classes of the version the manifest asks for.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    if (CWinApp* app = AfxGetApp()) app->InitInstance();
    return 0;
}
