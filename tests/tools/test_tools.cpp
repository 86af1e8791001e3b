// The companion tools, run as built: the player stand-in against a block of the test's own
// (read back through the program's CPlayerInfo), and the checker on sample files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "player/player_info.h"
#include "tests/tools/program_runner.h"

namespace fs = std::filesystem;

namespace {

using testrun::Result;
using testrun::Slurp;

class Tools : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "strofix-tools-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        block_ = "/strofix-tools-test-" + std::to_string(getpid());
        event_ = block_ + "-event";
    }
    void TearDown() override {
        platform::RemoveSharedBlock(block_.c_str());
        platform::RemoveNamedEvent(event_.c_str());
        fs::remove_all(dir_);
    }

    pid_t Start(const char* exe, const std::vector<std::string>& args,
                const testrun::Environment& env = {}) {
        return testrun::Start(dir_, exe, args, env);
    }
    Result Wait(pid_t pid) { return testrun::Wait(dir_, pid); }
    Result Run(const char* exe, const std::vector<std::string>& args,
               const testrun::Environment& env = {}) {
        return testrun::Run(dir_, exe, args, env);
    }
    Result Player(std::vector<std::string> args) {
        args.insert(args.begin(), {"--block", block_});
        return Run(STROFIX_PLAYER_EXE, args);
    }
    fs::path Put(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return dir_ / name;
    }

    fs::path dir_;
    std::string block_;
    std::string event_;
};

TEST_F(Tools, PlayerSetShowStopRoundTrip) {
    const Result set = Player({"set", "--path", "D:\\Music\\Song.mp3", "--position", "12345"});
    EXPECT_EQ(set.exit, 0) << set.err;
    EXPECT_EQ(Player({"show"}).out, "size: 0\nposition: 12345\npath: D:\\Music\\Song.mp3\n");

    // What the program reads, and the size word it writes, which the player leaves alone.
    CPlayerInfo info;
    ASSERT_TRUE(info.OpenBlock(block_.c_str(), event_.c_str()));
    char path[261];
    std::uint32_t ms = 0;
    ASSERT_TRUE(info.GetSongPath(path, sizeof path));
    ASSERT_TRUE(info.GetPosition(&ms));
    EXPECT_STREQ(path, "D:\\Music\\Song.mp3");
    EXPECT_EQ(ms, 12345U);
    EXPECT_EQ(Player({"set", "--position", "4294967295"}).exit, 0);
    EXPECT_EQ(Player({"show"}).out,
              "size: 1316\nposition: 4294967295\npath: D:\\Music\\Song.mp3\n");

    EXPECT_EQ(Player({"set", "--path", "C:\\" + std::string(257, 'p')}).exit, 0);  // 260 fit
    const Result tooLong = Player({"set", "--path", "C:\\" + std::string(258, 'p')});
    EXPECT_EQ(tooLong.exit, 2);
    EXPECT_NE(tooLong.err.find("at most 260"), std::string::npos) << tooLong.err;
    ASSERT_TRUE(info.GetSongPath(path, sizeof path));
    EXPECT_EQ(std::string(path), "C:\\" + std::string(257, 'p'));

    EXPECT_EQ(Player({"stop"}).exit, 0);
    EXPECT_EQ(Player({"show"}).out, "size: 1316\nposition: 4294967295\npath: \n");
}

TEST_F(Tools, PlayerPlaysInRealTimeAndClearsThePathAtTheEnd) {
    const pid_t pid = Start(STROFIX_PLAYER_EXE, {"--block", block_, "play", "--from", "5000",
                                                 "--for", "1", "C:\\a.mp3"});
    CPlayerInfo info;
    ASSERT_TRUE(info.OpenBlock(block_.c_str(), event_.c_str()));
    std::vector<std::uint32_t> seen;
    char path[261] = "";
    // Watch until the player ends (left unreaped, so Wait still gets its status).
    const auto running = [pid] {
        siginfo_t si{};
        return waitid(P_PID, static_cast<id_t>(pid), &si, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               si.si_pid == 0;
    };
    for (int i = 0; i < 3000 && running(); ++i) {
        std::uint32_t ms = 0;
        info.GetSongPath(path, sizeof path);
        info.GetPosition(&ms);
        if (std::string(path) == "C:\\a.mp3" && (seen.empty() || seen.back() != ms)) {
            seen.push_back(ms);
        }
        usleep(5000);
    }
    const Result r = Wait(pid);
    EXPECT_EQ(r.exit, 0) << r.err;
    ASSERT_GE(seen.size(), 2U) << "the position should move while playing";
    for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]);
    EXPECT_GE(seen.front(), 5000U);
    EXPECT_LE(seen.back(), 6000U);
    std::uint32_t ms = 0;
    info.GetSongPath(path, sizeof path);
    info.GetPosition(&ms);
    EXPECT_STREQ(path, "");
    EXPECT_EQ(ms, 6000U);
    EXPECT_NE(r.out.find("playing C:\\a.mp3"), std::string::npos) << r.out;
}

TEST_F(Tools, PlayerInterruptedClearsThePath) {
    const pid_t pid = Start(STROFIX_PLAYER_EXE, {"--block", block_, "play", "C:\\b.mp3"});
    CPlayerInfo info;
    ASSERT_TRUE(info.OpenBlock(block_.c_str(), event_.c_str()));
    char path[261] = "";
    for (int i = 0; i < 2000 && std::string(path) != "C:\\b.mp3"; ++i) {
        info.GetSongPath(path, sizeof path);
        usleep(5000);
    }
    ASSERT_STREQ(path, "C:\\b.mp3");
    kill(pid, SIGTERM);
    const Result r = Wait(pid);
    EXPECT_EQ(r.exit, 0) << r.err;
    info.GetSongPath(path, sizeof path);
    EXPECT_STREQ(path, "");
}

TEST_F(Tools, PathWithoutBackslashIsWrittenWithAWarning) {
    struct Case {
        std::vector<std::string> args;
        std::string path;  // what the block holds afterwards
        bool warned;
    };
    const std::vector<Case> cases = {
        {{"set", "--path", "/home/u/Song.mp3"}, "/home/u/Song.mp3", true},
        {{"set", "--path", "Song.mp3", "--position", "5"}, "Song.mp3", true},
        {{"set", "--path", "C:\\Song.mp3"}, "C:\\Song.mp3", false},
        {{"set", "--path", ""}, "", false},  // clearing the path is no mistake
        {{"play", "--for", "0", "/x/a.mp3", "D:\\b.mp3"}, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[2]);
        const Result r = Player(c.args);
        EXPECT_EQ(r.exit, 0) << r.err;
        EXPECT_EQ(r.err.find("holds no backslash") != std::string::npos, c.warned) << r.err;
        if (c.warned) {
            EXPECT_NE(r.err.find("Unable to Locate Lyrics File"), std::string::npos) << r.err;
        }
        EXPECT_NE(Player({"show"}).out.find("path: " + c.path + "\n"), std::string::npos);
    }
    // Only the path without one is named.
    const Result both = Player({"play", "--for", "0", "/x/a.mp3", "D:\\b.mp3"});
    EXPECT_NE(both.err.find("'/x/a.mp3'"), std::string::npos) << both.err;
    EXPECT_EQ(both.err.find("b.mp3"), std::string::npos) << both.err;
}

// The block truncated under a playing player, then removed: the player neither dies nor
// loses the song; it follows the name to a new block and writes the song there.
TEST_F(Tools, PlayerSurvivesAShrunkOrRemovedBlock) {
    const pid_t pid =
        Start(STROFIX_PLAYER_EXE, {"--block", block_, "play", "--for", "3", "C:\\c.mp3"});
    CPlayerInfo info;
    ASSERT_TRUE(info.OpenBlock(block_.c_str(), event_.c_str()));
    char path[261] = "";
    for (int i = 0; i < 2000 && std::string(path) != "C:\\c.mp3"; ++i) {
        info.GetSongPath(path, sizeof path);
        usleep(5000);
    }
    ASSERT_STREQ(path, "C:\\c.mp3");
    const int fd = shm_open(block_.c_str(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    for (off_t size : {0, 10, 1000}) {
        ASSERT_EQ(ftruncate(fd, size), 0);
        usleep(200000);  // several of the player's writes
    }
    close(fd);
    platform::RemoveSharedBlock(block_.c_str());
    path[0] = '\0';
    std::uint32_t ms = 0;
    for (int i = 0; i < 200 && std::string(path) != "C:\\c.mp3"; ++i) {
        usleep(10000);
        info.GetSongPath(path, sizeof path);  // follows the name to the player's new block
    }
    EXPECT_STREQ(path, "C:\\c.mp3");
    EXPECT_TRUE(info.GetPosition(&ms));
    EXPECT_GE(ms, 600U);
    const Result r = Wait(pid);
    EXPECT_EQ(r.exit, 0) << "the player died: " << r.err;
}

TEST_F(Tools, BadArgumentsGiveUsageAndFail) {
    const std::vector<std::vector<std::string>> playerCases = {
        {},
        {"bogus"},
        {"set"},
        {"set", "--position"},
        {"set", "--position", "12x"},
        {"set", "--position", "-1"},
        {"set", "--position", "4294967296"},
        {"set", "--path", "a", "--path", "b"},
        {"set", "extra"},
        {"play"},
        {"play", "--for", "x", "A\\b"},
        {"play", "--bogus", "A\\b"},
        {"stop", "extra"},
        {"show", "extra"},
    };
    for (const auto& args : playerCases) {
        const Result r = Player(args);
        SCOPED_TRACE(args.empty() ? "(none)" : args[0] + (args.size() > 1 ? " " + args[1] : ""));
        EXPECT_EQ(r.exit, 2);
        EXPECT_NE(r.err.find("usage: strofix-player"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(Run(STROFIX_PLAYER_EXE, {"--block"}).exit, 2);

    const std::vector<std::vector<std::string>> checkCases = {
        {},          {"--bogus"},     {"a", "b"},
        {"--which"}, {"--dir", "/x"}, {"--which", "a", "--which", "b"}};
    for (const auto& args : checkCases) {
        const Result r = Run(STROFIX_CHECK_EXE, args);
        EXPECT_EQ(r.exit, 2);
        EXPECT_NE(r.err.find("usage: strofix-check"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(Tools, CheckerPrintsTheTableAndWarnsByLine) {
    const std::string longLine = "[00:40]" + std::string(92, 'a') + "[00:50]tail";
    const fs::path file = Put("song.txt",
                              "[ti:Some Title]\r\n"
                              "[02:00]B\r\n"
                              "[01:00][00:30]A\n"
                              "\n"
                              "Hello [00:10]World\n"
                              "[00:20]" +
                                  std::string(92, 'b') + "\r\n" +  // 99 characters: one piece
                                  longLine + "\n[00:10]Again\n[01.05]last");
    const Result r = Run(STROFIX_CHECK_EXE, {file.string()});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, "10\tWorld\n10\tAgain\n20\t" + std::string(92, 'b') + "\n30\tA\n40\t" +
                         std::string(92, 'a') + "\n50\ttail\n60\tA\n65\tlast\n120\tB\n");
    const std::string f = file.string();
    EXPECT_EQ(r.err, f +
                         ":1: warning: '[' but no time tag read: a tag is seven characters like "
                         "[01:05], and a longer bracket such as [ti:Title] stops the line\n" +
                         f +
                         ":7: warning: line longer than 99 characters, read in 2 pieces; each "
                         "piece is scanned alone and an entry's text ends with its piece\n");
}

TEST_F(Tools, CheckerDropsTagsPastTheTable) {
    std::string content;
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        const std::string mm = std::to_string(100 + i / 60).substr(1);
        const std::string ss = std::to_string(100 + i % 60).substr(1);
        content += "[" + mm + ":" + ss + "]L" + std::to_string(i) + "\n";
        if (i < 250) expected += std::to_string(i) + "\tL" + std::to_string(i) + "\n";
    }
    const fs::path file = Put("many.txt", content);
    const Result r = Run(STROFIX_CHECK_EXE, {file.string()});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.err, file.string() +
                         ":251: warning: the table holds 250 entries; 50 time tag(s) from this "
                         "line on dropped\n");
}

TEST_F(Tools, CheckerWarnsWhenTheReadingStopsAtTheByteLimit) {
    // The tag past the first MiB is not read; the window would not show it either.
    std::string filler;
    while (filler.size() < (1U << 20)) filler += std::string(60, 'x') + "\n";
    const fs::path file = Put("huge.txt", "[00:01]first\n" + filler + "[00:02]past\n");
    const Result r = Run(STROFIX_CHECK_EXE, {file.string()});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, "1\tfirst\n");
    EXPECT_EQ(r.err, file.string() +
                         ": warning: the file is longer than 1048576 bytes; Strofix stops reading "
                         "there and keeps the entries read before\n");
}

TEST_F(Tools, CheckerFailsOnUnreadableFiles) {
    for (const fs::path& p : {dir_ / "missing.txt", dir_}) {
        const Result r = Run(STROFIX_CHECK_EXE, {p.string()});
        EXPECT_EQ(r.exit, 1);
        EXPECT_NE(r.err.find("cannot read '" + p.string() + "'"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(Tools, CheckerWhichNamesTheLyricsFile) {
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::string out;
        std::string errHas;
    };
    const Case cases[] = {
        {{"--which", "D:\\Music\\Song.mp3", "--dir", "/l/"}, 0, "/l/Song.txt\n", ""},
        {{"--dir", "/l", "--which", "D:\\Song.flac"}, 0, "/l/Song.ftxt\n", ""},  // either order
        {{"--which", "Song.mp3", "--dir", "/l"}, 1, "", "no backslash"},
        {{"--which", "D:\\a/../x.mp3", "--dir", "/l"}, 1, "", "'/'"},
        {{"--which", "\\a", "--dir", ""}, 1, "", "shorter than three"},
        {{"--which", "C:\\ab", "--dir", "/l"}, 1, "", "shorter than three"},
        {{"--which", "D:\\" + std::string(258, 's'), "--dir", "/l"}, 1, "", "at most 260"},
        {{"--which", "D:\\s.mp3", "--dir", std::string(100, 'd')}, 2, "", "at most 99"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        const Result r = Run(STROFIX_CHECK_EXE, c.args);
        EXPECT_EQ(r.exit, c.exit);
        EXPECT_EQ(r.out, c.out);
        EXPECT_NE(r.err.find(c.errHas), std::string::npos) << r.err;
    }

    // Without --dir: the configured directory, less its trailing separator, or the default.
    const std::string home = (dir_ / "home").string();
    const std::vector<std::pair<std::string, std::string>> env = {
        {"HOME", home}, {"XDG_CONFIG_HOME", (dir_ / "cfg").string()}};
    EXPECT_EQ(Run(STROFIX_CHECK_EXE, {"--which", "D:\\x.mp3"}, env).out, home + "/Lyrics/x.txt\n");
    fs::create_directory(dir_ / "cfg");
    Put("cfg/Strofix.ini", "[Strofix 1.0]\nLyricsPath=/from/ini/\n");
    EXPECT_EQ(Run(STROFIX_CHECK_EXE, {"--which", "D:\\x.mp3"}, env).out, "/from/ini/x.txt\n");
}

// The player's real block: the stand-in writes where the program looks by default.
TEST(RealBlock, PlayerWritesThePlayersBlockByDefault) {
    CPlayerInfo info;
    ASSERT_TRUE(info.OpenBlock());
    char saved[261];
    std::uint32_t savedMs = 0;
    info.GetSongPath(saved, sizeof saved);
    info.GetPosition(&savedMs);
    const std::string cmd =
        std::string(STROFIX_PLAYER_EXE) + " set --position 4321 --path 'Q:\\r.mp3'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    char path[261];
    std::uint32_t ms = 0;
    info.GetSongPath(path, sizeof path);
    info.GetPosition(&ms);
    EXPECT_STREQ(path, "Q:\\r.mp3");
    EXPECT_EQ(ms, 4321U);
    const std::string restore = std::string(STROFIX_PLAYER_EXE) + " set --position " +
                                std::to_string(savedMs) + " --path '" + saved + "'";
    std::system(restore.c_str());
}

}  // namespace
