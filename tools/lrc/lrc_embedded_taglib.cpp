// Embedded lyrics through TagLib: ID3v2 SYLT and USLT, Vorbis comments (FLAC, Ogg, Opus),
// MP4 ©lyr and APE Lyrics, the last three through TagLib's property map, where they all
// appear as LYRICS (Vorbis comments keep SYNCEDLYRICS and UNSYNCEDLYRICS as they are).
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/synchronizedlyricsframe.h>
#include <taglib/tpropertymap.h>

#include <cstdio>
#include <vector>

#include "tools/lrc/lrc_convert.h"
#include "tools/lrc/lrc_embedded.h"

namespace lrc {

namespace {

std::string Utf8(const TagLib::String& s) {
    return s.to8Bit(true);
}

// SYLT with millisecond stamps as LRC lines.
bool SyltToLrc(TagLib::ID3v2::Tag* tag, std::string* lrc, std::string* note) {
    if (tag == nullptr) return false;
    for (TagLib::ID3v2::Frame* frame : tag->frameList("SYLT")) {
        auto* sylt = dynamic_cast<TagLib::ID3v2::SynchronizedLyricsFrame*>(frame);
        if (sylt == nullptr) continue;
        if (sylt->timestampFormat() !=
            TagLib::ID3v2::SynchronizedLyricsFrame::AbsoluteMilliseconds) {
            *note = "an ID3v2 SYLT frame timed in MPEG frames (only millisecond stamps are read)";
            continue;
        }
        std::string out;
        for (const auto& line : sylt->synchedText()) {
            std::string text = Utf8(line.text);
            // Some writers begin each line's text with its line break.
            while (!text.empty() && (text.front() == '\n' || text.front() == '\r')) {
                text.erase(0, 1);
            }
            const unsigned ms = line.time;
            char stamp[32];
            std::snprintf(stamp, sizeof stamp, "[%02u:%02u.%03u]", ms / 60000, ms / 1000 % 60,
                          ms % 1000);
            out += stamp + text + "\n";
        }
        if (!out.empty()) {
            *lrc = out;
            return true;
        }
    }
    return false;
}

}  // namespace

bool EmbeddedLyricsSupported() {
    return true;
}

EmbeddedLyrics ReadEmbeddedLyrics(const std::string& path) {
    EmbeddedLyrics e;
    TagLib::FileRef ref(path.c_str(), false);
    if (ref.isNull() || ref.file() == nullptr || !ref.file()->isValid()) {
        e.found = EmbeddedLyrics::Found::Unreadable;
        e.error = "not an audio file whose tags can be read";
        return e;
    }
    TagLib::File* file = ref.file();
    std::string note;
    TagLib::ID3v2::Tag* id3 = nullptr;
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file); mpeg != nullptr) {
        if (mpeg->hasID3v2Tag()) id3 = mpeg->ID3v2Tag();
    } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file); flac != nullptr) {
        if (flac->hasID3v2Tag()) id3 = flac->ID3v2Tag();
    }
    if (SyltToLrc(id3, &e.lrc, &note)) {
        e.found = EmbeddedLyrics::Found::Synced;
        e.source = "ID3v2 SYLT";
        return e;
    }

    const TagLib::PropertyMap props = file->properties();
    bool unsynced = false;
    for (const char* key : {"SYNCEDLYRICS", "LYRICS", "UNSYNCEDLYRICS"}) {
        const auto it = props.find(key);
        if (it == props.end()) continue;
        for (const TagLib::String& value : it->second) {
            const std::string text = Utf8(value);
            if (text.find_first_not_of(" \t\r\n") == std::string::npos) continue;
            if (HasTimeTags(text)) {
                e.found = EmbeddedLyrics::Found::Synced;
                e.lrc = text;
                e.source = std::string("tag ") + key;
                return e;
            }
            unsynced = true;
        }
    }
    e.found = unsynced ? EmbeddedLyrics::Found::UnsyncedOnly : EmbeddedLyrics::Found::None;
    if (!note.empty()) e.error = note;
    return e;
}

}  // namespace lrc
