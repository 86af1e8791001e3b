#include "tools/mpris/block_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mpris {

LockResult LockBlock(const std::string& name, std::string* why) {
    const std::string posixName = name.starts_with('/') ? name : "/" + name;
    const int fd = shm_open(posixName.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) {
        *why = "cannot open the block to lock it: " + std::string(std::strerror(errno));
        return LockResult::Failed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        close(fd);
        if (err == EWOULDBLOCK) {
            *why = "another strofix-mpris already writes the block '" + name + "'";
            return LockResult::Taken;
        }
        *why = "cannot lock the block: " + std::string(std::strerror(err));
        return LockResult::Failed;
    }
    return LockResult::Locked;  // the descriptor stays open: the lock lasts as long as we do
}

}  // namespace mpris
