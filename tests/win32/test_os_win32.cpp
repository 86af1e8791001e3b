// The Windows services: the player block (created, opened, bounded, shared with the
// player stand-in running as a second process), the event, the access test and the
// settings file through the profile functions.
#include "platform/win32/win32_api.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "player/player_info.h"
#include "tests/win32/win32_test_support.h"

namespace fs = std::filesystem;
using strofix_test::UniqueName;

namespace {

std::uint32_t ReadU32(const void* base, std::size_t offset) {
    std::uint32_t value = 0;
    std::memcpy(&value, static_cast<const unsigned char*>(base) + offset, sizeof value);
    return value;
}

void WriteU32(void* base, std::size_t offset, std::uint32_t value) {
    std::memcpy(static_cast<unsigned char*>(base) + offset, &value, sizeof value);
}

// A block created by the test itself, held open for the test's length.
struct HeldBlock {
    explicit HeldBlock(const std::string& name, std::size_t size = kPlayerBlockSize) {
        ok = platform::OpenSharedBlock(name.c_str(), size, &block);
    }
    ~HeldBlock() { platform::CloseSharedBlock(&block); }
    unsigned char* Bytes() { return static_cast<unsigned char*>(block.view); }
    platform::SharedBlock block;
    bool ok = false;
};

TEST(PlayerBlockWin32, CreatedBlockHoldsZerosAndTheSizeWord) {
    const std::string name = UniqueName("created");
    CPlayerInfo reader;
    ASSERT_TRUE(reader.OpenBlock(name.c_str(), (name + "-event").c_str()));

    HeldBlock same(name);
    ASSERT_TRUE(same.ok);
    ASSERT_EQ(same.block.mappedSize, kPlayerBlockSize);
    EXPECT_EQ(ReadU32(same.Bytes(), kSizeWordOffset), kPlayerSizeWord);
    for (std::size_t i = kSizeWordOffset + 4; i < kPlayerBlockSize; ++i) {
        ASSERT_EQ(same.Bytes()[i], 0) << "byte " << i;
    }
    char path[100] = "untouched";
    std::uint32_t position = 99;
    EXPECT_TRUE(reader.GetSongPath(path, sizeof path));
    EXPECT_STREQ(path, "");
    EXPECT_TRUE(reader.GetPosition(&position));
    EXPECT_EQ(position, 0u);
}

TEST(PlayerBlockWin32, OpeningAnExistingBlockReadsItAndRewritesTheSizeWord) {
    const std::string name = UniqueName("existing");
    HeldBlock player(name);
    ASSERT_TRUE(player.ok);
    WriteU32(player.Bytes(), kSizeWordOffset, 7);
    WriteU32(player.Bytes(), kPositionOffset, 123456);
    std::strcpy(reinterpret_cast<char*>(player.Bytes() + kSongPathOffset), "D:\\Music\\Song.mp3");

    CPlayerInfo reader;
    ASSERT_TRUE(reader.OpenBlock(name.c_str(), (name + "-event").c_str()));
    EXPECT_EQ(ReadU32(player.Bytes(), kSizeWordOffset), kPlayerSizeWord);
    char path[100];
    std::uint32_t position = 0;
    ASSERT_TRUE(reader.GetSongPath(path, sizeof path));
    EXPECT_STREQ(path, "D:\\Music\\Song.mp3");
    ASSERT_TRUE(reader.GetPosition(&position));
    EXPECT_EQ(position, 123456u);

    // Later writes by the player are seen by the next read.
    WriteU32(player.Bytes(), kPositionOffset, 654321);
    ASSERT_TRUE(reader.GetPosition(&position));
    EXPECT_EQ(position, 654321u);
}

TEST(PlayerBlockWin32, TheEventExistsUnderItsNameAndIsNotSignalled) {
    const std::string name = UniqueName("event");
    const std::string eventName = name + "-event";
    CPlayerInfo reader;
    ASSERT_TRUE(reader.OpenBlock(name.c_str(), eventName.c_str()));
    HANDLE event = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, eventName.c_str());
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    // Auto-reset: one signal releases one wait and the event is clear again.
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(event);
}

// A block that another program created smaller than the player's: reads stay inside the
// view, which the system may round up to whole pages (zeros past the block's end).
TEST(PlayerBlockWin32, ASmallerExistingBlockBoundsEveryRead) {
    struct Case {
        DWORD createdSize;
        std::size_t pathChars;  // what the path read yields from a field of 'p's
    };
    const Case cases[] = {
        {100, 0},                    // ends before the path field
        {16, 0},                     // ends right after the position
        {kSongPathOffset + 44, 44},  // the path field cut short, no NUL in it
        {kPlayerBlockSize, 261},     // whole field, no NUL before the block's end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.createdSize);
        const std::string name = UniqueName("small");
        HANDLE mapping =
            CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT, 0,
                               c.createdSize, name.c_str());
        ASSERT_NE(mapping, nullptr);
        auto* view =
            static_cast<unsigned char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
        ASSERT_NE(view, nullptr);
        std::memset(view, 'p', c.createdSize);
        WriteU32(view, kPositionOffset, 4321);

        platform::SharedBlock block;
        ASSERT_TRUE(platform::OpenSharedBlock(name.c_str(), kPlayerBlockSize, &block));
        MEMORY_BASIC_INFORMATION region{};
        ASSERT_EQ(VirtualQuery(block.view, &region, sizeof region), sizeof region);
        EXPECT_LE(block.mappedSize, region.RegionSize);
        EXPECT_LE(block.mappedSize, kPlayerBlockSize);
        EXPECT_GE(block.mappedSize, static_cast<std::size_t>(c.createdSize));
        platform::CloseSharedBlock(&block);

        CPlayerInfo reader;
        ASSERT_TRUE(reader.OpenBlock(name.c_str(), (name + "-event").c_str()));
        char path[400];
        std::memset(path, 'x', sizeof path);
        ASSERT_TRUE(reader.GetSongPath(path, sizeof path));
        EXPECT_EQ(std::strlen(path), c.pathChars);
        EXPECT_EQ(std::string(path).find_first_not_of('p'), std::string::npos);
        std::uint32_t position = 77;
        EXPECT_TRUE(reader.GetPosition(&position));
        EXPECT_EQ(position, 4321u);

        UnmapViewOfFile(view);
        CloseHandle(mapping);
    }
}

TEST(PlayerBlockWin32, ALongPathIsCutToTheCallersBuffer) {
    const std::string name = UniqueName("long");
    HeldBlock player(name);
    ASSERT_TRUE(player.ok);
    const std::string longPath = "C:\\" + std::string(150, 'a') + "\\song.mp3";
    std::memcpy(player.Bytes() + kSongPathOffset, longPath.c_str(), longPath.size() + 1);
    CPlayerInfo reader;
    ASSERT_TRUE(reader.OpenBlock(name.c_str(), (name + "-event").c_str()));
    char buffer[100 + 8];
    std::memset(buffer, '#', sizeof buffer);
    ASSERT_TRUE(reader.GetSongPath(buffer, 100));
    EXPECT_EQ(std::string(buffer), longPath.substr(0, 99));
    for (std::size_t i = 100; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], '#') << i;
}

// The player stand-in, a second process, writes the block this process holds.
TEST(PlayerBlockWin32, APlayerInAnotherProcessIsSeen) {
    const std::string name = UniqueName("tool");
    CPlayerInfo reader;
    ASSERT_TRUE(reader.OpenBlock(name.c_str(), (name + "-event").c_str()));

    const std::string song = "D:\\Music\\Other Song.mp3";
    const auto set =
        strofix_test::RunTool({"--block", name, "set", "--path", song, "--position", "98765"});
    ASSERT_EQ(set.exitCode, 0) << set.output;
    char path[100];
    std::uint32_t position = 0;
    ASSERT_TRUE(reader.GetSongPath(path, sizeof path));
    EXPECT_EQ(std::string(path), song);
    ASSERT_TRUE(reader.GetPosition(&position));
    EXPECT_EQ(position, 98765u);

    // The tool reads back what this process wrote, size word included.
    const auto show = strofix_test::RunTool({"--block", name, "show"});
    ASSERT_EQ(show.exitCode, 0) << show.output;
    EXPECT_NE(show.output.find("size: 1316"), std::string::npos) << show.output;
    EXPECT_NE(show.output.find("position: 98765"), std::string::npos) << show.output;
    EXPECT_NE(show.output.find("path: " + song), std::string::npos) << show.output;
}

// While the stand-in plays, the reader sees the song, a position that moves on, and the
// path cleared when the song is over.
TEST(PlayerBlockWin32, ReadsFollowAPlayingPlayer) {
    const std::string name = UniqueName("play");
    CPlayerInfo reader;
    ASSERT_TRUE(reader.OpenBlock(name.c_str(), (name + "-event").c_str()));
    const std::string song = "D:\\Music\\Playing.mp3";
    strofix_test::Process player =
        strofix_test::StartTool({"--block", name, "play", "--from", "5000", "--for", "2", song});
    ASSERT_TRUE(player.Started());

    char path[100] = "";
    std::uint32_t position = 0;
    const bool sawSong = strofix_test::WaitFor(
        [&] { return reader.GetSongPath(path, sizeof path) && song == path; });
    EXPECT_TRUE(sawSong);
    const bool moved =
        strofix_test::WaitFor([&] { return reader.GetPosition(&position) && position > 5000; });
    EXPECT_TRUE(moved) << position;
    EXPECT_EQ(player.Wait(), 0);
    ASSERT_TRUE(reader.GetSongPath(path, sizeof path));
    EXPECT_STREQ(path, "");
}

TEST(AccessWin32, ExistenceAndReadability) {
    const fs::path dir = strofix_test::TempDir("access");
    const fs::path file = dir / "present.txt";
    std::ofstream(file) << "x";
    struct Case {
        std::string path;
        int mode;
        bool expected;
    };
    const Case cases[] = {
        {file.string(), 0, true},
        {file.string(), 4, true},
        {dir.string(), 0, true},
        {dir.string() + "\\", 0, true},
        {(dir / "missing.txt").string(), 0, false},
        {(dir / "missing.txt").string(), 4, false},
        {"", 0, false},
        {file.string(), 1, true},  // no valid mode of its own: tested as existence
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::Access(c.path.c_str(), c.mode), c.expected)
            << c.path << " mode " << c.mode;
    }
    fs::remove_all(dir);
}

class ProfileWin32 : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = strofix_test::TempDir("profile");
        file_ = (dir_ / "settings.ini").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Read(const char* section, const char* key, const char* def,
                     std::size_t size = 100) {
        std::vector<char> buf(size + 1, '#');
        const std::size_t n =
            platform::GetProfileString(section, key, def, buf.data(), size, file_.c_str());
        EXPECT_EQ(buf[size], '#') << "wrote past the buffer";
        EXPECT_EQ(n, std::strlen(buf.data()));
        return buf.data();
    }
    std::string Contents() const {
        std::ifstream in(file_, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void Put(const std::string& text) { std::ofstream(file_, std::ios::binary) << text; }

    fs::path dir_;
    std::string file_;
};

TEST_F(ProfileWin32, DefaultOnlyWhenFileSectionOrKeyIsMissing) {
    EXPECT_EQ(Read("Strofix 1.0", "LyricsPath", "C:\\Lyrics"), "C:\\Lyrics");  // no file
    Put("[Other]\r\nLyricsPath=C:\\Elsewhere\r\n");
    EXPECT_EQ(Read("Strofix 1.0", "LyricsPath", "C:\\Lyrics"), "C:\\Lyrics");  // no section
    Put("[Strofix 1.0]\r\nOther=1\r\n");
    EXPECT_EQ(Read("Strofix 1.0", "LyricsPath", "C:\\Lyrics"), "C:\\Lyrics");  // no key
    Put("[Strofix 1.0]\r\nLyricsPath=\r\n");
    EXPECT_EQ(Read("Strofix 1.0", "LyricsPath", "C:\\Lyrics"), "");  // empty value
    Put("[strofix 1.0]\r\nlyricspath=E:\\Songs\r\n");
    EXPECT_EQ(Read("Strofix 1.0", "LyricsPath", "C:\\Lyrics"), "E:\\Songs");  // any case
}

TEST_F(ProfileWin32, ALongValueIsCutToTheBuffer) {
    const std::string value(150, 'v');
    Put("[Strofix 1.0]\r\nLyricsPath=" + value + "\r\n");
    EXPECT_EQ(Read("Strofix 1.0", "LyricsPath", "C:\\Lyrics"), value.substr(0, 99));
    EXPECT_EQ(Read("Strofix 1.0", "LyricsPath", "C:\\Lyrics", 1), "");
}

TEST_F(ProfileWin32, WritingCreatesTheFileAndKeepsTheRest) {
    ASSERT_TRUE(
        platform::WriteProfileString("Strofix 1.0", "LyricsPath", "C:\\Lyrics", file_.c_str()));
    EXPECT_EQ(Read("Strofix 1.0", "LyricsPath", "x"), "C:\\Lyrics");

    Put("; kept\r\n[Other]\r\nA=1\r\n[Strofix 1.0]\r\nLyricsPath=old\r\nB=2\r\n");
    ASSERT_TRUE(
        platform::WriteProfileString("Strofix 1.0", "LyricsPath", "D:\\New", file_.c_str()));
    EXPECT_EQ(Read("Strofix 1.0", "LyricsPath", "x"), "D:\\New");
    EXPECT_EQ(Read("Other", "A", "x"), "1");
    EXPECT_EQ(Read("Strofix 1.0", "B", "x"), "2");
    EXPECT_NE(Contents().find("; kept"), std::string::npos) << Contents();
}

TEST_F(ProfileWin32, AFailedWriteIsReportedAsSuch) {
    const std::string unreachable = (dir_ / "no such dir" / "settings.ini").string();
    EXPECT_FALSE(platform::WriteProfileString("Strofix 1.0", "LyricsPath", "C:\\Lyrics",
                                              unreachable.c_str()));
    EXPECT_FALSE(fs::exists(unreachable));
}

}  // namespace
