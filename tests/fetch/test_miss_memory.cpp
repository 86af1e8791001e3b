// The miss memory: 24 hours, its file's place, its atomic replacement, and files it did not
// write itself.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "tools/fetch/miss_memory.h"

namespace fs = std::filesystem;
using fetch::kMissMemorySeconds;
using fetch::MissMemory;

namespace {

constexpr std::int64_t kNow = 1'800'000'000;

class MissMemoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "strofix-misses-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        path_ = (dir_ / "cache" / "strofix" / "lrclib-misses").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Text() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void WriteFile(const std::string& text) const {
        fs::create_directories(fs::path(path_).parent_path());
        std::ofstream(path_, std::ios::binary) << text;
    }

    fs::path dir_;
    std::string path_;
};

TEST_F(MissMemoryTest, RemembersForTwentyFourHours) {
    MissMemory memory(path_);
    std::string error;
    EXPECT_FALSE(memory.RememberedAt("a", kNow).has_value());
    ASSERT_TRUE(memory.Remember("a", kNow, &error)) << error;
    struct Case {
        std::int64_t at;
        bool remembered;
    } const cases[] = {
        {kNow, true},
        {kNow + kMissMemorySeconds - 1, true},
        {kNow + kMissMemorySeconds, false},  // a day later it is asked for again
        {kNow - 1, false},                   // the clock went back: no entry from the future
    };
    for (const Case& c : cases) {
        EXPECT_EQ(memory.RememberedAt("a", c.at).has_value(), c.remembered) << c.at - kNow;
    }
    EXPECT_EQ(memory.RememberedAt("a", kNow), std::optional<std::int64_t>(kNow));
    EXPECT_FALSE(memory.RememberedAt("b", kNow).has_value());
    // Another program reading the same file sees the same.
    EXPECT_TRUE(MissMemory(path_).RememberedAt("a", kNow + 60).has_value());
}

TEST_F(MissMemoryTest, KeysWithAnyBytesRoundTrip) {
    MissMemory memory(path_);
    const std::string keys[] = {"tab\there",
                                "line\nbreak\r",
                                "back\\slash\\t",
                                "\x1f\x1f\x1f-1",
                                std::string("nul\0byte", 8),
                                "日本 & ñ"};
    std::int64_t t = kNow;
    for (const std::string& k : keys) ASSERT_TRUE(memory.Remember(k, ++t, nullptr));
    for (const std::string& k : keys) EXPECT_TRUE(memory.RememberedAt(k, t).has_value()) << k;
    EXPECT_FALSE(memory.RememberedAt("back\\slash\t", t).has_value());
    // One entry a line, whatever the keys hold.
    const std::string text = Text();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + std::size(keys));
}

TEST_F(MissMemoryTest, FileIsReplacedWholeAndPrivate) {
    MissMemory memory(path_);
    ASSERT_TRUE(memory.Remember("a", kNow, nullptr));
    ASSERT_TRUE(memory.Remember("b", kNow + 1, nullptr));
    ASSERT_TRUE(memory.Remember("a", kNow + 2, nullptr));  // again: one entry, the newer time
    EXPECT_EQ(memory.RememberedAt("a", kNow + 3), std::optional<std::int64_t>(kNow + 2));
    int files = 0;
    for (const auto& e : fs::directory_iterator(fs::path(path_).parent_path())) {
        ++files;
        EXPECT_EQ(e.path().filename(), "lrclib-misses");  // no temporary file left behind
    }
    EXPECT_EQ(files, 1);
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(fs::path(path_).parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    const std::string text = Text();
    EXPECT_EQ(text.substr(text.find('\n') + 1),
              std::to_string(kNow + 1) + "\tb\n" + std::to_string(kNow + 2) + "\ta\n");
}

TEST_F(MissMemoryTest, OldEntriesAndTheOverflowAreDropped) {
    // A full file of fresh entries, one day-old entry among them at the start.
    std::string text = std::to_string(kNow - kMissMemorySeconds) + "\told\n";
    for (std::size_t i = 0; i < fetch::kMissMemoryMaxEntries + 5; ++i) {
        text += std::to_string(kNow - 3000 + static_cast<std::int64_t>(i)) + "\tk" +
                std::to_string(i) + "\n";
    }
    WriteFile(text);
    MissMemory memory(path_);
    EXPECT_TRUE(memory.RememberedAt("k0", kNow).has_value());
    ASSERT_TRUE(memory.Remember("new", kNow + 1000, nullptr));
    EXPECT_TRUE(memory.RememberedAt("new", kNow + 1000).has_value());
    EXPECT_FALSE(memory.RememberedAt("k5", kNow + 1000).has_value());  // the oldest went first
    EXPECT_TRUE(memory.RememberedAt("k6", kNow + 1000).has_value());
    text = Text();
    EXPECT_EQ(text.find("\told\n"), std::string::npos);
    EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')),
              1 + fetch::kMissMemoryMaxEntries);
}

TEST_F(MissMemoryTest, ForgetRemovesOnlyThatTrack) {
    MissMemory memory(path_);
    ASSERT_TRUE(memory.Remember("a", kNow, nullptr));
    ASSERT_TRUE(memory.Remember("b", kNow, nullptr));
    ASSERT_TRUE(memory.Forget("a", kNow, nullptr));
    EXPECT_FALSE(memory.RememberedAt("a", kNow).has_value());
    EXPECT_TRUE(memory.RememberedAt("b", kNow).has_value());
    EXPECT_TRUE(MissMemory((dir_ / "none").string()).Forget("a", kNow, nullptr));
    EXPECT_FALSE(fs::exists(dir_ / "none"));  // nothing to forget writes nothing
}

TEST_F(MissMemoryTest, DamagedOrForeignFilesAreSurvived) {
    const std::string now = std::to_string(kNow);
    WriteFile("garbage without tab\n\t\nx" + now + "\tbad-time\n" + now + "\tbad\\escape\n" + now +
              "\tgood\n99999999999999999999\toverflow\n" + now);
    MissMemory memory(path_);
    EXPECT_TRUE(memory.RememberedAt("good", kNow).has_value());
    EXPECT_FALSE(memory.RememberedAt("bad-time", kNow).has_value());
    EXPECT_FALSE(memory.RememberedAt("overflow", kNow).has_value());
    // A file over 1 MiB is not read, and the next miss replaces it.
    WriteFile(now + "\thuge\n" + std::string(fetch::kMissMemoryMaxBytes, '#'));
    EXPECT_FALSE(memory.RememberedAt("huge", kNow).has_value());
    ASSERT_TRUE(memory.Remember("fresh", kNow, nullptr));
    EXPECT_LT(fs::file_size(path_), 1000u);
    // A directory where the file should be: nothing remembered, and the write says why.
    fs::remove(path_);
    fs::create_directory(path_);
    std::string error;
    EXPECT_FALSE(memory.RememberedAt("fresh", kNow).has_value());
    EXPECT_FALSE(memory.Remember("x", kNow, &error));
    EXPECT_NE(error.find(path_), std::string::npos) << error;
}

TEST(MissMemoryPath, FollowsXdgCacheHome) {
    const char* savedXdg = std::getenv("XDG_CACHE_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string xdg = savedXdg ? savedXdg : "";
    const std::string home = savedHome ? savedHome : "";
    struct Case {
        const char* xdg;  // nullptr: unset
        const char* home;
        const char* path;
    } const cases[] = {
        {"/x/cache", "/h", "/x/cache/strofix/lrclib-misses"},
        {nullptr, "/h", "/h/.cache/strofix/lrclib-misses"},
        {"", "/h", "/h/.cache/strofix/lrclib-misses"},
        {"relative/cache", "/h", "/h/.cache/strofix/lrclib-misses"},  // not absolute: ignored
    };
    for (const Case& c : cases) {
        if (c.xdg) {
            setenv("XDG_CACHE_HOME", c.xdg, 1);
        } else {
            unsetenv("XDG_CACHE_HOME");
        }
        setenv("HOME", c.home, 1);
        EXPECT_EQ(MissMemory::DefaultPath(), c.path) << (c.xdg ? c.xdg : "(unset)");
    }
    if (savedXdg) {
        setenv("XDG_CACHE_HOME", xdg.c_str(), 1);
    } else {
        unsetenv("XDG_CACHE_HOME");
    }
    setenv("HOME", home.c_str(), 1);
}

}  // namespace
