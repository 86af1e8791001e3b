// The bridge against fake MPRIS players of the tests' own, on a private session bus (the test
// runs under dbus-run-session): several players at once, and players that misbehave. Each
// case uses its own block and its own player names.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "strofix_version.h"
#include "tests/mpris/session_support.h"

namespace mpris_test {
namespace {

constexpr int kSoon = 1500;  // ms in which the bridge must have reacted to an event

class BridgeFakes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr) << "run under dbus-run-session";
        ASSERT_FALSE(dir_.Path().empty());
    }

    // A fake player org.mpris.MediaPlayer2.<name>, on the bus when this returns.
    Child Fake(const std::string& name) {
        Child::Options o;
        o.input = true;
        o.output = true;
        o.logFile = dir_.Path() + "/fake-" + name + ".log";
        Child fake(STROFIX_FAKE_PLAYER_EXE, {name}, o);
        EXPECT_TRUE(fake.ExpectLine("ready", 5000)) << "the fake " << name << " did not start";
        return fake;
    }
    // Sends `command` to a fake and waits for its "ok".
    static void Tell(Child& fake, const std::string& command) {
        ASSERT_TRUE(fake.Send(command));
        ASSERT_TRUE(fake.ExpectLine("ok", 3000)) << command;
    }
    Child Bridge(const std::vector<std::string>& extra = {}) {
        Child::Options o;
        o.logFile = BridgeLog();
        std::vector<std::string> args{"--block", block_.Name(), "--verbose"};
        args.insert(args.end(), extra.begin(), extra.end());
        Child bridge(STROFIX_MPRIS_EXE, args, o);
        EXPECT_TRUE(block_.Open(3000)) << "the bridge made no block";
        return bridge;
    }
    std::string BridgeLog() const { return dir_.Path() + "/bridge.log"; }
    bool PathBecomes(const std::string& path, int timeoutMs = kSoon) {
        return WaitFor([&] { return block_.Path() == path; }, timeoutMs);
    }
    // The bridge ends on SIGTERM, with status 0 and the path cleared.
    void ExpectCleanEnd(Child& bridge) {
        EXPECT_TRUE(bridge.Running()) << ReadFile(BridgeLog());
        EXPECT_EQ(bridge.Stop(SIGTERM, 2000), 0) << ReadFile(BridgeLog());
        EXPECT_EQ(block_.Path(), "");
    }

    TempDir dir_{"strofix-mpris-fakes"};
    BlockView block_{UniqueBlockName("fakes")};
};

TEST_F(BridgeFakes, FollowsThePlayerThatStartedPlayingLast) {
    Child a = Fake("alpha");
    Child b = Fake("beta");
    Child bridge = Bridge();
    Tell(a, "track file:///music/Alpha%20One.ogg|Alpha One|A|60000000");
    Tell(a, "play");
    ASSERT_TRUE(PathBecomes("Z:\\music\\Alpha One.ogg")) << block_.Path();

    Tell(b, "track |Beta Song|Band, With Comma|");
    Tell(b, "play");
    ASSERT_TRUE(PathBecomes("Z:\\Band, With Comma - Beta Song.txt")) << block_.Path();
    Tell(b, "pause");  // a is still playing: it takes over
    ASSERT_TRUE(PathBecomes("Z:\\music\\Alpha One.ogg")) << block_.Path();
    Tell(a, "pause");                      // both paused: a is kept, its position stays
    std::this_thread::sleep_for(Ms(300));  // the exact position where it paused comes in
    const std::uint32_t paused = block_.Position();
    EXPECT_FALSE(WaitFor([&] { return block_.Position() != paused; }, 700));
    EXPECT_EQ(block_.Path(), "Z:\\music\\Alpha One.ogg");

    Tell(b, "play");
    ASSERT_TRUE(PathBecomes("Z:\\Band, With Comma - Beta Song.txt"));
    Tell(b, "quit");  // the followed player leaves; a only pauses: nothing
    ASSERT_TRUE(PathBecomes(""));
    EXPECT_EQ(block_.Position(), 0u);
    Tell(a, "play");
    ASSERT_TRUE(PathBecomes("Z:\\music\\Alpha One.ogg"));
    Tell(a, "stop");
    ASSERT_TRUE(PathBecomes(""));
    ExpectCleanEnd(bridge);
    const std::string log = ReadFile(BridgeLog());
    EXPECT_NE(log.find("following org.mpris.MediaPlayer2.beta"), std::string::npos) << log;
    EXPECT_NE(log.find("track: Band, With Comma - Beta Song"), std::string::npos) << log;
}

TEST_F(BridgeFakes, ANamedPlayerOnly) {
    Child a = Fake("alpha");
    Child a2 = Fake("alpha.instance77");
    Child b = Fake("beta");
    Child bridge = Bridge({"--player", "alpha"});
    Tell(b, "track file:///b.ogg|B||");
    Tell(b, "play");
    Tell(a2, "track file:///a2.ogg|A2||");
    Tell(a2, "play");
    ASSERT_TRUE(PathBecomes("Z:\\a2.ogg")) << block_.Path();
    EXPECT_FALSE(PathBecomes("Z:\\b.ogg", 500));
    ExpectCleanEnd(bridge);
}

TEST_F(BridgeFakes, SeeksArriveAtOnceAndTheClockRunsBetweenReads) {
    Child a = Fake("seeker");
    Child bridge = Bridge();
    Tell(a, "track file:///s.ogg|S||600000000");
    Tell(a, "play");
    ASSERT_TRUE(PathBecomes("Z:\\s.ogg"));
    Tell(a, "seeked 300000000");
    const auto sent = SteadyClock::now();
    ASSERT_TRUE(WaitFor([&] { return block_.Position() >= 300000; }, 400));
    EXPECT_LT(ElapsedMs(sent), 400);
    // Between the bridge's reads the position runs on: it moves in steps of about 80 ms.
    std::uint32_t last = block_.Position();
    int moves = 0;
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(Ms(25));
        const std::uint32_t now = block_.Position();
        EXPECT_GE(now, last);
        moves += now != last;
        last = now;
    }
    EXPECT_GE(moves, 4);
    EXPECT_NEAR(static_cast<double>(block_.Position()), 300000.0 + ElapsedMs(sent), 150.0);
    ExpectCleanEnd(bridge);
}

TEST_F(BridgeFakes, APlayerThatNeverAnswersHoldsNothingUp) {
    Child silent = Fake("silent");
    Tell(silent, "track file:///silent.ogg|Silent||");
    Tell(silent, "play");
    Tell(silent, "hang");
    Child good = Fake("good");
    Tell(good, "track file:///good.ogg|Good||");
    Tell(good, "play");
    const auto start = SteadyClock::now();
    Child bridge = Bridge();
    ASSERT_TRUE(PathBecomes("Z:\\good.ogg")) << block_.Path();
    EXPECT_LT(ElapsedMs(start), 1000);

    // Now the followed player hangs too: the block stays as it was, the clock runs on, and
    // the bridge still ends at once when asked.
    Tell(good, "hang");
    const std::uint32_t before = block_.Position();
    std::this_thread::sleep_for(Ms(1200));
    EXPECT_EQ(block_.Path(), "Z:\\good.ogg");
    EXPECT_GT(block_.Position(), before);
    const auto stopAt = SteadyClock::now();
    ExpectCleanEnd(bridge);
    EXPECT_LT(ElapsedMs(stopAt), 1000);

    // --list waits a short while for each, and says which did not answer.
    Child::Options o;
    o.output = true;
    const auto listAt = SteadyClock::now();
    Child list(STROFIX_MPRIS_EXE, {"--list"}, o);
    EXPECT_TRUE(list.ExpectLine("org.mpris.MediaPlayer2.good", 3000));
    EXPECT_EQ(list.Wait(3000), 0);
    EXPECT_LT(ElapsedMs(listAt), 2000);
}

TEST_F(BridgeFakes, WrongTypesPublishNothingAndHarmNothing) {
    Child p = Fake("wrong");
    Child bridge = Bridge();
    Tell(p, "track file:///ok.ogg|OK||");
    Tell(p, "play");
    ASSERT_TRUE(PathBecomes("Z:\\ok.ogg"));
    Tell(p, "wrong-types");  // no usable URL or title: no song
    ASSERT_TRUE(PathBecomes(""));
    Tell(p, "track file:///ok.ogg|OK||");
    ASSERT_TRUE(PathBecomes("Z:\\ok.ogg"));
    Tell(p, "metadata-not-a-map");
    ASSERT_TRUE(PathBecomes(""));
    Tell(p, "track file:///ok.ogg|OK||");
    ASSERT_TRUE(PathBecomes("Z:\\ok.ogg"));
    Tell(p, "seeked-wrong-type");
    Tell(p, "position-wrong-type");
    std::this_thread::sleep_for(Ms(700));  // a few reads answered with text
    EXPECT_EQ(block_.Path(), "Z:\\ok.ogg");
    EXPECT_LT(block_.Position(), 10000u);
    Tell(p, "status-wrong-type");  // counts as stopped
    ASSERT_TRUE(PathBecomes(""));
    EXPECT_EQ(block_.Position(), 0u);
    Tell(p, "play");
    ASSERT_TRUE(PathBecomes("Z:\\ok.ogg"));
    ExpectCleanEnd(bridge);
}

TEST_F(BridgeFakes, APlayerThatVanishesMidCall) {
    Child p = Fake("vanishing");
    Child bridge = Bridge();
    Tell(p, "track file:///v.ogg|V||");
    Tell(p, "play");
    ASSERT_TRUE(PathBecomes("Z:\\v.ogg"));
    Tell(p, "vanish-on-call");  // the next position read finds it gone
    ASSERT_TRUE(PathBecomes("")) << block_.Path();
    EXPECT_EQ(block_.Position(), 0u);
    EXPECT_EQ(p.Wait(1000), 0);
    Child next = Fake("next");
    Tell(next, "track file:///n.ogg|N||");
    Tell(next, "play");
    ASSERT_TRUE(PathBecomes("Z:\\n.ogg"));
    ExpectCleanEnd(bridge);
}

TEST_F(BridgeFakes, AOneMegabyteTitle) {
    Child p = Fake("huge");
    Child bridge = Bridge();
    Tell(p, "play");
    Tell(p, "huge-title 1048576");
    ASSERT_TRUE(WaitFor([&] { return block_.Path().starts_with("Z:\\Huge_Title_ Huge"); }, kSoon))
        << block_.Path();
    const std::string path = block_.Path();
    EXPECT_LE(path.size(), 260u);
    EXPECT_TRUE(path.ends_with(".txt"));
    EXPECT_EQ(path.find('/'), std::string::npos);
    EXPECT_EQ(path.find('\n'), std::string::npos);
    EXPECT_EQ(path.find('\\', 3), std::string::npos);
    // The bridge did not keep the megabyte, nor print it.
    const std::string status = ReadFile("/proc/" + std::to_string(bridge.Pid()) + "/status");
    const std::size_t rss = status.find("VmRSS:");
    ASSERT_NE(rss, std::string::npos);
    EXPECT_LT(std::strtol(status.c_str() + rss + 6, nullptr, 10), 40 * 1024) << "kB";
    EXPECT_LT(ReadFile(BridgeLog()).size(), 4096u);
    ExpectCleanEnd(bridge);
}

TEST_F(BridgeFakes, OneBridgePerBlock) {
    Child first = Bridge();
    ASSERT_TRUE(first.Running());
    Child::Options o;
    o.logFile = dir_.Path() + "/second.log";
    Child second(STROFIX_MPRIS_EXE, {"--block", block_.Name()}, o);
    EXPECT_EQ(second.Wait(3000), 3);
    EXPECT_NE(ReadFile(o.logFile).find("another strofix-mpris already writes the block"),
              std::string::npos);
    ExpectCleanEnd(first);
}

TEST_F(BridgeFakes, BadUsage) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--player"},
                                                 {"--bogus"},
                                                 {"--list", "--verbose"},
                                                 {"--block", ""},
                                                 {"--player", "a", "--player", "b"}}) {
        Child c(STROFIX_MPRIS_EXE, args, {});
        EXPECT_EQ(c.Wait(3000), 2) << args[0];
    }
    Child::Options o;
    o.output = true;
    Child version(STROFIX_MPRIS_EXE, {"--version"}, o);
    EXPECT_TRUE(version.ExpectLine("strofix-mpris " STROFIX_VERSION, 3000));
    EXPECT_EQ(version.Wait(3000), 0);
}

}  // namespace
}  // namespace mpris_test
