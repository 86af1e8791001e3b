#include <signal.h>

#include "tools/follow/console.h"

void follow::PrepareOutput() {
    signal(SIGPIPE, SIG_IGN);  // a write to a closed pipe then fails with EPIPE
}
