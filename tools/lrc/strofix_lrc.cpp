// strofix-lrc: turns LRC files, and synced lyrics embedded in audio files, into lyrics
// files Strofix reads, and puts them where Strofix looks for them.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "strofix_version.h"
#include "sync/lyrics_file.h"
#include "tools/fetch/fetch_command.h"
#include "tools/lrc/lrc_convert.h"
#include "tools/lrc/lrc_embedded.h"
#include "tools/lrc/lrc_os.h"
#include "tools/tool_args.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kMaxInputBytes = 16 * 1024 * 1024;

const char kUsage[] =
    "usage: strofix-lrc convert [OPTIONS] [--force] IN [-o OUT]\n"
    "         convert the LRC file IN into a Strofix lyrics file, written to OUT (an\n"
    "         existing OUT only with --force) or to standard output\n"
    "       strofix-lrc convert --show [OPTIONS] IN\n"
    "         print what Strofix then displays, one 'SECONDS<TAB>TEXT' a line\n"
    "       strofix-lrc import [--dir DIR] [--song SONG_PATH] [--force] [OPTIONS] LRC...\n"
    "         write each LRC file, converted, into the lyrics directory DIR (default: the\n"
    "         one set in Strofix), named as Strofix looks for SONG_PATH, or else after the\n"
    "         LRC file (Song.lrc -> Song.txt)\n"
    "       strofix-lrc import --music MUSIC_DIR [--dir DIR] [--force] [OPTIONS]\n"
    "         for every audio file under MUSIC_DIR with a .lrc file of the same name beside\n"
    "         it, or with synced lyrics in its tags, write the lyrics file Strofix looks for\n"
    "       strofix-lrc fetch --artist A --title T [--album B] [--duration S] [--song SONG_PATH]\n"
    "                         [--dir DIR] [--lrclib-url URL] [--retry]\n"
    "         fetch the track's synced lyrics from LRCLIB into the lyrics directory\n"
    "         (Linux build; see strofix-lrc fetch --help)\n"
    "options:\n"
    "  --from-encoding CODEPAGE  the code page of input that is neither UTF-8 nor has a\n"
    "                            byte-order mark (e.g. GBK, CP1251, CP1252)\n"
    "  --to-encoding CODEPAGE    the output's encoding (default: " STROFIX_LRC_DEFAULT_NOTE
    ")\n"
    "  --fill                    repeat each line every second until the next one, so a\n"
    "                            seek or a late start shows the right line at once\n"
    "  --force                   replace lyrics files that exist\n"
    "  -h, --help                this text;  --version  the version\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "strofix-lrc: %s\n%s", why.c_str(), kUsage);
    return tools::kExitUsage;
}

int Fail(const std::string& why) {
    std::fprintf(stderr, "strofix-lrc: %s\n", why.c_str());
    return tools::kExitFailure;
}

bool ReadFile(const std::string& path, std::string* bytes, std::string* error) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        *error = "cannot read '" + path + "': no such file";
        return false;
    }
    if (status.type() != fs::file_type::regular) {
        *error = "cannot read '" + path + "': not a regular file";
        return false;
    }
    const std::uintmax_t size = fs::file_size(path, ec);
    if (!ec && size > kMaxInputBytes) {
        *error = "'" + path + "' is " + std::to_string(size) + " bytes; an LRC file over " +
                 std::to_string(kMaxInputBytes) + " bytes is not read";
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        *error = "cannot read '" + path + "': it cannot be opened";
        return false;
    }
    bytes->clear();
    char buf[65536];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && bytes->size() <= kMaxInputBytes) {
        bytes->append(buf, n);
    }
    const bool bad = std::ferror(f) != 0;
    std::fclose(f);
    if (bad) *error = "cannot read '" + path + "': read error";
    if (!bad && bytes->size() > kMaxInputBytes) {
        *error = "'" + path + "' is over " + std::to_string(kMaxInputBytes) + " bytes";
        return false;
    }
    return !bad;
}

void PrintWarnings(const std::string& what, const lrc::ConvertResult& r) {
    for (const std::string& w : r.warnings) {
        std::fprintf(stderr, "strofix-lrc: %s: warning: %s\n", what.c_str(), w.c_str());
    }
}

// Prints the table Strofix loads from `path`, through its own loader.
bool ShowThroughLoader(const std::string& path) {
    static LyricTable table;  // 64 KiB: kept off the stack
    TextModeFile file;
    int count = 0;
    if (!LoadLyricsFile(path.c_str(), file, table, &count)) return false;
    for (int i = 0; i < count; ++i) {
        std::printf("%u\t", static_cast<unsigned>(table[i].seconds));
        std::fwrite(table[i].text, 1, std::strlen(table[i].text), stdout);
        std::fputc('\n', stdout);
    }
    return true;
}

struct Options {
    lrc::ConvertOptions convert;
    bool force = false;
};

// Takes a converter option at the cursor; false when `arg` is none of them.
bool TakeCommonOption(const std::string& arg, tools::Args& args, Options* o,
                      std::optional<std::string>* from, std::optional<std::string>* to, bool* bad) {
    std::string value;
    if (arg == "--from-encoding") {
        if (!args.TakeValue(arg, &value, from))
            *bad = true;
        else
            *from = o->convert.fromEncoding = value;
    } else if (arg == "--to-encoding") {
        if (!args.TakeValue(arg, &value, to))
            *bad = true;
        else
            *to = o->convert.toEncoding = value;
    } else if (arg == "--fill") {
        o->convert.fill = true;
    } else if (arg == "--force") {
        o->force = true;
    } else {
        return false;
    }
    return true;
}

int Convert(tools::Args& args) {
    Options o;
    std::optional<std::string> from, to, out, in;
    bool show = false;
    while (!args.Done()) {
        const std::string arg = args.Take();
        bool bad = false;
        std::string value;
        if (TakeCommonOption(arg, args, &o, &from, &to, &bad)) {
            if (bad) return Usage(args.Error());
        } else if (arg == "-o" || arg == "--output") {
            if (!args.TakeValue(arg, &value, &out)) return Usage(args.Error());
            out = value;
        } else if (arg == "--show") {
            show = true;
        } else if (arg == "--" && !args.Done() && !in) {
            in = args.Take();
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage("unknown option '" + arg + "'");
        } else if (in) {
            return Usage("convert takes one LRC file");
        } else {
            in = arg;
        }
    }
    if (!in) return Usage("convert wants an LRC file");
    std::string bytes, error;
    if (!ReadFile(*in, &bytes, &error)) return Fail(error);
    const lrc::ConvertResult r = lrc::Convert(bytes, o.convert);
    PrintWarnings(*in, r);
    if (!r.ok) return Fail(*in + ": " + r.error);

    if (out) {
        switch (lrc::StoreLyrics(*out, r.output, o.force, &error)) {
            case lrc::StoreResult::Written:
                break;
            case lrc::StoreResult::Exists:
                return Fail("'" + *out + "' exists; --force replaces it");
            case lrc::StoreResult::Failed:
                return Fail(error);
        }
        if (show && !ShowThroughLoader(*out)) return Fail("cannot load '" + *out + "'");
    } else if (show) {
        // Through a file, as Strofix reads it.
        // A name no other run holds: StoreLyrics never writes over an existing file.
        std::error_code ec;
        std::random_device random;
        fs::path temp;
        lrc::StoreResult stored = lrc::StoreResult::Exists;
        for (int n = 0; n < 100 && stored == lrc::StoreResult::Exists; ++n) {
            temp = fs::temp_directory_path(ec) /
                   ("strofix-lrc-show-" + std::to_string(random()) + ".txt");
            stored = lrc::StoreLyrics(temp.string(), r.output, false, &error);
        }
        if (stored != lrc::StoreResult::Written) {
            return Fail("cannot write a temporary file: " + error);
        }
        const bool shown = ShowThroughLoader(temp.string());
        fs::remove(temp, ec);
        if (!shown) return Fail("cannot load the converted file");
    } else {
        std::fwrite(r.output.data(), 1, r.output.size(), stdout);
    }
    return std::fflush(stdout) == 0 ? tools::kExitOk : tools::kExitFailure;
}

// What an import did with one source.
enum class Outcome { Written, Present, NoLyrics, Failed };

struct Summary {
    int written = 0, present = 0, noLyrics = 0, unsyncedOnly = 0, failed = 0;
    std::vector<std::string> failures;
};

// Converts `lrcBytes` and stores it at `target`.
Outcome ConvertAndStore(const std::string& what, const std::string& lrcBytes,
                        const std::string& target, const Options& o,
                        std::set<std::string>* writtenThisRun, std::string* why) {
    const lrc::ConvertResult r = lrc::Convert(lrcBytes, o.convert);
    PrintWarnings(what, r);
    if (!r.ok) {
        *why = r.error;
        return Outcome::Failed;
    }
    if (writtenThisRun->count(target) != 0) {
        *why = "another file of this run was already written to '" + target + "'";
        return Outcome::Failed;
    }
    std::string error;
    switch (lrc::StoreLyrics(target, r.output, o.force, &error)) {
        case lrc::StoreResult::Written:
            writtenThisRun->insert(target);
            return Outcome::Written;
        case lrc::StoreResult::Exists:
            return Outcome::Present;
        case lrc::StoreResult::Failed:
            *why = error;
            return Outcome::Failed;
    }
    return Outcome::Failed;
}

std::string Lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

bool IsAudioFile(const fs::path& p) {
    static const std::set<std::string> kAudio = {
        ".mp3",  ".mp2", ".flac", ".ogg", ".oga", ".opus", ".spx", ".m4a", ".m4b",  ".mp4", ".aac",
        ".alac", ".ape", ".wv",   ".mpc", ".wma", ".asf",  ".wav", ".aif", ".aiff", ".tta"};
    return kAudio.count(Lower(p.extension().string())) != 0;
}

// The .lrc file of the same name beside an audio file, in any case of its extension.
std::optional<fs::path> SiblingLrc(const fs::path& audio) {
    std::error_code ec;
    for (const char* ext : {".lrc", ".LRC", ".Lrc"}) {
        fs::path p = audio;
        p.replace_extension(ext);
        if (fs::is_regular_file(p, ec)) return p;
    }
    return std::nullopt;
}

bool CheckDirectory(const std::string& dir, std::string* error) {
    std::error_code ec;
    if (fs::is_directory(dir, ec)) return true;
    *error = "the lyrics directory '" + dir + "' does not exist (create it, or give --dir)";
    return false;
}

int PrintSummary(const Summary& s) {
    std::printf("written: %d\n", s.written);
    std::printf("skipped, lyrics file already present: %d%s\n", s.present,
                s.present > 0 ? " (--force replaces them)" : "");
    std::printf("no synced lyrics: %d", s.noLyrics);
    if (s.unsyncedOnly > 0) std::printf(" (%d with unsynced lyrics only)", s.unsyncedOnly);
    std::printf("\nfailed: %d\n", s.failed);
    for (const std::string& f : s.failures) std::printf("  %s\n", f.c_str());
    std::fflush(stdout);
    return s.failed > 0 ? tools::kExitFailure : tools::kExitOk;
}

int ImportMusic(const std::string& music, const std::string& dir, const Options& o) {
    std::error_code ec;
    if (!fs::is_directory(music, ec)) return Fail("'" + music + "' is not a directory");
    std::vector<fs::path> audio;
    for (auto it = fs::recursive_directory_iterator(
             music, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file(ec) && IsAudioFile(it->path())) audio.push_back(it->path());
    }
    if (ec) return Fail("cannot walk '" + music + "': " + ec.message());
    std::sort(audio.begin(), audio.end());

    const bool progress = lrc::os::IsTerminal(stderr);
    Summary s;
    std::set<std::string> written;
    bool embeddedNoted = false;
    for (std::size_t k = 0; k < audio.size(); ++k) {
        const fs::path& a = audio[k];
        if (progress) {
            std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", k + 1, audio.size(),
                         a.filename().string().c_str());
            std::fflush(stderr);
        }
        const std::string name = a.filename().string();
        std::string target, why, bytes;
        if (!lrc::LyricsPathForSong(dir, "\\" + name, &target, &why)) {
            ++s.failed;
            s.failures.push_back(a.string() + ": " + why);
            continue;
        }
        std::string what;
        if (const auto lrcFile = SiblingLrc(a)) {
            what = lrcFile->string();
            if (!ReadFile(what, &bytes, &why)) {
                ++s.failed;
                s.failures.push_back(what + ": " + why);
                continue;
            }
        } else {
            const lrc::EmbeddedLyrics e = lrc::ReadEmbeddedLyrics(a.string());
            if (e.found == lrc::EmbeddedLyrics::Found::Unreadable &&
                lrc::EmbeddedLyricsSupported()) {
                ++s.failed;
                s.failures.push_back(a.string() + ": " + e.error);
                continue;
            }
            if (e.found != lrc::EmbeddedLyrics::Found::Synced) {
                ++s.noLyrics;
                if (e.found == lrc::EmbeddedLyrics::Found::UnsyncedOnly) ++s.unsyncedOnly;
                if (!lrc::EmbeddedLyricsSupported() && !embeddedNoted) {
                    embeddedNoted = true;
                    std::fprintf(stderr, "%sstrofix-lrc: note: %s; only .lrc files are used\n",
                                 progress ? "\r\033[K" : "", e.error.c_str());
                }
                continue;
            }
            what = a.string() + " (" + e.source + ")";
            bytes = e.lrc;
        }
        if (progress) std::fprintf(stderr, "\r\033[K");
        switch (ConvertAndStore(what, bytes, target, o, &written, &why)) {
            case Outcome::Written:
                ++s.written;
                break;
            case Outcome::Present:
                ++s.present;
                break;
            case Outcome::NoLyrics:
                ++s.noLyrics;
                break;
            case Outcome::Failed:
                ++s.failed;
                s.failures.push_back(what + ": " + why);
                break;
        }
    }
    if (progress) std::fprintf(stderr, "\r\033[K");
    return PrintSummary(s);
}

int Import(tools::Args& args) {
    Options o;
    std::optional<std::string> from, to, dirArg, song, music;
    std::vector<std::string> files;
    while (!args.Done()) {
        const std::string arg = args.Take();
        bool bad = false;
        std::string value;
        if (TakeCommonOption(arg, args, &o, &from, &to, &bad)) {
            if (bad) return Usage(args.Error());
        } else if (arg == "--dir") {
            if (!args.TakeValue(arg, &value, &dirArg)) return Usage(args.Error());
            dirArg = value;
        } else if (arg == "--song") {
            if (!args.TakeValue(arg, &value, &song)) return Usage(args.Error());
            song = value;
        } else if (arg == "--music") {
            if (!args.TakeValue(arg, &value, &music)) return Usage(args.Error());
            music = value;
        } else if (arg == "--") {
            while (!args.Done()) files.push_back(args.Take());
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage("unknown option '" + arg + "'");
        } else {
            files.push_back(arg);
        }
    }
    if (music && (song || !files.empty())) {
        return Usage("--music takes no LRC files and no --song");
    }
    if (!music && files.empty()) return Usage("import wants LRC files, or --music DIR");
    if (song && files.size() != 1) return Usage("--song goes with exactly one LRC file");
    if (dirArg && dirArg->size() > kLyricsDirSize - 1) {
        return Usage("--dir: a lyrics directory has at most " + std::to_string(kLyricsDirSize - 1) +
                     " characters");
    }
    const std::string dir = dirArg ? *dirArg : lrc::ConfiguredLyricsDirectory();
    std::string error;
    if (!CheckDirectory(dir, &error)) return Fail(error);
    if (music) return ImportMusic(*music, dir, o);

    int status = tools::kExitOk;
    std::set<std::string> written;
    for (const std::string& file : files) {
        // Without --song the LRC file's own name stands for the song's.
        const std::string songPath = song ? *song : "\\" + fs::path(file).filename().string();
        std::string target, bytes;
        if (!lrc::LyricsPathForSong(dir, songPath, &target, &error) ||
            !ReadFile(file, &bytes, &error)) {
            std::fprintf(stderr, "strofix-lrc: %s: %s\n", file.c_str(), error.c_str());
            status = tools::kExitFailure;
            continue;
        }
        switch (ConvertAndStore(file, bytes, target, o, &written, &error)) {
            case Outcome::Written:
                std::printf("%s -> %s\n", file.c_str(), target.c_str());
                break;
            case Outcome::Present:
                std::fprintf(stderr, "strofix-lrc: %s: '%s' exists; --force replaces it\n",
                             file.c_str(), target.c_str());
                status = tools::kExitFailure;
                break;
            default:
                std::fprintf(stderr, "strofix-lrc: %s: %s\n", file.c_str(), error.c_str());
                status = tools::kExitFailure;
        }
    }
    return std::fflush(stdout) == 0 ? status : tools::kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
    tools::Args args(argc, argv);
    if (args.Done()) return Usage("give a command: convert, import or fetch");
    const std::string command = args.Take();
    if (command == "-h" || command == "--help") {
        std::printf("%s", kUsage);
        return tools::kExitOk;
    }
    if (command == "--version") {
        std::printf("strofix-lrc %s\n", STROFIX_VERSION);
        return tools::kExitOk;
    }
    if (command == "convert") return Convert(args);
    if (command == "import") return Import(args);
    if (command == "fetch") return fetch::FetchCommand(args);
    return Usage("unknown command '" + command + "'");
}
