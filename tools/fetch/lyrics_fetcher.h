// Fetching one track's lyrics into the lyrics directory: the miss memory asked first, then
// LRCLIB, then the synced lyrics through the strofix-lrc conversion into the file Strofix
// will look for. Never overwrites a file. Used by `strofix-lrc fetch` (synchronously) and by
// `strofix-mpris --fetch` (asynchronously, from its event loop).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/fetch/lrclib_client.h"
#include "tools/fetch/miss_memory.h"

class QObject;

namespace fetch {

// What a fetched instrumental track's lyrics file holds: one line from 0 s.
constexpr char kInstrumentalFile[] = "[00:00](instrumental)\n";

enum class Result {
    Written,       // synced lyrics converted and written
    Instrumental,  // the one-line instrumental file written
    Present,       // a lyrics file is there already; nothing asked, nothing written
    PlainOnly,     // LRCLIB has lyrics without times only; nothing written (remembered)
    NotFound,      // LRCLIB has nothing (remembered for 24 hours)
    Remembered,    // a miss less than 24 hours old; nothing asked
    Failed,        // no answer, a bad one, or the file could not be written
};

struct Report {
    Result result = Result::Failed;
    std::string message;                // one line for the user
    std::string path;                   // the lyrics file
    std::vector<std::string> warnings;  // the conversion's
    Answer answer;
};

bool Stored(Result r);  // Written or Instrumental

// "Artist - Title" for messages.
std::string Describe(const Track& track);

class LyricsFetcher {
public:
    // `missMemoryPath` empty: no miss memory.
    LyricsFetcher(ClientOptions options, std::string missMemoryPath);
    ~LyricsFetcher();
    LyricsFetcher(const LyricsFetcher&) = delete;
    LyricsFetcher& operator=(const LyricsFetcher&) = delete;

    using Done = std::function<void(const Report&)>;

    // Fetches `track` into `lyricsPath`. Done is called later from the event loop, or not at
    // all when false is returned: a fetch for this track is running. `askAgain` asks LRCLIB
    // even when a miss is remembered.
    bool Start(const Track& track, const std::string& lyricsPath, Done done, bool askAgain = false);

    // Start, and a local event loop until the report is in.
    Report Run(const Track& track, const std::string& lyricsPath, bool askAgain = false);

    bool InFlight(const Track& track) const { return client_.InFlight(track); }

private:
    Report Finish(const Track& track, const std::string& lyricsPath, const Answer& answer);
    void RememberMiss(const Track& track, Report* report);

    Client client_;
    std::string missMemoryPath_;
    std::unique_ptr<QObject> context_;  // owns the calls queued for the event loop
};

}  // namespace fetch
