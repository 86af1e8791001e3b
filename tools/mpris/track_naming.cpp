#include "tools/mpris/track_naming.h"

#include <algorithm>

namespace mpris {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

bool IsContinuationByte(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The length of the control character or line separator that starts at `at`, or 0: the C0
// controls and DEL, the C1 controls (U+0080 to U+009F) and U+2028, U+2029 in UTF-8.
std::size_t ControlLength(std::string_view s, std::size_t at) {
    const auto c = static_cast<unsigned char>(s[at]);
    if (c < 0x20 || c == 0x7F) return 1;
    if (c == 0xC2 && at + 1 < s.size()) {
        const auto next = static_cast<unsigned char>(s[at + 1]);
        if (next >= 0x80 && next <= 0x9F) return 2;
    }
    if (c == 0xE2 && at + 2 < s.size() && static_cast<unsigned char>(s[at + 1]) == 0x80) {
        const auto last = static_cast<unsigned char>(s[at + 2]);
        if (last == 0xA8 || last == 0xA9) return 3;
    }
    return 0;
}

// `text` with separators turned into '_' and control characters into single spaces, runs of
// spaces made one and both ends trimmed.
std::string SafeForFileName(std::string_view text) {
    std::string out;
    out.reserve(std::min<std::size_t>(text.size(), 4 * kMaxLyricsBaseBytes));
    bool pendingSpace = false;
    for (std::size_t i = 0; i < text.size();) {
        char c = text[i];
        std::size_t step = 1;
        if (const std::size_t control = ControlLength(text, i); control != 0) {
            c = ' ';
            step = control;
        } else if (c == '/' || c == '\\') {
            c = '_';
        }
        i += step;
        if (c == ' ') {
            pendingSpace = !out.empty();
            continue;
        }
        if (pendingSpace) out.push_back(' ');
        pendingSpace = false;
        out.push_back(c);
        // Far past what the name can hold: the rest would be cut anyway.
        if (out.size() > 2 * kMaxLyricsBaseBytes) break;
    }
    return out;
}

// `s` cut to at most `max` bytes without splitting a UTF-8 character, trailing spaces off.
std::string CutAtCharacter(std::string s, std::size_t max) {
    if (s.size() > max) {
        std::size_t end = max;
        while (end > 0 && IsContinuationByte(static_cast<unsigned char>(s[end]))) --end;
        s.resize(end);
    }
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

std::string FileNameTooLong(std::size_t bytes) {
    return "the file name is " + std::to_string(bytes) + " bytes long; the block holds at most " +
           std::to_string(kMaxSongPathBytes - 3) + " after Z:\\, so nothing is published";
}

}  // namespace

bool SameTrack(const Track& a, const Track& b) {
    return a.url == b.url && a.artists == b.artists && a.title == b.title && a.album == b.album;
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::optional<std::string> LocalPathOfUrl(std::string_view url) {
    constexpr std::string_view kScheme = "file:";
    if (url.size() < kScheme.size() || !EqualsIgnoringCase(url.substr(0, kScheme.size()), kScheme))
        return std::nullopt;
    std::string_view rest = url.substr(kScheme.size());
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && !EqualsIgnoringCase(host, "localhost")) return std::nullopt;
        if (slash == std::string_view::npos) return std::nullopt;
        rest.remove_prefix(slash);
    }
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (!rest.starts_with('/')) return std::nullopt;
    return PercentDecode(rest);
}

std::string JoinArtists(const std::vector<std::string>& artists) {
    std::string joined;
    for (const std::string& a : artists) {
        if (a.empty()) continue;
        if (!joined.empty()) joined += ", ";
        joined += a;
    }
    return joined;
}

std::string LyricsBaseName(std::string_view artist, std::string_view title) {
    const std::string safeTitle = SafeForFileName(title);
    if (safeTitle.empty()) return {};
    const std::string safeArtist = SafeForFileName(artist);
    std::string name = safeArtist.empty() ? safeTitle : safeArtist + " - " + safeTitle;
    return CutAtCharacter(std::move(name), kMaxLyricsBaseBytes);
}

SongPath SongPathFor(const Track& track) {
    if (const std::optional<std::string> local = LocalPathOfUrl(track.url)) {
        if (local->find('\0') != std::string::npos)
            return {{}, "the file URL holds a NUL byte, so nothing is published"};
        const std::string name = local->substr(local->rfind('/') + 1);
        if (name.empty()) return {{}, "the file URL names a folder, so nothing is published"};
        if (name.find('\\') != std::string::npos) {
            return {{},
                    "the file name holds a backslash, which Strofix would take for a folder, "
                    "so nothing is published"};
        }
        std::string path = "Z:" + *local;
        std::replace(path.begin(), path.end(), '/', '\\');
        if (path.size() <= kMaxSongPathBytes) return {path, {}};
        if (name.size() + 3 > kMaxSongPathBytes) return {{}, FileNameTooLong(name.size())};
        return {"Z:\\" + name, "the path is " + std::to_string(path.size()) +
                                   " bytes long, more than the block's " +
                                   std::to_string(kMaxSongPathBytes) +
                                   ", so only the file name is published"};
    }
    const std::string base = LyricsBaseName(JoinArtists(track.artists), track.title);
    if (base.empty()) return {{}, "the track has neither a local file nor a title"};
    return {"Z:\\" + base + ".txt", {}};
}

std::string DescribeTrack(const Track& track, std::size_t maxBytes) {
    const std::string artist = JoinArtists(track.artists);
    std::string text;
    if (!track.title.empty()) {
        text = artist.empty() ? track.title : artist + " - " + track.title;
    } else {
        text = track.url.empty() ? std::string("(no title)") : track.url;
    }
    std::string shown;
    for (std::size_t i = 0; i < text.size() && shown.size() < maxBytes + 8;) {
        const std::size_t control = ControlLength(text, i);
        shown.push_back(control != 0 ? ' ' : text[i]);
        i += control != 0 ? control : 1;
    }
    if (shown.size() > maxBytes) shown = CutAtCharacter(std::move(shown), maxBytes) + "...";
    return shown;
}

}  // namespace mpris
