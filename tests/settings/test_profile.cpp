// The settings file: reads and writes on real files, compared byte for byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

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

TEST(SettingsPath, WithoutHomeThePasswordDatabaseGivesTheHome) {
    const char* oldHome = std::getenv("HOME");
    const std::optional<std::string> saved =
        oldHome ? std::optional<std::string>(oldHome) : std::nullopt;
    unsetenv("XDG_CONFIG_HOME");
    const passwd* pw = getpwuid(geteuid());
    ASSERT_NE(pw, nullptr);
    const std::string home = pw->pw_dir;
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        SCOPED_TRACE(value == nullptr ? "unset" : "empty");
        if (value == nullptr) {
            unsetenv("HOME");
        } else {
            setenv("HOME", value, 1);
        }
        EXPECT_EQ(platform::SettingsFilePath(), home + "/.config/Strofix.ini");
        EXPECT_EQ(platform::DefaultLyricsDirectory(), home + "/Lyrics");
    }
    if (saved) setenv("HOME", saved->c_str(), 1);
}

TEST_F(Settings, StaleTemporaryFilesOfOurOwnAreRemovedAtTheNextSave) {
    const auto old = [&](const std::string& name) {
        Put(dir_ / name, "half a save");
        const utimbuf past{time(nullptr) - 3600, time(nullptr) - 3600};
        EXPECT_EQ(utime((dir_ / name).c_str(), &past), 0);
    };
    old(".Strofix.ini.AbC123");  // a save killed an hour ago
    old(".Strofix.ini.zz9ZZ9");
    Put(dir_ / ".Strofix.ini.Fresh1", "a save going on now");
    old(".Strofix.ini.Lockd1");  // old, but a save holds it
    const int held = open((dir_ / ".Strofix.ini.Lockd1").c_str(), O_RDONLY);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    old(".Strofix.ini.ab");    // not a name a save makes
    old(".Other.ini.AbC123");  // another file's
    old("Strofix.ini.AbC123");
    std::vector<std::string> kept = {".Strofix.ini.Fresh1", ".Strofix.ini.Lockd1",
                                     ".Strofix.ini.ab",     ".Other.ini.AbC123",
                                     "Strofix.ini.AbC123",  "Strofix.ini"};
    if (geteuid() == 0) {
        old(".Strofix.ini.Nobod1");  // another user's
        const passwd* nobody = getpwnam("nobody");
        ASSERT_NE(nobody, nullptr);
        ASSERT_EQ(chown((dir_ / ".Strofix.ini.Nobod1").c_str(), nobody->pw_uid, 0), 0);
        kept.push_back(".Strofix.ini.Nobod1");
    }
    ASSERT_TRUE(platform::WriteProfileString(kSec, kKey, "/x", file_.c_str()));
    close(held);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir_)) left.push_back(e.path().filename());
    std::sort(left.begin(), left.end());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(left, kept);
    EXPECT_EQ(Read(), "/x");
}

// The permission cases, written by an unprivileged user: `nobody` when the tests run as
// root (each write runs the settings writer through setpriv), else the user running them.
// Cases that need a file of another user are made by root, so they run only as root.
class AsUser : public Settings {
protected:
    void SetUp() override {
        Settings::SetUp();
        std::string tmpl = (fs::temp_directory_path() / "strofix-writer-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        toolDir_ = tmpl;
        tool_ = toolDir_ / "settings_writer";
        fs::copy_file(STROFIX_SETTINGS_WRITER, tool_);
        fs::permissions(toolDir_, fs::perms::owner_all | fs::perms::group_read |
                                      fs::perms::group_exec | fs::perms::others_read |
                                      fs::perms::others_exec);
        if (geteuid() == 0) {
            const passwd* pw = getpwnam("nobody");
            ASSERT_NE(pw, nullptr) << "no user 'nobody' to write as";
            uid_ = pw->pw_uid;
            gid_ = pw->pw_gid;
            switched_ = true;
            ASSERT_EQ(chown(dir_.c_str(), uid_, gid_), 0);  // the user's own config directory
        } else {
            uid_ = geteuid();
            gid_ = getegid();
        }
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(toolDir_, ec);
        Settings::TearDown();
    }
    // Writes `value` into `file` as the user; true when the write succeeded.
    bool WriteAs(const fs::path& file, const std::string& value) {
        const std::string reuid = "--reuid=" + std::to_string(uid_);
        const std::string regid = "--regid=" + std::to_string(gid_);
        std::vector<const char*> argv;
        if (switched_) argv = {"setpriv", reuid.c_str(), regid.c_str(), "--clear-groups", "--"};
        for (const char* a : {tool_.c_str(), "write", file.c_str(), value.c_str()}) {
            argv.push_back(a);
        }
        argv.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            execvp(argv[0], const_cast<char* const*>(argv.data()));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) <= 1) << "the writer did not run";
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    // A file of the user's own (root makes it, then hands it over).
    void PutOwn(const fs::path& p, const std::string& bytes, mode_t mode) {
        Put(p, bytes);
        ASSERT_EQ(chmod(p.c_str(), mode), 0);
        if (switched_) {
            ASSERT_EQ(chown(p.c_str(), uid_, gid_), 0);
        }
    }
    void LinkOwn(const fs::path& target, const fs::path& link) {
        fs::create_symlink(target, link);
        if (switched_) {
            ASSERT_EQ(lchown(link.c_str(), uid_, gid_), 0);
        }
    }
    static struct stat Stat(const fs::path& p) {
        struct stat st {};
        EXPECT_EQ(lstat(p.c_str(), &st), 0) << p;
        return st;
    }
    static int Entries(const fs::path& dir) {
        int n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
        return n;
    }

    fs::path toolDir_;
    fs::path tool_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    bool switched_ = false;
};

#define STROFIX_REQUIRE_ROOT()                                                      \
    do {                                                                            \
        if (!switched_) GTEST_SKIP() << "needs root to make files of another user"; \
    } while (false)

const std::string kOld = "[Strofix 1.0]\nLyricsPath=/old\n";

TEST_F(AsUser, ReadOnlyFileIsNotWritten) {
    PutOwn(file_, kOld, 0444);
    EXPECT_FALSE(WriteAs(file_, "/x"));
    EXPECT_FALSE(WriteAs(file_, "/old"));  // the value it holds already
    EXPECT_EQ(Get(file_), kOld);
    EXPECT_EQ(Stat(file_).st_mode & 07777, 0444U);
    EXPECT_EQ(Stat(file_).st_uid, uid_);
    // A file no one may write is read-only for root too, as on Windows.
    EXPECT_FALSE(platform::WriteProfileString(kSec, kKey, "/x", file_.c_str()));
    EXPECT_EQ(Get(file_), kOld);
    EXPECT_EQ(Entries(dir_), 1);
}

TEST_F(AsUser, ReadOnlyDirectoryRewritesTheFileInPlace) {
    PutOwn(file_, kOld, 0640);
    const ino_t inode = Stat(file_).st_ino;
    ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
    for (const std::string value : {"/a/much/longer/lyrics/directory", "/s"}) {
        SCOPED_TRACE(value);
        ASSERT_TRUE(WriteAs(file_, value));
        EXPECT_EQ(Get(file_), "[Strofix 1.0]\nLyricsPath=" + value + "\n");
        EXPECT_EQ(Stat(file_).st_ino, inode);
        EXPECT_EQ(Stat(file_).st_mode & 07777, 0640U);
        EXPECT_EQ(Stat(file_).st_uid, uid_);
    }
    EXPECT_EQ(Entries(dir_), 1);
    // Neither the directory nor the file may be written: nothing is.
    ASSERT_EQ(chmod(file_.c_str(), 0444), 0);
    EXPECT_FALSE(WriteAs(file_, "/y"));
    EXPECT_EQ(Get(file_), "[Strofix 1.0]\nLyricsPath=/s\n");
    // No file yet, and none can be made.
    ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
    fs::remove(file_);
    ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
    EXPECT_FALSE(WriteAs(file_, "/y"));
    EXPECT_EQ(Entries(dir_), 0);
}

TEST_F(AsUser, FileWhoseOwnerCannotBeKeptIsNotReplaced) {
    STROFIX_REQUIRE_ROOT();
    // Another user's file that the user may write: replacing it would make it the user's.
    Put(file_, kOld);
    ASSERT_EQ(chmod(file_.c_str(), 0666), 0);
    EXPECT_FALSE(WriteAs(file_, "/x"));
    EXPECT_EQ(Get(file_), kOld);
    EXPECT_EQ(Stat(file_).st_uid, 0U);
    // The user's file in a group the user is not in.
    ASSERT_EQ(chown(file_.c_str(), uid_, 0), 0);
    ASSERT_EQ(chmod(file_.c_str(), 0660), 0);
    EXPECT_FALSE(WriteAs(file_, "/x"));
    EXPECT_EQ(Get(file_), kOld);
    EXPECT_EQ(Stat(file_).st_gid, 0U);
    EXPECT_EQ(Entries(dir_), 1) << "a temporary file was left behind";
}

TEST_F(AsUser, RootKeepsTheOwnerOfTheUsersFile) {
    STROFIX_REQUIRE_ROOT();
    PutOwn(file_, kOld, 0640);
    ASSERT_TRUE(platform::WriteProfileString(kSec, kKey, "/by-root", file_.c_str()));
    EXPECT_EQ(Get(file_), "[Strofix 1.0]\nLyricsPath=/by-root\n");
    EXPECT_EQ(Stat(file_).st_uid, uid_);
    EXPECT_EQ(Stat(file_).st_gid, gid_);
    EXPECT_EQ(Stat(file_).st_mode & 07777, 0640U);
    EXPECT_TRUE(WriteAs(file_, "/by-user"));  // and the user can still save

    // Made by root in the user's directory: the file and the folders are the user's.
    const fs::path fresh = dir_ / "sub" / "Strofix.ini";
    ASSERT_TRUE(platform::WriteProfileString(kSec, kKey, "/new", fresh.c_str()));
    EXPECT_EQ(Stat(fresh).st_uid, uid_);
    EXPECT_EQ(Stat(dir_ / "sub").st_uid, uid_);
    EXPECT_TRUE(WriteAs(fresh, "/by-user"));
}

TEST_F(AsUser, LinksAreFollowedOnlyWhenLinkAndTargetAreTheUsers) {
    const fs::path target = dir_ / "target.ini";
    PutOwn(target, kOld, 0600);
    const fs::path own = dir_ / "own.ini";
    LinkOwn(target, own);
    const fs::path chain = dir_ / "chain.ini";
    LinkOwn("own.ini", chain);
    ASSERT_TRUE(WriteAs(own, "/1"));
    ASSERT_TRUE(WriteAs(chain, "/2"));
    EXPECT_EQ(Get(target), "[Strofix 1.0]\nLyricsPath=/2\n");
    EXPECT_TRUE(fs::is_symlink(own));
    STROFIX_REQUIRE_ROOT();

    // A link another user planted, to the user's own file.
    const fs::path planted = dir_ / "planted.ini";
    fs::create_symlink(target, planted);  // root's
    EXPECT_FALSE(WriteAs(planted, "/3"));
    // The user's link to a file of another user that the user may write.
    const fs::path foreign = dir_ / "foreign.ini";
    Put(foreign, kOld);
    ASSERT_EQ(chmod(foreign.c_str(), 0666), 0);
    const fs::path toForeign = dir_ / "to-foreign.ini";
    LinkOwn(foreign, toForeign);
    EXPECT_FALSE(WriteAs(toForeign, "/4"));
    EXPECT_EQ(Get(foreign), kOld);
    EXPECT_EQ(Get(target), "[Strofix 1.0]\nLyricsPath=/2\n");

    // Root through a link the user planted, to a file of root's (the password file, say).
    const fs::path rootFile = toolDir_ / "passwd";
    Put(rootFile, "root:x:0:0:root:/root:/bin/sh\n");
    const fs::path bait = dir_ / "bait.ini";
    LinkOwn(rootFile, bait);
    EXPECT_FALSE(platform::WriteProfileString(kSec, kKey, "/5", bait.c_str()));
    EXPECT_EQ(Get(rootFile), "root:x:0:0:root:/root:/bin/sh\n");
}

}  // namespace
