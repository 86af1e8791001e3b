// strofix-check: shows what Strofix makes of a lyrics file, through the very loader the
// window uses, and where Strofix would look for a song's lyrics.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "platform/platform.h"
#include "strofix_version.h"
#include "sync/lyrics_file.h"
#include "tools/tool_args.h"
#include "ui/lyrics_dir.h"

namespace {

const char kUsage[] =
    "usage: strofix-check FILE\n"
    "         print the entries Strofix reads from the lyrics file FILE, in table order,\n"
    "         one 'SECONDS<TAB>TEXT' a line; warnings go to stderr\n"
    "       strofix-check --which SONG_PATH [--dir DIR]\n"
    "         print the lyrics file Strofix looks for when the player plays SONG_PATH\n"
    "         (DIR defaults to the configured lyrics directory)\n"
    "       strofix-check --version | --help\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "strofix-check: %s\n%s", why.c_str(), kUsage);
    return tools::kExitUsage;
}

// The LRC time tag with fractions ("[01:02.75]", "[1:02.750]", "[01:02:75]") that begins
// `piece` after blanks, or an empty string. Strofix reads only seven-character tags.
std::string LeadingLrcTag(const char* piece) {
    const char* p = piece;
    while (*p == ' ' || *p == '\t') ++p;
    const char* start = p;
    const auto digits = [&p](int most) {
        int n = 0;
        while (*p >= '0' && *p <= '9' && n <= most) ++p, ++n;
        return n >= 1 && n <= most;
    };
    if (*p++ != '[' || !digits(3) || *p++ != ':' || !digits(2)) return "";
    if ((*p != '.' && *p != ':') || !(++p, digits(3)) || *p != ']') return "";
    return std::string(start, static_cast<std::size_t>(p + 1 - start));
}

// Gathers what the loader saw, line by line, and warns about lines that yield less than
// they seem to hold.
class Checker : public PieceObserver {
public:
    explicit Checker(const char* file) : file_(file) {}

    void OnPiece(const PieceReport& r) override {
        if (r.lineNumber != line_) {
            StartLine(r.lineNumber);
            lrcTag_ = LeadingLrcTag(r.piece);
        }
        // A piece that holds only the line break (a line of exactly 99 characters) cuts
        // nothing off.
        if (std::strcmp(r.piece, "\n") != 0) ++pieces_;
        if (std::strchr(r.piece, '[') != nullptr && r.entries == 0 && r.dropped == 0) {
            bracketWithoutTag_ = true;
        }
        if (r.dropped > 0) {
            if (dropped_ == 0) firstDropLine_ = r.lineNumber;
            dropped_ += r.dropped;
        }
        if (r.endsLine) FinishLine();
    }

    void Finish() {
        FinishLine();
        if (dropped_ > 0) {
            std::fprintf(stderr,
                         "%s:%d: warning: the table holds %d entries; %d time tag(s) from this "
                         "line on dropped\n",
                         file_, firstDropLine_, kLyricSlots, dropped_);
        }
        if (lrcLines_ > 0) {
            std::fprintf(stderr,
                         "%s: hint: %d line(s) begin with LRC time tags; strofix-lrc convert "
                         "turns the file into one Strofix reads\n",
                         file_, lrcLines_);
        }
    }

private:
    void StartLine(int lineNumber) {
        FinishLine();
        line_ = lineNumber;
    }
    void FinishLine() {
        if (line_ == 0) return;
        if (pieces_ > 1) {
            std::fprintf(stderr,
                         "%s:%d: warning: line longer than %zu characters, read in %d pieces; "
                         "each piece is scanned alone and an entry's text ends with its piece\n",
                         file_, line_, kLineBufferSize - 1, pieces_);
        }
        if (bracketWithoutTag_ && !lrcTag_.empty()) {
            std::fprintf(stderr,
                         "%s:%d: warning: %s is an LRC time tag with fractions, which Strofix "
                         "does not read\n",
                         file_, line_, lrcTag_.c_str());
            ++lrcLines_;
        } else if (bracketWithoutTag_) {
            std::fprintf(stderr,
                         "%s:%d: warning: '[' but no time tag read: a tag is seven characters "
                         "like [01:05], and a longer bracket such as [ti:Title] stops the line\n",
                         file_, line_);
        }
        line_ = 0;
        pieces_ = 0;
        bracketWithoutTag_ = false;
        lrcTag_.clear();
    }

    const char* file_;
    int line_ = 0;
    int pieces_ = 0;
    bool bracketWithoutTag_ = false;
    int dropped_ = 0;
    int firstDropLine_ = 0;
    std::string lrcTag_;  // the LRC tag the current line begins with
    int lrcLines_ = 0;
};

std::string WhyUnreadable(const char* path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) return "no such file";
    if (status.type() == std::filesystem::file_type::directory) return "it is a directory";
    return "it cannot be opened for reading";
}

int CheckFile(const char* path) {
    static LyricTable table;  // 64 KiB: kept off the stack
    TextModeFile file;
    int count = 0;
    Checker checker(path);
    if (!LoadLyricsFile(path, file, table, &count, &checker)) {
        std::fprintf(stderr, "strofix-check: cannot read '%s': %s\n", path,
                     WhyUnreadable(path).c_str());
        return tools::kExitFailure;
    }
    checker.Finish();
    if (file.LimitReached()) {
        std::fprintf(stderr,
                     "%s: warning: the file is longer than %zu bytes; Strofix stops reading "
                     "there and keeps the entries read before\n",
                     path, kLyricsFileByteLimit);
    } else if (file.ReadFailed()) {
        std::fprintf(
            stderr, "%s: warning: a read failed; Strofix keeps the entries read before it\n", path);
    }
    if (count == 0) std::fprintf(stderr, "%s: warning: no time tag in the file\n", path);
    for (int i = 0; i < count; ++i) {
        std::printf("%u\t", static_cast<unsigned>(table[i].seconds));
        std::fwrite(table[i].text, 1, std::strlen(table[i].text), stdout);
        std::fputc('\n', stdout);
    }
    return std::fflush(stdout) == 0 ? tools::kExitOk : tools::kExitFailure;
}

// Why BuildLyricsPath found no lyrics file for the song, in the user's words.
std::string WhyNoPath(const char* dir, const char* song) {
    const char* name = std::strrchr(song, '\\');
    if (name == nullptr) {
        return "the song path holds no backslash, so it names no file (the player's paths "
               "are like D:\\Music\\Song.mp3)";
    }
    if (std::strchr(name, '/') != nullptr) {
        return "the file name after the last backslash holds a '/', which would lead out of "
               "the lyrics directory";
    }
    if (std::strlen(name + 1) < 3) {
        return "the file name after the last backslash is shorter than three characters, so "
               "replacing its last three with 'txt' would leave the lyrics directory";
    }
    const std::size_t total = std::strlen(dir) + std::strlen(name);
    return "the lyrics file path would be " + std::to_string(total) + " characters long; at most " +
           std::to_string(kLyricsPathSize - 1) + " fit";
}

int Which(tools::Args& args) {
    std::optional<std::string> song;
    std::optional<std::string> dirArg;
    while (!args.Done()) {
        const std::string arg = args.Take();
        std::string value;
        if (arg == "--which" && args.TakeValue(arg, &value, &song)) {
            song = value;
        } else if (arg == "--dir" && args.TakeValue(arg, &value, &dirArg)) {
            dirArg = value;
        } else {
            return Usage(args.Error().empty() ? "unexpected '" + arg + "'" : args.Error());
        }
    }
    if (!song) return Usage("--which wants a song path");
    if (song->size() > kSongPathSize - 1) {
        std::fprintf(stderr,
                     "strofix-check: the song path is %zu characters long; the player's block "
                     "holds at most %zu\n",
                     song->size(), kSongPathSize - 1);
        return tools::kExitFailure;
    }
    char dir[kLyricsDirSize];
    if (dirArg) {
        if (dirArg->size() > kLyricsDirSize - 1) {
            return Usage("--dir: a lyrics directory has at most " +
                         std::to_string(kLyricsDirSize - 1) + " characters");
        }
        std::memcpy(dir, dirArg->c_str(), dirArg->size() + 1);
    } else {
        ReadLyricsDirectory(dir, sizeof dir);
    }
    const char separator = platform::PathSeparator();
    RemoveTrailingSeparator(dir, separator);  // as every load does
    char path[kLyricsPathSize];
    if (!BuildLyricsPath(dir, song->c_str(), separator, path, sizeof path)) {
        std::fprintf(stderr, "strofix-check: no lyrics file for '%s': %s\n", song->c_str(),
                     WhyNoPath(dir, song->c_str()).c_str());
        return tools::kExitFailure;
    }
    std::printf("%s\n", path);
    return std::fflush(stdout) == 0 ? tools::kExitOk : tools::kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
    tools::Args args(argc, argv);
    if (args.Done()) return Usage("give a lyrics file, or --which and a song path");
    const std::string first = args.Peek();
    if (first == "-h" || first == "--help") {
        std::printf("%s", kUsage);
        return tools::kExitOk;
    }
    if (first == "--version") {
        std::printf("strofix-check %s\n", STROFIX_VERSION);
        return tools::kExitOk;
    }
    if (first == "--which" || first == "--dir") return Which(args);
    args.Take();
    std::string file = first;
    if (first == "--") {
        if (args.Done()) return Usage("give a lyrics file after --");
        file = args.Take();
    } else if (first.size() > 1 && first[0] == '-') {
        return Usage("unknown option '" + first + "'");
    }
    if (!args.Done()) return Usage("give one lyrics file");
    return CheckFile(file.c_str());
}
