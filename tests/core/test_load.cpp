// From a song path to a loaded table: the lyrics file name, the directory's trailing
// separator, and what a failed load keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/fake/fake_backend.h"
#include "platform/platform.h"
#include "sync/lyrics_file.h"
#include "tests/core/support.h"
#include "ui/lyrics_dlg.h"

using strofix_test::Entries;
using strofix_test::Entry;
using strofix_test::TempDir;

namespace {

TEST(BuildLyricsPath, DerivesTheFileName) {
    const struct {
        const char* dir;
        const char* song;
        char separator;
        const char* want;  // null: the derivation fails
    } cases[] = {
        {"C:\\Lyrics", "D:\\Music\\Artist - Title.mp3", '\\', "C:\\Lyrics\\Artist - Title.txt"},
        {"/home/u/Lyrics", "D:\\Music\\Artist - Title.mp3", '/',
         "/home/u/Lyrics/Artist - Title.txt"},
        // Exactly three characters are replaced, whatever the extension.
        {"L", "D:\\Song.flac", '/', "L/Song.ftxt"},
        {"L", "D:\\Music\\Song.ra", '/', "L/Songtxt"},
        {"L", "D:\\Music\\Song", '/', "L/Stxt"},
        // The name follows the LAST backslash; a '/' before it is part of the directory.
        {"L", "D:/Music\\a\\Song.mp3", '/', "L/Song.txt"},
        // An empty directory: the path begins with the separator.
        {"", "D:\\Music\\Song.mp3", '\\', "\\Song.txt"},
        // A file name of exactly three characters: all three replaced, inside the directory.
        {"L", "C:\\abc", '/', "L/txt"},
        {"L", "D:\\\xC4\xE9.mp3", '/', "L/\xC4\xE9.txt"},  // bytes pass through unchanged
        // Failures: no backslash, a '/' in the name, a name of fewer than three characters
        // (its "txt" would eat the separator and leave the directory).
        {"L", "", '/', nullptr},
        {"L", "D:\\Music\\../../etc/x.mp3", '/', nullptr},
        {"L", "C:\\ab", '/', nullptr},
        {"/home/u/Lyrics", "C:\\a", '/', nullptr},
        {"L", "C:\\", '/', nullptr},
        {"", "\\ab", '/', nullptr},
        {"", "\\a", '/', nullptr},
    };
    for (const auto& c : cases) {
        char out[kLyricsPathSize];
        std::memset(out, 'Z', sizeof out);
        const bool ok = BuildLyricsPath(c.dir, c.song, c.separator, out, sizeof out);
        EXPECT_EQ(ok, c.want != nullptr) << c.dir << " + " << c.song;
        EXPECT_STREQ(out, ok ? c.want : "") << c.dir << " + " << c.song;
    }
}

TEST(BuildLyricsPath, LongestInputsFitAndTooSmallBuffersFail) {
    // The longest directory (99) and the longest song name (the whole 260-character path
    // field from its backslash) fit the path buffer.
    const std::string dir(kLyricsDirSize - 1, 'd');
    const std::string song = "\\" + std::string(kSongPathSize - 2, 'n');
    std::vector<char> out(kLyricsPathSize, 'Z');
    ASSERT_TRUE(BuildLyricsPath(dir.c_str(), song.c_str(), '/', out.data(), out.size()));
    const std::string want = dir + "/" + std::string(kSongPathSize - 5, 'n') + "txt";
    EXPECT_EQ(std::string(out.data()), want);
    EXPECT_EQ(want.size() + 1, kLyricsPathSize);

    // One byte short: refused, nothing written but an empty string, nothing past the end.
    std::vector<char> small(want.size() + 2, 'Z');
    EXPECT_FALSE(BuildLyricsPath(dir.c_str(), song.c_str(), '/', small.data(), want.size()));
    EXPECT_EQ(small[0], '\0');
    EXPECT_EQ(small[want.size()], 'Z');
    EXPECT_EQ(small[want.size() + 1], 'Z');
}

// A window object with its lyrics directory set, for loads.
class LoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetTickState();
        SetDir(lyrics.Str());
    }
    void SetDir(const std::string& d) {
        ASSERT_LT(d.size(), sizeof dlg.m_lyricsDir);
        std::snprintf(dlg.m_lyricsDir, sizeof dlg.m_lyricsDir, "%s", d.c_str());
    }
    // A load as the tick makes it: timer stopped first. Checks that it runs again after.
    bool Load(const char* song) {
        dlg.KillTimer(kTickTimerId);
        const bool ok = dlg.LoadLyrics(song);
        EXPECT_EQ(fake.timers.count(kTickTimerId), 1U) << song;
        EXPECT_EQ(fake.timers[kTickTimerId], kTickPeriodMs) << song;
        return ok;
    }
    std::vector<Entry> Table() { return Entries(dlg.m_table, dlg.m_entryCount); }

    TempDir lyrics;
    CLyricsDlg dlg;
    FakeDialogBackend& fake = FakeDialogBackend::Of(dlg);
    const std::string sep = std::string(1, platform::PathSeparator());
};

TEST_F(LoadTest, FailedLoadKeepsTableAndCountButClosesTheFile) {
    // Files a careless join could reach.
    lyrics.Write("Song.txt", "[00:01]wrong\n");
    std::filesystem::create_directory(lyrics.Path() / "sub");
    lyrics.Write("sub/Song.txt", "[00:01]escaped\n");
    std::filesystem::create_directory(lyrics.Path() / "dir.txt");
    lyrics.Write("A.txt", "[00:02]a2\n[00:01]a1\n");
    const char* cases[] = {
        "Song.mp3",                 // no backslash
        "D:\\Music\\sub/Song.mp3",  // the name would leave the directory
        "D:\\Music\\Missing.mp3",   // no such lyrics file
        "D:\\Music\\dir.mp3",       // names a directory, not a file
    };
    for (const char* song : cases) {
        ASSERT_TRUE(Load("D:\\Music\\A.mp3"));
        ASSERT_TRUE(dlg.m_lyricsFile.IsOpen());
        EXPECT_FALSE(Load(song)) << song;
        EXPECT_FALSE(dlg.m_lyricsFile.IsOpen()) << song;
        EXPECT_EQ(Table(), (std::vector<Entry>{{1, "a1"}, {2, "a2"}})) << song;
    }
}

// Writes a file through the narrow C run-time, as the loader opens it: the name's bytes
// reach the system as they are (through the ANSI code page on Windows).
void WriteNarrow(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

TEST_F(LoadTest, NonAsciiFileNamesAreFound) {
    // Bytes 0x80-0x9F are punctuation in the Windows code pages (a typographic apostrophe,
    // an en dash); the others are letters.
    const char* names[] = {
        "Don\x92t Stop",                   // Don't Stop, with U+2019
        "Artist \x96 Title",               // an en dash
        "\xC9l\xE8ve",                     // Latin letters (code page 1252)
        "\xCF\xE5\xF1\xED\xFF",            // Cyrillic in code page 1251
        "\xE2\x80\x9CQuoted\xE2\x80\x9D",  // UTF-8 on Linux
    };
    int second = 0;
    for (const char* name : names) {
        ++second;
        WriteNarrow(lyrics.Str() + sep + name + ".txt",
                    "[00:0" + std::to_string(second) + "]" + name + "\n");
        const std::string song = std::string("D:\\Music\\") + name + ".mp3";
        EXPECT_TRUE(Load(song.c_str())) << name;
        EXPECT_EQ(Table(), (std::vector<Entry>{{second, name}})) << name;
    }
}

// Lines of 98 characters and a line feed, `bytes` bytes in all (the last one shorter).
std::string Filler(std::size_t bytes) {
    std::string text;
    text.reserve(bytes);
    while (text.size() < bytes) {
        const std::size_t line = std::min<std::size_t>(99, bytes - text.size());
        text.append(line - 1, 'x');
        text += '\n';
    }
    return text;
}

TEST_F(LoadTest, ReadingStopsAtTheByteLimitAndKeepsTheEntriesBefore) {
    const std::string head = "[00:09]nine\n[00:01]one\n";
    const std::size_t limit = kLyricsFileByteLimit;
    const struct {
        const char* name;
        std::string bytes;
        std::vector<Entry> want;
    } cases[] = {
        // Exactly the limit: read to the end, its last line included.
        {"exactly the limit",
         head + Filler(limit - head.size() - 11) + "[00:02]last",
         {{1, "one"}, {2, "last"}, {9, "nine"}}},
        // One byte more: the line the limit cuts is not delivered, as with a read error.
        {"one byte past",
         head + Filler(limit - head.size() - 11) + "[00:02]last\n",
         {{1, "one"}, {9, "nine"}}},
        // The line break of a CRLF past the limit: the CR cannot be told apart either.
        {"CRLF across the limit",
         head + Filler(limit - head.size() - 10) + "[00:03]cr\r\n",
         {{1, "one"}, {9, "nine"}}},
        // Tags far past the limit are never read.
        {"three times the limit",
         head + Filler(limit - head.size()) + "[00:04]past\n" + Filler(2 * limit),
         {{1, "one"}, {9, "nine"}}},
    };
    for (const auto& c : cases) {
        lyrics.Write("Huge.txt", c.bytes);
        EXPECT_TRUE(Load("D:\\Huge.mp3")) << c.name;
        EXPECT_EQ(Table(), c.want) << c.name;
        EXPECT_EQ(dlg.m_lyricsFile.LimitReached(), c.bytes.size() > limit) << c.name;
    }
}

TEST_F(LoadTest, OneTrailingSeparatorGoesAtEachLoad) {
    lyrics.Write("Song.txt", "[00:01]x\n");
    SetDir(lyrics.Str() + sep + sep);
    Load("D:\\Missing.mp3");  // removed even when the load fails
    EXPECT_EQ(std::string(dlg.m_lyricsDir), lyrics.Str() + sep);
    EXPECT_TRUE(Load("D:\\Song.mp3"));
    EXPECT_EQ(std::string(dlg.m_lyricsDir), lyrics.Str());
    EXPECT_EQ(Table(), (std::vector<Entry>{{1, "x"}}));
    Load("D:\\Song.mp3");
    EXPECT_EQ(std::string(dlg.m_lyricsDir), lyrics.Str());
    SetDir("");
    EXPECT_FALSE(Load("D:\\Music\\StrofixNoSuchSong.mp3"));
    EXPECT_STREQ(dlg.m_lyricsDir, "");
}

TEST_F(LoadTest, TheShortenedDirectoryIsWhatIsSaved) {
    {
        CLyricsDlg other;
        std::snprintf(other.m_lyricsDir, sizeof other.m_lyricsDir, "%s",
                      (lyrics.Str() + sep).c_str());
        other.LoadLyrics("D:\\Missing.mp3");
    }  // the window goes and writes its directory
    char saved[kLyricsDirSize] = {};
    platform::GetProfileString(STROFIX_SETTINGS_SECTION, STROFIX_SETTINGS_KEY, "(none)", saved,
                               sizeof saved, platform::SettingsFilePath().c_str());
    EXPECT_EQ(std::string(saved), lyrics.Str());
}

}  // namespace
