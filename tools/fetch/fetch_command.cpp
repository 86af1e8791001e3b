// `strofix-lrc fetch` on Linux: the lyrics-fetch library, run to its end on a local event
// loop, for one track or for every audio file of a music folder.
#include "tools/fetch/fetch_command.h"

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>
#include <taglib/tag.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "tools/fetch/lyrics_fetcher.h"
#include "tools/lrc/lrc_convert.h"
#include "tools/mpris/track_naming.h"

namespace fs = std::filesystem;

namespace fetch {

const char kFetchUsage[] =
    "       strofix-lrc fetch --artist A --title T [--album B] [--duration S]\n"
    "                         [--song SONG_PATH] [--dir DIR] [--lrclib-url URL] [--retry]\n"
    "         fetch the track's synced lyrics from LRCLIB (https://lrclib.net unless URL\n"
    "         says otherwise) and write them, converted, into the lyrics directory DIR,\n"
    "         named as Strofix looks for SONG_PATH, or else '<Artist> - <Title>.txt' as\n"
    "         strofix-mpris names a track without a file; an existing file is never\n"
    "         replaced. S: the track's length in seconds. A miss is remembered for 24\n"
    "         hours; --retry asks again\n"
    "       strofix-lrc fetch --music MUSIC_DIR [--dir DIR] [--lrclib-url URL] [--retry]\n"
    "         the same for every audio file under MUSIC_DIR that has no lyrics file yet,\n"
    "         with artist, title, album and length from its tags; one request a second\n"
    "         at most\n";

namespace {

constexpr auto kRequestGap = std::chrono::seconds(1);  // between two requests of --music

int Usage(const std::string& why) {
    std::fprintf(stderr, "strofix-lrc: fetch: %s\nusage:\n%s", why.c_str(), kFetchUsage);
    return tools::kExitUsage;
}

// Seconds, with an optional fraction, rounded to the nearest second; at most a day.
std::optional<int> ParseSeconds(const std::string& s) {
    const std::size_t dot = s.find('.');
    const std::optional<std::uint32_t> n = tools::ParseUint32(s.substr(0, dot));
    if (!n || *n > 86400) return std::nullopt;
    if (dot == std::string::npos) return static_cast<int>(*n);
    const std::string fraction = s.substr(dot + 1);
    if (fraction.empty()) return std::nullopt;
    for (const char c : fraction) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    return static_cast<int>(*n) + (fraction[0] >= '5' ? 1 : 0);
}

std::string Length(double seconds) {
    const long s = std::lround(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

// The audio files a music folder holds, by the extensions strofix-lrc import knows.
bool IsAudioFile(const fs::path& p) {
    static const std::set<std::string> kAudio = {
        ".mp3",  ".mp2", ".flac", ".ogg", ".oga", ".opus", ".spx", ".m4a", ".m4b",  ".mp4", ".aac",
        ".alac", ".ape", ".wv",   ".mpc", ".wma", ".asf",  ".wav", ".aif", ".aiff", ".tta"};
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return kAudio.count(ext) != 0;
}

// Artist, title, album and length from an audio file's tags. Nothing when TagLib cannot read
// the file or its tags name no artist or no title.
std::optional<Track> TrackFromTags(const fs::path& file, std::string* why) {
    const TagLib::FileRef ref(file.c_str());
    if (ref.isNull() || ref.tag() == nullptr) {
        *why = "its tags cannot be read";
        return std::nullopt;
    }
    // The property map joins a file's tag kinds (a WAV file's tag() is its ID3v2 tag only,
    // and its RIFF INFO tag is elsewhere).
    const TagLib::PropertyMap props = ref.file()->properties();
    const auto field = [&](const char* key, const TagLib::String& fallback) {
        const auto it = props.find(key);
        if (it != props.end() && !it->second.isEmpty() && !it->second.front().isEmpty()) {
            return it->second.front().to8Bit(true);
        }
        return fallback.to8Bit(true);
    };
    Track t;
    t.artist = field("ARTIST", ref.tag()->artist());
    t.title = field("TITLE", ref.tag()->title());
    t.album = field("ALBUM", ref.tag()->album());
    if (ref.audioProperties() != nullptr && ref.audioProperties()->lengthInMilliseconds() > 0) {
        t.durationSeconds = (ref.audioProperties()->lengthInMilliseconds() + 500) / 1000;
    }
    if (t.artist.empty() || t.title.empty()) {
        *why = "its tags name no artist or no title";
        return std::nullopt;
    }
    return t;
}

void PrintWarnings(const Report& report) {
    for (const std::string& w : report.warnings) {
        std::fprintf(stderr, "strofix-lrc: fetch: warning: %s\n", w.c_str());
    }
}

int FetchOne(const Track& track, const std::optional<std::string>& song, const std::string& dir,
             const ClientOptions& options, bool retry) {
    // The song path Strofix will read: the given one, or the one the bridge publishes for a
    // track without a file; the lyrics file follows from it by the window's own rule.
    std::string songPath;
    if (song) {
        songPath = *song;
    } else {
        mpris::Track t;
        t.artists = {track.artist};
        t.title = track.title;
        songPath = mpris::SongPathFor(t).path;
    }
    std::string lyricsPath;
    std::string why;
    if (!lrc::LyricsPathForSong(dir, songPath, &lyricsPath, &why)) {
        std::fprintf(stderr, "strofix-lrc: fetch: %s\n", why.c_str());
        return tools::kExitFailure;
    }
    if (isatty(STDERR_FILENO)) {
        std::fprintf(stderr, "strofix-lrc: asking %s for %s...\n", options.baseUrl.c_str(),
                     Describe(track).c_str());
    }
    LyricsFetcher fetcher(options, MissMemory::DefaultPath());
    const Report report = fetcher.Run(track, lyricsPath, retry);
    PrintWarnings(report);
    if (!Stored(report.result)) {
        std::fprintf(stderr, "strofix-lrc: fetch: %s\n", report.message.c_str());
        return tools::kExitFailure;
    }
    // What LRCLIB matched, which may differ from what was asked in case or spelling.
    const Answer& a = report.answer;
    std::string found = "found on LRCLIB: " + Describe({a.artistName, a.trackName, "", -1});
    if (!a.albumName.empty()) found += ", album " + Describe({"", a.albumName, "", -1});
    if (a.duration > 0) found += ", " + Length(a.duration);
    std::printf("%s\n%s\n", found.c_str(), report.message.c_str());
    return std::fflush(stdout) == 0 ? tools::kExitOk : tools::kExitFailure;
}

int FetchMusic(const std::string& music, const std::string& dir, const ClientOptions& options,
               bool retry) {
    std::error_code ec;
    if (!fs::is_directory(music, ec)) {
        std::fprintf(stderr, "strofix-lrc: fetch: '%s' is not a directory\n", music.c_str());
        return tools::kExitFailure;
    }
    std::vector<fs::path> audio;
    for (auto it = fs::recursive_directory_iterator(
             music, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file(ec) && IsAudioFile(it->path())) audio.push_back(it->path());
    }
    if (ec) {
        std::fprintf(stderr, "strofix-lrc: fetch: cannot walk '%s': %s\n", music.c_str(),
                     ec.message().c_str());
        return tools::kExitFailure;
    }
    std::sort(audio.begin(), audio.end());

    const bool progress = isatty(STDERR_FILENO) != 0;
    const char* clear = progress ? "\r\033[K" : "";
    LyricsFetcher fetcher(options, MissMemory::DefaultPath());
    std::map<Result, int> counts;
    int noTags = 0;
    std::vector<std::string> failures;
    std::optional<std::chrono::steady_clock::time_point> lastRequest;
    for (std::size_t k = 0; k < audio.size(); ++k) {
        const fs::path& a = audio[k];
        if (progress) {
            std::fprintf(stderr, "%s[%zu/%zu] %s", clear, k + 1, audio.size(),
                         a.filename().string().c_str());
            std::fflush(stderr);
        }
        std::string lyricsPath;
        std::string why;
        if (!lrc::LyricsPathForSong(dir, "\\" + a.filename().string(), &lyricsPath, &why)) {
            failures.push_back(a.string() + ": " + why);
            continue;
        }
        if (fs::exists(fs::symlink_status(lyricsPath, ec))) {
            ++counts[Result::Present];
            continue;
        }
        const std::optional<Track> track = TrackFromTags(a, &why);
        if (!track) {
            ++noTags;
            std::fprintf(stderr, "%sstrofix-lrc: fetch: %s: skipped, %s\n", clear,
                         a.string().c_str(), why.c_str());
            continue;
        }
        // Kind to the service: a second at least from one request to the next.
        if (lastRequest) std::this_thread::sleep_until(*lastRequest + kRequestGap);
        const Report report = fetcher.Run(*track, lyricsPath, retry);
        if (report.result != Result::Present && report.result != Result::Remembered) {
            lastRequest = std::chrono::steady_clock::now();
        }
        ++counts[report.result];
        if (report.result == Result::Failed) failures.push_back(a.string() + ": " + report.message);
        if (progress) std::fprintf(stderr, "%s", clear);
        PrintWarnings(report);
        if (Stored(report.result)) std::printf("%s\n", report.message.c_str());
    }
    if (progress) std::fprintf(stderr, "%s", clear);
    std::printf("written: %d (%d of them instrumental)\n",
                counts[Result::Written] + counts[Result::Instrumental],
                counts[Result::Instrumental]);
    std::printf("skipped, lyrics file already present: %d\n", counts[Result::Present]);
    std::printf("skipped, no artist or title in the tags: %d\n", noTags);
    std::printf("not on LRCLIB: %d (%d remembered from an earlier try)\n",
                counts[Result::NotFound] + counts[Result::Remembered], counts[Result::Remembered]);
    std::printf("plain lyrics only, not written: %d\n", counts[Result::PlainOnly]);
    std::printf("failed: %zu\n", failures.size());
    for (const std::string& f : failures) std::printf("  %s\n", f.c_str());
    const bool flushed = std::fflush(stdout) == 0;
    return failures.empty() && flushed ? tools::kExitOk : tools::kExitFailure;
}

}  // namespace

int FetchCommand(tools::Args& args) {
    std::optional<std::string> artist, title, album, duration, song, dir, url, music;
    const std::map<std::string, std::optional<std::string>*> valued = {
        {"--artist", &artist},     {"--title", &title}, {"--album", &album},
        {"--duration", &duration}, {"--song", &song},   {"--dir", &dir},
        {"--lrclib-url", &url},    {"--music", &music}};
    bool retry = false;
    while (!args.Done()) {
        const std::string arg = args.Take();
        if (arg == "--retry") {
            retry = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            std::printf("usage:\n%s", kFetchUsage);
            return tools::kExitOk;
        }
        const auto it = valued.find(arg);
        if (it == valued.end()) return Usage("unexpected '" + arg + "'");
        std::string value;
        if (!args.TakeValue(arg, &value, it->second)) return Usage(args.Error());
        *it->second = value;
    }
    ClientOptions options;
    if (url) {
        std::string why;
        if (!ValidBaseUrl(*url, &why)) return Usage("--lrclib-url " + why);
        options.baseUrl = *url;
    }
    if (music) {
        if (artist || title || album || duration || song) {
            return Usage(
                "--music takes the tracks from the files' tags: no --artist, --title, "
                "--album, --duration or --song");
        }
        if (music->empty()) return Usage("--music wants a folder");
    } else {
        if (!artist || artist->empty()) return Usage("--artist wants the track's artist");
        if (!title || title->empty()) return Usage("--title wants the track's title");
    }
    Track track{artist.value_or(""), title.value_or(""), album.value_or(""), -1};
    if (duration) {
        const std::optional<int> s = ParseSeconds(*duration);
        if (!s) return Usage("--duration wants the length in seconds, like 201 or 200.7");
        track.durationSeconds = *s;
    }

    int qtArgc = 1;
    char qtName[] = "strofix-lrc";
    char* qtArgv[] = {qtName, nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    if (music) return FetchMusic(*music, dir.value_or(""), options, retry);
    return FetchOne(track, song, dir.value_or(""), options, retry);
}

}  // namespace fetch
