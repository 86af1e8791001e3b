// Writes or reads the lyrics directory key of one settings file, so that the tests can do
// it as another user: `settings_writer write FILE VALUE` exits 0 when the write succeeded,
// 1 when it failed; `settings_writer read FILE` prints the value (or "(default)").
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

int main(int argc, char** argv) {
    const char* section = "Strofix 1.0";
    const char* key = "LyricsPath";
    if (argc == 4 && std::strcmp(argv[1], "write") == 0) {
        return platform::WriteProfileString(section, key, argv[3], argv[2]) ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "read") == 0) {
        char buf[100];
        platform::GetProfileString(section, key, "(default)", buf, sizeof buf, argv[2]);
        std::printf("%s\n", buf);
        return 0;
    }
    std::fprintf(stderr, "usage: settings_writer write FILE VALUE | read FILE\n");
    return 2;
}
