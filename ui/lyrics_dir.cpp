#include "ui/lyrics_dir.h"

#include <cstring>

#include "platform/platform.h"
#include "res/resource.h"
#include "sync/lyrics_file.h"

namespace {
constexpr int kExistence = 0;
}

void ReadLyricsDirectory(char* dir, std::size_t size) {
    const std::string def = platform::DefaultLyricsDirectory();
    const std::string file = platform::SettingsFilePath();
    platform::GetProfileString(STROFIX_SETTINGS_SECTION, STROFIX_SETTINGS_KEY, def.c_str(), dir,
                               size, file.c_str());
}

bool WriteLyricsDirectory(const char* dir) {
    const std::string file = platform::SettingsFilePath();
    return platform::WriteProfileString(STROFIX_SETTINGS_SECTION, STROFIX_SETTINGS_KEY, dir,
                                        file.c_str());
}

bool AcceptLyricsDirectory(const std::string& typed, char* dir, std::size_t size) {
    // A text longer than the buffer is refused rather than cut to some other path; a NUL
    // typed into the field would cut it the same way.
    if (typed.size() + 1 > kLyricsDirSize || typed.size() + 1 > size) return false;
    if (typed.find('\0') != std::string::npos) return false;
    char work[kLyricsDirSize];
    std::memcpy(work, typed.c_str(), typed.size() + 1);
    RemoveTrailingSeparator(work, platform::PathSeparator());
    if (!platform::Access(work, kExistence)) return false;
    std::memcpy(dir, work, std::strlen(work) + 1);
    return true;
}
