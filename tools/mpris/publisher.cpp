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
    SongPath song;
    if (active) {
        song = SongPathFor(state.track);
        if (track_ && SameTrack(*track_, state.track)) {
            track_->lengthUs = state.track.lengthUs;  // known later than the rest, at times
        } else {
            track_ = state.track;
            Say("track: " + DescribeTrack(state.track));
            if (!song.problem.empty()) Say("note: " + song.problem);
            const TrackChange change{state.player,      JoinArtists(state.track.artists),
                                     state.track.title, state.track.album,
                                     state.track.lengthUs, song.path};
            for (const TrackListener& listener : listeners_) listener(change);
        }
    } else {
        track_.reset();  // playing the same track again after a stop is a new start
    }
    const std::uint32_t position = active ? state.positionMs : 0;
    if (!written_ || song.path != path_) {
        // The reader takes a new path with the position beside it: the position goes first.
        sink_.WritePosition(position);
        sink_.WritePath(song.path);
        if (written_ || !song.path.empty())
            Say(song.path.empty() ? "path: (none)" : "path: " + song.path);
        path_ = song.path;
        position_ = position;
        written_ = true;
    } else if (position != position_) {
        sink_.WritePosition(position);
        position_ = position;
    }
}

void Publisher::ClearPath() {
    sink_.WritePath("");
    path_.clear();
}

}  // namespace mpris
