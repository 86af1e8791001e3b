// The Windows build of strofix-lrc, run as a program: a UTF-8 LRC file becomes a lyrics
// file in the system's ANSI code page, characters it cannot hold replaced and counted.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/lrc/lrc_test_support.h"

namespace {

// Runs strofix-lrc with `args` (already quoted), its standard error to `errPath`.
DWORD RunLrc(const std::string& args, const std::string& errPath) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = err;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    std::string cmd = "\"" STROFIX_LRC_EXE "\" " + args;
    DWORD code = 0xFFFFFFFF;
    if (CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                       &pi)) {
        WaitForSingleObject(pi.hProcess, 60000);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(err);
    return code;
}

TEST(WindowsProgram, ConvertsUtf8ToTheAnsiCodePage) {
    if (GetACP() != 1252) GTEST_SKIP() << "the expected bytes are those of code page 1252";
    lrc_test::TempDir dir("ansi");
    const std::string in = dir / "Song.lrc", out = dir / "Song.txt", err = dir / "err.txt";
    // "Café – 你", then a line that fits only as ANSI bytes: 60 × "é" is 120 bytes in UTF-8.
    std::string many;
    for (int k = 0; k < 60; ++k) many += "\xC3\xA9";
    lrc_test::WriteFile(
        in, "[ti:x]\r\n[00:01.50]Caf\xC3\xA9 \xE2\x80\x93 \xE4\xBD\xA0\r\n[00:02]" + many + "\r\n");
    ASSERT_EQ(RunLrc("convert \"" + in + "\" -o \"" + out + "\"", err), 0u)
        << lrc_test::ReadFile(err);
    EXPECT_EQ(lrc_test::ReadFile(out),
              "[00:01]Caf\xE9 \x96 ?\n[00:02]" + std::string(60, '\xE9') + "\n");
    EXPECT_NE(lrc_test::ReadFile(err).find("1 character that CP1252 cannot hold"),
              std::string::npos)
        << lrc_test::ReadFile(err);
    // The loader reads the bytes as they are.
    const lrc_test::Table expected = {{1, "Caf\xE9 \x96 ?"}, {2, std::string(60, '\xE9')}};
    EXPECT_EQ(lrc_test::LoadThroughLoader(lrc_test::ReadFile(out)), expected);
}

// Fetching lyrics is in the Linux build only; the Windows build says so plainly.
TEST(WindowsProgram, FetchSaysItIsNotInThisBuild) {
    lrc_test::TempDir dir("fetch");
    const std::string err = dir / "err.txt";
    EXPECT_EQ(RunLrc("fetch --artist A --title T", err), 2u);
    EXPECT_NE(lrc_test::ReadFile(err).find("fetching lyrics is not in this build"),
              std::string::npos)
        << lrc_test::ReadFile(err);
}

}  // namespace
