// `strofix-lrc fetch` on Linux: the lyrics-fetch library, run to its end on a local event
// loop.
#include "tools/fetch/fetch_command.h"

#include <unistd.h>

#include <QCoreApplication>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "tools/fetch/lyrics_fetcher.h"
#include "tools/lrc/lrc_convert.h"
#include "tools/mpris/track_naming.h"

namespace fetch {

const char kFetchUsage[] =
    "       strofix-lrc fetch --artist A --title T [--album B] [--duration S]\n"
    "                         [--song SONG_PATH] [--dir DIR] [--lrclib-url URL] [--retry]\n"
    "         fetch the track's synced lyrics from LRCLIB (https://lrclib.net unless URL\n"
    "         says otherwise) and write them, converted, into the lyrics directory DIR,\n"
    "         named as Strofix looks for SONG_PATH, or else '<Artist> - <Title>.txt' as\n"
    "         strofix-mpris names a track without a file; an existing file is never\n"
    "         replaced. S: the track's length in seconds. A miss is remembered for 24\n"
    "         hours; --retry asks again\n";

namespace {

int Usage(const std::string& why) {
    std::fprintf(stderr, "strofix-lrc: fetch: %s\nusage:\n%s", why.c_str(), kFetchUsage);
    return tools::kExitUsage;
}

// Seconds, with an optional fraction, rounded to the nearest second; at most a day.
std::optional<int> ParseSeconds(const std::string& s) {
    const std::size_t dot = s.find('.');
    const std::string whole = s.substr(0, dot);
    const std::optional<std::uint32_t> n = tools::ParseUint32(whole);
    if (!n || *n > 86400) return std::nullopt;
    if (dot == std::string::npos) return static_cast<int>(*n);
    const std::string fraction = s.substr(dot + 1);
    if (fraction.empty() || !tools::ParseUint32(fraction.substr(0, 9))) return std::nullopt;
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

}  // namespace

int FetchCommand(tools::Args& args) {
    std::optional<std::string> artist, title, album, duration, song, dir, url;
    bool retry = false;
    while (!args.Done()) {
        const std::string arg = args.Take();
        std::string value;
        std::optional<std::string>* slot = nullptr;
        if (arg == "--artist")
            slot = &artist;
        else if (arg == "--title")
            slot = &title;
        else if (arg == "--album")
            slot = &album;
        else if (arg == "--duration")
            slot = &duration;
        else if (arg == "--song")
            slot = &song;
        else if (arg == "--dir")
            slot = &dir;
        else if (arg == "--lrclib-url")
            slot = &url;
        else if (arg == "--retry") {
            retry = true;
            continue;
        } else if (arg == "-h" || arg == "--help") {
            std::printf("usage:\n%s", kFetchUsage);
            return tools::kExitOk;
        } else {
            return Usage("unexpected '" + arg + "'");
        }
        if (!args.TakeValue(arg, &value, slot)) return Usage(args.Error());
        *slot = value;
    }
    if (!artist || artist->empty()) return Usage("--artist wants the track's artist");
    if (!title || title->empty()) return Usage("--title wants the track's title");
    Track track{*artist, *title, album.value_or(""), -1};
    if (duration) {
        const std::optional<int> s = ParseSeconds(*duration);
        if (!s) return Usage("--duration wants the length in seconds, like 201 or 200.7");
        track.durationSeconds = *s;
    }
    ClientOptions options;
    if (url) {
        std::string why;
        if (!ValidBaseUrl(*url, &why)) return Usage("--lrclib-url " + why);
        options.baseUrl = *url;
    }

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
    if (!lrc::LyricsPathForSong(dir.value_or(""), songPath, &lyricsPath, &why)) {
        std::fprintf(stderr, "strofix-lrc: fetch: %s\n", why.c_str());
        return tools::kExitFailure;
    }

    int qtArgc = 1;
    char qtName[] = "strofix-lrc";
    char* qtArgv[] = {qtName, nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    if (isatty(STDERR_FILENO)) {
        std::fprintf(stderr, "strofix-lrc: asking %s for %s...\n", options.baseUrl.c_str(),
                     Describe(track).c_str());
    }
    LyricsFetcher fetcher(options, MissMemory::DefaultPath());
    const Report report = fetcher.Run(track, lyricsPath, retry);
    for (const std::string& w : report.warnings) {
        std::fprintf(stderr, "strofix-lrc: fetch: warning: %s\n", w.c_str());
    }
    if (!Stored(report.result)) {
        std::fprintf(stderr, "strofix-lrc: fetch: %s\n", report.message.c_str());
        return tools::kExitFailure;
    }
    // What LRCLIB matched, which may differ from what was asked in case or spelling.
    const Answer& a = report.answer;
    std::string found = "found on LRCLIB: " + Describe({a.artistName, a.trackName, "", -1});
    if (!a.albumName.empty()) found += ", album " + Describe({"", a.albumName, "", -1});
    if (a.duration > 0) found += ", " + Length(a.duration);
    std::printf("%s\n", found.c_str());
    std::printf("%s\n", report.message.c_str());
    return std::fflush(stdout) == 0 ? tools::kExitOk : tools::kExitFailure;
}

}  // namespace fetch
