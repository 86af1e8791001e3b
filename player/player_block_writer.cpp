#include "player/player_block_writer.h"

#include <cstdio>
#include <cstring>

PlayerBlockWriter::~PlayerBlockWriter() {
    platform::CloseSharedBlock(&block_);
}

bool PlayerBlockWriter::Open(const std::string& name, const char* program) {
    platform::CloseSharedBlock(&block_);
    name_ = name;
    if (!platform::OpenSharedBlock(name.c_str(), kPlayerBlockSize, &block_)) {
        std::fprintf(stderr, "%s: cannot open the shared block '%s'\n", program, name.c_str());
        return false;
    }
    if (block_.mappedSize < kPlayerBlockSize) {
        std::fprintf(stderr,
                     "%s: the shared block '%s' holds %zu bytes, fewer than the %zu a player "
                     "block has\n",
                     program, name.c_str(), block_.mappedSize, kPlayerBlockSize);
        platform::CloseSharedBlock(&block_);
        return false;
    }
    return true;
}

void PlayerBlockWriter::Refresh() const {
    if (name_.empty()) return;
    if (block_.view != nullptr && platform::CheckSharedBlock(&block_)) return;
    platform::CloseSharedBlock(&block_);
    reopened_ = platform::OpenSharedBlock(name_.c_str(), kPlayerBlockSize, &block_);
}

void PlayerBlockWriter::SetPosition(std::uint32_t ms) {
    position_ = ms;
    positionSet_ = true;
    Refresh();
    if (reopened_) {
        reopened_ = false;
        WritePath();
    }
    WritePosition();
}

void PlayerBlockWriter::SetPath(const std::string& path) {
    path_ = path.substr(0, kMaxPathChars);
    pathSet_ = true;
    Refresh();
    if (reopened_) {
        reopened_ = false;
        WritePosition();
    }
    WritePath();
}

void PlayerBlockWriter::WritePosition() {
    if (!positionSet_ || !Holds(kPositionOffset + 4)) return;
    for (int i = 0; i < 4; ++i) {
        Bytes()[kPositionOffset + i] = static_cast<unsigned char>(position_ >> (8 * i));
    }
}

// A path is written whole with its NUL, or not at all.
void PlayerBlockWriter::WritePath() {
    if (!pathSet_ || !Holds(kSongPathOffset + path_.size() + 1)) return;
    std::memcpy(Bytes() + kSongPathOffset, path_.data(), path_.size());
    Bytes()[kSongPathOffset + path_.size()] = 0;
}

std::uint32_t PlayerBlockWriter::SizeWord() const {
    Refresh();
    return GetWord(kSizeWordOffset);
}

std::uint32_t PlayerBlockWriter::Position() const {
    Refresh();
    return GetWord(kPositionOffset);
}

std::string PlayerBlockWriter::Path() const {
    Refresh();
    if (!Holds(kSongPathOffset + 1)) return {};
    const unsigned char* from = Bytes() + kSongPathOffset;
    const std::size_t room = block_.mappedSize - kSongPathOffset;
    std::size_t n = 0;
    while (n < room && from[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(from), n);
}

std::uint32_t PlayerBlockWriter::GetWord(std::size_t at) const {
    if (!Holds(at + 4)) return 0;
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(Bytes()[at + i]) << (8 * i);
    return v;
}
