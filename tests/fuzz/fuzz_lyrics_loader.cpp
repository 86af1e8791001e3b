// Feeds arbitrary bytes as a lyrics file through the load and checks what the table may
// hold afterwards: at most 250 entries, every text NUL-terminated inside its slot and free
// of the line feed, times in order, one entry per tag up to the table's end, and nothing
// written around the table.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "sync/lyrics_file.h"

namespace {

struct Guarded {
    unsigned char before[64];
    LyricTable table;
    unsigned char after[256];
};

struct Counter : PieceObserver {
    long tags = 0;
    long stored = 0;
    void OnPiece(const PieceReport& r) override {
        tags += r.entries + r.dropped;
        stored += r.entries;
        if (std::strlen(r.piece) >= kLineBufferSize) std::abort();  // a read holds 99 at most
    }
};

// A plain buffer: it outlives the exit handler that removes the file.
const char* InputPath() {
    static char path[512] = "";
    if (path[0] == '\0') {
        const auto p = std::filesystem::temp_directory_path() /
                       ("strofix-fuzz-lyrics-" + std::to_string(getpid()) + ".txt");
        std::snprintf(path, sizeof path, "%s", p.string().c_str());
        std::atexit([] { std::remove(InputPath()); });
    }
    return path;
}

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* path = InputPath();
    std::FILE* out = std::fopen(path, "wb");
    if (out == nullptr) return 0;
    std::fwrite(data, 1, size, out);
    std::fclose(out);

    static Guarded g;
    std::memset(&g, 0xA5, sizeof g);
    int count = -1;
    TextModeFile file;
    Counter counter;
    Check(LoadLyricsFile(path, file, g.table, &count, &counter));

    Check(count >= 0 && count <= kLyricSlots);
    Check(count == counter.stored);
    Check(count == (counter.tags < kLyricSlots ? counter.tags : kLyricSlots));
    for (int i = 0; i < count; ++i) {
        const char* text = g.table[i].text;
        const void* end = std::memchr(text, '\0', sizeof g.table[i].text);
        Check(end != nullptr);
        const std::size_t len = static_cast<const char*>(end) - text;
        Check(len < kLineBufferSize - 1);  // the part of a piece after a ']'
        Check(len == 0 || text[len - 1] != '\n');
        if (i > 0) Check(g.table[i - 1].seconds <= g.table[i].seconds);
    }
    for (int i = count; i < kLyricSlots; ++i) {  // slots past the count are not touched
        const auto* bytes = reinterpret_cast<const unsigned char*>(&g.table[i]);
        for (std::size_t k = 0; k < sizeof(LyricEntry); ++k) Check(bytes[k] == 0xA5);
    }
    for (unsigned char b : g.before) Check(b == 0xA5);
    for (unsigned char b : g.after) Check(b == 0xA5);
    return 0;
}
