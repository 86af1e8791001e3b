// `strofix-lrc fetch`: one track's lyrics from LRCLIB into the lyrics directory. Linux
// only; the Windows build's command says that fetching is not in it.
#pragma once

#include "tools/tool_args.h"

namespace fetch {

// The usage lines of the command, for strofix-lrc's --help.
extern const char kFetchUsage[];

// Runs the command on the arguments after "fetch". Exit status: 0 when a lyrics file was
// written, 1 when none was (not found, plain lyrics only, a file already there, a failure),
// 2 on bad usage.
int FetchCommand(tools::Args& args);

}  // namespace fetch
