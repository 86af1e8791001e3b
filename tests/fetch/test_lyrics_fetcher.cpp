// Fetching into the lyrics directory: what is written for each kind of answer, what is
// never overwritten, and the 24-hour miss memory, against the tests' own server.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QEventLoop>
#include <QTimer>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "sync/lyrics_file.h"
#include "tests/fetch/local_server.h"
#include "tools/fetch/lyrics_fetcher.h"
#include "tests/tools/program_runner.h"

namespace fs = std::filesystem;
using fetch::Result;
using fetchtest::LocalServer;

namespace {

using testrun::Slurp;

class LyricsFetcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "strofix-fetcher-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        fs::create_directory(dir_ / "lyrics");
        memory_ = (dir_ / "cache" / "strofix" / "lrclib-misses").string();
        lyrics_ = (dir_ / "lyrics" / "Some Artist - Some Title.txt").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    fetch::Report Run(const LocalServer& server, bool askAgain = false) {
        fetch::ClientOptions options;
        options.baseUrl = server.BaseUrl();
        options.totalTimeoutMs = 2000;
        fetch::LyricsFetcher fetcher(options, memory_);
        return fetcher.Run(track_, lyrics_, askAgain);
    }

    // What Strofix's own loader reads from the lyrics file: second -> text.
    std::vector<std::pair<unsigned, std::string>> Loaded() const {
        static LyricTable table;
        TextModeFile file;
        int count = 0;
        std::vector<std::pair<unsigned, std::string>> out;
        if (!LoadLyricsFile(lyrics_.c_str(), file, table, &count)) return out;
        for (int i = 0; i < count; ++i) out.emplace_back(table[i].seconds, table[i].text);
        return out;
    }

    fs::path dir_;
    std::string memory_;
    std::string lyrics_;
    const fetch::Track track_{"Some Artist", "Some Title", "Some Album", 201};
};

TEST_F(LyricsFetcherTest, SyncedLyricsAreConvertedWithEverySecondFilled) {
    LocalServer server("synced", dir_);
    ASSERT_TRUE(server.Up());
    const fetch::Report r = Run(server);
    ASSERT_EQ(r.result, Result::Written) << r.message;
    EXPECT_NE(r.message.find(lyrics_), std::string::npos);
    const auto table = Loaded();
    ASSERT_GE(table.size(), 200u);
    // The server's lines come every 4 s ("[00:04.50]Line 4 of ..."); every second between
    // repeats the line that is up.
    for (unsigned s = 0; s < 200; ++s) {
        SCOPED_TRACE(s);
        ASSERT_LT(s, table.size());
        EXPECT_EQ(table[s].first, s);
        EXPECT_EQ(table[s].second, "Line " + std::to_string(s / 4 * 4) + " of Some Title");
    }
    EXPECT_FALSE(fs::exists(memory_));  // nothing to remember
}

TEST_F(LyricsFetcherTest, InstrumentalWritesOneLineFromTheStart) {
    LocalServer server("instrumental", dir_);
    ASSERT_TRUE(server.Up());
    const fetch::Report r = Run(server);
    ASSERT_EQ(r.result, Result::Instrumental) << r.message;
    EXPECT_EQ(Slurp(lyrics_), "[00:00](instrumental)\n");
    const auto table = Loaded();
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0], std::make_pair(0u, std::string("(instrumental)")));
}

TEST_F(LyricsFetcherTest, NothingWrittenWithoutSyncedLyrics) {
    struct Case {
        const char* mode;
        Result result;
        bool remembered;
        const char* says;
    } const cases[] = {
        {"plain", Result::PlainOnly, true, "only plain lyrics without times"},
        {"notfound", Result::NotFound, true, "has no lyrics"},
        {"error", Result::Failed, false, "HTTP 500"},
        {"hang", Result::Failed, false, "timed out"},
        {"malformed", Result::Failed, false, "not a JSON object"},
        {"big", Result::Failed, false, "1048576"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        fs::remove(memory_);
        LocalServer server(c.mode, dir_);
        ASSERT_TRUE(server.Up());
        const fetch::Report r = Run(server);
        EXPECT_EQ(r.result, c.result);
        EXPECT_NE(r.message.find(c.says), std::string::npos) << r.message;
        EXPECT_FALSE(fs::exists(lyrics_));
        EXPECT_EQ(fetch::MissMemory(memory_)
                      .RememberedAt(fetch::TrackKey(track_), std::time(nullptr))
                      .has_value(),
                  c.remembered);
        // A failure is no miss: the next play asks again. A miss is not asked for again.
        Run(server);
        EXPECT_EQ(server.Requests().size(), c.remembered ? 1u : 2u);
    }
}

TEST_F(LyricsFetcherTest, MissIsRememberedForTwentyFourHours) {
    LocalServer server("notfound", dir_);
    ASSERT_TRUE(server.Up());
    EXPECT_EQ(Run(server).result, Result::NotFound);
    const fetch::Report again = Run(server);
    EXPECT_EQ(again.result, Result::Remembered);
    EXPECT_NE(again.message.find("not asked again before"), std::string::npos) << again.message;
    EXPECT_EQ(server.Requests().size(), 1u);
    // Asked on purpose, it asks.
    EXPECT_EQ(Run(server, /*askAgain=*/true).result, Result::NotFound);
    EXPECT_EQ(server.Requests().size(), 2u);
    // A day after the miss, the next play asks again.
    const std::string text = Slurp(memory_);
    const std::size_t line = text.find('\n') + 1;
    const std::int64_t dayAgo = std::time(nullptr) - fetch::kMissMemorySeconds;
    std::ofstream(memory_, std::ios::binary)
        << text.substr(0, line) << dayAgo << text.substr(text.find('\t', line));
    EXPECT_EQ(Run(server).result, Result::NotFound);
    EXPECT_EQ(server.Requests().size(), 3u);
}

TEST_F(LyricsFetcherTest, ExistingFileIsNeverTouchedNorAskedFor) {
    LocalServer server("synced", dir_);
    ASSERT_TRUE(server.Up());
    std::ofstream(lyrics_) << "[00:01]mine\n";
    const fetch::Report r = Run(server);
    EXPECT_EQ(r.result, Result::Present);
    EXPECT_EQ(Slurp(lyrics_), "[00:01]mine\n");
    EXPECT_EQ(server.Requests().size(), 0u);
}

TEST_F(LyricsFetcherTest, MissingLyricsDirectoryIsSaid) {
    LocalServer server("synced", dir_);
    ASSERT_TRUE(server.Up());
    fs::remove_all(dir_ / "lyrics");
    const fetch::Report r = Run(server);
    EXPECT_EQ(r.result, Result::Failed);
    EXPECT_NE(r.message.find("does not exist"), std::string::npos) << r.message;
    EXPECT_FALSE(fs::exists(dir_ / "lyrics"));
}

TEST_F(LyricsFetcherTest, OneFetchPerTrackAtATime) {
    LocalServer server("hang", dir_);
    ASSERT_TRUE(server.Up());
    fetch::ClientOptions options;
    options.baseUrl = server.BaseUrl();
    options.totalTimeoutMs = 1000;
    fetch::LyricsFetcher fetcher(options, memory_);
    int done = 0;
    ASSERT_TRUE(fetcher.Start(track_, lyrics_, [&done](const fetch::Report&) { ++done; }));
    EXPECT_FALSE(fetcher.Start(track_, lyrics_, [&done](const fetch::Report&) { ++done; }));
    EXPECT_EQ(fetcher.Run(track_, lyrics_).result, Result::Failed);  // "running already"
    QEventLoop loop;
    QTimer::singleShot(3000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(done, 1);
    EXPECT_EQ(server.Requests().size(), 1u);
}

}  // namespace
