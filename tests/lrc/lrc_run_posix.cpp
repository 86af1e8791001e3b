#include <sys/wait.h>

#include <cstdlib>

#include "tests/lrc/lrc_test_support.h"

namespace lrc_test {

namespace {

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (const char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

RunResult RunProgram(const std::string& exe, const std::vector<std::string>& args,
                     const std::string& env) {
    TempDir dir("run");
    std::string cmd = (env.empty() ? "" : "env " + env + " ") + Quote(exe);
    for (const std::string& a : args) cmd += " " + Quote(a);
    cmd += " </dev/null >" + Quote(dir / "out") + " 2>" + Quote(dir / "err");
    RunResult r;
    const int status = std::system(cmd.c_str());
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadFile(dir / "out");
    r.err = ReadFile(dir / "err");
    return r;
}

}  // namespace lrc_test
