#include "player/player_info.h"

#include <cstring>

#include "platform/platform.h"

CPlayerInfo::~CPlayerInfo() = default;

bool CPlayerInfo::OpenBlock() {
    return OpenBlock(kPlayerBlockName, kPlayerEventName);
}

bool CPlayerInfo::OpenBlock(const char* blockName, const char* eventName) {
    m_pBlock = nullptr;
    platform::SharedBlock block;
    if (!platform::OpenSharedBlock(blockName, kPlayerBlockSize, &block)) return false;
    m_hMapping = block.mapping;
    m_pView = block.view;
    m_hEvent = platform::OpenNamedEvent(eventName);
    m_pBlock = static_cast<unsigned char*>(block.view);
    m_blockSize = block.mappedSize;
    if (m_blockSize >= kSizeWordOffset + sizeof kPlayerSizeWord) {
        std::memcpy(m_pBlock + kSizeWordOffset, &kPlayerSizeWord, sizeof kPlayerSizeWord);
    }
    return true;
}

bool CPlayerInfo::AttachBlock(unsigned char* bytes, std::size_t size) {
    m_pBlock = bytes;
    m_blockSize = bytes != nullptr ? size : 0;
    return bytes != nullptr;
}

bool CPlayerInfo::GetSongPath(char* out, std::size_t outSize) const {
    if (m_pBlock == nullptr || outSize == 0) return false;
    std::size_t n = 0;
    if (m_blockSize > kSongPathOffset) {
        // The player may be writing the path while it is read: copy byte by byte and stop
        // at the first NUL, the end of the block or the end of the buffer.
        const volatile unsigned char* from = m_pBlock + kSongPathOffset;
        const std::size_t limit = m_blockSize - kSongPathOffset;
        while (n < limit && n + 1 < outSize) {
            const char c = static_cast<char>(from[n]);
            if (c == '\0') break;
            out[n++] = c;
        }
    }
    out[n] = '\0';
    return true;
}

bool CPlayerInfo::GetPosition(std::uint32_t* out) const {
    if (m_pBlock == nullptr || m_blockSize < kPositionOffset + sizeof *out) return false;
    std::memcpy(out, m_pBlock + kPositionOffset, sizeof *out);
    return true;
}
