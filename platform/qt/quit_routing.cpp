// SIGTERM, SIGHUP and SIGINT, and the application's Quit event, turned into an ending of
// the running windows from inside the event loop. A signal handler may do next to nothing
// safely, so it writes the signal's number into a pipe; a socket notifier on the pipe's
// other end is served by whichever modal loop runs (the main window's, a box's or a
// menu's) and starts the ending there.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <cerrno>

#include "platform/qt/qt_backend.h"

namespace {

constexpr int kQuitSignals[] = {SIGTERM, SIGHUP, SIGINT};

int g_pipe[2] = {-1, -1};

extern "C" void OnQuitSignal(int signal) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    // A full pipe holds a request already; nothing is lost by a failed write.
    if (write(g_pipe[1], &byte, 1) < 0) {
    }
    errno = saved;
}

class QuitRouter : public QObject {
public:
    explicit QuitRouter(QObject* parent) : QObject(parent) {
        auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
        QObject::connect(notifier, &QSocketNotifier::activated, this, [] { OnSignalled(); });
    }

    // The session manager's "die" reaches the program as the application's Quit event, as
    // does QCoreApplication::quit: it ends the windows the same way, and Qt's own handling
    // (which would end every loop at once, past the windows' own ends) is kept out.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Quit || watched != QCoreApplication::instance()) {
            return false;
        }
        QtDialogBackend::RequestQuit(0);
        return true;
    }

private:
    static void OnSignalled() {
        unsigned char bytes[64];
        int first = 0;
        ssize_t n = 0;
        while ((n = read(g_pipe[0], bytes, sizeof bytes)) > 0) {
            if (first == 0) first = bytes[0];
        }
        if (first != 0) QtDialogBackend::RequestQuit(first);
    }
};

}  // namespace

bool InstallQuitRouting() {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return false;
    if (g_pipe[0] >= 0) return true;
    if (pipe2(g_pipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return false;
    }
    auto* router = new QuitRouter(app);
    app->installEventFilter(router);

    struct sigaction action = {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kQuitSignals) {
        // A signal ignored from the start stays ignored: `nohup strofix` outlives its
        // terminal, and a program started in the background keeps out of Ctrl+C.
        struct sigaction old = {};
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
    return true;
}
