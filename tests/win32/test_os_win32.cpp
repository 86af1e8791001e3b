// The Windows services: the player block (created, opened, bounded, shared with the
// player stand-in running as a second process), the event, the access test and the
// settings file through the profile functions.
#include "platform/win32/win32_api.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "player/player_info.h"
#include "sync/lyrics_file.h"
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

bool OpenReader(CPlayerInfo& reader, const std::string& name) {
    return reader.OpenBlock(name.c_str(), (name + "-event").c_str());
}

TEST(PlayerBlockWin32, CreatedAndExistingBlocksAreReadWithTheSizeWordSet) {
    const std::string name = UniqueName("block");
    CPlayerInfo first;
    ASSERT_TRUE(OpenReader(first, name));
    platform::SharedBlock player;  // the same block, as the player maps it
    ASSERT_TRUE(platform::OpenSharedBlock(name.c_str(), kPlayerBlockSize, &player));
    auto* bytes = static_cast<unsigned char*>(player.view);
    ASSERT_EQ(player.mappedSize, kPlayerBlockSize);

    // Created: zeros after the size word; an empty path at position 0.
    EXPECT_EQ(ReadU32(bytes, kSizeWordOffset), kPlayerSizeWord);
    for (std::size_t i = kSizeWordOffset + 4; i < kPlayerBlockSize; ++i) {
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
    }
    char path[100] = "untouched";
    std::uint32_t position = 99;
    EXPECT_TRUE(first.GetSongPath(path, sizeof path));
    EXPECT_STREQ(path, "");
    EXPECT_TRUE(first.GetPosition(&position));
    EXPECT_EQ(position, 0u);

    // The event exists under its name, auto-reset and not signalled.
    HANDLE event = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, (name + "-event").c_str());
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(event);

    // Existing: what the player wrote is kept and read, the size word rewritten, a long
    // path cut to the caller's buffer; a later write is seen by the next read.
    WriteU32(bytes, kSizeWordOffset, 7);
    WriteU32(bytes, kPositionOffset, 123456);
    const std::string longPath = "C:\\" + std::string(150, 'a') + "\\song.mp3";
    std::memcpy(bytes + kSongPathOffset, longPath.c_str(), longPath.size() + 1);
    CPlayerInfo second;
    ASSERT_TRUE(OpenReader(second, name));
    EXPECT_EQ(ReadU32(bytes, kSizeWordOffset), kPlayerSizeWord);
    char buffer[sizeof path + 8];
    std::memset(buffer, '#', sizeof buffer);
    ASSERT_TRUE(second.GetSongPath(buffer, sizeof path));
    EXPECT_EQ(std::string(buffer), longPath.substr(0, sizeof path - 1));
    EXPECT_EQ(std::string(buffer + sizeof path, 8), std::string(8, '#'));
    ASSERT_TRUE(second.GetPosition(&position));
    EXPECT_EQ(position, 123456u);
    WriteU32(bytes, kPositionOffset, 654321);
    ASSERT_TRUE(first.GetPosition(&position));
    EXPECT_EQ(position, 654321u);
    platform::CloseSharedBlock(&player);
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
        ASSERT_TRUE(OpenReader(reader, name));
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

// The player stand-in, a second process, writes the block this process holds and reads
// back what it holds; while it plays, the position moves on, and the path is cleared when
// the song is over.
TEST(PlayerBlockWin32, APlayerInAnotherProcessIsSeen) {
    const std::string name = UniqueName("tool");
    CPlayerInfo reader;
    ASSERT_TRUE(OpenReader(reader, name));
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

    const auto show = strofix_test::RunTool({"--block", name, "show"});
    ASSERT_EQ(show.exitCode, 0) << show.output;
    for (const std::string& line :
         {std::string("size: 1316"), std::string("position: 98765"), "path: " + song}) {
        EXPECT_NE(show.output.find(line), std::string::npos) << show.output;
    }

    const std::string playing = "D:\\Music\\Playing.mp3";
    strofix_test::ToolResult played;
    std::thread player([&] {
        played = strofix_test::RunTool(
            {"--block", name, "play", "--from", "5000", "--for", "2", playing});
    });
    const bool seen = strofix_test::WaitFor([&] {
        return reader.GetSongPath(path, sizeof path) && playing == path &&
               reader.GetPosition(&position) && position > 5000 && position < 98765;
    });
    player.join();
    EXPECT_TRUE(seen) << path << " at " << position;
    EXPECT_EQ(played.exitCode, 0) << played.output;
    ASSERT_TRUE(reader.GetSongPath(path, sizeof path));
    EXPECT_STREQ(path, "");
}

// Lyrics file names pass to the system as the player's bytes, which the narrow run-time
// reads in the ANSI code page: a file made under its Unicode name is found by those bytes.
// With STROFIX_EXPECT_ACP set (the code page 1251 run under a Russian locale), the code page
// must be that one and the Cyrillic name must have been tried.
TEST(LyricsFileWin32, NamesInTheAnsiCodePageAreFound) {
    const wchar_t* const cyrillic = L"\u041F\u0435\u0441\u043D\u044F";  // a song, in Russian
    const wchar_t* const names[] = {L"Don\u2019t Stop", L"Artist \u2013 Title", L"\u00C9l\u00E8ve",
                                    cyrillic};
    const fs::path dir = strofix_test::TempDir("ansi-names");
    int tried = 0;
    bool triedCyrillic = false;
    for (const wchar_t* name : names) {
        char bytes[MAX_PATH];
        BOOL lossy = FALSE;
        if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, -1, bytes, sizeof bytes,
                                nullptr, &lossy) == 0 ||
            lossy) {
            continue;  // not a name of this code page
        }
        ++tried;
        triedCyrillic = triedCyrillic || name == cyrillic;
        const std::wstring file = dir.wstring() + L"\\" + name + L".txt";
        std::FILE* out = _wfopen(file.c_str(), L"wb");
        ASSERT_NE(out, nullptr) << bytes;
        std::fputs("[00:07]found\n", out);
        std::fclose(out);

        const std::string path = dir.string() + "\\" + bytes + ".txt";
        LyricTable table = {};
        int count = 0;
        TextModeFile lyrics;
        EXPECT_TRUE(LoadLyricsFile(path.c_str(), lyrics, table, &count)) << bytes;
        EXPECT_EQ(count, 1) << bytes;
        EXPECT_STREQ(table[0].text, "found") << bytes;
    }
    EXPECT_GE(tried, 2) << "code page " << GetACP();
    if (const char* want = std::getenv("STROFIX_EXPECT_ACP")) {
        ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(want)));
        EXPECT_TRUE(triedCyrillic);
    }
    fs::remove_all(dir);
}

TEST(AccessWin32, ExistenceAndReadability) {
    const fs::path dir = strofix_test::TempDir("access");
    const std::string file = (dir / "present.txt").string();
    const std::string missing = (dir / "missing.txt").string();
    std::ofstream(file) << "x";
    const struct {
        std::string path;
        int mode;
        bool expected;
    } cases[] = {
        {file, 0, true},         {file, 4, true},
        {dir.string(), 0, true}, {dir.string() + "\\", 0, true},
        {missing, 0, false},     {missing, 4, false},
        {"", 0, false},          {file, 1, true},  // no valid mode of its own: tested as existence
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::Access(c.path.c_str(), c.mode), c.expected)
            << c.path << " mode " << c.mode;
    }
    fs::remove_all(dir);
}

class ProfileWin32 : public ::testing::Test {
protected:
    void TearDown() override { fs::remove_all(dir_); }

    // Reads into a buffer of `size` characters, checking nothing is written past it.
    std::string Read(const char* section, const char* key, std::size_t size = 100) {
        std::vector<char> buf(size + 1, '#');
        const std::size_t n = platform::GetProfileString(section, key, "C:\\Default", buf.data(),
                                                         size, file_.c_str());
        EXPECT_EQ(buf[size], '#') << "wrote past the buffer";
        EXPECT_EQ(n, std::strlen(buf.data()));
        return buf.data();
    }
    void Put(const std::string& text) { std::ofstream(file_, std::ios::binary) << text; }

    fs::path dir_ = strofix_test::TempDir("profile");
    std::string file_ = (dir_ / "settings.ini").string();
};

TEST_F(ProfileWin32, ReadsTheValueOrTheDefaultCutToTheBuffer) {
    const std::string longValue(150, 'v');
    const struct {
        const char* contents;  // null: no file
        std::string expected;
    } cases[] = {
        {nullptr, "C:\\Default"},
        {"[Other]\r\nLyricsPath=C:\\Elsewhere\r\n", "C:\\Default"},  // no section
        {"[Strofix 1.0]\r\nOther=1\r\n", "C:\\Default"},             // no key
        {"[Strofix 1.0]\r\nLyricsPath=\r\n", ""},                    // empty value
        {"[strofix 1.0]\r\nlyricspath=E:\\Songs\r\n", "E:\\Songs"},  // any case
    };
    for (const auto& c : cases) {
        if (c.contents != nullptr) Put(c.contents);
        EXPECT_EQ(Read("Strofix 1.0", "LyricsPath"), c.expected)
            << (c.contents != nullptr ? c.contents : "no file");
    }
    Put("[Strofix 1.0]\r\nLyricsPath=" + longValue + "\r\n");
    EXPECT_EQ(Read("Strofix 1.0", "LyricsPath"), longValue.substr(0, 99));
    EXPECT_EQ(Read("Strofix 1.0", "LyricsPath", 1), "");
}

TEST_F(ProfileWin32, WritingKeepsTheRestAndReportsAFailure) {
    ASSERT_TRUE(
        platform::WriteProfileString("Strofix 1.0", "LyricsPath", "C:\\Lyrics", file_.c_str()));
    EXPECT_EQ(Read("Strofix 1.0", "LyricsPath"), "C:\\Lyrics");  // the file is created

    Put("; kept\r\n[Other]\r\nA=1\r\n[Strofix 1.0]\r\nLyricsPath=old\r\nB=2\r\n");
    ASSERT_TRUE(
        platform::WriteProfileString("Strofix 1.0", "LyricsPath", "D:\\New", file_.c_str()));
    EXPECT_EQ(Read("Strofix 1.0", "LyricsPath"), "D:\\New");
    EXPECT_EQ(Read("Other", "A"), "1");
    EXPECT_EQ(Read("Strofix 1.0", "B"), "2");
    std::ostringstream contents;
    contents << std::ifstream(file_, std::ios::binary).rdbuf();
    EXPECT_NE(contents.str().find("; kept"), std::string::npos) << contents.str();

    const std::string unreachable = (dir_ / "no such dir" / "settings.ini").string();
    EXPECT_FALSE(platform::WriteProfileString("Strofix 1.0", "LyricsPath", "C:\\Lyrics",
                                              unreachable.c_str()));
    EXPECT_FALSE(fs::exists(unreachable));
}

}  // namespace
