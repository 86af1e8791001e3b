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

    void SetPosition(std::uint32_t ms);
    // `path` is at most kMaxPathChars characters; the caller has checked.
    void SetPath(const std::string& path);
    std::uint32_t SizeWord() const;
    std::uint32_t Position() const;
    std::string Path() const;

private:
    unsigned char* Bytes() const { return static_cast<unsigned char*>(block_.view); }
    void PutWord(std::size_t at, std::uint32_t v);
    std::uint32_t GetWord(std::size_t at) const;
    platform::SharedBlock block_;
};
