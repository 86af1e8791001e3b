// Builds without TagLib (the Windows build): embedded lyrics are not read.
#include "tools/lrc/lrc_embedded.h"

namespace lrc {

bool EmbeddedLyricsSupported() {
    return false;
}

EmbeddedLyrics ReadEmbeddedLyrics(const std::string&) {
    EmbeddedLyrics e;
    e.found = EmbeddedLyrics::Found::Unreadable;
    e.error = "this build of strofix-lrc does not read embedded lyrics";
    return e;
}

}  // namespace lrc
