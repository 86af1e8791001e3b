#include "tests/mpris/session_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

#include "player/player_info.h"

namespace mpris_test {

long ElapsedMs(SteadyClock::time_point since) {
    return static_cast<long>(std::chrono::duration_cast<Ms>(SteadyClock::now() - since).count());
}

bool WaitFor(const std::function<bool()>& ready, int timeoutMs, int stepMs) {
    const auto start = SteadyClock::now();
    for (;;) {
        if (ready()) return true;
        if (ElapsedMs(start) >= timeoutMs) return false;
        std::this_thread::sleep_for(Ms(stepMs));
    }
}

Child::Child(const std::string& exe, const std::vector<std::string>& args, const Options& options) {
    int inPipe[2] = {-1, -1};
    int outPipe[2] = {-1, -1};
    if (options.input && pipe2(inPipe, O_CLOEXEC) != 0) return;
    if (options.output && pipe2(outPipe, O_CLOEXEC) != 0) return;
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
        const int devnull = open("/dev/null", O_RDWR);
        const int log = options.logFile.empty()
                            ? devnull
                            : open(options.logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        dup2(options.input ? inPipe[0] : devnull, 0);
        dup2(options.output ? outPipe[1] : log, 1);
        dup2(log, 2);
        std::vector<char*> argv{const_cast<char*>(exe.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(exe.c_str(), argv.data());
        _exit(127);
    }
    pid_ = pid;
    if (options.input) {
        close(inPipe[0]);
        in_ = inPipe[1];
    }
    if (options.output) {
        close(outPipe[1]);
        out_ = outPipe[0];
    }
}

Child::Child(Child&& other) noexcept {
    *this = std::move(other);
}

Child& Child::operator=(Child&& other) noexcept {
    if (this != &other) {
        Release();
        pid_ = std::exchange(other.pid_, -1);
        status_ = std::exchange(other.status_, -1);
        in_ = std::exchange(other.in_, -1);
        out_ = std::exchange(other.out_, -1);
        buffered_ = std::move(other.buffered_);
    }
    return *this;
}

Child::~Child() {
    Release();
}

void Child::Release() {
    if (pid_ > 0 && Running()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (in_ >= 0) close(in_);
    if (out_ >= 0) close(out_);
    pid_ = -1;
    in_ = out_ = -1;
}

bool Child::Running() {
    if (pid_ <= 0 || status_ != -1) return false;
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == 0) return true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
}

bool Child::Send(const std::string& line) {
    if (in_ < 0) return false;
    const std::string text = line + "\n";
    return write(in_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

bool Child::ExpectLine(const std::string& line, int timeoutMs) {
    if (out_ < 0) return false;
    const auto start = SteadyClock::now();
    for (;;) {
        for (std::size_t end; (end = buffered_.find('\n')) != std::string::npos;) {
            const std::string got = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            if (got == line) return true;
        }
        const long left = timeoutMs - ElapsedMs(start);
        if (left <= 0) return false;
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) return false;
        char buf[4096];
        const ssize_t n = read(out_, buf, sizeof buf);
        if (n <= 0) return false;
        buffered_.append(buf, static_cast<std::size_t>(n));
    }
}

int Child::Wait(int timeoutMs) {
    if (pid_ <= 0) return -1;
    if (!WaitFor([this] { return !Running(); }, timeoutMs, 5)) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        status_ = -1;
        pid_ = -1;
        return -1;
    }
    return status_;
}

int Child::Stop(int sig, int timeoutMs) {
    if (pid_ <= 0) return -1;
    if (Running()) kill(pid_, sig);
    return Wait(timeoutMs);
}

TempDir::TempDir(const std::string& tag) {
    std::string tmpl = (std::filesystem::temp_directory_path() / (tag + "-XXXXXX")).string();
    if (mkdtemp(tmpl.data()) != nullptr) path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

bool WriteSilentWav(const std::string& path, int seconds) {
    constexpr std::uint32_t kRate = 48000;
    const std::uint32_t dataBytes = kRate * 2 * static_cast<std::uint32_t>(seconds);
    std::ofstream out(path, std::ios::binary);
    auto word = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out.put(static_cast<char>(v >> (8 * i)));
    };
    out.write("RIFF", 4);
    word(36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    word(16, 4);
    word(1, 2);          // PCM
    word(1, 2);          // mono
    word(kRate, 4);      // samples per second
    word(kRate * 2, 4);  // bytes per second
    word(2, 2);          // bytes per frame
    word(16, 2);         // bits per sample
    out.write("data", 4);
    word(dataBytes, 4);
    const std::string second(kRate * 2, '\0');
    for (int s = 0; s < seconds; ++s)
        out.write(second.data(), static_cast<std::streamsize>(second.size()));
    return static_cast<bool>(out);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

BlockView::BlockView(std::string name) : name_(std::move(name)) {}

BlockView::~BlockView() {
    if (view_ != nullptr) munmap(view_, kPlayerBlockSize);
    shm_unlink(name_.c_str());
}

bool BlockView::Open(int timeoutMs) {
    int fd = -1;
    struct stat st {};
    const bool ready = WaitFor(
        [&] {
            if (fd < 0) fd = shm_open(name_.c_str(), O_RDONLY, 0);
            return fd >= 0 && fstat(fd, &st) == 0 &&
                   st.st_size >= static_cast<off_t>(kPlayerBlockSize);
        },
        timeoutMs);
    if (ready) {
        void* v = mmap(nullptr, kPlayerBlockSize, PROT_READ, MAP_SHARED, fd, 0);
        if (v != MAP_FAILED) view_ = v;
    }
    if (fd >= 0) close(fd);
    return view_ != nullptr;
}

std::string BlockView::Path() const {
    if (view_ == nullptr) return "<no block>";
    const char* from = static_cast<const char*>(view_) + kSongPathOffset;
    return std::string(from, strnlen(from, kPlayerBlockSize - kSongPathOffset));
}

std::uint32_t BlockView::Position() const {
    if (view_ == nullptr) return 0;
    const auto* b = static_cast<const unsigned char*>(view_) + kPositionOffset;
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

std::string UniqueBlockName(const std::string& tag) {
    static std::atomic<int> counter{0};
    return "/strofix-mpris-test-" + tag + "-" + std::to_string(getpid()) + "-" +
           std::to_string(counter++);
}

MpvIpc::~MpvIpc() {
    if (fd_ >= 0) close(fd_);
}

bool MpvIpc::Connect(const std::string& socketPath, int timeoutMs) {
    return WaitFor(
        [&] {
            const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            std::strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
            if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
                fd_ = fd;
                return true;
            }
            close(fd);
            return false;
        },
        timeoutMs, 10);
}

std::optional<std::string> MpvIpc::Command(const std::string& jsonArray, int timeoutMs) {
    if (fd_ < 0) return std::nullopt;
    const int id = nextId_++;
    const std::string request =
        "{\"command\": " + jsonArray + ", \"request_id\": " + std::to_string(id) + "}\n";
    if (write(fd_, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
        return std::nullopt;
    const std::string idField = "\"request_id\":" + std::to_string(id);
    const auto start = SteadyClock::now();
    for (;;) {
        for (std::size_t end; (end = buffered_.find('\n')) != std::string::npos;) {
            const std::string line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            if (line.find(idField) == std::string::npos) continue;  // an event, another answer
            if (line.find("\"error\":\"success\"") == std::string::npos) return std::nullopt;
            const std::size_t data = line.find("\"data\":");
            if (data == std::string::npos) return std::string();
            const std::size_t from = data + 7;
            const std::size_t to = line.find_first_of(",}", from);
            return line.substr(from, to - from);
        }
        const long left = timeoutMs - ElapsedMs(start);
        if (left <= 0) return std::nullopt;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) return std::nullopt;
        char buf[4096];
        const ssize_t n = read(fd_, buf, sizeof buf);
        if (n <= 0) return std::nullopt;
        buffered_.append(buf, static_cast<std::size_t>(n));
    }
}

std::optional<double> MpvIpc::TimePos() {
    const std::optional<std::string> data = Command("[\"get_property\", \"time-pos\"]");
    if (!data || data->empty() || *data == "null") return std::nullopt;
    return std::strtod(data->c_str(), nullptr);
}

}  // namespace mpris_test
