// Storing converted files where Strofix looks for them: the window's own path rule and
// lyrics-directory setting, and a write that never leaves half a file.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/platform.h"
#include "sync/lyrics_file.h"
#include "tools/lrc/lrc_convert.h"
#include "ui/lyrics_dir.h"

namespace lrc {

StoreResult StoreLyrics(const std::string& path, const std::string& bytes, bool force,
                        std::string* error) {
    namespace fs = std::filesystem;
    const auto fail = [&](const std::string& why) {
        if (error != nullptr) *error = why;
        return StoreResult::Failed;
    };
    std::error_code ec;
    const fs::path target(path);
    if (!force && fs::exists(fs::symlink_status(target, ec))) return StoreResult::Exists;
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (!fs::is_directory(dir, ec))
        return fail("the directory '" + dir.string() + "' does not exist");

    // A temporary file beside the target, renamed over it once it is whole.
    fs::path temp;
    std::FILE* f = nullptr;
    for (int n = 0; n < 100 && f == nullptr; ++n) {
        temp = dir / ("." + target.filename().string() + ".strofix-lrc-" + std::to_string(n));
        if (fs::exists(fs::symlink_status(temp, ec))) continue;
        f = std::fopen(temp.string().c_str(), "wb");
    }
    if (f == nullptr) return fail("cannot create a file in '" + dir.string() + "'");
    const bool written =
        std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fflush(f) == 0;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        fs::remove(temp, ec);
        return fail("cannot write '" + temp.string() + "' (disk full?)");
    }
    if (!force) {
        // A hard link never replaces a file that appeared in the meantime.
        fs::create_hard_link(temp, target, ec);
        if (!ec) {
            fs::remove(temp, ec);
            return StoreResult::Written;
        }
        if (fs::exists(fs::symlink_status(target, ec))) {
            fs::remove(temp, ec);
            return StoreResult::Exists;
        }
        // File systems without hard links: the rename below, after the check above.
    }
    fs::rename(temp, target, ec);
    if (ec) {
        const std::string why = ec.message();
        fs::remove(temp, ec);
        return fail("cannot write '" + path + "': " + why);
    }
    return StoreResult::Written;
}

std::string ConfiguredLyricsDirectory() {
    char dir[kLyricsDirSize];
    ReadLyricsDirectory(dir, sizeof dir);
    return dir;
}

bool LyricsPathForSong(const std::string& dir, const std::string& songPath, std::string* out,
                       std::string* error) {
    std::string directory = dir.empty() ? ConfiguredLyricsDirectory() : dir;
    if (directory.size() > kLyricsDirSize - 1) {
        *error =
            "a lyrics directory has at most " + std::to_string(kLyricsDirSize - 1) + " characters";
        return false;
    }
    if (songPath.size() > kSongPathSize - 1) {
        *error = "the song path is " + std::to_string(songPath.size()) +
                 " characters long; the player's block holds at most " +
                 std::to_string(kSongPathSize - 1);
        return false;
    }
    char dirBuf[kLyricsDirSize];
    std::copy(directory.begin(), directory.end(), dirBuf);
    dirBuf[directory.size()] = '\0';
    const char separator = platform::PathSeparator();
    RemoveTrailingSeparator(dirBuf, separator);  // as every load does
    char path[kLyricsPathSize];
    if (!BuildLyricsPath(dirBuf, songPath.c_str(), separator, path, sizeof path)) {
        *error = "Strofix derives no lyrics file name from '" + songPath +
                 "' (see strofix-check --which)";
        return false;
    }
    *out = path;
    return true;
}

}  // namespace lrc
