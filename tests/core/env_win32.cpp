#include <windows.h>
#include <process.h>

#include <cstdlib>

#include "tests/core/support.h"

namespace strofix_test {
int ProcessId() {
    return _getpid();
}
void SetEnv(const char* name, const char* value) {
    _putenv_s(name, value);
}
bool SharedBlockExists(const char* name) {
    HANDLE h = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
    if (h == nullptr) return false;
    CloseHandle(h);
    return true;
}
}  // namespace strofix_test
