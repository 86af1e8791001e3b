// What only POSIX lets a test set up: blocks of odd sizes made beforehand, a player in
// another process, and lyrics files that cannot be read or would block a reader.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "player/player_info.h"
#include "sync/lyrics_file.h"
#include "tests/core/support.h"

using strofix_test::TempDir;
using strofix_test::UniqueName;

namespace {

// A block made by someone else at `size` bytes, filled with `fill`.
class OddBlock {
public:
    OddBlock(std::size_t size, unsigned char fill)
        : name_(UniqueName("odd")), event_(UniqueName("odd-event")) {
        const int fd = shm_open(("/" + name_).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        ok_ = fd >= 0 && ftruncate(fd, static_cast<off_t>(size)) == 0;
        if (ok_ && size > 0) {
            std::vector<unsigned char> bytes(size, fill);
            ok_ = pwrite(fd, bytes.data(), size, 0) == static_cast<ssize_t>(size);
        }
        if (fd >= 0) close(fd);
    }
    ~OddBlock() {
        shm_unlink(("/" + name_).c_str());
        platform::RemoveNamedEvent(event_.c_str());
    }
    bool Ok() const { return ok_; }
    const char* Name() const { return name_.c_str(); }
    const char* Event() const { return event_.c_str(); }
    std::vector<unsigned char> Contents() const {
        std::vector<unsigned char> bytes;
        const int fd = shm_open(("/" + name_).c_str(), O_RDONLY, 0);
        struct stat st {};
        if (fd >= 0 && fstat(fd, &st) == 0) {
            bytes.resize(static_cast<std::size_t>(st.st_size));
            if (pread(fd, bytes.data(), bytes.size(), 0) < 0) bytes.clear();
        }
        if (fd >= 0) close(fd);
        return bytes;
    }

private:
    std::string name_;
    std::string event_;
    bool ok_ = false;
};

TEST(PlayerBlockPosix, BlocksOfOtherSizesAreNeverReadPast) {
    struct Case {
        std::size_t size;
        bool positionReadable;
        std::size_t pathChars;  // 'A's the path reads as
    };
    // Larger ones too: the bytes past 1317 belong to no field.
    const Case cases[] = {
        {3, false, 0},   {4, false, 0},    {15, false, 0},    {16, true, 0},     {1056, true, 0},
        {1057, true, 1}, {1100, true, 44}, {1316, true, 260}, {1317, true, 261}, {4000, true, 261},
    };
    for (const Case& c : cases) {
        OddBlock block(c.size, 'A');
        ASSERT_TRUE(block.Ok()) << c.size;
        CPlayerInfo reader;
        ASSERT_TRUE(reader.OpenBlock(block.Name(), block.Event())) << c.size;
        char path[400];
        std::uint32_t position = 99;
        ASSERT_TRUE(reader.GetSongPath(path, sizeof path)) << c.size;
        EXPECT_EQ(std::string(path), std::string(c.pathChars, 'A')) << c.size;
        EXPECT_EQ(reader.GetPosition(&position), c.positionReadable) << c.size;
        if (!c.positionReadable) {
            EXPECT_EQ(position, 99U) << c.size;
        }
        // The block keeps its size; the size word is written only when it fits.
        const auto contents = block.Contents();
        ASSERT_EQ(contents.size(), c.size);
        if (c.size >= 4) {
            std::uint32_t word = 0;
            std::memcpy(&word, contents.data(), 4);
            EXPECT_EQ(word, kPlayerSizeWord) << c.size;
        } else {
            for (unsigned char b : contents) EXPECT_EQ(b, 'A') << c.size;
        }
    }
}

TEST(PlayerBlockPosix, PlayerInAnotherProcess) {
    const std::string name = UniqueName("shared");
    const std::string event = UniqueName("shared-event");
    CPlayerInfo reader;
    ASSERT_TRUE(reader.OpenBlock(name.c_str(), event.c_str()));

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The player: opens the block by its name and writes a song and a position.
        platform::SharedBlock block;
        if (!platform::OpenSharedBlock(name.c_str(), kPlayerBlockSize, &block)) _exit(2);
        auto* bytes = static_cast<unsigned char*>(block.view);
        std::uint32_t size = 0;
        std::memcpy(&size, bytes, 4);
        const char song[] = "D:\\Music\\From the player.mp3";
        std::memcpy(bytes + kSongPathOffset, song, sizeof song);
        const std::uint32_t position = 61234;
        std::memcpy(bytes + kPositionOffset, &position, 4);
        _exit(size == kPlayerSizeWord ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the player did not see the size word";

    char path[kSongPathSize];
    std::uint32_t position = 0;
    ASSERT_TRUE(reader.GetSongPath(path, sizeof path));
    EXPECT_STREQ(path, "D:\\Music\\From the player.mp3");
    ASSERT_TRUE(reader.GetPosition(&position));
    EXPECT_EQ(position, 61234U);
    platform::RemoveSharedBlock(name.c_str());
    platform::RemoveNamedEvent(event.c_str());
}

TEST(LyricsFilePosix, UnreadableOrBlockingFilesAreNotLoaded) {
    TempDir dir;
    const auto locked = dir.Write("locked.txt", "[00:01]secret\n");
    chmod(locked.c_str(), 0);
    const auto fifo = dir.Path() / "fifo.txt";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    std::vector<std::string> cases = {fifo.string()};
    if (geteuid() != 0) cases.push_back(locked.string());  // root reads anything
    for (const std::string& path : cases) {
        LyricTable table = {};
        table[0] = {9, "old"};
        int count = 1;
        TextModeFile f;
        EXPECT_FALSE(LoadLyricsFile(path.c_str(), f, table, &count)) << path;
        EXPECT_EQ(count, 1) << path;
        EXPECT_STREQ(table[0].text, "old") << path;
    }
}

TEST(LyricsFilePosix, OnlyRegularFilesAreOpenedAndReadAsUsual) {
    TempDir dir;
    const auto regular = dir.Write("Song.txt", "[00:01]one\n");
    const auto link = dir.Path() / "Link.txt";
    ASSERT_EQ(symlink(regular.c_str(), link.c_str()), 0);
    const auto fifo = dir.Path() / "fifo.txt";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A FIFO with a writer opens without waiting; it is still refused.
    const int writer = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    const struct {
        std::string path;
        bool opens;
    } cases[] = {
        {regular.string(), true},
        {link.string(), true},
        {fifo.string(), false},
        {dir.Str(), false},
        {(dir.Path() / "none").string(), false},
        {"/dev/null", false},
    };
    for (const auto& c : cases) {
        std::FILE* f = platform::OpenRegularFile(c.path.c_str());
        EXPECT_EQ(f != nullptr, c.opens) << c.path;
        if (f == nullptr) continue;
        // Reads block as usual, and the descriptor does not leak into started programs.
        EXPECT_EQ(fcntl(fileno(f), F_GETFL) & (O_NONBLOCK | O_ACCMODE), O_RDONLY) << c.path;
        EXPECT_NE(fcntl(fileno(f), F_GETFD) & FD_CLOEXEC, 0) << c.path;
        std::fclose(f);
    }
    close(writer);
}

// A stream that hands out `text` in reads of at most `chunk` bytes and then fails, as a
// disk or a network share may in mid-file.
struct FailingSource {
    std::string text;
    std::size_t chunk;
    std::size_t pos = 0;
    int reads = 0;
    int failedReads = 0;
};

ssize_t ReadThenFail(void* cookie, char* buf, std::size_t size) {
    auto* s = static_cast<FailingSource*>(cookie);
    ++s->reads;
    if (s->pos == s->text.size()) {
        ++s->failedReads;
        errno = EIO;
        return -1;
    }
    const std::size_t n = std::min({size, s->chunk, s->text.size() - s->pos});
    std::memcpy(buf, s->text.data() + s->pos, n);
    s->pos += n;
    return static_cast<ssize_t>(n);
}

TEST(LyricsFilePosix, AReadErrorInMidFileEndsTheReadingAndKeepsTheEntriesReadSoFar) {
    const struct {
        const char* name;
        std::string before;  // what the reads deliver before the failing one
        std::size_t chunk;
        std::vector<strofix_test::Entry> want;
    } cases[] = {
        // The line the error cuts is lost; the complete lines before it are kept, sorted.
        {"in a line", "[00:05]five\n[00:01]one\n[00:0", 7, {{1, "one"}, {5, "five"}}},
        {"after a line", "[00:05]five\r\n[00:01]one\r\n", 4096, {{1, "one"}, {5, "five"}}},
        // A CR whose next byte the error hides.
        {"after a CR", "[00:05]five\n[00:02]two\r", 3, {{5, "five"}}},
        {"at once", "", 4096, {}},
        {"after many reads", std::string(300, '\n') + "[00:03]x\n[00:04]", 100, {{3, "x"}}},
    };
    for (const auto& c : cases) {
        FailingSource source{c.before, c.chunk};
        std::FILE* stream = fopencookie(&source, "rb", {ReadThenFail, nullptr, nullptr, nullptr});
        ASSERT_NE(stream, nullptr);
        TextModeFile file;
        ASSERT_TRUE(file.Adopt(stream));
        LyricTable table = {};
        const int count = ReadLyricsFile(file, table);
        EXPECT_EQ(strofix_test::Entries(table, count), c.want) << c.name;
        EXPECT_TRUE(file.ReadFailed()) << c.name;
        EXPECT_FALSE(file.LimitReached()) << c.name;
        EXPECT_EQ(source.failedReads, 1) << c.name << ": the reading went on after the error";
        char piece[kLineBufferSize];
        EXPECT_EQ(file.GetLine(piece, sizeof piece), TextModeFile::Read::Error) << c.name;
    }
}

// The file's type is taken from the opened file: a FIFO that takes the lyrics file's place
// between any two steps of a load fails that load at once, and never blocks it (a FIFO
// without a writer would block an open, and the window with it, for good).
TEST(LyricsFilePosix, AFifoSwappedInDuringLoadsNeverBlocksOne) {
    TempDir dir;
    const auto regular = dir.Write("regular", "[00:01]one\n");
    const auto fifo = dir.Path() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto song = dir.Path() / "Song.txt";
    const auto spare = dir.Path() / "spare";

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(20);  // a load that blocks ends the child with SIGALRM
        std::atomic<bool> stop{false};
        std::thread swapper([&] {
            for (unsigned i = 0; !stop.load(); ++i) {
                unlink(spare.c_str());
                if (link((i % 2 ? regular : fifo).c_str(), spare.c_str()) != 0) _exit(5);
                if (rename(spare.c_str(), song.c_str()) != 0) _exit(6);
            }
        });
        int loaded = 0;
        int refused = 0;
        for (int i = 0; i < 400000 && (loaded < 200 || refused < 200); ++i) {
            LyricTable table = {};
            int count = 0;
            TextModeFile file;
            if (LoadLyricsFile(song.c_str(), file, table, &count)) {
                if (count != 1 || std::strcmp(table[0].text, "one") != 0) _exit(3);
                ++loaded;
            } else {
                ++refused;
            }
        }
        stop = true;
        swapper.join();
        _exit(loaded >= 200 && refused >= 200 ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const bool blocked = WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM;
    ASSERT_FALSE(blocked) << "a load blocked on the FIFO";
    ASSERT_TRUE(WIFEXITED(status)) << "the loads ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: a wrong table, 4: the FIFO was seldom met, "
                                         "5, 6: the swap failed";
}

}  // namespace
