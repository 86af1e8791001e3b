// Helpers of the Windows tests: unique names, temporary directories, the player
// stand-in run as a second process, and bounded waits.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace strofix_test {

// A name no other test or test run uses: "StrofixWin32Test-<pid>-<tag>-<n>".
std::string UniqueName(const std::string& tag);
// A new empty directory under the system's temporary directory.
std::filesystem::path TempDir(const std::string& tag);

struct ToolResult {
    int exitCode = -1;
    std::string output;  // standard output and standard error together
};
// Runs the player stand-in with `args` and waits for it (a minute at most).
ToolResult RunTool(const std::vector<std::string>& args);

// Polls `done` until it holds, for at most `limitMs`; returns whether it held.
bool WaitFor(const std::function<bool()>& done, unsigned limitMs = 20000);

}  // namespace strofix_test
