// What only POSIX lets a test set up: blocks of odd sizes made beforehand, a player in
// another process, and lyrics files that cannot be read or would block a reader.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <semaphore.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/fake/fake_backend.h"
#include "player/player_block_writer.h"
#include "player/player_info.h"
#include "sync/lyrics_file.h"
#include "tests/core/support.h"
#include "ui/lyrics_dlg.h"

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

// Mode and size of the object behind a block name, as the system holds them.
struct stat StatOf(const std::string& shmName) {
    struct stat st {};
    const int fd = shm_open(("/" + shmName).c_str(), O_RDONLY, 0);
    if (fd >= 0) {
        fstat(fd, &st);
        close(fd);
    }
    return st;
}

TEST(PlayerBlockPosix, BlockAndEventAreCreatedForTheUserOnly) {
    OddBlock names(1, 0);  // only for its names, removed at the end
    shm_unlink(("/" + std::string(names.Name())).c_str());
    const mode_t oldMask = umask(0);  // no mask to hide a wider mode
    CPlayerInfo reader;
    const bool opened = reader.OpenBlock(names.Name(), names.Event());
    umask(oldMask);
    ASSERT_TRUE(opened);
    const struct stat block = StatOf(names.Name());
    EXPECT_EQ(block.st_mode & 07777, 0600U);
    EXPECT_EQ(block.st_size, static_cast<off_t>(kPlayerBlockSize));
    EXPECT_EQ(block.st_uid, geteuid());

    // The event exists under its own name, with the same mode.
    sem_t* event = sem_open(("/" + std::string(names.Event())).c_str(), 0);
    ASSERT_NE(event, SEM_FAILED) << "the event was not created";
    sem_close(event);
    struct stat ev {};
    ASSERT_EQ(stat(("/dev/shm/sem." + std::string(names.Event())).c_str(), &ev), 0);
    EXPECT_EQ(ev.st_mode & 07777, 0600U);
}

TEST(PlayerBlockPosix, ExistingEmptyBlockIsSizedAndGetsTheSizeWord) {
    OddBlock block(0, 0);  // its creator has not sized it yet
    ASSERT_TRUE(block.Ok());
    CPlayerInfo reader;
    ASSERT_TRUE(reader.OpenBlock(block.Name(), block.Event()));
    const auto contents = block.Contents();
    ASSERT_EQ(contents.size(), kPlayerBlockSize);
    std::uint32_t word = 0;
    std::memcpy(&word, contents.data(), 4);
    EXPECT_EQ(word, kPlayerSizeWord);
    for (std::size_t i = 4; i < contents.size(); ++i) ASSERT_EQ(contents[i], 0) << "byte " << i;
    std::uint32_t position = 9;
    ASSERT_TRUE(reader.GetPosition(&position));
    EXPECT_EQ(position, 0U);
}

// The player's side of a block, by its descriptor only, so that the test itself never
// touches a page the block no longer holds.
class PlayerByDescriptor {
public:
    PlayerByDescriptor() : name_(UniqueName("live")), event_(UniqueName("live-event")) {
        Create(0600);
    }
    ~PlayerByDescriptor() {
        if (fd_ >= 0) close(fd_);
        shm_unlink(ShmName().c_str());
        platform::RemoveNamedEvent(event_.c_str());
    }
    // A new block under the same name, the old one removed, made with `mode`.
    void Create(mode_t mode) {
        if (fd_ >= 0) close(fd_);
        shm_unlink(ShmName().c_str());
        const mode_t oldMask = umask(0);
        fd_ = shm_open(ShmName().c_str(), O_RDWR | O_CREAT | O_EXCL, mode);
        umask(oldMask);
        ok_ = fd_ >= 0 && ftruncate(fd_, static_cast<off_t>(kPlayerBlockSize)) == 0;
    }
    void Resize(off_t size) { ok_ = ok_ && ftruncate(fd_, size) == 0; }
    void Play(const std::string& path, std::uint32_t ms) {
        std::vector<char> field(kPlayerBlockSize - kSongPathOffset, 0);
        std::memcpy(field.data(), path.data(), path.size());
        ok_ = ok_ && pwrite(fd_, field.data(), field.size(), kSongPathOffset) ==
                         static_cast<ssize_t>(field.size());
        unsigned char le[4];
        for (int i = 0; i < 4; ++i) le[i] = static_cast<unsigned char>(ms >> (8 * i));
        ok_ = ok_ && pwrite(fd_, le, 4, kPositionOffset) == 4;
    }
    std::uint32_t SizeWord() const {
        unsigned char le[4] = {};
        if (pread(fd_, le, 4, 0) != 4) return 0;
        return le[0] | le[1] << 8 | le[2] << 16 | static_cast<std::uint32_t>(le[3]) << 24;
    }
    int Fd() const { return fd_; }
    bool Ok() const { return ok_; }
    const char* Name() const { return name_.c_str(); }
    const char* Event() const { return event_.c_str(); }
    std::string ShmName() const { return "/" + name_; }

private:
    std::string name_;
    std::string event_;
    int fd_ = -1;
    bool ok_ = false;
};

// A window ticking over a block that is shrunk, removed and made again under it.
class LiveBlockTick : public ::testing::Test {
protected:
    void SetUp() override {
        ResetTickState();
        ASSERT_TRUE(player.Ok());
        lyrics.Write("A.txt", "[00:03]line of A\n");
        lyrics.Write("B.txt", "[00:04]line of B\n");
        std::snprintf(dlg.m_lyricsDir, sizeof dlg.m_lyricsDir, "%s", lyrics.Str().c_str());
        ASSERT_TRUE(dlg.m_player.OpenBlock(player.Name(), player.Event()));
        dlg.SetTimer(kTickTimerId, kTickPeriodMs);
    }
    std::string Tick() {
        EXPECT_TRUE(fake.Tick(kTickTimerId)) << "timer not running";
        return dlg.m_displayText;
    }
    // Two ticks: the first loads the song, the second shows its line.
    std::string Settle() {
        Tick();
        return Tick();
    }

    TempDir lyrics;
    PlayerByDescriptor player;
    CLyricsDlg dlg;
    FakeDialogBackend& fake = FakeDialogBackend::Of(dlg);
};

const std::string kNoLyrics = STROFIX_NO_LYRICS_TEXT;

TEST_F(LiveBlockTick, ShrunkBlockReadsOnlyWhatItStillHolds) {
    struct Case {
        off_t size;
        bool positionHeld;
    };
    const Case cases[] = {{0, false}, {10, false}, {1000, true}, {kSongPathOffset, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        player.Resize(static_cast<off_t>(kPlayerBlockSize));
        player.Play("D:\\Music\\A.mp3", 3500);
        ASSERT_TRUE(player.Ok());
        ASSERT_EQ(Settle(), "line of A");

        player.Resize(c.size);
        ASSERT_TRUE(player.Ok());
        // The path is gone with the bytes that held it: no song, and nothing read past.
        EXPECT_EQ(Tick(), kNoLyrics);
        char path[kSongPathSize] = "x";
        ASSERT_TRUE(dlg.m_player.GetSongPath(path, sizeof path));
        EXPECT_STREQ(path, "");
        std::uint32_t position = 77;
        EXPECT_EQ(dlg.m_player.GetPosition(&position), c.positionHeld);
        EXPECT_EQ(position, c.positionHeld ? 3500U : 77U);
        EXPECT_EQ(Tick(), kNoLyrics);
    }
    // Grown back, the block is read whole again.
    player.Resize(static_cast<off_t>(kPlayerBlockSize));
    player.Play("D:\\Music\\B.mp3", 4000);
    EXPECT_EQ(Settle(), "line of B");
}

TEST_F(LiveBlockTick, BlockMadeAgainUnderItsNameIsFollowed) {
    player.Play("D:\\Music\\A.mp3", 3000);
    ASSERT_EQ(Settle(), "line of A");
    const int oldFd = dup(player.Fd());  // the old block stays alive, as a dead name would

    player.Create(0600);
    player.Play("D:\\Music\\B.mp3", 4000);
    ASSERT_TRUE(player.Ok());
    EXPECT_EQ(Settle(), "line of B");
    EXPECT_EQ(player.SizeWord(), kPlayerSizeWord) << "the new block got no size word";

    // Removed and not made again: the reader makes the block anew, as at start.
    shm_unlink(player.ShmName().c_str());
    EXPECT_EQ(Tick(), kNoLyrics);
    const struct stat made = StatOf(player.Name());
    EXPECT_EQ(made.st_size, static_cast<off_t>(kPlayerBlockSize));
    EXPECT_EQ(made.st_mode & 07777, 0600U);
    close(oldFd);
}

TEST_F(LiveBlockTick, BlockOthersMayWriteIsRefusedAndSaidOnce) {
    player.Play("D:\\Music\\A.mp3", 3000);
    ASSERT_EQ(Settle(), "line of A");

    for (mode_t mode : {0622, 0660, 0666}) {
        SCOPED_TRACE(mode);
        player.Create(mode);
        player.Play("D:\\Music\\B.mp3", 4000);
        ASSERT_TRUE(player.Ok());
        testing::internal::CaptureStderr();
        // Treated as a block that could not be opened: an empty path at position 0.
        for (int i = 0; i < 3; ++i) EXPECT_EQ(Tick(), kNoLyrics);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("others may write it"), std::string::npos) << err;
        EXPECT_EQ(err.find("others may write it"), err.rfind("others may write it"))
            << "said more than once: " << err;
        EXPECT_EQ(player.SizeWord(), 0U) << "a refused block was written";
    }
    // Made private again: used at the next tick.
    ASSERT_EQ(fchmod(player.Fd(), 0600), 0);
    EXPECT_EQ(Settle(), "line of B");
}

TEST_F(LiveBlockTick, BlockOfAnotherUserIsRefused) {
    if (geteuid() != 0) GTEST_SKIP() << "only root can give a block to another user";
    const passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    player.Play("D:\\Music\\A.mp3", 3000);
    ASSERT_EQ(Settle(), "line of A");
    player.Create(0600);
    player.Play("D:\\Music\\B.mp3", 4000);
    ASSERT_EQ(fchown(player.Fd(), nobody->pw_uid, nobody->pw_gid), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Settle(), kNoLyrics);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("belongs to user " + std::to_string(nobody->pw_uid)), std::string::npos)
        << err;
    EXPECT_EQ(player.SizeWord(), 0U);

    CPlayerInfo fresh;  // opening it from the start fails the same way
    EXPECT_FALSE(fresh.OpenBlock(player.Name(), player.Event()));
}

TEST(PlayerBlockWriterPosix, ShrunkOrReplacedBlockNeverFaultsTheWriter) {
    PlayerByDescriptor reader;  // the descriptor side looks on
    PlayerBlockWriter writer;
    ASSERT_TRUE(writer.Open(reader.Name(), "test"));
    writer.SetPath("D:\\a.mp3");
    writer.SetPosition(1234);
    for (off_t size : {0, 10, 1000}) {
        SCOPED_TRACE(size);
        reader.Resize(size);
        ASSERT_TRUE(reader.Ok());
        writer.SetPosition(5678);
        writer.SetPath("D:\\b.mp3");
        EXPECT_EQ(writer.Path(), "");
        EXPECT_EQ(writer.Position(), size >= 16 ? 5678U : 0U);
        EXPECT_EQ(writer.SizeWord(), 0U);
        struct stat st {};
        ASSERT_EQ(fstat(reader.Fd(), &st), 0);
        EXPECT_EQ(st.st_size, size) << "the writer changed the block's size";
        reader.Resize(static_cast<off_t>(kPlayerBlockSize));
    }
    // Removed under the writer: the next write makes the block again and gives it the
    // last path and position.
    shm_unlink(reader.ShmName().c_str());
    writer.SetPosition(9000);
    PlayerBlockWriter look;
    ASSERT_TRUE(look.Open(reader.Name(), "test"));
    EXPECT_EQ(look.Path(), "D:\\b.mp3");
    EXPECT_EQ(look.Position(), 9000U);
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
