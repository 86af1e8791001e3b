// The Windows console build of strofix-follow, run as a process of its own (under Wine
// here) while this test holds the block and plays the player's part in it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "strofix_version.h"
#include "tests/core/support.h"

using strofix_test::TempDir;
using strofix_test::TestBlock;

namespace {

std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

// strofix-follow.exe with its standard output on a pipe this test reads.
class FollowProcess {
public:
    explicit FollowProcess(const std::vector<std::string>& args) {
        std::string line = "\"" + WindowsPath(STROFIX_FOLLOW_EXE) + "\"";
        for (const std::string& a : args) line += " \"" + a + "\"";
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE writeEnd = nullptr;
        if (!CreatePipe(&read_, &writeEnd, &inherit, 0)) return;
        SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = writeEnd;
        startup.hStdError = writeEnd;
        started_ = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &info_) != FALSE;
        CloseHandle(writeEnd);
    }
    ~FollowProcess() {
        CloseRead();
        if (started_) {
            if (WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0) {
                TerminateProcess(info_.hProcess, 99);
            }
            CloseHandle(info_.hThread);
            CloseHandle(info_.hProcess);
        }
    }
    bool Started() const { return started_; }
    // The next line, line end included; "" when the output ended first.
    std::string ReadLine() {
        std::string line;
        char c = 0;
        DWORD got = 0;
        while (ReadFile(read_, &c, 1, &got, nullptr) && got == 1) {
            line += c;
            if (c == '\n') break;
        }
        return line;
    }
    std::string ReadAll() {
        std::string all;
        for (std::string l = ReadLine(); !l.empty(); l = ReadLine()) all += l;
        return all;
    }
    void CloseRead() {
        if (read_ != nullptr) CloseHandle(read_);
        read_ = nullptr;
    }
    int Wait(DWORD limitMs = 30000) {
        if (WaitForSingleObject(info_.hProcess, limitMs) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        return static_cast<int>(code);
    }

private:
    HANDLE read_ = nullptr;
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};

class FollowExe : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(block.Ok());
        lyrics.Write("Song.txt", "[00:02]Two\n[00:05]Five\n[00:09]Nine\n");
        block.SetPath("C:\\Music\\Song.mp3");
        block.SetPosition(5000);
    }
    std::vector<std::string> Args(std::vector<std::string> extra) {
        extra.insert(extra.end(), {"--block", block.Name(), "--dir", lyrics.Str()});
        return extra;
    }
    TestBlock block;  // held by this process, so the block lives while the follower runs
    TempDir lyrics;
};

TEST_F(FollowExe, OnceVersionAndJsonOnTheConsole) {
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const Case cases[] = {
        {{"--version"}, std::string("strofix-follow ") + STROFIX_VERSION + "\r\n"},
        {Args({"--once"}), "Five\r\n"},  // a text-mode console stream: CRLF
        {Args({"--once", "--format", "json"}),
         "{\"text\": \"Five\", \"tooltip\": \"Song.mp3\", \"class\": \"lyric\"}\r\n"},
    };
    for (const Case& c : cases) {
        FollowProcess p(c.args);
        ASSERT_TRUE(p.Started());
        EXPECT_EQ(p.ReadAll(), c.out) << c.args[0];
        EXPECT_EQ(p.Wait(), 0) << c.args[0];
    }
}

TEST_F(FollowExe, FollowsTheBlockUntilItsOutputCloses) {
    FollowProcess p(Args({}));
    ASSERT_TRUE(p.Started());
    EXPECT_EQ(p.ReadLine(), "Five\r\n");  // after the loading tick, the second's line
    block.SetPosition(9000);
    EXPECT_EQ(p.ReadLine(), "Nine\r\n");
    p.CloseRead();  // the reader goes away; the next line cannot be written
    block.SetPosition(2000);
    EXPECT_EQ(p.Wait(), 0);
}

}  // namespace
