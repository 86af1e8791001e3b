// Turns the state of the followed player into writes to the block, in the order the reader
// needs, and tells the listeners when the followed track changes. Standard library only: the
// block is behind BlockSink, so the rules are tested without shared memory or a bus.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tools/mpris/player_choice.h"
#include "tools/mpris/track_naming.h"

namespace mpris {

class BlockSink {
public:
    virtual ~BlockSink() = default;
    virtual void WritePosition(std::uint32_t ms) = 0;
    virtual void WritePath(const std::string& path) = 0;
};

// What the bridge knows of the player it follows.
struct Followed {
    std::string player;  // bus name; empty when no player is followed
    Status status = Status::Stopped;
    Track track;
    std::uint32_t positionMs = 0;
};

// The followed track changed: what a listener (a lyrics fetch, say) needs to know of it.
struct TrackChange {
    std::string player;
    std::string artist;  // the artists joined with ", "
    std::string title;
    std::string album;
    std::int64_t lengthUs = 0;  // 0 when unknown
    std::string songPath;       // the path published for it; empty when none is
};

class Publisher {
public:
    using Log = std::function<void(const std::string& line)>;
    using TrackListener = std::function<void(const TrackChange&)>;

    // `log` gets one line whenever the followed player, the track or the published path
    // changes, and once per track the reason a path is shortened or left out; it may be empty.
    Publisher(BlockSink& sink, Log log);

    // Called for every track the bridge starts to follow while it plays or is paused.
    void AddTrackListener(TrackListener listener) { listeners_.push_back(std::move(listener)); }

    // Writes what `state` asks for at once. Playing or paused: the track's song path and the
    // position; stopped, or no player: an empty path and position 0. When the path changes
    // the position is written first. The first call always writes.
    void Publish(const Followed& state);
    // Only the position moved (the clock ran on): written while a song is published, as
    // Publish would write it, without looking at anything else.
    void PublishPosition(std::uint32_t ms);
    // Clears the song path (the bridge is ending); the position is left as it is.
    void ClearPath();

    const std::string& PublishedPath() const { return path_; }

private:
    void Say(const std::string& line) const;

    BlockSink& sink_;
    Log log_;
    std::vector<TrackListener> listeners_;
    bool written_ = false;
    std::string player_;
    std::optional<Track> track_;  // the track followed while playing or paused
    SongPath song_;               // for track_
    bool active_ = false;
    std::string path_;
    std::uint32_t position_ = 0;
};

}  // namespace mpris
