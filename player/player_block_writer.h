// The player's side of the information block: opens the block as a player does and writes
// the song path and the play position. Used by the stand-in player and the MPRIS bridge;
// the size word is left to the reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "player/player_info.h"

class PlayerBlockWriter {
public:
    static constexpr std::size_t kMaxPathChars = kPlayerBlockSize - kSongPathOffset - 1;  // 260

    PlayerBlockWriter() = default;
    PlayerBlockWriter(const PlayerBlockWriter&) = delete;
    PlayerBlockWriter& operator=(const PlayerBlockWriter&) = delete;
    ~PlayerBlockWriter();

    // Opens (or creates) the block `name`. On failure says why on stderr, prefixed with
    // `program`, and returns false.
    bool Open(const std::string& name, const char* program);

    // Every call looks at the block first (one system call on POSIX). A block shrunk under
    // the writer is written and read only as far as it holds bytes: a field it no longer
    // holds is not written and reads as 0 (the path as empty). A block that lost its name
    // is followed to the block now under that name (or a new one), which is given the
    // last path and position written.
    void SetPosition(std::uint32_t ms);
    // `path` is at most kMaxPathChars characters; the caller has checked.
    void SetPath(const std::string& path);
    std::uint32_t SizeWord() const;
    std::uint32_t Position() const;
    std::string Path() const;

private:
    unsigned char* Bytes() const { return static_cast<unsigned char*>(block_.view); }
    void Refresh() const;
    bool Holds(std::size_t end) const { return block_.view != nullptr && block_.mappedSize >= end; }
    void WritePosition();
    void WritePath();
    std::uint32_t GetWord(std::size_t at) const;

    std::string name_;
    std::string path_;            // the last path and position written, for a new block
    std::uint32_t position_ = 0;  // under the name
    bool pathSet_ = false;
    bool positionSet_ = false;
    mutable platform::SharedBlock block_;
    mutable bool reopened_ = false;  // a new block is waiting for the last path and position
};
