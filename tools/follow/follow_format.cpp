#include "tools/follow/follow_format.h"

#include <cstdio>

namespace follow {

namespace {
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool InRange(unsigned char c, unsigned char low, unsigned char high) {
    return c >= low && c <= high;
}
}  // namespace

const char* ClassName(LineClass c) {
    switch (c) {
        case LineClass::Lyric:
            return "lyric";
        case LineClass::NoLyrics:
            return "no-lyrics";
        case LineClass::Idle:
            break;
    }
    return "idle";
}

std::string SongFileName(std::string_view songPath) {
    const std::size_t slash = songPath.rfind('\\');
    return std::string(slash == std::string_view::npos ? songPath : songPath.substr(slash + 1));
}

std::string ValidUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        // The length the lead byte announces and the range its first continuation byte
        // must fall in (which rules out overlong forms, surrogates and values past
        // U+10FFFF).
        int length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (InRange(lead, 0xC2, 0xDF)) {
            length = 2;
        } else if (lead == 0xE0) {
            length = 3;
            low = 0xA0;
        } else if (InRange(lead, 0xE1, 0xEC) || InRange(lead, 0xEE, 0xEF)) {
            length = 3;
        } else if (lead == 0xED) {
            length = 3;
            high = 0x9F;
        } else if (lead == 0xF0) {
            length = 4;
            low = 0x90;
        } else if (InRange(lead, 0xF1, 0xF3)) {
            length = 4;
        } else if (lead == 0xF4) {
            length = 4;
            high = 0x8F;
        }
        if (length == 0) {  // a continuation byte without lead, or a byte never used
            out += kReplacement;
            ++i;
            continue;
        }
        std::size_t n = 1;
        while (n < static_cast<std::size_t>(length) && i + n < bytes.size()) {
            const auto c = static_cast<unsigned char>(bytes[i + n]);
            const bool fits = n == 1 ? InRange(c, low, high) : InRange(c, 0x80, 0xBF);
            if (!fits) break;
            ++n;
        }
        if (n == static_cast<std::size_t>(length)) {
            out.append(bytes.substr(i, n));
        } else {
            out += kReplacement;  // the cut sequence; the byte that cut it starts afresh
        }
        i += n;
    }
    return out;
}

std::string JsonString(std::string_view utf8) {
    std::string out = "\"";
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += ch;
        }
    }
    out += '"';
    return out;
}

std::string FormatLine(const ShownLine& line, Format format) {
    if (format == Format::Json) {
        return "{\"text\": " + JsonString(ValidUtf8(line.text)) +
               ", \"tooltip\": " + JsonString(ValidUtf8(line.tooltip)) + ", \"class\": \"" +
               ClassName(line.lineClass) + "\"}\n";
    }
    std::string out = line.text;
    for (char& ch : out) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) ch = ' ';
    }
    out += '\n';
    return out;
}

}  // namespace follow
