// TEMPORARY placeholder, replaced by the real initialisation-file updater.
#include <cstring>

#include "platform/platform.h"

namespace platform {
std::size_t GetProfileString(const char*, const char*, const char* def, char* buf, std::size_t size,
                             const char*) {
    std::strncpy(buf, def, size - 1);
    buf[size - 1] = 0;
    return std::strlen(buf);
}
bool WriteProfileString(const char*, const char*, const char*, const char*) {
    return false;
}
}  // namespace platform
