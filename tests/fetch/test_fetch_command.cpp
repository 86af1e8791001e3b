// `strofix-lrc fetch`, run as built against the tests' own server: what it prints, where it
// writes, its exit status, and its usage errors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/fetch/local_server.h"
#include "tests/fetch/tagged_wav.h"
#include "tests/tools/program_runner.h"

namespace fs = std::filesystem;
using fetchtest::LocalServer;

namespace {

using testrun::Result;
using testrun::Slurp;

class FetchCommand : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "strofix-fetch-cmd-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        fs::create_directory(dir_ / "lyrics");
    }
    void TearDown() override { fs::remove_all(dir_); }

    // strofix-lrc fetch ARGS, with a cache and a configuration of the test's own.
    Result Fetch(std::vector<std::string> args) {
        args.insert(args.begin(), "fetch");
        return testrun::Run(dir_, STROFIX_LRC_EXE, args,
                            {{"XDG_CACHE_HOME", (dir_ / "cache").string()},
                             {"XDG_CONFIG_HOME", (dir_ / "config").string()}});
    }
    std::vector<std::string> With(const LocalServer& server, std::vector<std::string> args) {
        args.insert(args.end(),
                    {"--dir", (dir_ / "lyrics").string(), "--lrclib-url", server.BaseUrl()});
        return args;
    }

    fs::path dir_;
};

TEST_F(FetchCommand, WritesUnderTheBridgesNameOrTheSongsName) {
    LocalServer server("synced", dir_);
    ASSERT_TRUE(server.Up());
    struct Case {
        std::vector<std::string> args;
        const char* file;
    } const cases[] = {
        // Without a song, the name the bridge gives a track without a file; '/' cannot be
        // part of a file name.
        {{"--artist", "AC/DC", "--title", "T.N.T.", "--duration", "214.6"}, "AC_DC - T.N.T..txt"},
        {{"--artist", "Ana", "--title", "Río", "--album", "Mar"}, "Ana - Río.txt"},
        // With a song path, the name Strofix derives from it.
        {{"--artist", "A", "--title", "T", "--song", "Z:\\home\\u\\Music\\Café Tëst.ogg"},
         "Café Tëst.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Result r = Fetch(With(server, c.args));
        EXPECT_EQ(r.exit, 0) << r.err;
        const fs::path written = dir_ / "lyrics" / c.file;
        EXPECT_TRUE(fs::exists(written));
        EXPECT_NE(r.out.find("found on LRCLIB: '"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("wrote " + written.string()), std::string::npos) << r.out;
        EXPECT_EQ(Slurp(written).substr(0, 7), "[00:00]");
    }
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].query, "track_name=T.N.T.&artist_name=AC%2FDC&duration=215");
    EXPECT_EQ(requests[1].query, "track_name=R%C3%ADo&artist_name=Ana&album_name=Mar");
    // Run again: the file is there, nothing is asked and nothing replaced.
    const Result again = Fetch(With(server, cases[0].args));
    EXPECT_EQ(again.exit, 1);
    EXPECT_NE(again.err.find("is there already"), std::string::npos) << again.err;
    EXPECT_EQ(server.Requests().size(), 3u);
}

TEST_F(FetchCommand, ExitStatusSaysWhetherAFileWasWritten) {
    struct Case {
        const char* mode;
        int exit;
        const char* says;
    } const cases[] = {
        {"instrumental", 0, "as instrumental"},
        {"plain", 1, "only plain lyrics"},
        {"notfound", 1, "has no lyrics"},
        {"error", 1, "HTTP 500"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        fs::remove_all(dir_ / "lyrics");
        fs::create_directory(dir_ / "lyrics");
        LocalServer server(c.mode, dir_);
        ASSERT_TRUE(server.Up());
        const Result r = Fetch(With(server, {"--artist", c.mode, "--title", "Song"}));
        EXPECT_EQ(r.exit, c.exit);
        EXPECT_NE((c.exit == 0 ? r.out : r.err).find(c.says), std::string::npos) << r.out << r.err;
        EXPECT_EQ(fs::exists(dir_ / "lyrics" / (std::string(c.mode) + " - Song.txt")), c.exit == 0);
    }
}

TEST_F(FetchCommand, MissIsRememberedAcrossRuns) {
    LocalServer server("notfound", dir_);
    ASSERT_TRUE(server.Up());
    const auto args = With(server, {"--artist", "A", "--title", "Nowhere"});
    EXPECT_EQ(Fetch(args).exit, 1);
    const Result second = Fetch(args);
    EXPECT_EQ(second.exit, 1);
    EXPECT_NE(second.err.find("not asked again before"), std::string::npos) << second.err;
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_TRUE(fs::exists(dir_ / "cache" / "strofix" / "lrclib-misses"));
    auto retry = args;
    retry.push_back("--retry");
    EXPECT_EQ(Fetch(retry).exit, 1);
    EXPECT_EQ(server.Requests().size(), 2u);
}

TEST_F(FetchCommand, MusicFolderFetchesWhatHasNoLyrics) {
    LocalServer server("synced", dir_);
    ASSERT_TRUE(server.Up());
    const fs::path music = dir_ / "music";
    fs::create_directories(music / "sub");
    ASSERT_TRUE(fetchtest::WriteTaggedWav((music / "One.wav").string(), 3, "Art", "First", "Alb"));
    ASSERT_TRUE(
        fetchtest::WriteTaggedWav((music / "sub" / "Two.WAV").string(), 2, "Art", "Second", ""));
    ASSERT_TRUE(fetchtest::WriteTaggedWav((music / "Mine.wav").string(), 2, "Art", "Mine", ""));
    ASSERT_TRUE(fetchtest::WriteTaggedWav((music / "Untagged.wav").string(), 2, "", "", ""));
    std::ofstream(music / "notes.txt") << "not audio\n";
    std::ofstream(dir_ / "lyrics" / "Mine.txt") << "[00:01]mine\n";

    const Result r = Fetch(With(server, {"--music", music.string()}));
    EXPECT_EQ(r.exit, 0) << r.out << r.err;
    EXPECT_TRUE(fs::exists(dir_ / "lyrics" / "One.txt"));
    EXPECT_TRUE(fs::exists(dir_ / "lyrics" / "Two.txt"));  // Two.WAV: its last three replaced
    EXPECT_EQ(Slurp(dir_ / "lyrics" / "Mine.txt"), "[00:01]mine\n");
    EXPECT_FALSE(fs::exists(dir_ / "lyrics" / "Untagged.txt"));
    EXPECT_NE(r.out.find("written: 2 (0 of them instrumental)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("already present: 1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("no artist or title in the tags: 1"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("Untagged.wav: skipped"), std::string::npos) << r.err;

    // One request a file without lyrics, with its tags, a second apart.
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].query, "track_name=First&artist_name=Art&album_name=Alb&duration=3");
    EXPECT_EQ(requests[1].query, "track_name=Second&artist_name=Art&duration=2");
    EXPECT_GE(requests[1].time - requests[0].time, 0.95);

    EXPECT_EQ(Fetch(With(server, {"--music", music.string(), "--title", "T"})).exit, 2);
    EXPECT_EQ(Fetch(With(server, {"--music", (dir_ / "none").string()})).exit, 1);
}

TEST_F(FetchCommand, BadUsage) {
    const std::vector<std::string> cases[] = {
        {},
        {"--title", "T"},
        {"--artist", "A"},
        {"--artist", "", "--title", "T"},
        {"--artist", "A", "--title", "T", "--duration", "3:20"},
        {"--artist", "A", "--title", "T", "--duration", "-1"},
        {"--artist", "A", "--title", "T", "--lrclib-url", "ftp://x"},
        {"--artist", "A", "--artist", "B", "--title", "T"},
        {"--artist", "A", "--title", "T", "--bogus"},
        {"--artist", "A", "--title"},
    };
    for (const auto& args : cases) {
        const Result r = Fetch(args);
        EXPECT_EQ(r.exit, 2) << testing::PrintToString(args);
        EXPECT_NE(r.err.find("usage:"), std::string::npos) << r.err;
    }
}

}  // namespace
