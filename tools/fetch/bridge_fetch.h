// `strofix-mpris --fetch`: when the bridge starts to follow a track whose lyrics file is
// missing, the lyrics are fetched in the background, on the bridge's own event loop, which
// goes on writing the block meanwhile. Strofix retries a missing file on every tick, so it
// shows the lyrics as soon as the file is there.
#pragma once

#include <functional>
#include <string>

#include "tools/fetch/lyrics_fetcher.h"
#include "tools/mpris/publisher.h"

namespace fetch {

class BridgeFetch {
public:
    using Log = std::function<void(const std::string& line)>;

    // `lyricsDir` empty: the directory set in Strofix.ini, read again at every track (the
    // user may change it in Strofix while the bridge runs). `log` gets one line when a fetch
    // starts and one when it ends (the bridge's --verbose).
    BridgeFetch(ClientOptions options, std::string missMemoryPath, std::string lyricsDir, Log log);

    // A track the bridge now follows.
    void OnTrack(const mpris::TrackChange& change);

    // The track as LRCLIB is asked for it: artists as the bridge joins them, the length in
    // whole seconds (rounded; unknown when 0).
    static Track TrackOf(const mpris::TrackChange& change);

private:
    LyricsFetcher fetcher_;
    std::string lyricsDir_;
    std::string baseUrl_;
    Log log_;
};

}  // namespace fetch
