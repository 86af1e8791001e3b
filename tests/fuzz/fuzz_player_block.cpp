// Makes a player block of a fuzzed size and content, opens it and reads it into a buffer
// of a fuzzed size. The reads must return exactly what a bounded reading of the block
// gives: the path up to its NUL, the block's end or the buffer's end, and the position
// only when the block holds it. The buffer is a heap block of exactly its size, so a
// write past it is caught.
//
// Input: two bytes of block size (0..2047; 0 stands for a block created by the reader),
// two bytes of buffer size (1..512), then the block's content.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "player/player_info.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

const std::string& BlockName() {
    static const std::string name = "StrofixFuzz-" + std::to_string(getpid()) + "-block";
    return name;
}
// Plain buffers: they outlive the exit handlers that remove what they name.
const char* EventName() {
    static char name[64] = "";
    if (name[0] == '\0') {
        std::snprintf(name, sizeof name, "StrofixFuzz-%d-event", static_cast<int>(getpid()));
        std::atexit([] { platform::RemoveNamedEvent(EventName()); });
    }
    return name;
}

// The reader keeps its view for the life of the process; a fuzzer makes thousands of
// blocks, so each view is found by its name in the process's map and released.
void ReleaseViews() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    const std::string needle = "/dev/shm/" + BlockName();
    std::vector<std::pair<std::uintptr_t, std::uintptr_t>> ranges;
    while (std::getline(maps, line)) {
        if (line.find(needle) == std::string::npos) continue;
        unsigned long long from = 0;
        unsigned long long to = 0;
        if (std::sscanf(line.c_str(), "%llx-%llx", &from, &to) == 2) ranges.emplace_back(from, to);
    }
    for (const auto& r : ranges) munmap(reinterpret_cast<void*>(r.first), r.second - r.first);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::size_t blockSize = (data[0] | data[1] << 8) % 2048;
    const std::size_t bufferSize = (data[2] | data[3] << 8) % 512 + 1;
    data += 4;
    size -= 4;

    // The block as its maker leaves it.
    std::vector<unsigned char> image(blockSize, 0);
    for (std::size_t i = 0; i < blockSize && i < size; ++i) image[i] = data[i];
    const std::string shmName = "/" + BlockName();
    shm_unlink(shmName.c_str());
    if (blockSize > 0) {
        const int fd = shm_open(shmName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        Check(fd >= 0);
        Check(ftruncate(fd, static_cast<off_t>(blockSize)) == 0);
        Check(pwrite(fd, image.data(), blockSize, 0) == static_cast<ssize_t>(blockSize));
        close(fd);
    }

    // What the reader should see: a block it creates is 1317 zeros; a larger one is read
    // to 1317 bytes; the size word is written when it fits.
    std::vector<unsigned char> seen = image;
    if (blockSize == 0) seen.assign(kPlayerBlockSize, 0);
    if (seen.size() > kPlayerBlockSize) seen.resize(kPlayerBlockSize);
    if (seen.size() >= 4) std::memcpy(seen.data(), &kPlayerSizeWord, 4);
    std::string wantPath;
    for (std::size_t i = kSongPathOffset; i < seen.size() && seen[i] != 0; ++i) {
        wantPath.push_back(static_cast<char>(seen[i]));
    }
    if (wantPath.size() > bufferSize - 1) wantPath.resize(bufferSize - 1);

    {
        CPlayerInfo reader;
        Check(reader.OpenBlock(BlockName().c_str(), EventName()));
        auto out = std::make_unique<char[]>(bufferSize);
        Check(reader.GetSongPath(out.get(), bufferSize));
        Check(std::memchr(out.get(), '\0', bufferSize) != nullptr);
        Check(wantPath == out.get());

        std::uint32_t position = 0xFEEDFACE;
        const bool readable = seen.size() >= kPositionOffset + 4;
        Check(reader.GetPosition(&position) == readable);
        std::uint32_t want = 0xFEEDFACE;
        if (readable) std::memcpy(&want, seen.data() + kPositionOffset, 4);
        Check(position == want);
    }
    ReleaseViews();
    shm_unlink(shmName.c_str());
    return 0;
}
