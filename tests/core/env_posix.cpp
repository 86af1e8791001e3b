#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/core/support.h"

namespace strofix_test {
int ProcessId() {
    return static_cast<int>(getpid());
}
void SetEnv(const char* name, const char* value) {
    setenv(name, value, 1);
}
bool SharedBlockExists(const char* name) {
    const std::string posixName = name[0] == '/' ? name : std::string("/") + name;
    const int fd = shm_open(posixName.c_str(), O_RDONLY, 0);
    if (fd < 0) return false;
    close(fd);
    return true;
}
}  // namespace strofix_test
