// Helpers for the tests that run real processes on a private session bus: child processes,
// a view of a test block, mpv's IPC, WAV files of silence. No test framework in here, so the
// GoogleTest and the Qt Test programs share it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mpris_test {

using Ms = std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

// Milliseconds since `since`.
long ElapsedMs(SteadyClock::time_point since);

// Polls `ready` every few milliseconds until it holds or `timeoutMs` pass. Returns whether
// it held.
bool WaitFor(const std::function<bool()>& ready, int timeoutMs, int stepMs = 5);

// A started program. Killed (SIGKILL) when the object goes, if still running.
class Child {
public:
    struct Options {
        bool input = false;   // a pipe to its stdin (Send)
        bool output = false;  // a pipe from its stdout (ExpectLine)
        std::string logFile;  // else stdout and stderr go here (or to /dev/null)
        std::vector<std::pair<std::string, std::string>> env;  // added to the environment
    };
    Child() = default;
    Child(const std::string& exe, const std::vector<std::string>& args, const Options& options);
    Child(Child&& other) noexcept;
    Child& operator=(Child&& other) noexcept;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child();

    pid_t Pid() const { return pid_; }
    bool Started() const { return pid_ > 0; }
    // Whether it still runs (reaps it when it has ended).
    bool Running();
    // Sends one line to its stdin.
    bool Send(const std::string& line);
    // Reads stdout lines until one equals `line`; false after `timeoutMs` or at its end.
    bool ExpectLine(const std::string& line, int timeoutMs);
    // Sends `sig` and waits up to `timeoutMs` for the end. The exit status, 128 + signal for a
    // killed one, or -1 when it did not end in time (it is then killed).
    int Stop(int sig, int timeoutMs);
    // Waits up to `timeoutMs` for it to end by itself; the status as for Stop.
    int Wait(int timeoutMs);

private:
    void Release();
    pid_t pid_ = -1;
    int status_ = -1;  // once reaped
    int in_ = -1;
    int out_ = -1;
    std::string buffered_;
};

// A fresh directory under the temporary directory, removed with everything in it when the
// object goes.
class TempDir {
public:
    explicit TempDir(const std::string& tag);
    ~TempDir();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Writes `seconds` of 48 kHz mono 16-bit silence (at lower rates mpv reads the file in pieces
// so long that its own position moves in steps of a quarter second).
bool WriteSilentWav(const std::string& path, int seconds);

std::string ReadFile(const std::string& path);

// A block of the test's own name, read as Strofix reads it.
class BlockView {
public:
    explicit BlockView(std::string name);
    ~BlockView();  // removes the block
    const std::string& Name() const { return name_; }
    // Waits until the bridge has created the block and maps it.
    bool Open(int timeoutMs);
    std::string Path() const;
    std::uint32_t Position() const;

private:
    std::string name_;
    void* view_ = nullptr;
};

// A block name no other test uses.
std::string UniqueBlockName(const std::string& tag);

// mpv's JSON IPC over its --input-ipc-server socket.
class MpvIpc {
public:
    ~MpvIpc();
    bool Connect(const std::string& socketPath, int timeoutMs);
    // Sends a command given as a JSON array ("[\"seek\", 3, \"absolute\"]") and returns the
    // "data" of its answer as text ("" for none), or nothing on an error or no answer.
    std::optional<std::string> Command(const std::string& jsonArray, int timeoutMs = 2000);
    // mpv's own play position, in seconds.
    std::optional<double> TimePos();

private:
    int fd_ = -1;
    int nextId_ = 1;
    std::string buffered_;
};

// Where the tests find the programs they start.
struct Programs {
    std::string bridge;  // strofix-mpris
    std::string fake;    // fake_mpris_player
};

}  // namespace mpris_test
