// The bridge following a real player: mpv with Debian's MPRIS plugin, on a private session
// bus (the test runs under dbus-run-session), playing WAV files of silence the test writes,
// in a folder and under names with a space and non-ASCII characters.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/mpris/session_support.h"

namespace mpris_test {
namespace {

// Where Debian puts the plugin; it is loaded by name, with mpv's own configuration off.
std::string MprisPlugin() {
    for (const char* p : {"/usr/lib/mpv-mpris/mpris.so", "/etc/mpv/scripts/mpris.so",
                          "/usr/lib/x86_64-linux-gnu/mpv/scripts/mpris.so"}) {
        struct stat st {};
        if (stat(p, &st) == 0) return p;
    }
    return {};
}

// The song path the bridge publishes for a local file.
std::string SongPathOf(std::string path) {
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return "Z:" + path;
}

// Calls an MPRIS method of mpv through dbus-send.
int Mpris(const std::vector<std::string>& call) {
    std::vector<std::string> args{"--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.mpv",
                                  "/org/mpris/MediaPlayer2"};
    args.insert(args.end(), call.begin(), call.end());
    Child send("dbus-send", args, {});
    return send.Wait(3000);
}

TEST(BridgeMpv, FollowsARealPlayer) {
    ASSERT_NE(std::getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr) << "run under dbus-run-session";
    const std::string plugin = MprisPlugin();
    ASSERT_FALSE(plugin.empty()) << "the mpv-mpris package is not installed";
    TempDir dir("strofix-mpris-mpv");
    const std::string music = dir.Path() + "/Música dir";
    ASSERT_EQ(mkdir(music.c_str(), 0700), 0);
    const std::string first = music + "/Café Tëst.wav";
    const std::string second = music + "/Second Sóng.wav";
    ASSERT_TRUE(WriteSilentWav(first, 30));
    ASSERT_TRUE(WriteSilentWav(second, 30));

    BlockView block(UniqueBlockName("mpv"));
    Child::Options bridgeOut;
    bridgeOut.logFile = dir.Path() + "/bridge.log";
    Child bridge(STROFIX_MPRIS_EXE, {"--block", block.Name(), "--verbose"}, bridgeOut);
    ASSERT_TRUE(block.Open(3000));
    EXPECT_EQ(block.Path(), "");

    const std::string socket = dir.Path() + "/mpv.sock";
    Child::Options mpvOut;
    mpvOut.logFile = dir.Path() + "/mpv.log";
    const auto launched = SteadyClock::now();
    Child mpv("mpv",
              {"--no-config", "--script=" + plugin, "--ao=null", "--vo=null", "--idle=no",
               "--input-ipc-server=" + socket, "--msg-level=all=warn", first, second},
              mpvOut);
    const auto logs = [&] {
        return "bridge:\n" + ReadFile(bridgeOut.logFile) + "mpv:\n" + ReadFile(mpvOut.logFile);
    };

    // The path within a second of the start of playback (mpv's own start-up takes a while on
    // a loaded machine, and is not the bridge's).
    MpvIpc ipc;
    ASSERT_TRUE(ipc.Connect(socket, 5000)) << logs();
    ASSERT_TRUE(WaitFor([&] { return ipc.TimePos().has_value(); }, 5000)) << "mpv does not play";
    const auto playing = SteadyClock::now();
    ASSERT_TRUE(WaitFor([&] { return block.Path() == SongPathOf(first); }, 3000))
        << block.Path() << "\n"
        << logs();
    EXPECT_LT(ElapsedMs(playing), 1000) << "the path came late";
    std::printf("path %ld ms after mpv was started\n", ElapsedMs(launched));

    // The position keeps to mpv's own and to the wall clock, over several seconds. Where the
    // wall clock's zero lies is not known: the median offset stands for it.
    const auto t0 = SteadyClock::now();
    double worstPlayer = 0;
    std::vector<double> offsets;  // block position less the wall clock
    std::string samples;          // shown when a check fails
    for (int i = 0; i < 30; ++i) {
        std::this_thread::sleep_for(Ms(100));
        const std::uint32_t before = block.Position();
        const long at = ElapsedMs(t0);
        const std::optional<double> own = ipc.TimePos();
        const std::uint32_t after = block.Position();
        ASSERT_TRUE(own.has_value());
        const double ownMs = *own * 1000.0;
        // mpv's position, read between two reads of the block, against the block in between.
        const double off = ownMs < before ? before - ownMs : (ownMs > after ? ownMs - after : 0);
        worstPlayer = std::max(worstPlayer, off);
        offsets.push_back(static_cast<double>(before) - at);
        samples += std::to_string(at) + " ms: block " + std::to_string(before) + "/" +
                   std::to_string(after) + ", mpv " + std::to_string(ownMs) + "\n";
    }
    std::vector<double> sorted = offsets;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    double worstClock = 0;
    for (const double o : offsets) worstClock = std::max(worstClock, std::fabs(o - median));
    EXPECT_LE(worstPlayer, 150.0) << "ms off mpv's own position\n" << samples;
    EXPECT_LE(worstClock, 150.0) << "ms off the wall clock\n" << samples;
    RecordProperty("worst_ms_off_player", static_cast<int>(worstPlayer));
    RecordProperty("worst_ms_off_clock", static_cast<int>(worstClock));
    std::printf("worst: %.0f ms off mpv, %.0f ms off the wall clock\n", worstPlayer, worstClock);

    // A seek through MPRIS SetPosition reaches the block within 400 ms.
    auto seekSent = SteadyClock::now();
    ASSERT_EQ(Mpris({"org.mpris.MediaPlayer2.Player.SetPosition", "objpath:/0", "int64:15000000"}),
              0);
    ASSERT_TRUE(WaitFor(
        [&] { return std::fabs(block.Position() - 15000.0 - ElapsedMs(seekSent)) < 150; }, 1000));
    EXPECT_LT(ElapsedMs(seekSent), 400);
    // And one through mpv's own controls.
    seekSent = SteadyClock::now();
    ASSERT_TRUE(ipc.Command("[\"seek\", 5, \"absolute\"]"));
    ASSERT_TRUE(WaitFor([&] { return block.Position() < 6000; }, 1000));
    EXPECT_LT(ElapsedMs(seekSent), 400);

    // Pause freezes it.
    ASSERT_EQ(Mpris({"org.mpris.MediaPlayer2.Player.Pause"}), 0);
    std::this_thread::sleep_for(Ms(300));
    const std::uint32_t paused = block.Position();
    std::this_thread::sleep_for(Ms(1000));
    EXPECT_EQ(block.Position(), paused);
    EXPECT_EQ(block.Path(), SongPathOf(first));
    const std::optional<double> ownPaused = ipc.TimePos();
    ASSERT_TRUE(ownPaused.has_value());
    EXPECT_NEAR(paused, *ownPaused * 1000.0, 150.0);
    ASSERT_EQ(Mpris({"org.mpris.MediaPlayer2.Player.Play"}), 0);
    ASSERT_TRUE(WaitFor([&] { return block.Position() > paused + 200; }, 1000));

    // The next track changes the path, with its own position.
    ASSERT_EQ(Mpris({"org.mpris.MediaPlayer2.Player.Next"}), 0);
    const auto nextSent = SteadyClock::now();
    ASSERT_TRUE(WaitFor([&] { return block.Path() == SongPathOf(second); }, 2000)) << block.Path();
    EXPECT_LT(ElapsedMs(nextSent), 1000);
    EXPECT_LT(block.Position(), 1000u);

    // mpv quitting clears it.
    ASSERT_TRUE(ipc.Command("[\"quit\"]"));
    ASSERT_TRUE(WaitFor([&] { return block.Path().empty(); }, 1000)) << block.Path();
    EXPECT_EQ(block.Position(), 0u);
    EXPECT_EQ(mpv.Wait(3000), 0);

    EXPECT_EQ(bridge.Stop(SIGTERM, 2000), 0) << logs();
    const std::string log = ReadFile(bridgeOut.logFile);
    EXPECT_NE(log.find("following org.mpris.MediaPlayer2.mpv"), std::string::npos) << log;
    EXPECT_NE(log.find("path: " + SongPathOf(second)), std::string::npos) << log;
}

}  // namespace
}  // namespace mpris_test
