// What only POSIX lets a test set up: blocks of odd sizes made beforehand, a player in
// another process, and lyrics files that cannot be read or would block a reader.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
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

}  // namespace
