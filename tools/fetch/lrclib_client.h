// The one HTTP client of the project: asks LRCLIB for a track's lyrics. QtNetwork with the
// system's certificates verified, bounded in time and size.
//
// Use it asynchronously from a running Qt event loop (Fetch: the callback comes later on
// that loop, which is never blocked), or synchronously from a command-line tool
// (FetchAndWait: runs a local event loop until the answer is in). Either way a
// QCoreApplication must exist.
#pragma once

#include <QByteArray>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

class QNetworkAccessManager;

namespace fetch {

constexpr char kDefaultBaseUrl[] = "https://lrclib.net";

// What we know of a track. Artist and title are needed; album empty and duration < 0
// mean unknown.
struct Track {
    std::string artist;
    std::string title;
    std::string album;
    int durationSeconds = -1;
};

struct ClientOptions {
    std::string baseUrl = kDefaultBaseUrl;
    int connectTimeoutMs = 5000;  // until the request is on its way (TCP, and TLS for https)
    int totalTimeoutMs = 10000;   // from the start to the last byte of the answer
    std::int64_t maxBodyBytes = 1 << 20;
    // Certificates trusted besides the system's (PEM file; tests only). Verification
    // itself is never turned off.
    std::string extraCaFile;
};

enum class Outcome {
    Synced,        // time-tagged lyrics in `synced`
    PlainOnly,     // lyrics without times in `plain`, nothing to convert
    Instrumental,  // the track has no words
    NotFound,      // LRCLIB has no such track (404), or an answer without any lyrics
    Failed,        // no usable answer: network, timeout, server error, refused body, bad JSON
};

struct Answer {
    Outcome outcome = Outcome::Failed;
    std::string synced;
    std::string plain;
    std::string trackName;  // what LRCLIB matched, for the user to see
    std::string artistName;
    std::string albumName;
    double duration = 0;
    int httpStatus = 0;  // 0 when no HTTP answer came
    std::string error;   // why, for NotFound and Failed
};

// "strofix/<version> (<homepage>)", as LRCLIB asks clients to name themselves.
std::string UserAgent();

// Checks a base URL given by the user: http or https, a host, no query or fragment.
// False with `error` saying why.
bool ValidBaseUrl(const std::string& url, std::string* error);

// GET <base>/api/get?track_name=&artist_name=[&album_name=][&duration=], every value
// percent-encoded byte by byte (a '+' or '&' in a title stays part of the title).
QUrl BuildGetUrl(const std::string& baseUrl, const Track& track);

// Turns an HTTP status and body into an answer. Pure; the client's last step.
Answer ParseAnswer(int httpStatus, const QByteArray& body);

class Client {
public:
    explicit Client(ClientOptions options = {});
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    using Done = std::function<void(const Answer&)>;

    // Starts the request and returns at once; `done` is called once, later, from the event
    // loop. False (and `done` never called) when a request for the same track is still in
    // flight: at most one per track.
    bool Fetch(const Track& track, Done done);

    // Fetch, then a local event loop until the answer is in (at most the total timeout).
    Answer FetchAndWait(const Track& track);

    bool InFlight(const Track& track) const;
    const ClientOptions& Options() const { return options_; }

private:
    ClientOptions options_;
    std::unique_ptr<QNetworkAccessManager> manager_;
    std::set<std::string> inFlight_;
};

// The key that names a track in the miss memory and in the in-flight set: artist, title and
// album compared without ASCII case and surrounding blanks, and the duration in seconds.
std::string TrackKey(const Track& track);

}  // namespace fetch
