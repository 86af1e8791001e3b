// The Linux entry point: Qt's application object, then the application shell. Beyond
// --version and --help, the command line is not examined past what QApplication takes.
#include <QApplication>
#include <QIcon>

#include "app/command_line.h"
#include "platform/win_app.h"

int main(int argc, char** argv) {
    if (const auto code = HandleInfoOptions(argc, argv)) return *code;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Strofix"));
    QGuiApplication::setDesktopFileName(QStringLiteral("strofix"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/strofix/strofix-32.png")));
    // The modal dialog is the program's only loop; hiding a window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    if (CWinApp* shell = AfxGetApp()) shell->InitInstance();
    return 0;
}
