#include "tools/mpris/publisher.h"

#include <utility>

namespace mpris {

Publisher::Publisher(BlockSink& sink, Log log) : sink_(sink), log_(std::move(log)) {}

void Publisher::Say(const std::string& line) const {
    if (log_) log_(line);
}

void Publisher::Publish(const Followed& state) {
    if (!written_ || state.player != player_) {
        if (written_ || !state.player.empty())
            Say(state.player.empty() ? "following no player" : "following " + state.player);
        player_ = state.player;
        track_.reset();
    }
    const bool active = !state.player.empty() &&
                        (state.status == Status::Playing || state.status == Status::Paused);
    active_ = active;
    if (active) {
        if (track_ && SameTrack(*track_, state.track)) {
            track_->lengthUs = state.track.lengthUs;  // known later than the rest, at times
        } else {
            track_ = state.track;
            song_ = SongPathFor(state.track);
            Say("track: " + DescribeTrack(state.track));
            if (!song_.problem.empty()) Say("note: " + song_.problem);
            const TrackChange change{state.player,         JoinArtists(state.track.artists),
                                     state.track.title,    state.track.album,
                                     state.track.lengthUs, song_.path};
            for (const TrackListener& listener : listeners_) listener(change);
        }
    } else {
        track_.reset();  // playing the same track again after a stop is a new start
    }
    static const std::string kNoPath;
    const std::string& path = active ? song_.path : kNoPath;
    const std::uint32_t position = active ? state.positionMs : 0;
    if (!written_ || path != path_) {
        // The reader takes a new path with the position beside it: the position goes first.
        sink_.WritePosition(position);
        sink_.WritePath(path);
        if (written_ || !path.empty()) Say(path.empty() ? "path: (none)" : "path: " + path);
        path_ = path;
        position_ = position;
        written_ = true;
    } else if (position != position_) {
        sink_.WritePosition(position);
        position_ = position;
    }
}

void Publisher::PublishPosition(std::uint32_t ms) {
    if (!written_ || !active_ || ms == position_) return;
    sink_.WritePosition(ms);
    position_ = ms;
}

void Publisher::ClearPath() {
    sink_.WritePath("");
    path_.clear();
}

}  // namespace mpris
