#include "player/player_block_writer.h"

#include <cstdio>
#include <cstring>

PlayerBlockWriter::~PlayerBlockWriter() {
    platform::CloseSharedBlock(&block_);
}

bool PlayerBlockWriter::Open(const std::string& name, const char* program) {
    if (!platform::OpenSharedBlock(name.c_str(), kPlayerBlockSize, &block_)) {
        std::fprintf(stderr, "%s: cannot open the shared block '%s'\n", program, name.c_str());
        return false;
    }
    if (block_.mappedSize < kPlayerBlockSize) {
        std::fprintf(stderr,
                     "%s: the shared block '%s' holds %zu bytes, fewer than the %zu a player "
                     "block has\n",
                     program, name.c_str(), block_.mappedSize, kPlayerBlockSize);
        return false;
    }
    return true;
}

void PlayerBlockWriter::SetPosition(std::uint32_t ms) {
    PutWord(kPositionOffset, ms);
}

void PlayerBlockWriter::SetPath(const std::string& path) {
    std::memcpy(Bytes() + kSongPathOffset, path.data(), path.size());
    Bytes()[kSongPathOffset + path.size()] = 0;
}

std::uint32_t PlayerBlockWriter::SizeWord() const {
    return GetWord(kSizeWordOffset);
}

std::uint32_t PlayerBlockWriter::Position() const {
    return GetWord(kPositionOffset);
}

std::string PlayerBlockWriter::Path() const {
    const unsigned char* from = Bytes() + kSongPathOffset;
    std::size_t n = 0;
    while (n < kMaxPathChars + 1 && from[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(from), n);
}

void PlayerBlockWriter::PutWord(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) Bytes()[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint32_t PlayerBlockWriter::GetWord(std::size_t at) const {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(Bytes()[at + i]) << (8 * i);
    return v;
}
