// Synced lyrics embedded in an audio file's tags. Read with TagLib where the build has it
// (lrc_embedded_taglib.cpp); elsewhere lrc_embedded_none.cpp says it cannot.
#pragma once

#include <string>

namespace lrc {

struct EmbeddedLyrics {
    enum class Found {
        Synced,        // `lrc` holds LRC text with time tags
        UnsyncedOnly,  // lyrics without any time: nothing to convert
        None,          // no lyrics in the tags
        Unreadable,    // not an audio file the reader knows, or it could not be read
    };
    Found found = Found::None;
    std::string lrc;     // UTF-8 LRC text (ID3v2 SYLT stamps written as [mm:ss.xxx] tags)
    std::string source;  // which tag it came from, e.g. "ID3v2 SYLT", "Vorbis comment LYRICS"
    std::string error;   // for Unreadable
};

// Whether this build reads embedded lyrics at all.
bool EmbeddedLyricsSupported();

// The first synced lyrics of the file's tags, in this order: ID3v2 SYLT (millisecond
// stamps), SYNCEDLYRICS, then LYRICS / USLT / ©lyr / APE Lyrics holding LRC text, then
// UNSYNCEDLYRICS holding LRC text.
EmbeddedLyrics ReadEmbeddedLyrics(const std::string& path);

}  // namespace lrc
