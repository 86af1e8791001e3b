// strofix-follow: prints the lyric line Strofix shows, each time it changes, for terminals
// and status bars. It runs the window's own load and tick on a headless dialog.
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "player/player_info.h"
#include "strofix_version.h"
#include "tools/follow/console.h"
#include "tools/follow/follower.h"
#include "tools/tool_args.h"
#include "ui/lyrics_dir.h"

namespace {

const char kUsage[] =
    "usage: strofix-follow [--dir DIR] [--format plain|json] [--once] [--block NAME]\n"
    "Prints the lyric line Strofix shows for the playing song, a line each time it\n"
    "changes, until interrupted.\n"
    "  --dir DIR        the lyrics directory (default: the one Strofix is set to)\n"
    "  --format FORMAT  plain: the text (the default); json: one object a line,\n"
    "                   {\"text\": ..., \"tooltip\": ..., \"class\": ...}, for status bars\n"
    "  --once           print the line that shows now and exit (for bars that poll)\n"
    "  --block NAME     follow the shared block NAME instead of the player's (tests)\n"
    "  --version        print the version and exit\n"
    "  --help           print this help and exit\n";

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStopSignal(int) {
    g_stop = 1;
}

int Usage(const std::string& why) {
    std::fprintf(stderr, "strofix-follow: %s\n%s", why.c_str(), kUsage);
    return tools::kExitUsage;
}

// Writes one line and flushes it; false when the output is gone.
bool Write(const std::string& line) {
    return std::fwrite(line.data(), 1, line.size(), stdout) == line.size() &&
           std::fflush(stdout) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    tools::Args args(argc, argv);
    std::optional<std::string> dir;
    std::optional<std::string> format;
    std::optional<std::string> block;
    bool once = false;
    while (!args.Done()) {
        const std::string arg = args.Take();
        std::string value;
        if (arg == "--help" || arg == "-h") {
            std::printf("%s", kUsage);
            return tools::kExitOk;
        } else if (arg == "--version") {
            std::printf("strofix-follow %s\n", STROFIX_VERSION);
            return tools::kExitOk;
        } else if (arg == "--once") {
            once = true;
        } else if (arg == "--dir" && args.TakeValue(arg, &value, &dir)) {
            dir = value;
        } else if (arg == "--format" && args.TakeValue(arg, &value, &format)) {
            if (value != "plain" && value != "json") {
                return Usage("--format is plain or json, not '" + value + "'");
            }
            format = value;
        } else if (arg == "--block" && args.TakeValue(arg, &value, &block)) {
            if (value.empty()) return Usage("--block wants a name");
            block = value;
        } else {
            return Usage(args.Error().empty() ? "unexpected '" + arg + "'" : args.Error());
        }
    }

    char lyricsDir[kLyricsDirSize] = "";
    if (dir) {
        if (dir->size() >= kLyricsDirSize) {
            return Usage("--dir holds at most " + std::to_string(kLyricsDirSize - 1) +
                         " characters");
        }
        // The test the window makes of a typed directory.
        if (!AcceptLyricsDirectory(*dir, lyricsDir, sizeof lyricsDir)) {
            std::fprintf(stderr, "strofix-follow: %s: no such directory\n", dir->c_str());
            return tools::kExitFailure;
        }
    }
    const follow::Format outputFormat =
        format.value_or("plain") == "json" ? follow::Format::Json : follow::Format::Plain;
    const std::string blockName = block.value_or(kPlayerBlockName);
    const std::string eventName = block ? blockName + "Event" : std::string(kPlayerEventName);

    follow::PrepareOutput();
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);

    follow::Follower follower(blockName, eventName, dir ? lyricsDir : nullptr);
    if (!follower.BlockOpen()) {
        std::fprintf(stderr, "strofix-follow: cannot open the shared block '%s'%s\n",
                     blockName.c_str(), once ? "" : "; waiting for it");
    }
    if (once) {
        return Write(follow::FormatLine(follower.Once(), outputFormat)) ? tools::kExitOk
                                                                        : tools::kExitFailure;
    }
    std::string lastPrinted;
    bool printed = false;
    return follower.Run([] { return g_stop != 0; },
                        [&](const follow::ShownLine& line) {
                            const std::string text = follow::FormatLine(line, outputFormat);
                            if (printed && text == lastPrinted) return true;
                            printed = true;
                            lastPrinted = text;
                            return Write(text);  // a closed output ends the run quietly
                        });
}
