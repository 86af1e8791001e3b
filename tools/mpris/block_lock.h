// One bridge per block: two writers would fight over the path. The lock is an flock(2) on the
// block's shared-memory object, held until the process ends; the reader and the stand-in
// player never take it.
#pragma once

#include <string>

namespace mpris {

enum class LockResult { Locked, Taken, Failed };

// Takes the lock of the block `name` (which must exist). `why` says what went wrong when the
// result is not Locked.
LockResult LockBlock(const std::string& name, std::string* why);

}  // namespace mpris
