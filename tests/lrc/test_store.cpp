// Storing converted files and the lyrics file name Strofix looks for.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "tests/lrc/lrc_test_support.h"
#include "tools/lrc/lrc_convert.h"

namespace {

namespace fs = std::filesystem;

int FilesIn(const fs::path& dir) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
    return n;
}

TEST(StoreLyrics, WritesKeepsAndReplaces) {
    lrc_test::TempDir dir("store");
    const std::string path = dir / "Song.txt";
    std::string error;
    EXPECT_EQ(lrc::StoreLyrics(path, "[00:01]a\n", false, &error), lrc::StoreResult::Written);
    EXPECT_EQ(lrc_test::ReadFile(path), "[00:01]a\n");
    // Present: kept as it is without force.
    EXPECT_EQ(lrc::StoreLyrics(path, "[00:02]b\n", false, &error), lrc::StoreResult::Exists);
    EXPECT_EQ(lrc_test::ReadFile(path), "[00:01]a\n");
    EXPECT_EQ(lrc::StoreLyrics(path, "[00:02]b\n", true, &error), lrc::StoreResult::Written);
    EXPECT_EQ(lrc_test::ReadFile(path), "[00:02]b\n");
    EXPECT_EQ(FilesIn(dir.path()), 1) << "no temporary file is left behind";
}

TEST(StoreLyrics, FailsClearlyWithoutTouchingAnything) {
    lrc_test::TempDir dir("store-fail");
    std::string error;
    EXPECT_EQ(lrc::StoreLyrics(dir / "missing/Song.txt", "x", true, &error),
              lrc::StoreResult::Failed);
    EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
    // A directory where the file should be is never replaced.
    fs::create_directory(dir / "Dir.txt");
    EXPECT_EQ(lrc::StoreLyrics(dir / "Dir.txt", "x", true, &error), lrc::StoreResult::Failed);
    EXPECT_TRUE(fs::is_directory(dir / "Dir.txt"));
    EXPECT_EQ(FilesIn(dir.path()), 1);
}

struct PathCase {
    const char* name;
    std::string dir;
    std::string song;
    std::string expected;  // empty: no lyrics file
};

class LyricsPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(LyricsPath, FollowsTheWindowsRule) {
    const PathCase& c = GetParam();
    std::string out, error, dir = c.dir;
    for (char& ch : dir) {
        if (ch == '/') ch = platform::PathSeparator();
    }
    const bool ok = lrc::LyricsPathForSong(dir, c.song, &out, &error);
    if (c.expected.empty()) {
        EXPECT_FALSE(ok) << out;
        EXPECT_FALSE(error.empty());
    } else {
        ASSERT_TRUE(ok) << error;
        std::string expected = c.expected;
        for (char& ch : expected) {
            if (ch == '/') ch = platform::PathSeparator();
        }
        EXPECT_EQ(out, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Songs, LyricsPath,
    ::testing::Values(PathCase{"Mp3", "L", "D:\\Music\\Song.mp3", "L/Song.txt"},
                      PathCase{"ThreeCharactersWhateverTheExtension", "L", "\\Song.flac",
                               "L/Song.ftxt"},
                      PathCase{"LrcName", "L", "\\Song.lrc", "L/Song.txt"},
                      PathCase{"TrailingSeparatorTrimmed", "L/", "C:\\a\\b.ogg", "L/b.txt"},
                      PathCase{"NoBackslash", "L", "Song.mp3", ""},
                      PathCase{"SlashInName", "L", "\\a/b.mp3", ""},
                      PathCase{"DirectoryTooLong", std::string(100, 'd'), "\\Song.mp3", ""}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

}  // namespace
