#include "tools/fetch/bridge_fetch.h"

#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "tools/lrc/lrc_convert.h"

namespace fetch {

BridgeFetch::BridgeFetch(ClientOptions options, std::string missMemoryPath, std::string lyricsDir,
                         Log log)
    : fetcher_(options, std::move(missMemoryPath)),
      lyricsDir_(std::move(lyricsDir)),
      baseUrl_(options.baseUrl),
      log_(std::move(log)) {}

Track BridgeFetch::TrackOf(const mpris::TrackChange& change) {
    Track t{change.artist, change.title, change.album, -1};
    if (change.lengthUs > 0) {
        t.durationSeconds = static_cast<int>(
            std::min<std::int64_t>((change.lengthUs + 500'000) / 1'000'000, 7 * 24 * 60 * 60));
    }
    return t;
}

void BridgeFetch::OnTrack(const mpris::TrackChange& change) {
    if (change.songPath.empty() || change.title.empty()) return;  // nothing Strofix would load
    std::string lyricsPath;
    std::string why;
    if (!lrc::LyricsPathForSong(lyricsDir_, change.songPath, &lyricsPath, &why)) {
        if (log_) log_("fetch: no lyrics file name for this track: " + why);
        return;
    }
    struct stat st {};
    if (lstat(lyricsPath.c_str(), &st) == 0) return;  // Strofix has its lyrics
    const Track track = TrackOf(change);
    if (track.artist.empty()) {
        if (log_) log_("fetch: " + Describe(track) + " names no artist; LRCLIB needs one");
        return;
    }
    const bool started = fetcher_.Start(track, lyricsPath, [this](const Report& report) {
        if (log_) log_("fetch: " + report.message);
        for (const std::string& w : report.warnings) {
            if (log_) log_("fetch: warning: " + w);
        }
    });
    if (log_) {
        log_(started ? "fetch: no lyrics file for " + Describe(track) + " yet; looking it up (" +
                           baseUrl_ + ")"
                     : "fetch: the lyrics of " + Describe(track) + " are being fetched already");
    }
}

}  // namespace fetch
