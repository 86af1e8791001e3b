// Feeds arbitrary bytes as a lyrics file through the load and checks what the table may
// hold afterwards: at most 250 entries, every text NUL-terminated inside its slot and free
// of the line feed, times in order, one entry per tag up to the table's end, and nothing
// written around the table.
//
// The input lives in a memory file (memfd) that the load opens by its /proc/self/fd path,
// so the loader runs unchanged (access test, open by name, reads) and no disk is written.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sync/lyrics_file.h"

// Every load frees the stream it opened. ASan's default quarantine keeps 256 MB of freed
// blocks away from reuse, so the process would touch fresh pages for thousands of loads;
// a small one still catches a use after free of the last loads.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=4";
}

namespace {

constexpr unsigned char kFill = 0xA5;

struct Guarded {
    unsigned char before[64];
    LyricTable table;
    unsigned char after[256];
};

// What untouched bytes look like, as much of it as the largest region to compare.
const unsigned char* Fill() {
    static unsigned char fill[sizeof(Guarded)];
    static const bool ready = (std::memset(fill, kFill, sizeof fill), true);
    (void)ready;
    return fill;
}

bool Untouched(const void* p, std::size_t n) {
    return std::memcmp(p, Fill(), n) == 0;
}

struct Counter : PieceObserver {
    long tags = 0;
    long stored = 0;
    void OnPiece(const PieceReport& r) override {
        tags += r.entries + r.dropped;
        stored += r.entries;
        if (std::strlen(r.piece) >= kLineBufferSize) std::abort();  // a read holds 99 at most
    }
};

void Check(bool ok) {
    if (!ok) std::abort();
}

// The memory file and its path, made once.
struct Input {
    int fd = -1;
    char path[64] = "";
    Input() {
        fd = memfd_create("strofix-fuzz-lyrics", MFD_CLOEXEC);
        Check(fd >= 0);
        std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    }
    // Writes over the last input and cuts what is left of it: pages are kept for reuse.
    void Set(const std::uint8_t* data, std::size_t size) {
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
            Check(n > 0);
            done += static_cast<std::size_t>(n);
        }
        if (size < length) Check(ftruncate(fd, static_cast<off_t>(size)) == 0);
        length = size;
    }
    std::size_t length = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Input input;
    input.Set(data, size);

    // Only the slots a load wrote are filled again: everything else was found untouched.
    static Guarded g = [] {
        Guarded fresh;
        std::memset(&fresh, kFill, sizeof fresh);
        return fresh;
    }();
    static int written = 0;
    std::memset(g.table, kFill, sizeof(LyricEntry) * static_cast<std::size_t>(written));

    int count = -1;
    static TextModeFile file;  // 16 KiB of buffer: kept off the stack
    Counter counter;
    Check(LoadLyricsFile(input.path, file, g.table, &count, &counter));
    file.Close();

    Check(count >= 0 && count <= kLyricSlots);
    written = count;
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
    // Slots past the count and the bytes around the table are not touched.
    Check(Untouched(&g.table[count],
                    sizeof(LyricEntry) * static_cast<std::size_t>(kLyricSlots - count)));
    Check(Untouched(g.before, sizeof g.before));
    Check(Untouched(g.after, sizeof g.after));
    return 0;
}
