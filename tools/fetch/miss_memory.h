// The memory of misses: a track LRCLIB did not have is not asked for again for 24 hours.
// One small text file shared by every program of the user (the bridge and strofix-lrc),
// read at every question and replaced whole, atomically, at every change.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace fetch {

constexpr std::int64_t kMissMemorySeconds = 24 * 60 * 60;
constexpr std::size_t kMissMemoryMaxEntries = 2000;  // the oldest go first
constexpr std::uintmax_t kMissMemoryMaxBytes = 1 << 20;

class MissMemory {
public:
    explicit MissMemory(std::string path) : path_(std::move(path)) {}

    // $XDG_CACHE_HOME/strofix/lrclib-misses, with ~/.cache when XDG_CACHE_HOME is unset,
    // empty or not an absolute path. Empty when no home directory is known either.
    static std::string DefaultPath();

    const std::string& Path() const { return path_; }

    // When the track was remembered as a miss, if that was less than 24 hours before
    // `now` (Unix seconds). An entry from the future (the clock went back) counts as none.
    std::optional<std::int64_t> RememberedAt(const std::string& trackKey, std::int64_t now) const;

    // Remembers a miss at `now`; entries older than 24 hours are dropped on the way. The
    // directory is created (0700) as needed. False with `error` saying why.
    bool Remember(const std::string& trackKey, std::int64_t now, std::string* error);

    // Forgets the track (its lyrics were found after all). True when nothing needed
    // changing or the file was rewritten.
    bool Forget(const std::string& trackKey, std::int64_t now, std::string* error);

private:
    std::string path_;
};

}  // namespace fetch
