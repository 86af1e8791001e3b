// The fetch command of a build without the lyrics-fetch library (Windows).
#include <cstdio>

#include "tools/fetch/fetch_command.h"

namespace fetch {

const char kFetchUsage[] =
    "       strofix-lrc fetch ...\n"
    "         (Linux only: this build cannot fetch lyrics)\n";

int FetchCommand(tools::Args&) {
    std::fprintf(stderr,
                 "strofix-lrc: fetch: fetching lyrics is not in this build of strofix-lrc "
                 "(it is in the Linux build only); convert or import an LRC file instead\n");
    return tools::kExitUsage;
}

}  // namespace fetch
