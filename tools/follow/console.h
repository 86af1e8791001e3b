// The one thing strofix-follow's output needs of the platform.
#pragma once

namespace follow {

// Makes a write to a closed output fail with an error the caller sees, instead of ending
// the process (a status bar that restarts closes its end of the pipe).
void PrepareOutput();

}  // namespace follow
