// The player's information block: a named block of shared memory the audio player keeps
// up to date with the song it plays and the play position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

// The block's wire format (little-endian).
constexpr const char* kPlayerBlockName = "SoniqueInformation";
constexpr const char* kPlayerEventName = "SoniqueInformationEvent";
constexpr std::size_t kPlayerBlockSize = 1317;
constexpr std::uint32_t kPlayerSizeWord = 1316;
constexpr std::size_t kSizeWordOffset = 0;
constexpr std::size_t kPositionOffset = 12;
constexpr std::size_t kSongPathOffset = 1056;

class CPlayerInfo {
public:
    CPlayerInfo() = default;
    CPlayerInfo(const CPlayerInfo&) = delete;
    CPlayerInfo& operator=(const CPlayerInfo&) = delete;
    virtual ~CPlayerInfo();  // releases the view; the block itself stays for the player

    // Opens (or creates) the player's block and event and writes the size word.
    bool OpenBlock();
    // The same under other names, so that tests need not touch the player's block.
    bool OpenBlock(const char* blockName, const char* eventName);
    // Reads `size` bytes of memory the caller holds instead of a named block: a copy of
    // the block taken by a program that replays it. The memory must outlive the reads.
    // False, and closed, when `bytes` is null.
    bool AttachBlock(unsigned char* bytes, std::size_t size);

    // Copies the song path into `out` (always NUL-terminated, cut to outSize - 1
    // characters, never read past the block). False, `out` untouched, while closed.
    // Each call first looks at the block again: a shrunk block is read only as far as it
    // still holds bytes, and a block that lost its name is replaced by the block now under
    // that name (or a new one), which also gets the size word. A reader whose block could
    // not be opened tries again here.
    bool GetSongPath(char* out, std::size_t outSize) const;
    // The play position in milliseconds. False, `out` untouched, while closed or when the
    // block (as last looked at) is too small to hold it.
    bool GetPosition(std::uint32_t* out) const;

private:
    bool Attach() const;
    void Refresh() const;

    std::string m_blockName;  // empty until OpenBlock names a block
    void* m_hEvent = nullptr;
    // The view and what may be read of it change when the block shrinks or is replaced.
    mutable platform::SharedBlock m_block;
    mutable unsigned char* m_pBlock = nullptr;  // the only field the reads consult
    mutable std::size_t m_blockSize = 0;        // bytes of the block that may be read
};
