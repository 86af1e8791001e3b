// strofix-follow's pieces: the printed forms (UTF-8 repair, JSON, plain), the headless
// dialog backend's timer loop, and the follower driving the window's own load and tick on
// a test block.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/headless/headless_backend.h"
#include "platform/platform.h"
#include "tests/core/support.h"
#include "tools/follow/follow_format.h"
#include "tools/follow/follower.h"
#include "ui/lyrics_dlg.h"

using follow::Format;
using follow::LineClass;
using follow::ShownLine;
using strofix_test::TempDir;
using strofix_test::TestBlock;

namespace {

const std::string kFffd = "\xEF\xBF\xBD";
const std::string kNoLyrics = STROFIX_NO_LYRICS_TEXT;

// --- printed forms -----------------------------------------------------------------------

TEST(FollowFormat, ValidUtf8KeepsWellFormedTextAndReplacesEachIllFormedPart) {
    struct Case {
        const char* what;
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"ascii", "Hello [x]", "Hello [x]"},
        {"two, three and four bytes", "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5",
         "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5"},
        {"highest code point", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
        {"latin-1 byte", "caf\xE9!", "caf" + kFffd + "!"},
        {"stray continuation bytes",
         "a\x80\xBF"
         "b",
         "a" + kFffd + kFffd + "b"},
        {"sequence cut by ascii",
         "\xE2\x82"
         "x",
         kFffd + "x"},
        {"sequence cut at the end", "ok\xF0\x9F\x8E", "ok" + kFffd},
        {"overlong two bytes", "\xC0\xAF", kFffd + kFffd},
        {"overlong three bytes", "\xE0\x80\xAF", kFffd + kFffd + kFffd},
        {"surrogate", "\xED\xA0\x80", kFffd + kFffd + kFffd},
        {"past U+10FFFF", "\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},
        {"never-used bytes", "\xF5\xFF\xFE", kFffd + kFffd + kFffd},
        {"lead byte then a new lead", "\xC3\xC3\xA9", kFffd + "\xC3\xA9"},
    };
    for (const Case& c : cases) EXPECT_EQ(follow::ValidUtf8(c.in), c.out) << c.what;
}

TEST(FollowFormat, JsonLineEscapesWhatJsonRequires) {
    const ShownLine line{"say \"hi\" \\ \x01\t\x1b[2J \x7f \xE2\x82\xAC", "Song \"1\".mp3",
                         LineClass::Lyric};
    EXPECT_EQ(follow::FormatLine(line, Format::Json),
              "{\"text\": \"say \\\"hi\\\" \\\\ \\u0001\\u0009\\u001b[2J \x7f \xE2\x82\xAC\", "
              "\"tooltip\": \"Song \\\"1\\\".mp3\", \"class\": \"lyric\"}\n");
    const ShownLine bad{"caf\xE9", "\xFF.mp3", LineClass::NoLyrics};
    EXPECT_EQ(follow::FormatLine(bad, Format::Json), "{\"text\": \"caf" + kFffd +
                                                         "\", \"tooltip\": \"" + kFffd +
                                                         ".mp3\", \"class\": \"no-lyrics\"}\n");
    EXPECT_EQ(follow::FormatLine({}, Format::Json),
              "{\"text\": \"\", \"tooltip\": \"\", \"class\": \"idle\"}\n");
}

TEST(FollowFormat, PlainLineIsTheTextWithControlCharactersAsSpaces) {
    EXPECT_EQ(follow::FormatLine({"A line", "x.mp3", LineClass::Lyric}, Format::Plain), "A line\n");
    // A lone CR would move the cursor back over the line; ESC would start a sequence.
    EXPECT_EQ(follow::FormatLine({"a\rb\x1b[31mc\td\x7f", "", LineClass::Lyric}, Format::Plain),
              "a b [31mc d \n");
    // Bytes are not converted: the terminal shows them as the window would.
    EXPECT_EQ(follow::FormatLine({"caf\xE9", "", LineClass::Lyric}, Format::Plain), "caf\xE9\n");
    EXPECT_EQ(follow::FormatLine({}, Format::Plain), "\n");
}

TEST(FollowFormat, SongFileNameIsWhatFollowsTheLastBackslash) {
    EXPECT_EQ(follow::SongFileName("C:\\Music\\Artist\\Song.mp3"), "Song.mp3");
    EXPECT_EQ(follow::SongFileName("Song.mp3"), "Song.mp3");
    EXPECT_EQ(follow::SongFileName("C:\\Music\\"), "");
    EXPECT_EQ(follow::SongFileName("/home/u/a\\b/c.mp3"), "b/c.mp3");
    EXPECT_EQ(follow::SongFileName(""), "");
}

// --- the headless backend's loop -----------------------------------------------------------

class TimerDialog : public CDialog {
public:
    TimerDialog() : CDialog(IDD_ABOUTBOX) {}
    std::function<void(unsigned)> onTimer;
    bool OnInitDialog() override {
        ++inits;
        SetTimer(7, 5);
        return true;
    }
    void OnTimer(unsigned id) override {
        ticks.push_back({id, HeadlessDialogBackend::Clock::now()});
        if (onTimer) onTimer(id);
    }
    struct Tick {
        unsigned id;
        HeadlessDialogBackend::Clock::time_point at;
    };
    std::vector<Tick> ticks;
    int inits = 0;
};

TEST(HeadlessBackend, DeliversTimersAtTheirPeriodsUntilEndDialog) {
    using std::chrono::milliseconds;
    TimerDialog dlg;
    HeadlessDialogBackend::Clock::time_point slowEnd{};
    dlg.onTimer = [&](unsigned) {
        if (dlg.ticks.size() == 3) {  // a handler that takes three periods
            std::this_thread::sleep_for(milliseconds(15));
            slowEnd = HeadlessDialogBackend::Clock::now();
        }
        if (dlg.ticks.size() == 6) dlg.EndDialog(42);
    };
    const auto start = HeadlessDialogBackend::Clock::now();
    EXPECT_EQ(dlg.DoModal(), 42);
    EXPECT_EQ(dlg.inits, 1);
    ASSERT_EQ(dlg.ticks.size(), 6U);
    // Never before it is due: the k-th tick comes k periods after the timer was set.
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(dlg.ticks[k].id, 7U);
        EXPECT_GE(dlg.ticks[k].at - start, milliseconds(5) * static_cast<int>(k + 1)) << k;
    }
    // A timer that fell behind is not delivered at once to catch up: one period after the
    // slow handler returned, then every period.
    EXPECT_GE(dlg.ticks[3].at - slowEnd, milliseconds(5));
    EXPECT_GE(dlg.ticks[4].at - slowEnd, milliseconds(10));
}

TEST(HeadlessBackend, TimerKilledOrSetAgainInsideItsHandler) {
    TimerDialog dlg;
    auto& backend = HeadlessDialogBackend::Of(dlg);
    // Killed and set again with a longer period, as the tick does around a load.
    dlg.onTimer = [&](unsigned id) {
        if (dlg.ticks.size() == 1) {
            dlg.KillTimer(id);
            dlg.SetTimer(id, 30);
        } else if (dlg.ticks.size() == 3) {
            dlg.KillTimer(id);  // nothing left: the loop ends by itself
        }
    };
    dlg.SetTimer(7, 5);
    EXPECT_EQ(backend.RunTimers(), kIdCancel);
    ASSERT_EQ(dlg.ticks.size(), 3U);
    EXPECT_GE(dlg.ticks[1].at - dlg.ticks[0].at, std::chrono::milliseconds(30));
    EXPECT_FALSE(backend.TimerRunning(7));
}

TEST(HeadlessBackend, StopEndsTheLoopWhileItWaits) {
    TimerDialog dlg;
    dlg.SetTimer(1, 60000);  // would not come for a minute
    int asked = 0;
    const auto start = HeadlessDialogBackend::Clock::now();
    EXPECT_EQ(HeadlessDialogBackend::Of(dlg).RunTimers([&] { return ++asked == 3; }), kIdCancel);
    EXPECT_TRUE(dlg.ticks.empty());
    EXPECT_LT(HeadlessDialogBackend::Clock::now() - start, std::chrono::seconds(30));
}

TEST(HeadlessBackend, ControlsKeepTheirState) {
    TimerDialog dlg;
    auto& b = HeadlessDialogBackend::Of(dlg);
    b.SetItemText(IDC_LYRIC_EDIT, "text");
    b.SetCheck(IDC_OPTIONS, true);
    EXPECT_EQ(b.GetItemText(IDC_LYRIC_EDIT), "text");
    EXPECT_TRUE(b.GetCheck(IDC_OPTIONS));
    EXPECT_EQ(b.GetItemText(IDC_OPTIONS), "");
    EXPECT_FALSE(b.AppendSystemMenuItem(IDM_ABOUTBOX, "x"));
}

// --- the follower ----------------------------------------------------------------------------

class FollowerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetTickState();
        ASSERT_TRUE(block.Ok());
        lyrics.Write("Song.txt",
                     "[00:02]Two\n[00:05]Five\n[00:05]Five again\n[00:09][00:20]Nine or twenty\n");
        lyrics.Write("Empty.txt", "no tags at all\n");
    }
    follow::Follower Make() { return follow::Follower(block.Name(), block.EventName(), Dir()); }
    const char* Dir() {
        dir = lyrics.Str();
        return dir.c_str();
    }
    void Play(const std::string& song, std::uint32_t ms) {
        block.SetPath(song);
        block.SetPosition(ms);
    }

    TestBlock block;
    TempDir lyrics;
    std::string dir;
};

TEST_F(FollowerTest, OnceShowsWhatAWindowFollowingSinceTheStartShows) {
    struct Case {
        const char* song;
        std::uint32_t ms;
        ShownLine expected;
    };
    const Case cases[] = {
        {"", 0, {"", "", LineClass::Idle}},
        {"", 5000, {"", "", LineClass::Idle}},
        {"C:\\M\\Missing.mp3", 5000, {kNoLyrics, "Missing.mp3", LineClass::NoLyrics}},
        {"NoBackslash.mp3", 0, {kNoLyrics, "NoBackslash.mp3", LineClass::NoLyrics}},
        // Before the first tagged second the window shows the table's first line.
        {"C:\\M\\Song.mp3", 0, {"Two", "Song.mp3", LineClass::Lyric}},
        {"C:\\M\\Song.mp3", 2999, {"Two", "Song.mp3", LineClass::Lyric}},
        // Between tags, the line of the last tagged second that has passed stays up.
        {"C:\\M\\Song.mp3", 4000, {"Two", "Song.mp3", LineClass::Lyric}},
        // Two lines at one second: the first in the table is the one shown.
        {"C:\\M\\Song.mp3", 5000, {"Five", "Song.mp3", LineClass::Lyric}},
        {"C:\\M\\Song.mp3", 7000, {"Five", "Song.mp3", LineClass::Lyric}},
        {"C:\\M\\Song.mp3", 15000, {"Nine or twenty", "Song.mp3", LineClass::Lyric}},
        {"C:\\M\\Song.mp3", 4000000000U, {"Nine or twenty", "Song.mp3", LineClass::Lyric}},
        {"D:\\Other\\Empty.mp3", 3000, {"", "Empty.mp3", LineClass::Lyric}},
    };
    for (const Case& c : cases) {
        ResetTickState();  // each --once is a process of its own
        Play(c.song, c.ms);
        auto f = Make();
        EXPECT_EQ(f.Once(), c.expected) << c.song << " at " << c.ms;
    }
}

TEST_F(FollowerTest, TicksFollowTheWindowsRules) {
    auto f = Make();
    EXPECT_EQ(f.Tick(), (ShownLine{"", "", LineClass::Idle}));
    Play("C:\\M\\Song.mp3", 9000);
    // The loading tick leaves the field as it was; the next one shows the second's line.
    EXPECT_EQ(f.Tick().text, "");
    EXPECT_EQ(f.Tick(), (ShownLine{"Nine or twenty", "Song.mp3", LineClass::Lyric}));
    Play("C:\\M\\Song.mp3", 12000);  // no line at 12: the line stays
    EXPECT_EQ(f.Tick().text, "Nine or twenty");
    Play("C:\\M\\Song.mp3", 2500);  // back to 2 by a seek: that second's line
    EXPECT_EQ(f.Tick().text, "Two");
    Play("C:\\M\\Missing.mp3", 2500);
    EXPECT_EQ(f.Tick(), (ShownLine{kNoLyrics, "Missing.mp3", LineClass::NoLyrics}));
    EXPECT_EQ(f.Tick().lineClass, LineClass::NoLyrics);  // retried at every tick
    Play("", 0);  // the player stopped: the window keeps saying so
    EXPECT_EQ(f.Tick(), (ShownLine{kNoLyrics, "", LineClass::Idle}));
}

TEST_F(FollowerTest, RunReportsEachChangeOnceAndEndsWhenTheOutputGoes) {
    Play("C:\\M\\Song.mp3", 5000);
    auto f = Make();
    std::vector<ShownLine> lines;
    int ticksAsked = 0;
    // Where the player is at each tick: the follower's hook moves it before the tick.
    const std::uint32_t positions[] = {5000, 5000, 5000, 6000, 9000, 9100, 2000, 2000};
    f.beforeTick = [&] {
        if (ticksAsked < static_cast<int>(std::size(positions))) {
            block.SetPosition(positions[ticksAsked]);
        }
        ++ticksAsked;
    };
    const int result = f.Run([&] { return ticksAsked > static_cast<int>(std::size(positions)); },
                             [&](const ShownLine& line) {
                                 lines.push_back(line);
                                 return true;
                             });
    EXPECT_EQ(result, 0);
    std::vector<std::string> texts;
    for (const ShownLine& l : lines) texts.push_back(l.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"Five", "Nine or twenty", "Two"}));

    // An output that is gone ends the run at the first line it cannot take.
    ResetTickState();
    auto g = Make();
    int emits = 0;
    EXPECT_EQ(g.Run([] { return false; },
                    [&](const ShownLine&) {
                        ++emits;
                        return false;
                    }),
              0);
    EXPECT_EQ(emits, 1);
}

TEST_F(FollowerTest, ReadsTheWindowsSettingAndNeverWritesIt) {
    const std::string settings = platform::SettingsFilePath();
    std::optional<std::string> before;
    {
        std::ifstream in(settings, std::ios::binary);
        if (in) before = std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::filesystem::create_directories(std::filesystem::path(settings).parent_path());
    const std::string stored = lyrics.Str() + std::string(1, platform::PathSeparator());
    ASSERT_TRUE(platform::WriteProfileString(STROFIX_SETTINGS_SECTION, STROFIX_SETTINGS_KEY,
                                             stored.c_str(), settings.c_str()));
    Play("C:\\M\\Song.mp3", 2000);
    {
        follow::Follower f(block.Name(), block.EventName(), nullptr);
        EXPECT_EQ(f.Once().text, "Two");
    }
    // The load trims the trailing separator from the directory it holds; the window would
    // save that. The follower leaves the setting as it found it.
    char read[kLyricsDirSize] = "";
    platform::GetProfileString(STROFIX_SETTINGS_SECTION, STROFIX_SETTINGS_KEY, "", read,
                               sizeof read, settings.c_str());
    EXPECT_EQ(std::string(read), stored);
    if (before) {
        std::ofstream(settings, std::ios::binary | std::ios::trunc) << *before;
    } else {
        std::filesystem::remove(settings);
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The settings go to a directory of the test's own where their place follows the
    // environment (Linux); the Windows test puts back the file it found.
    TempDir config;
    strofix_test::SetEnv("XDG_CONFIG_HOME", config.Str().c_str());
    return RUN_ALL_TESTS();
}
