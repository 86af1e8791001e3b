// LRC files to Strofix lyrics files: decoding, the time and text rules, the table's
// limits, and the store into the lyrics directory. Standard library only; the code-page
// conversions go through one small backend per platform (lrc_codepage.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lrc {

struct ConvertOptions {
    // The input's code page when it has no BOM and is not valid UTF-8 (e.g. "GBK",
    // "CP1251", "CP1252"). Empty: such input fails with an error naming --from-encoding.
    std::string fromEncoding;
    // The output's encoding. Empty: the platform's own (UTF-8 on Linux, the system's
    // ANSI code page on Windows), see DefaultOutputEncoding().
    std::string toEncoding;
    // Repeat each line once a second until the next line's time, as far as the table's
    // 250 entries allow.
    bool fill = false;
};

struct ConvertResult {
    bool ok = false;
    std::string error;                  // why it failed, when !ok
    std::string output;                 // the Strofix lyrics file's bytes, when ok
    std::vector<std::string> warnings;  // what was cut, dropped or replaced
    int entries = 0;                    // entries written (one tag each)
};

// LRC bytes in, Strofix lyrics file bytes out: one "[mm:ss]text" line per entry, sorted by
// time, LF line ends, no BOM, every line at most 99 bytes.
ConvertResult Convert(std::string_view lrcBytes, const ConvertOptions& options);

// Whether some line of the UTF-8 text begins with an LRC time tag ([mm:ss], [mm:ss.xx], ...):
// text without one has nothing to convert.
bool HasTimeTags(std::string_view utf8);

// The encoding an empty ConvertOptions::toEncoding stands for on this platform.
std::string DefaultOutputEncoding();

enum class StoreResult { Written, Exists, Failed };

// Writes `bytes` to `path` (a lyrics file path, as LyricsPathForSong or
// LyricsPathForLrc give). An existing file is kept and Exists returned unless `force`;
// the write goes through a temporary file in the same directory renamed over the target,
// so a failure never leaves a half-written lyrics file. On Failed, `error` (when given)
// says why.
StoreResult StoreLyrics(const std::string& path, const std::string& bytes, bool force,
                        std::string* error);

// The lyrics file Strofix looks for when the player plays `songPath` (a player path with
// backslashes, e.g. "D:\\Music\\Song.mp3"), by the window's own rule; `dir` empty means
// the directory configured in Strofix.ini. False, with `error` saying why, when the song
// maps to no lyrics file.
bool LyricsPathForSong(const std::string& dir, const std::string& songPath, std::string* out,
                       std::string* error);

// The configured lyrics directory (Strofix.ini, else the platform's default).
std::string ConfiguredLyricsDirectory();

}  // namespace lrc
