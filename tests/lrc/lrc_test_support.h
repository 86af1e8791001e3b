// Helpers of the strofix-lrc tests: temporary directories, files, and loading a lyrics
// file through the window's own loader.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace lrc_test {

using Table = std::vector<std::pair<std::uint32_t, std::string>>;

// A new empty directory under the system's temporary directory, removed by the destructor.
class TempDir {
public:
    explicit TempDir(const std::string& tag);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// The table Strofix holds after loading `bytes` as a lyrics file (through a file, with
// LoadLyricsFile), in table order.
Table LoadThroughLoader(const std::string& bytes);

}  // namespace lrc_test

namespace lrc_test {

// A program run to its end: exit code, standard output, standard error (POSIX only).
struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs `exe` with `args`; `env` ("NAME=value ...") is put before the command.
RunResult RunProgram(const std::string& exe, const std::vector<std::string>& args,
                     const std::string& env = "");

}  // namespace lrc_test
