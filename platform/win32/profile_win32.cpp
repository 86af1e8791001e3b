// The settings file through the system's own profile functions.
#include <cstdint>

#include "platform/platform.h"
#include "platform/win32/win32_api.h"

namespace platform {

std::size_t GetProfileString(const char* section, const char* key, const char* def, char* buf,
                             std::size_t size, const char* file) {
    if (buf == nullptr || size == 0) return 0;
    const DWORD bounded = size > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<DWORD>(size);
    return GetPrivateProfileStringA(section, key, def != nullptr ? def : "", buf, bounded, file);
}

bool WriteProfileString(const char* section, const char* key, const char* value, const char* file) {
    return WritePrivateProfileStringA(section, key, value, file) != FALSE;
}

}  // namespace platform
