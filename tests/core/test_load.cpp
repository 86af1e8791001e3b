// From a song path to a loaded table: the lyrics file name, the directory's trailing
// separator, and what a failed load keeps.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "platform/fake/fake_backend.h"
#include "platform/platform.h"
#include "sync/lyrics_file.h"
#include "tests/core/support.h"
#include "ui/lyrics_dlg.h"

using strofix_test::Entries;
using strofix_test::Entry;
using strofix_test::TempDir;

namespace {

struct PathCase {
    const char* dir;
    const char* song;
    char separator;
    const char* want;  // null: the derivation fails
};

TEST(BuildLyricsPath, DerivesTheFileName) {
    const PathCase cases[] = {
        {"C:\\Lyrics", "D:\\Music\\Artist - Title.mp3", '\\', "C:\\Lyrics\\Artist - Title.txt"},
        {"/home/u/Lyrics", "D:\\Music\\Artist - Title.mp3", '/',
         "/home/u/Lyrics/Artist - Title.txt"},
        // Exactly three characters are replaced, whatever the extension.
        {"L", "D:\\Song.flac", '/', "L/Song.ftxt"},
        {"L", "D:\\Music\\Song.ra", '/', "L/Songtxt"},
        {"L", "D:\\Music\\Song", '/', "L/Stxt"},
        // The name follows the LAST backslash; a '/' before it is part of the directory.
        {"L", "D:\\a\\b\\c.mp3", '/', "L/c.txt"},
        {"L", "D:/Music\\Song.mp3", '/', "L/Song.txt"},
        {"L", "\\\\server\\share\\x.wav", '/', "L/x.txt"},
        // An empty directory: the path begins with the separator.
        {"", "D:\\Music\\Song.mp3", '/', "/Song.txt"},
        {"", "D:\\Music\\Song.mp3", '\\', "\\Song.txt"},
        // Exactly three characters joined: all three replaced.
        {"", "\\ab", '/', "txt"},
        // Bytes pass through unchanged.
        {"L", "D:\\\xC4\xE9.mp3", '/', "L/\xC4\xE9.txt"},
        // Failures: no backslash, a '/' in the name, fewer than three characters.
        {"L", "Song.mp3", '/', nullptr},
        {"L", "", '/', nullptr},
        {"L", "D:\\Music\\sub/Song.mp3", '/', nullptr},
        {"L", "D:\\Music\\../../etc/x.mp3", '/', nullptr},
        {"", "\\a", '/', nullptr},
        {"", "\\", '/', nullptr},
        {"L", "a\\b\\", '/', nullptr},
    };
    for (const PathCase& c : cases) {
        char out[kLyricsPathSize];
        std::memset(out, 'Z', sizeof out);
        const bool ok = BuildLyricsPath(c.dir, c.song, c.separator, out, sizeof out);
        if (c.want == nullptr) {
            EXPECT_FALSE(ok) << c.dir << " + " << c.song;
            EXPECT_STREQ(out, "") << c.dir << " + " << c.song;
        } else {
            EXPECT_TRUE(ok) << c.dir << " + " << c.song;
            EXPECT_STREQ(out, c.want) << c.dir << " + " << c.song;
        }
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

    TempDir lyrics;
    CLyricsDlg dlg;
    FakeDialogBackend& fake = FakeDialogBackend::Of(dlg);
    const std::string sep = std::string(1, platform::PathSeparator());
};

TEST_F(LoadTest, FindsTheFileNamedAfterTheSong) {
    struct Case {
        const char* song;
        const char* file;
    };
    const Case cases[] = {
        {"D:\\Music\\Artist - Title.mp3", "Artist - Title.txt"},
        {"D:\\Music\\Song.flac", "Song.ftxt"},
        {"D:\\Music\\Song.ra", "Songtxt"},
        {"\\\\server\\share\\Track 01.wav", "Track 01.txt"},
    };
    for (const Case& c : cases) {
        lyrics.Write(c.file, std::string("[00:01]") + c.file + "\n");
        ASSERT_TRUE(Load(c.song)) << c.song;
        EXPECT_EQ(Entries(dlg.m_table, dlg.m_entryCount), (std::vector<Entry>{{1, c.file}}));
        EXPECT_TRUE(dlg.m_lyricsFile.IsOpen());
    }
}

TEST_F(LoadTest, RefusedSongPathsFailAndRearmTheTimer) {
    // Files a careless join could reach.
    lyrics.Write("Song.txt", "[00:01]wrong\n");
    std::filesystem::create_directory(lyrics.Path() / "sub");
    lyrics.Write("sub/Song.txt", "[00:01]escaped\n");
    const char* cases[] = {
        "Song.mp3",                 // no backslash
        "",                         // the player cleared the path
        "D:\\Music\\sub/Song.mp3",  // the name would leave the directory
        "D:\\Music\\Missing.mp3",   // no such lyrics file
        "D:\\Music\\sub.mp3",       // names a directory, not a file
    };
    std::filesystem::create_directory(lyrics.Path() / "sub.txt");
    for (const char* song : cases) {
        dlg.m_entryCount = 0;
        EXPECT_FALSE(Load(song)) << song;
        EXPECT_EQ(dlg.m_entryCount, 0) << song;
    }
}

TEST_F(LoadTest, FailedLoadKeepsTableAndCountButClosesTheFile) {
    lyrics.Write("A.txt", "[00:02]a2\n[00:01]a1\n");
    ASSERT_TRUE(Load("D:\\A.mp3"));
    ASSERT_TRUE(dlg.m_lyricsFile.IsOpen());
    EXPECT_FALSE(Load("D:\\Missing.mp3"));
    EXPECT_FALSE(dlg.m_lyricsFile.IsOpen());
    EXPECT_EQ(Entries(dlg.m_table, dlg.m_entryCount), (std::vector<Entry>{{1, "a1"}, {2, "a2"}}));
}

TEST_F(LoadTest, LongSongPathsAreNotCut) {
    // A song deep in a long folder, with a long name: neither fits 100 bytes.
    const std::string name(120, 'n');
    lyrics.Write(name + ".txt", "[00:07]long\n");
    const std::string song = "D:\\" + std::string(120, 'f') + "\\" + name + ".mp3";
    ASSERT_GT(song.size(), 240U);
    ASSERT_TRUE(Load(song.c_str()));
    EXPECT_EQ(Entries(dlg.m_table, dlg.m_entryCount), (std::vector<Entry>{{7, "long"}}));
}

TEST_F(LoadTest, OneTrailingSeparatorGoesAtEachLoad) {
    lyrics.Write("Song.txt", "[00:01]x\n");
    SetDir(lyrics.Str() + sep + sep);
    Load("D:\\Missing.mp3");  // removed even when the load fails
    EXPECT_EQ(std::string(dlg.m_lyricsDir), lyrics.Str() + sep);
    Load("D:\\Song.mp3");
    EXPECT_EQ(std::string(dlg.m_lyricsDir), lyrics.Str());
    EXPECT_EQ(dlg.m_entryCount, 1);
    Load("D:\\Song.mp3");
    EXPECT_EQ(std::string(dlg.m_lyricsDir), lyrics.Str());
}

TEST_F(LoadTest, EmptyDirectoryStaysEmpty) {
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
