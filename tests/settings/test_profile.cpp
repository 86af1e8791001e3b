// The settings file: reads and writes on real files, compared byte for byte.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/platform.h"
#include "ui/lyrics_dir.h"

namespace fs = std::filesystem;

namespace {

const char kSec[] = "Strofix 1.0";
const char kKey[] = "LyricsPath";

class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "strofix-settings-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        file_ = (dir_ / "Strofix.ini").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    static void Put(const fs::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    }
    static std::string Get(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string Read(const char* def = "DEF", std::size_t size = 100) {
        char buf[300];
        const std::size_t n = platform::GetProfileString(kSec, kKey, def, buf, size, file_.c_str());
        EXPECT_EQ(n, std::string(buf).size());
        return buf;
    }
    fs::path dir_;
    std::string file_;
};

struct WriteCase {
    const char* name;
    std::optional<std::string> before;  // nullopt: no file
    const char* value;
    std::string after;
};

TEST_F(Settings, WriteChangesOnlyTheKeyByteForByte) {
    const WriteCase cases[] = {
        {"missing file", std::nullopt, "/x", "[Strofix 1.0]\nLyricsPath=/x\n"},
        {"other section", "; top\n[A]\nk=v\n", "/x",
         "; top\n[A]\nk=v\n[Strofix 1.0]\nLyricsPath=/x\n"},
        {"no final newline", "[A]\nk=v", "/x", "[A]\nk=v\n[Strofix 1.0]\nLyricsPath=/x\n"},
        {"replace among comments",
         "; c\n[A]\nk=v\n\n[Strofix 1.0]\n; note\nLyricsPath=/old\nOther=1\n\n[B]\nz=1\n", "/x",
         "; c\n[A]\nk=v\n\n[Strofix 1.0]\n; note\nLyricsPath=/x\nOther=1\n\n[B]\nz=1\n"},
        {"crlf replace", "[Strofix 1.0]\r\nLyricsPath=/old\r\nX=1\r\n", "/x",
         "[Strofix 1.0]\r\nLyricsPath=/x\r\nX=1\r\n"},
        {"crlf new key after last key", "[Strofix 1.0]\r\nX=1\r\n\r\n[B]\r\ny=2\r\n", "/x",
         "[Strofix 1.0]\r\nX=1\r\nLyricsPath=/x\r\n\r\n[B]\r\ny=2\r\n"},
        {"crlf new section", "[A]\r\nk=v\r\n", "/x",
         "[A]\r\nk=v\r\n[Strofix 1.0]\r\nLyricsPath=/x\r\n"},
        {"other case, spacing kept", "[strofix 1.0]\n  lyricspath =  /old  \n", "/x",
         "[strofix 1.0]\n  lyricspath =  /x\n"},
        {"duplicate section, key in second", "[Strofix 1.0]\nA=1\n[Strofix 1.0]\nLyricsPath=/o\n",
         "/x", "[Strofix 1.0]\nA=1\n[Strofix 1.0]\nLyricsPath=/x\n"},
        {"duplicate section, key nowhere", "[Strofix 1.0]\nA=1\n[B]\n[Strofix 1.0]\nC=2\n", "/x",
         "[Strofix 1.0]\nA=1\nLyricsPath=/x\n[B]\n[Strofix 1.0]\nC=2\n"},
        {"duplicate key: first replaced", "[Strofix 1.0]\nLyricsPath=/1\nLyricsPath=/2\n", "/x",
         "[Strofix 1.0]\nLyricsPath=/x\nLyricsPath=/2\n"},
        {"section without keys", "[Strofix 1.0]\n;LyricsPath=/c\n[B]\n", "/x",
         "[Strofix 1.0]\nLyricsPath=/x\n;LyricsPath=/c\n[B]\n"},
        {"header ends file", "[Strofix 1.0]", "/x", "[Strofix 1.0]\nLyricsPath=/x"},
        {"key ends file", "[Strofix 1.0]\nLyricsPath=/old", "/x", "[Strofix 1.0]\nLyricsPath=/x"},
        {"key before any section", "LyricsPath=/top\n[Strofix 1.0]\n", "/x",
         "LyricsPath=/top\n[Strofix 1.0]\nLyricsPath=/x\n"},
        {"blank ends quoted", std::nullopt, " /x ", "[Strofix 1.0]\nLyricsPath=\" /x \"\n"},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(file_);
        if (c.before) Put(file_, *c.before);
        ASSERT_TRUE(platform::WriteProfileString(kSec, kKey, c.value, file_.c_str()));
        EXPECT_EQ(Get(file_), c.after);
        EXPECT_EQ(Read(), c.value);  // what was written reads back unchanged
    }
}

struct ReadCase {
    const char* name;
    std::optional<std::string> content;
    std::string expected;
};

TEST_F(Settings, ReadFindsTheFirstKeyOrGivesTheDefault) {
    const ReadCase cases[] = {
        {"missing file", std::nullopt, "DEF"},
        {"missing section", "[Other]\nLyricsPath=/o\n", "DEF"},
        {"missing key", "[Strofix 1.0]\nX=1\n", "DEF"},
        {"commented out", "[Strofix 1.0]\n ;LyricsPath=/c\n", "DEF"},
        {"before any section", "LyricsPath=/top\n[Strofix 1.0]\n", "DEF"},
        {"empty value", "[Strofix 1.0]\nLyricsPath=\n", ""},
        {"value with =", "[Strofix 1.0]\nLyricsPath=a=b\n", "a=b"},
        {"other case", "[STROFIX 1.0]\nlyricspath=/x\n", "/x"},
        {"blanks trimmed", "  [ Strofix 1.0 ]  \n\t LyricsPath \t= \t/x y \t\n", "/x y"},
        {"double quotes", "[Strofix 1.0]\nLyricsPath=\"/x \"\n", "/x "},
        {"single quotes", "[Strofix 1.0]\nLyricsPath='/x'\n", "/x"},
        {"crlf", "[Strofix 1.0]\r\nLyricsPath=/x\r\n", "/x"},
        {"no final newline", "[Strofix 1.0]\nLyricsPath=/x", "/x"},
        {"first duplicate key", "[Strofix 1.0]\nLyricsPath=/1\nLyricsPath=/2\n", "/1"},
        {"first duplicate section", "[Strofix 1.0]\nLyricsPath=/1\n[Strofix 1.0]\nLyricsPath=/2\n",
         "/1"},
        {"key in second duplicate", "[Strofix 1.0]\nA=1\n[Strofix 1.0]\nLyricsPath=/2\n", "/2"},
        {"150 characters cut to 99", "[Strofix 1.0]\nLyricsPath=" + std::string(150, 'v') + "\n",
         std::string(99, 'v')},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(file_);
        if (c.content) Put(file_, *c.content);
        EXPECT_EQ(Read(), c.expected);
    }
}

TEST_F(Settings, ReadBoundsTheBufferAndTrimsTheDefault) {
    Put(file_, "[Strofix 1.0]\nLyricsPath=/abc\n");
    EXPECT_EQ(Read("DEF", 1), "");
    EXPECT_EQ(Read("DEF", 3), "/a");
    fs::remove(file_);
    EXPECT_EQ(Read("/d  \t"), "/d");
    char untouched = 'u';
    EXPECT_EQ(platform::GetProfileString(kSec, kKey, "D", &untouched, 0, file_.c_str()), 0U);
    EXPECT_EQ(untouched, 'u');
}

TEST_F(Settings, UnsafeNamesAndValuesAreRefusedAndTheFileKept) {
    const std::string before = "[Strofix 1.0]\nLyricsPath=/o\n";
    Put(file_, before);
    EXPECT_FALSE(platform::WriteProfileString(kSec, kKey, "/x\n[Evil]", file_.c_str()));
    EXPECT_FALSE(platform::WriteProfileString(kSec, kKey, "/x\rY=1", file_.c_str()));
    EXPECT_FALSE(platform::WriteProfileString(kSec, "A=B", "/x", file_.c_str()));
    EXPECT_FALSE(platform::WriteProfileString("S]x", kKey, "/x", file_.c_str()));
    EXPECT_FALSE(platform::WriteProfileString(kSec, "", "/x", file_.c_str()));
    EXPECT_EQ(Get(file_), before);
}

TEST_F(Settings, FailedWritesLeaveNoTraceAndTheOldFileWhole) {
    // The path is a directory: neither read nor replaced.
    fs::create_directory(file_);
    EXPECT_EQ(Read(), "DEF");
    EXPECT_FALSE(platform::WriteProfileString(kSec, kKey, "/x", file_.c_str()));
    EXPECT_TRUE(fs::is_directory(file_));
    fs::remove(file_);

    // A full disk, played by a file-size limit (which binds root too).
    const std::string before = "[Strofix 1.0]\nLyricsPath=/old\n";
    Put(file_, before);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written =
        platform::WriteProfileString(kSec, kKey, std::string(60, 'n').c_str(), file_.c_str());
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(Get(file_), before);
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) ++entries;
    EXPECT_EQ(entries, 1) << "a temporary file was left behind";

    // A pipe in place of the file must not hang either call.
    fs::remove(file_);
    ASSERT_EQ(mkfifo(file_.c_str(), 0600), 0);
    EXPECT_EQ(Read(), "DEF");
    EXPECT_FALSE(platform::WriteProfileString(kSec, kKey, "/x", file_.c_str()));
}

TEST_F(Settings, ReadOnlyDirectoryFailsTheWrite) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
    Put(file_, "[Strofix 1.0]\nLyricsPath=/old\n");
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(platform::WriteProfileString(kSec, kKey, "/x", file_.c_str()));
    EXPECT_EQ(Read(), "/old");
}

TEST_F(Settings, WritesKeepModeFollowLinksAndMakeTheDirectory) {
    Put(file_, "[Strofix 1.0]\nLyricsPath=/o\n");
    fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(platform::WriteProfileString(kSec, kKey, "/x", file_.c_str()));
    EXPECT_EQ(fs::status(file_).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    // A settings file kept elsewhere through a symbolic link: the link stays a link.
    const fs::path link = dir_ / "link.ini";
    fs::create_symlink("Strofix.ini", link);
    ASSERT_TRUE(platform::WriteProfileString(kSec, kKey, "/via-link", link.c_str()));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Get(file_), "[Strofix 1.0]\nLyricsPath=/via-link\n");
    const fs::path loop = dir_ / "loop.ini";
    fs::create_symlink("loop.ini", loop);
    EXPECT_FALSE(platform::WriteProfileString(kSec, kKey, "/x", loop.c_str()));

    const fs::path nested = dir_ / "a" / "b" / "Strofix.ini";
    ASSERT_TRUE(platform::WriteProfileString(kSec, kKey, "/n", nested.c_str()));
    EXPECT_EQ(Get(nested), "[Strofix 1.0]\nLyricsPath=/n\n");
    EXPECT_EQ(fs::status(dir_ / "a").permissions(), fs::perms::owner_all);
}

// The lyrics directory setting end to end, through the environment's config location.
TEST_F(Settings, LyricsDirectoryReadsDefaultThenWhatWasWritten) {
    const fs::path home = dir_ / "home";
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    char dir[100];
    ReadLyricsDirectory(dir, sizeof dir);
    EXPECT_EQ(std::string(dir), (home / "Lyrics").string());

    ASSERT_TRUE(WriteLyricsDirectory("/music/lyrics"));
    EXPECT_EQ(Get(home / ".config" / "Strofix.ini"), "[Strofix 1.0]\nLyricsPath=/music/lyrics\n");
    ReadLyricsDirectory(dir, sizeof dir);
    EXPECT_EQ(std::string(dir), "/music/lyrics");

    const fs::path xdg = dir_ / "xdg";
    setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
    ReadLyricsDirectory(dir, sizeof dir);
    EXPECT_EQ(std::string(dir), (home / "Lyrics").string());
    ASSERT_TRUE(WriteLyricsDirectory(""));
    EXPECT_EQ(Get(xdg / "Strofix.ini"), "[Strofix 1.0]\nLyricsPath=\n");
    ReadLyricsDirectory(dir, sizeof dir);
    EXPECT_EQ(std::string(dir), "");  // an empty value is not a missing one
}

}  // namespace
