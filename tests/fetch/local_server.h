// The tests' own LRCLIB: tests/fetch/lrclib_server.py started on a free port in one mode,
// stopped when the object goes. Requests() reads back what it was asked.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fetchtest {

struct Request {
    std::string path;
    std::string query;   // raw, as it came
    QJsonObject params;  // decoded as a web server decodes a query
    std::string userAgent;
    double time = 0;  // when it came, Unix seconds
};

class LocalServer {
public:
    // `dir`: a directory of the test's own for the port file and the log.
    LocalServer(const std::string& mode, const std::filesystem::path& dir,
                const std::vector<std::string>& extra = {})
        : portFile_(dir / ("port-" + mode)), log_(dir / ("log-" + mode)) {
        std::filesystem::remove(portFile_);
        std::filesystem::remove(log_);
        std::vector<std::string> args{"python3", STROFIX_LRCLIB_SERVER, "--mode",
                                      mode,      "--port-file",         portFile_.string(),
                                      "--log",   log_.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        pid_ = fork();
        if (pid_ == 0) {
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execvp("python3", argv.data());
            _exit(127);
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < until) {
            std::ifstream in(portFile_);
            if (in >> port_) break;
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~LocalServer() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    bool Up() const { return port_ > 0; }
    int Port() const { return port_; }
    std::string BaseUrl(const std::string& scheme = "http") const {
        return scheme + "://127.0.0.1:" + std::to_string(port_);
    }

    std::vector<Request> Requests() const {
        std::vector<Request> out;
        std::ifstream in(log_);
        std::string line;
        while (std::getline(in, line)) {
            const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            out.push_back({o.value("path").toString().toStdString(),
                           o.value("query").toString().toStdString(), o.value("params").toObject(),
                           o.value("user_agent").toString().toStdString(),
                           o.value("time").toDouble()});
        }
        return out;
    }

private:
    std::filesystem::path portFile_;
    std::filesystem::path log_;
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace fetchtest
