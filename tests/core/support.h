// Helpers shared by the core tests: temporary directories and files, unique names for
// test blocks, and a writer's view of a test block standing in for the player.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "sync/lyrics_file.h"

namespace strofix_test {

// Implemented once per platform (env_posix.cpp, env_win32.cpp).
int ProcessId();
void SetEnv(const char* name, const char* value);
// Whether a shared block of that name exists now (the player's own may, when a player runs).
bool SharedBlockExists(const char* name);

// "StrofixTest-<pid>-<n>-<what>": never the player's own names.
std::string UniqueName(const char* what);

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string Str() const { return path_.string(); }
    // Writes `bytes` exactly (binary) to `name` inside the directory; returns its path.
    std::filesystem::path Write(const std::string& name, const std::string& bytes) const;

private:
    std::filesystem::path path_;
};

// A test block and event under unique names, with a view for writing what a player
// would write. The names are removed when it goes.
class TestBlock {
public:
    explicit TestBlock(std::size_t size = 1317);
    ~TestBlock();
    TestBlock(const TestBlock&) = delete;
    TestBlock& operator=(const TestBlock&) = delete;

    const char* Name() const { return name_.c_str(); }
    const char* EventName() const { return event_.c_str(); }
    bool Ok() const { return block_.view != nullptr; }
    unsigned char* Bytes() { return static_cast<unsigned char*>(block_.view); }
    std::size_t Size() const { return block_.mappedSize; }

    void SetPath(const std::string& path);  // the bytes and a NUL, bounded by the block
    void SetPosition(std::uint32_t ms);

private:
    std::string name_;
    std::string event_;
    platform::SharedBlock block_;
};

// A lyric as the table holds it, for comparing tables.
using Entry = std::pair<std::uint32_t, std::string>;
std::vector<Entry> Entries(const LyricEntry* table, int count);

// Reads a whole lyrics file the way a load does and returns its sorted entries.
std::vector<Entry> ReadFileEntries(const std::filesystem::path& file);

}  // namespace strofix_test
