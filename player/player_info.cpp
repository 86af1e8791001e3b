#include "player/player_info.h"

#include <cstring>

#include "platform/platform.h"

CPlayerInfo::~CPlayerInfo() {
    platform::CloseSharedBlock(&m_block);
}

bool CPlayerInfo::OpenBlock() {
    return OpenBlock(kPlayerBlockName, kPlayerEventName);
}

bool CPlayerInfo::OpenBlock(const char* blockName, const char* eventName) {
    platform::CloseSharedBlock(&m_block);
    m_pBlock = nullptr;
    m_blockSize = 0;
    m_blockName = blockName;
    m_hEvent = platform::OpenNamedEvent(eventName);
    return Attach();
}

// Opens the block under its name and writes the size word into it.
bool CPlayerInfo::Attach() const {
    if (!platform::OpenSharedBlock(m_blockName.c_str(), kPlayerBlockSize, &m_block)) return false;
    m_pBlock = static_cast<unsigned char*>(m_block.view);
    m_blockSize = m_block.mappedSize;
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

void CPlayerInfo::Refresh() const {
    if (m_blockName.empty()) return;  // never opened: stays closed
    if (m_pBlock != nullptr && platform::CheckSharedBlock(&m_block)) {
        m_blockSize = m_block.mappedSize;
        return;
    }
    // Gone from its name, or never opened: whatever block has the name now is the player's.
    platform::CloseSharedBlock(&m_block);
    m_pBlock = nullptr;
    m_blockSize = 0;
    Attach();
}

bool CPlayerInfo::GetSongPath(char* out, std::size_t outSize) const {
    Refresh();
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
