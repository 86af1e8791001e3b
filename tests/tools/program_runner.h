// Runs a built program as a child process the way the tool tests need it: its standard
// output and error go to files in a directory of the test's own, extra environment is set
// in the child only, and the result carries the exit status and both outputs. POSIX only.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace testrun {

struct Result {
    int exit = -1;  // -1 when the program did not exit by itself (a signal)
    std::string out;
    std::string err;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

inline std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Starts `exe` with `args`; its stdout and stderr go to `dir`/out and `dir`/err.
inline pid_t Start(const std::filesystem::path& dir, const char* exe,
                   const std::vector<std::string>& args, const Environment& env = {}) {
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
        const int out = open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open((dir / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> argv{const_cast<char*>(exe)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(exe, argv.data());
        _exit(127);
    }
    return pid;
}

// Waits for a program started by Start and collects what it wrote.
inline Result Wait(const std::filesystem::path& dir, pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(dir / "out"), Slurp(dir / "err")};
}

inline Result Run(const std::filesystem::path& dir, const char* exe,
                  const std::vector<std::string>& args, const Environment& env = {}) {
    return Wait(dir, Start(dir, exe, args, env));
}

}  // namespace testrun
