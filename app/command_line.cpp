#include "app/command_line.h"

#include <cstdio>
#include <cstring>

#include "strofix_version.h"

namespace {
const char kHelp[] =
    "usage: strofix [--version | --help]\n"
    "Shows the lyrics of the song the audio player plays, one line at a time, in step with\n"
    "playback. The Options button switches the window to the lyrics directory and back.\n"
    "  --version  print the version and exit\n"
    "  --help     print this help and exit\n"
    "The toolkit's own options (for example -platform) are taken as the toolkit takes them.\n"
    "See strofix(1) and strofix-lyrics(5); " STROFIX_HOMEPAGE "\n";
}

std::optional<int> HandleInfoOptions(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("strofix %s\n", STROFIX_VERSION);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("%s", kHelp);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    return std::nullopt;
}
