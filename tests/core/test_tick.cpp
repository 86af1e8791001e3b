// The 300 ms tick: song changes, loads and their retries, and the exact-second rule that
// chooses the line shown.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/fake/fake_backend.h"
#include "tests/core/support.h"
#include "ui/lyrics_dlg.h"

using strofix_test::TempDir;
using strofix_test::TestBlock;

namespace {

const std::string kNoLyrics = STROFIX_NO_LYRICS_TEXT;

class TickTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetTickState();
        ASSERT_TRUE(block.Ok());
        ASSERT_TRUE(dlg.m_player.OpenBlock(block.Name(), block.EventName()));
        SetDir(dlg, lyrics.Str());
        dlg.SetTimer(kTickTimerId, kTickPeriodMs);  // as the window's initialisation does
    }
    static void SetDir(CLyricsDlg& d, const std::string& dir) {
        ASSERT_LT(dir.size(), sizeof d.m_lyricsDir);
        std::snprintf(d.m_lyricsDir, sizeof d.m_lyricsDir, "%s", dir.c_str());
    }
    // One tick at the given song and position; returns the display text. Every tick must
    // find the timer running, and a tick that shows something has pushed it to the field.
    std::string Tick(const std::string& song, std::uint32_t ms) {
        block.SetPath(song);
        block.SetPosition(ms);
        fake.calls.clear();
        EXPECT_TRUE(fake.Tick(kTickTimerId)) << "timer not running before a tick";
        EXPECT_EQ(fake.timers.count(kTickTimerId), 1U) << "timer not running after a tick";
        return dlg.m_displayText;
    }
    bool Loaded() const {  // the last tick stopped the timer for a load and restarted it
        const auto& c = fake.calls;
        const auto kill = std::find(c.begin(), c.end(), "KillTimer(1,0)");
        const auto set = std::find(c.begin(), c.end(), "SetTimer(1,300)");
        return kill == c.begin() && set != c.end() && kill < set;
    }
    std::string Field() { return fake.controls[IDC_LYRIC_EDIT].text; }

    TempDir lyrics;
    TestBlock block;
    CLyricsDlg dlg;
    FakeDialogBackend& fake = FakeDialogBackend::Of(dlg);
};

const char* kSongA = "D:\\Music\\A.mp3";
const char* kSongB = "D:\\Music\\B.mp3";

TEST_F(TickTest, FollowsTheExactSecond) {
    lyrics.Write("A.txt",
                 "[00:59]fifty-nine\n[01:00]sixty\n[00:10]ten\n[00:20]twenty\n[00:30]first\n"
                 "[00:30]second\n");
    dlg.m_displayText = "before";
    EXPECT_EQ(Tick(kSongA, 3000), "before");  // the load tick leaves the display alone
    EXPECT_TRUE(Loaded());
    EXPECT_EQ(Field(), "");

    struct Step {
        std::uint32_t ms;
        const char* want;
    };
    const Step steps[] = {
        {3000, "ten"},  // slot 0 right after the load, before its own time
        {9999, "ten"},         {10000, "ten"},   {20500, "twenty"},
        {25000, "twenty"},      // stays until another line's second comes
        {12000, "twenty"},      // a seek backwards brings nothing back
        {59999, "fifty-nine"},  // whole seconds, truncated
        {60000, "sixty"},      {60999, "sixty"}, {61000, "sixty"},
        {30000, "first"},      {30500, "first"},  // equal times: the earlier line of the file
        {10999, "ten"},                           // its exact second again
        {4294967295U, "ten"},                     // the largest position matches nothing
    };
    for (const Step& s : steps) {
        EXPECT_EQ(Tick(kSongA, s.ms), s.want) << s.ms << " ms";
        EXPECT_FALSE(Loaded()) << "same song reloaded at " << s.ms;
        EXPECT_EQ(Field(), s.want) << s.ms << " ms";
    }
}

TEST_F(TickTest, ChangingSongLoadsTheOtherFile) {
    lyrics.Write("A.txt", "[00:01]a one\n[00:02]a two\n");
    lyrics.Write("B.txt", "[00:01]b one\n[00:02]b two\n");
    Tick(kSongA, 0);
    EXPECT_EQ(Tick(kSongA, 2000), "a two");
    Tick(kSongB, 2000);
    EXPECT_TRUE(Loaded());
    EXPECT_EQ(Tick(kSongB, 2000), "b two");
    EXPECT_EQ(Tick(kSongB, 1000), "b one");
    // The comparison is exact: another case is another song.
    Tick("D:\\Music\\b.mp3", 1000);
    EXPECT_TRUE(Loaded());
}

TEST_F(TickTest, PathsSharingTheirFirst99CharactersAreDifferentSongs) {
    // The whole path tells songs apart, not a prefix of the size of a lyrics line or of
    // the lyrics directory.
    const std::string folder = "D:\\" + std::string(95, 'm') + "\\";
    ASSERT_EQ(folder.size(), 99U);
    lyrics.Write("A.txt", "[00:01]a one\n");
    lyrics.Write("B.txt", "[00:01]b one\n");
    Tick(folder + "A.mp3", 0);
    EXPECT_EQ(Tick(folder + "A.mp3", 1000), "a one");
    Tick(folder + "B.mp3", 1000);
    EXPECT_TRUE(Loaded());
    EXPECT_EQ(Tick(folder + "B.mp3", 1000), "b one");
    // Near the end of a full path field (260 characters).
    const std::string deep = "D:\\" + std::string(250, 'd') + "\\X";
    lyrics.Write("Xa.txt", "[00:01]deep a\n");
    lyrics.Write("Xb.txt", "[00:01]deep b\n");
    ASSERT_EQ((deep + "a.mp3").size(), kSongPathSize - 1);
    Tick(deep + "a.mp3", 1000);
    EXPECT_EQ(Tick(deep + "a.mp3", 1000), "deep a");
    Tick(deep + "b.mp3", 1000);
    EXPECT_TRUE(Loaded());
    EXPECT_EQ(Tick(deep + "b.mp3", 1000), "deep b");
}

TEST_F(TickTest, FailedLoadIsRetriedAtEveryTick) {
    EXPECT_EQ(Tick(kSongA, 1000), kNoLyrics);
    EXPECT_TRUE(Loaded());
    EXPECT_EQ(Field(), kNoLyrics);
    EXPECT_EQ(Tick(kSongA, 1300), kNoLyrics);
    EXPECT_TRUE(Loaded());
    lyrics.Write("A.txt", "[00:01]found\n[00:02]two\n");
    EXPECT_EQ(Tick(kSongA, 1600), kNoLyrics);  // loaded now; shown from the next tick
    EXPECT_TRUE(Loaded());
    EXPECT_EQ(Tick(kSongA, 1900), "found");
    EXPECT_FALSE(Loaded());
}

TEST_F(TickTest, ReturnAfterAFailedLoadShowsTheOldTableWithoutReloading) {
    lyrics.Write("A.txt", "[00:01]a one\n[00:20]a twenty\n");
    Tick(kSongA, 0);
    EXPECT_EQ(Tick(kSongA, 20000), "a twenty");
    EXPECT_EQ(Tick("", 21000), kNoLyrics);  // the player cleared the path
    EXPECT_TRUE(Loaded());
    std::filesystem::remove(lyrics.Path() / "A.txt");  // a reload would now fail
    EXPECT_EQ(Tick(kSongA, 22000), "a one");           // the line index went back to 0
    EXPECT_FALSE(Loaded());
    EXPECT_EQ(Tick(kSongA, 20000), "a twenty");
}

TEST_F(TickTest, FileWithoutTagsShowsAnEmptyLine) {
    lyrics.Write("A.txt", "[00:01]a one\n");
    lyrics.Write("B.txt", "no tags in here\n");
    Tick(kSongA, 0);
    EXPECT_EQ(Tick(kSongA, 1000), "a one");
    Tick(kSongB, 0);
    EXPECT_TRUE(Loaded());
    EXPECT_EQ(dlg.m_entryCount, 0);
    EXPECT_EQ(Tick(kSongB, 0), "");
    EXPECT_EQ(Field(), "");
    EXPECT_EQ(Tick(kSongB, 1000), "");
}

TEST_F(TickTest, BlockNobodyWroteShowsNothingAndLoadsNothing) {
    // The block holds zeros apart from the size word: an empty path at position 0.
    EXPECT_EQ(Tick("", 0), "");
    EXPECT_FALSE(Loaded());
    EXPECT_EQ(Tick("", 0), "");
}

TEST_F(TickTest, LongSongPathLoads) {
    const std::string name(150, 's');
    lyrics.Write(name + ".txt", "[00:03]long one\n");
    const std::string song = "D:\\" + std::string(100, 'm') + "\\" + name + ".mp3";
    Tick(song, 0);
    EXPECT_TRUE(Loaded());
    EXPECT_EQ(Tick(song, 3000), "long one");
    EXPECT_FALSE(Loaded());
}

TEST(TickWithoutBlock, ReadsAnEmptyPathAtPositionZero) {
    ResetTickState();
    CLyricsDlg dlg;  // the block was never opened
    FakeDialogBackend& fake = FakeDialogBackend::Of(dlg);
    dlg.SetTimer(kTickTimerId, kTickPeriodMs);
    // A table whose slot 0 is not the entry at 0 s, so the position read shows.
    dlg.m_table[0] = {5, "five"};
    dlg.m_table[1] = {0, "zero"};
    dlg.m_entryCount = 2;
    fake.calls.clear();
    ASSERT_TRUE(fake.Tick(kTickTimerId));
    EXPECT_EQ(dlg.m_displayText, "zero");
    EXPECT_EQ(fake.controls[IDC_LYRIC_EDIT].text, "zero");
    EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), "KillTimer(1,0)"), 0);
}

}  // namespace
