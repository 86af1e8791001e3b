// The player's information block: a named block of shared memory the audio player keeps
// up to date with the song it plays and the play position.
#pragma once

#include <cstddef>
#include <cstdint>

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
    virtual ~CPlayerInfo();  // releases nothing: the block stays open until the process ends

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
    bool GetSongPath(char* out, std::size_t outSize) const;
    // The play position in milliseconds. False, `out` untouched, while closed or when the
    // block is too small to hold it.
    bool GetPosition(std::uint32_t* out) const;

private:
    void* m_hMapping = nullptr;
    void* m_pView = nullptr;
    void* m_hEvent = nullptr;
    unsigned char* m_pBlock = nullptr;  // the only field the reads consult
    std::size_t m_blockSize = 0;        // bytes of the block that may be read
};
