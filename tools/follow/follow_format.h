// What strofix-follow prints for the line the window shows: the plain text, or one JSON
// object a line in the form status bars' custom modules read.
#pragma once

#include <string>
#include <string_view>

namespace follow {

enum class LineClass { Lyric, NoLyrics, Idle };
enum class Format { Plain, Json };

struct ShownLine {
    std::string text;     // the text the lyric field shows, as the window holds it
    std::string tooltip;  // the song's file name
    LineClass lineClass = LineClass::Idle;

    bool operator==(const ShownLine&) const = default;
};

const char* ClassName(LineClass c);  // "lyric", "no-lyrics", "idle"

// The file name of a song path as the player writes it: what follows its last backslash,
// or the whole path when it has none.
std::string SongFileName(std::string_view songPath);

// `bytes` with every ill-formed UTF-8 sequence (stray continuation bytes, cut sequences,
// overlong forms, surrogates, values past U+10FFFF) replaced by U+FFFD, one for each
// maximal ill-formed part.
std::string ValidUtf8(std::string_view bytes);

// A JSON string literal of `utf8` (which must be valid UTF-8), quotes included.
std::string JsonString(std::string_view utf8);

// The line printed for `line`, line feed included. Plain: the text's bytes, with control
// characters (which would move the cursor or start a terminal sequence) turned into
// spaces. Json: {"text": ..., "tooltip": ..., "class": ...}, always valid JSON.
std::string FormatLine(const ShownLine& line, Format format);

}  // namespace follow
