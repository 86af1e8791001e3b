// The Linux entry point: Qt's application object, then the application shell. Beyond
// --version and --help, the command line is not examined past what QApplication takes.
#include <csignal>

#include <QApplication>
#include <QIcon>

#include "app/command_line.h"
#include "platform/qt/qt_backend.h"
#include "platform/win_app.h"

int main(int argc, char** argv) {
    if (const auto code = HandleInfoOptions(argc, argv)) return *code;
    int signal = 0;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Strofix"));
        QGuiApplication::setDesktopFileName(QStringLiteral("strofix"));
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/strofix/strofix-32.png")));
        // The modal dialog is the program's only loop; hiding a window must not end it.
        QApplication::setQuitOnLastWindowClosed(false);
        // A logout, a kill or Ctrl+C ends the window as Cancel does, so its end saves the
        // lyrics directory.
        InstallQuitRouting();
        if (CWinApp* shell = AfxGetApp()) shell->InitInstance();
        signal = QuitSignal();
    }
    // Ended by a signal: with everything saved, die of it, so that whoever sent it (a shell
    // running a loop, a service manager) learns how the program ended.
    if (signal != 0) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
    return 0;
}
