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

bool Launch(const std::vector<std::string>& args, HANDLE output, PROCESS_INFORMATION* info) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (output != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output;
        startup.hStdError = output;
    }
    std::string line = CommandLine(args);
    return CreateProcessA(nullptr, line.data(), nullptr, nullptr, output != nullptr ? TRUE : FALSE,
                          0, nullptr, nullptr, &startup, info) != FALSE;
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
    PROCESS_INFORMATION info{};
    const bool launched = Launch(args, writeEnd, &info);
    CloseHandle(writeEnd);
    if (!launched) {
        CloseHandle(readEnd);
        result.output = "could not start " + CommandLine(args);
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

Process StartTool(const std::vector<std::string>& args) {
    Process process;
    PROCESS_INFORMATION info{};
    if (Launch(args, nullptr, &info)) {
        CloseHandle(info.hThread);
        process.process_ = info.hProcess;
    }
    return process;
}

Process::Process(Process&& other) noexcept : process_(other.process_) {
    other.process_ = nullptr;
}

Process::~Process() {
    if (process_ == nullptr) return;
    if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) TerminateProcess(process_, 1);
    CloseHandle(process_);
}

int Process::Wait() {
    if (process_ == nullptr) return -1;
    if (WaitForSingleObject(process_, 60000) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<int>(code);
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
