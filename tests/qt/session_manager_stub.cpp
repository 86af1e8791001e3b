// A session manager of the smallest kind, for the tests: it speaks the X Session Management
// Protocol (libSM over ICE), takes one client and logs it out the way a desktop's session
// manager does: a first local save when the client registers, then, on "logout" read from
// stdin, SaveYourself with shutdown, and Die once the client has saved.
//
// One line on stdout for each step: first the value for SESSION_MANAGER (its local
// addresses only), then "registered", "ready" (the first save done), "saved" (the logout's
// save done, Die sent) and "closed" (the client has gone). Exit 0 once the client has gone,
// 1 on an error or after a minute.
#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kTimeoutMs = 60000;

SmsConn g_client = nullptr;
bool g_logout = false;  // the logout's SaveYourself is out
bool g_ready = false;   // the first save is done
bool g_closed = false;

void Say(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

// Only clients on this machine's local transport may connect.
Bool LocalOnly(char* hostName) {
    return hostName != nullptr && std::strncmp(hostName, "local/", 6) == 0 ? True : False;
}

void IgnoreIoError(IceConn /*conn*/) {}  // the default handler would exit the process

Status RegisterClient(SmsConn conn, SmPointer /*data*/, char* previousId) {
    std::free(previousId);
    char* id = SmsGenerateClientID(conn);
    if (id == nullptr) return 0;
    SmsRegisterClientReply(conn, id);
    std::free(id);
    Say("registered");
    // Every session manager asks a new client for a first save, to learn its properties.
    SmsSaveYourself(conn, SmSaveLocal, False, SmInteractStyleNone, False);
    return 1;
}

void InteractRequest(SmsConn conn, SmPointer /*data*/, int /*dialogType*/) {
    SmsInteract(conn);
}

void InteractDone(SmsConn /*conn*/, SmPointer /*data*/, Bool /*cancelShutdown*/) {}

void SaveYourselfRequest(SmsConn /*conn*/, SmPointer /*data*/, int /*saveType*/, Bool /*shutdown*/,
                         int /*interactStyle*/, Bool /*fast*/, Bool /*global*/) {}

void SaveYourselfPhase2Request(SmsConn conn, SmPointer /*data*/) {
    SmsSaveYourselfPhase2(conn);
}

void SaveYourselfDone(SmsConn conn, SmPointer /*data*/, Bool /*success*/) {
    if (!g_logout) {
        SmsSaveComplete(conn);
        if (!g_ready) Say("ready");
        g_ready = true;
        return;
    }
    Say("saved");
    SmsDie(conn);
}

void CloseConnection(SmsConn conn, SmPointer /*data*/, int count, char** reasons) {
    SmFreeReasons(count, reasons);
    SmsCleanUp(conn);
    g_client = nullptr;
    g_closed = true;
}

void SetProperties(SmsConn /*conn*/, SmPointer /*data*/, int count, SmProp** props) {
    for (int i = 0; i < count; ++i) SmFreeProperty(props[i]);
    std::free(props);
}

void DeleteProperties(SmsConn /*conn*/, SmPointer /*data*/, int count, char** names) {
    for (int i = 0; i < count; ++i) std::free(names[i]);
    std::free(names);
}

void GetProperties(SmsConn conn, SmPointer /*data*/) {
    SmsReturnProperties(conn, 0, nullptr);
}

Status NewClient(SmsConn conn, SmPointer /*data*/, unsigned long* mask, SmsCallbacks* callbacks,
                 char** failureReason) {
    if (g_client != nullptr) {
        const char reason[] = "one client only";
        *failureReason = static_cast<char*>(std::malloc(sizeof reason));
        if (*failureReason != nullptr) std::memcpy(*failureReason, reason, sizeof reason);
        return 0;
    }
    g_client = conn;
    *callbacks = SmsCallbacks{};
    callbacks->register_client.callback = RegisterClient;
    callbacks->interact_request.callback = InteractRequest;
    callbacks->interact_done.callback = InteractDone;
    callbacks->save_yourself_request.callback = SaveYourselfRequest;
    callbacks->save_yourself_phase2_request.callback = SaveYourselfPhase2Request;
    callbacks->save_yourself_done.callback = SaveYourselfDone;
    callbacks->close_connection.callback = CloseConnection;
    callbacks->set_properties.callback = SetProperties;
    callbacks->delete_properties.callback = DeleteProperties;
    callbacks->get_properties.callback = GetProperties;
    *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
            SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask |
            SmsSaveYourselfDoneProcMask | SmsCloseConnectionProcMask | SmsSetPropertiesProcMask |
            SmsDeletePropertiesProcMask | SmsGetPropertiesProcMask;
    return 1;
}

int Fail(const char* what, const char* why) {
    std::fprintf(stderr, "session manager stub: %s: %s\n", what, why);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        std::printf("usage: %s   (a one-client session manager for the Strofix tests)\n", argv[0]);
        return std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    IceSetIOErrorHandler(IgnoreIoError);
    char error[256] = "";
    if (!SmsInitialize("Strofix tests", "1.0", NewClient, nullptr, LocalOnly, sizeof error,
                       error)) {
        return Fail("SmsInitialize", error);
    }
    int count = 0;
    IceListenObj* listeners = nullptr;
    if (!IceListenForConnections(&count, &listeners, sizeof error, error)) {
        return Fail("IceListenForConnections", error);
    }
    // SESSION_MANAGER names the local addresses only.
    std::string ids;
    for (int i = 0; i < count; ++i) {
        IceSetHostBasedAuthProc(listeners[i], LocalOnly);
        char* id = IceGetListenConnectionString(listeners[i]);
        if (id != nullptr && std::strncmp(id, "local/", 6) == 0) {
            if (!ids.empty()) ids += ',';
            ids += id;
        }
        std::free(id);
    }
    if (ids.empty()) return Fail("listen", "no local address");
    Say(ids.c_str());

    IceConn ice = nullptr;
    bool input = true;  // stdin still open
    int waited = 0;
    while (!g_closed && waited < kTimeoutMs) {
        std::vector<pollfd> fds;
        fds.push_back({input ? STDIN_FILENO : -1, POLLIN, 0});
        for (int i = 0; i < count; ++i) {
            fds.push_back({IceGetListenConnectionNumber(listeners[i]), POLLIN, 0});
        }
        if (ice != nullptr) fds.push_back({IceConnectionNumber(ice), POLLIN, 0});
        constexpr int kSliceMs = 100;
        const int ready = poll(fds.data(), fds.size(), kSliceMs);
        if (ready == 0) waited += kSliceMs;
        if (ready <= 0) continue;
        if (fds[0].revents & POLLIN) {
            char line[64] = "";
            const ssize_t n = read(STDIN_FILENO, line, sizeof line - 1);
            if (n <= 0) {
                input = false;
            } else if (std::strncmp(line, "logout", 6) == 0 && g_client != nullptr && g_ready) {
                g_logout = true;
                SmsSaveYourself(g_client, SmSaveBoth, True, SmInteractStyleAny, False);
            }
        }
        for (int i = 0; i < count; ++i) {
            if (!(fds[1 + i].revents & POLLIN)) continue;
            IceAcceptStatus status = IceAcceptSuccess;
            IceConn accepted = IceAcceptConnection(listeners[i], &status);
            if (accepted != nullptr && ice == nullptr) ice = accepted;
        }
        if (ice != nullptr && (fds.back().revents & (POLLIN | POLLHUP | POLLERR))) {
            const IceProcessMessagesStatus status = IceProcessMessages(ice, nullptr, nullptr);
            if (status != IceProcessMessagesSuccess) {
                IceSetShutdownNegotiation(ice, False);
                IceCloseConnection(ice);
                ice = nullptr;
                g_closed = true;
            }
        }
    }
    IceFreeListenObjs(count, listeners);
    if (!g_closed) return Fail("client", "did not end within a minute");
    Say("closed");
    return 0;
}
