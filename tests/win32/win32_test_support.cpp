#include "tests/win32/win32_test_support.h"

#include "platform/win32/win32_api.h"

#include <atomic>
#include <system_error>

namespace strofix_test {
namespace {

std::atomic<int> g_counter{0};

// The tool's path as CMake knows it; under Wine a POSIX path is reached through Z:.
std::string ToolPath() {
    std::string path = STROFIX_PLAYER_TOOL;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::string CommandLine(const std::vector<std::string>& args) {
    std::string line = "\"" + ToolPath() + "\"";
    for (const std::string& arg : args) line += " \"" + arg + "\"";
    return line;
}

}  // namespace

std::string UniqueName(const std::string& tag) {
    return "StrofixWin32Test-" + std::to_string(GetCurrentProcessId()) + "-" + tag + "-" +
           std::to_string(++g_counter);
}

std::filesystem::path TempDir(const std::string& tag) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / UniqueName(tag);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    std::filesystem::create_directories(dir);
    return dir;
}

ToolResult RunTool(const std::vector<std::string>& args) {
    ToolResult result;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    std::string line = CommandLine(args);
    PROCESS_INFORMATION info{};
    const bool launched = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                         nullptr, &startup, &info) != FALSE;
    CloseHandle(writeEnd);
    if (!launched) {
        CloseHandle(readEnd);
        result.output = "could not start " + line;
        return result;
    }
    char chunk[512];
    DWORD got = 0;
    while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        result.output.append(chunk, got);
    }
    CloseHandle(readEnd);
    if (WaitForSingleObject(info.hProcess, 60000) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(info.hProcess, &code);
        result.exitCode = static_cast<int>(code);
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return result;
}

bool WaitFor(const std::function<bool()>& done, unsigned limitMs) {
    const ULONGLONG end = GetTickCount64() + limitMs;
    for (;;) {
        if (done()) return true;
        if (GetTickCount64() >= end) return false;
        Sleep(20);
    }
}

}  // namespace strofix_test
