// What the bridge publishes for a track: the song path Strofix reads from the block, from the
// track's file URL, or a made-up path whose file name is "<Artist> - <Title>" for a track
// that has no file. Standard library only, so it is tested without a bus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mpris {

// The parts of a track's MPRIS metadata the bridge uses. Text is UTF-8 as D-Bus carries it.
struct Track {
    std::string url;                   // xesam:url
    std::vector<std::string> artists;  // xesam:artist
    std::string title;                 // xesam:title
    std::string album;                 // xesam:album
    std::int64_t lengthUs = 0;         // mpris:length; 0 when unknown

    bool operator==(const Track&) const = default;
};

// Whether two tracks are the same song: all but the length, which players often send only
// once the file is open.
bool SameTrack(const Track& a, const Track& b);

// The longest song path the block holds (its path field less the NUL).
constexpr std::size_t kMaxSongPathBytes = 260;
// The longest "<Artist> - <Title>" part: with ".txt" it still fits a file name (255 bytes).
constexpr std::size_t kMaxLyricsBaseBytes = 251;

// The bytes of `text` with every %XY escape turned into its byte. A '%' that does not start
// two hexadecimal digits stays as it is.
std::string PercentDecode(std::string_view text);

// The local file a `file:` URL names, as raw bytes (never read as text, so a name that is
// not valid UTF-8 stays as it is on disk). Nothing for any other URL, a file URL of another
// host than localhost, or one whose path does not start with '/'. A query or fragment is not
// part of the path.
std::optional<std::string> LocalPathOfUrl(std::string_view url);

// Several artists as one: the non-empty ones joined with ", ".
std::string JoinArtists(const std::vector<std::string>& artists);

// "<Artist> - <Title>" (or "<Title>" without an artist) made safe as a file name: '/' and
// '\' become '_', control characters become spaces, runs of spaces become one, ends are
// trimmed, and the result is cut at a character boundary to kMaxLyricsBaseBytes. Empty when
// the title is. The lyrics file of such a track is this name with ".txt".
std::string LyricsBaseName(std::string_view artist, std::string_view title);

struct SongPath {
    std::string path;     // what goes into the block; empty publishes no song
    std::string problem;  // why the path is empty or shortened; empty when all is well
};

// The song path for a track. A local file gives "Z:" and the path with every '/' turned into
// '\' (`/home/u/Song.ogg` gives `Z:\home\u\Song.ogg`), or `Z:\Song.ogg` when the whole path
// does not fit the block; a file name that does not fit either, or holds a backslash, gives
// nothing. A track without a local file gives `Z:\<LyricsBaseName>.txt`, nothing without a
// title.
SongPath SongPathFor(const Track& track);

// A short one-line description of a track for messages: "Artist - Title", the title, or the
// URL, with control characters shown as spaces and cut to about `maxBytes`.
std::string DescribeTrack(const Track& track, std::size_t maxBytes = 200);

}  // namespace mpris
