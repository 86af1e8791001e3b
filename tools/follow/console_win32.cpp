#include "tools/follow/console.h"

// Windows has no broken-pipe signal: a write to a closed pipe already fails with an error.
void follow::PrepareOutput() {}
