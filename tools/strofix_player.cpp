// strofix-player: stands in for the audio player. It writes the song path and the play
// position into the player's shared block the way a player does, so Strofix can be run and
// tried without one.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "player/player_block_writer.h"
#include "player/player_info.h"
#include "strofix_version.h"
#include "tools/tool_args.h"

namespace {

constexpr std::size_t kMaxPathChars = PlayerBlockWriter::kMaxPathChars;  // 260
constexpr auto kUpdatePeriod = std::chrono::milliseconds(50);

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int) {
    g_interrupted = 1;
}

const char kUsage[] =
    "usage: strofix-player [--block NAME] COMMAND\n"
    "commands:\n"
    "  set [--path PATH] [--position MS]       write the song path and/or the position\n"
    "  play [--from MS] [--for SECONDS] PATH...\n"
    "                                          play each path in turn in real time, then\n"
    "                                          clear the path (Ctrl+C stops)\n"
    "  stop                                    clear the song path\n"
    "  show                                    print the size word, position and path\n"
    "--block NAME uses another shared block than the player's.\n"
    "strofix-player --version | --help prints the version or this help.\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "strofix-player: %s\n%s", why.c_str(), kUsage);
    return tools::kExitUsage;
}

bool CheckPath(const std::string& path) {
    if (path.size() > kMaxPathChars) {
        std::fprintf(stderr,
                     "strofix-player: the path is %zu characters long; the block holds at "
                     "most %zu\n",
                     path.size(), kMaxPathChars);
        return false;
    }
    return true;
}

// Strofix takes the song's file name from after the path's last backslash, as on Windows.
// A path without one (a Linux path like /home/u/Song.mp3) is still written, since the
// block takes any text, but Strofix will find no lyrics file for it.
void WarnWithoutBackslash(const std::string& path) {
    if (path.empty() || path.find('\\') != std::string::npos) return;
    std::fprintf(stderr,
                 "strofix-player: warning: '%s' holds no backslash; Strofix takes the file name "
                 "from after the last backslash, so it will find no lyrics file for this path "
                 "and show \"Unable to Locate Lyrics File\" (write the path as a player on "
                 "Windows would, like 'C:\\Music\\Song.mp3')\n",
                 path.c_str());
}

int Set(const std::string& blockName, tools::Args& args) {
    std::optional<std::string> path;
    std::optional<std::uint32_t> position;
    while (!args.Done()) {
        const std::string arg = args.Take();
        std::string value;
        if (arg == "--path" && args.TakeValue(arg, &value, &path)) {
            path = value;
        } else if (arg == "--position" && args.TakeValue(arg, &value, &position)) {
            position = tools::ParseUint32(value);
            if (!position) return Usage("--position wants milliseconds, not '" + value + "'");
        } else {
            return Usage(args.Error().empty() ? "set: unexpected '" + arg + "'" : args.Error());
        }
    }
    if (!path && !position) return Usage("set: give --path, --position or both");
    if (path && !CheckPath(*path)) return tools::kExitUsage;
    if (path) WarnWithoutBackslash(*path);
    PlayerBlockWriter block;
    if (!block.Open(blockName, "strofix-player")) return tools::kExitFailure;
    if (position) block.SetPosition(*position);
    if (path) block.SetPath(*path);
    return tools::kExitOk;
}

// Sleeps until `deadline` or an interruption, in short steps so a signal is seen at once.
void SleepUntil(std::chrono::steady_clock::time_point deadline) {
    while (!g_interrupted) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(deadline - now, kUpdatePeriod));
    }
}

std::uint32_t AddMs(std::uint32_t from, std::uint64_t elapsedMs) {
    const std::uint64_t sum = from + elapsedMs;
    return sum > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(sum);
}

void PrintClock(std::uint32_t ms) {
    const std::uint32_t s = ms / 1000;
    std::printf("  %02u:%02u\n", s / 60, s % 60);
    std::fflush(stdout);
}

// Plays one path: the position follows the clock from `from` until `forMs` have passed (no
// limit when absent) or an interruption.
void PlayOne(PlayerBlockWriter& block, const std::string& path, std::uint32_t from,
             std::optional<std::uint64_t> forMs) {
    using Clock = std::chrono::steady_clock;
    std::printf("playing %s from %u ms\n", path.c_str(), from);
    std::fflush(stdout);
    block.SetPosition(from);
    block.SetPath(path);
    const Clock::time_point start = Clock::now();
    std::uint32_t lastSecond = from / 1000;
    PrintClock(from);
    while (!g_interrupted) {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        std::uint64_t elapsedMs = static_cast<std::uint64_t>(elapsed);
        const bool ended = forMs && elapsedMs >= *forMs;
        if (ended) elapsedMs = *forMs;
        const std::uint32_t position = AddMs(from, elapsedMs);
        block.SetPosition(position);
        if (position / 1000 != lastSecond) {
            lastSecond = position / 1000;
            PrintClock(position);
        }
        if (ended) return;
        SleepUntil(Clock::now() + kUpdatePeriod);
    }
}

int Play(const std::string& blockName, tools::Args& args) {
    std::optional<std::uint32_t> from;
    std::optional<std::uint32_t> forSeconds;
    std::vector<std::string> paths;
    bool optionsEnded = false;
    while (!args.Done()) {
        const std::string arg = args.Take();
        std::string value;
        if (optionsEnded || arg.rfind("--", 0) != 0) {
            paths.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--from" && args.TakeValue(arg, &value, &from)) {
            from = tools::ParseUint32(value);
            if (!from) return Usage("--from wants milliseconds, not '" + value + "'");
        } else if (arg == "--for" && args.TakeValue(arg, &value, &forSeconds)) {
            forSeconds = tools::ParseUint32(value);
            if (!forSeconds) return Usage("--for wants whole seconds, not '" + value + "'");
        } else {
            return Usage(args.Error().empty() ? "play: unknown option '" + arg + "'"
                                              : args.Error());
        }
    }
    if (paths.empty()) return Usage("play: give at least one song path");
    for (const std::string& p : paths) {
        if (!CheckPath(p)) return tools::kExitUsage;
    }
    for (const std::string& p : paths) WarnWithoutBackslash(p);
    PlayerBlockWriter block;
    if (!block.Open(blockName, "strofix-player")) return tools::kExitFailure;
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    std::optional<std::uint64_t> forMs;
    if (forSeconds) forMs = static_cast<std::uint64_t>(*forSeconds) * 1000;
    for (const std::string& p : paths) {
        if (g_interrupted) break;
        PlayOne(block, p, from.value_or(0), forMs);
    }
    block.SetPath("");
    std::printf(g_interrupted ? "interrupted; path cleared\n" : "done; path cleared\n");
    return tools::kExitOk;
}

int Stop(const std::string& blockName, tools::Args& args) {
    if (!args.Done()) return Usage("stop: unexpected '" + args.Take() + "'");
    PlayerBlockWriter block;
    if (!block.Open(blockName, "strofix-player")) return tools::kExitFailure;
    block.SetPath("");
    return tools::kExitOk;
}

int Show(const std::string& blockName, tools::Args& args) {
    if (!args.Done()) return Usage("show: unexpected '" + args.Take() + "'");
    PlayerBlockWriter block;
    if (!block.Open(blockName, "strofix-player")) return tools::kExitFailure;
    std::printf("size: %u\nposition: %u\npath: %s\n", block.SizeWord(), block.Position(),
                block.Path().c_str());
    return tools::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    tools::Args args(argc, argv);
    if (!args.Done() && args.Peek() == "--version") {
        std::printf("strofix-player %s\n", STROFIX_VERSION);
        return tools::kExitOk;
    }
    std::string blockName = kPlayerBlockName;
    if (!args.Done() && args.Peek() == "--block") {
        args.Take();
        if (args.Done() || args.Peek().empty()) return Usage("--block wants a name");
        blockName = args.Take();
    }
    if (args.Done()) return Usage("no command");
    const std::string command = args.Take();
    if (command == "set") return Set(blockName, args);
    if (command == "play") return Play(blockName, args);
    if (command == "stop") return Stop(blockName, args);
    if (command == "show") return Show(blockName, args);
    if (command == "-h" || command == "--help") {
        std::printf("%s", kUsage);
        return tools::kExitOk;
    }
    return Usage("unknown command '" + command + "'");
}
