#include "tools/lrc/lrc_convert.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <system_error>

#include "sync/lyrics_file.h"
#include "tools/lrc/lrc_os.h"

namespace lrc {

namespace {

constexpr std::size_t kMaxLineBytes = kLineBufferSize - 1;  // what one read of the loader takes
constexpr std::size_t kTagBytes = 7;                        // "[mm:ss]"
constexpr std::uint32_t kMaxSeconds = 100 * 60;             // [99:59] is the last that fits
constexpr char kReplacement = '?';
const char kUtf8Replacement[] = "\xEF\xBF\xBD";

std::string Plural(long long n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Clock(std::uint32_t seconds) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02u:%02u", seconds / 60, seconds % 60);
    return buf;
}

// ---- Decoding -------------------------------------------------------------------------

// The length of the valid UTF-8 sequence at s[i], or 0 when there is none (overlong forms,
// surrogates and values past U+10FFFF are not valid).
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char c = b(0);
    if (c < 0x80) return 1;
    std::size_t len = 0;
    unsigned lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    if (b(1) < lo || b(1) > hi) return 0;
    for (std::size_t k = 2; k < len; ++k) {
        if (b(k) < 0x80 || b(k) > 0xBF) return 0;
    }
    return len;
}

bool IsValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = Utf8SequenceLength(s, i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

// UTF-8 with every invalid byte turned into U+FFFD.
std::string RepairUtf8(std::string_view s, int* replaced) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = Utf8SequenceLength(s, i);
        if (len == 0) {
            out += kUtf8Replacement;
            ++*replaced;
            ++i;
        } else {
            out.append(s.substr(i, len));
            i += len;
        }
    }
    return out;
}

void AppendUtf8(std::string* out, std::uint32_t cp) {
    if (cp < 0x80) {
        *out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out += static_cast<char>(0xC0 | (cp >> 6));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out += static_cast<char>(0xE0 | (cp >> 12));
        *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (cp >> 18));
        *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16 (after its BOM) to UTF-8; unpaired surrogates and an odd last byte become U+FFFD.
std::string DecodeUtf16(std::string_view s, bool bigEndian, int* replaced) {
    std::string out;
    out.reserve(s.size());
    const auto unit = [&](std::size_t i) -> std::uint32_t {
        const auto a = static_cast<unsigned char>(s[i]);
        const auto b = static_cast<unsigned char>(s[i + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    std::size_t i = 0;
    for (; i + 1 < s.size(); i += 2) {
        std::uint32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 3 < s.size()) {
                const std::uint32_t low = unit(i + 2);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    AppendUtf8(&out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                    i += 2;
                    continue;
                }
            }
            c = 0xFFFD;
            ++*replaced;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            c = 0xFFFD;
            ++*replaced;
        }
        AppendUtf8(&out, c);
    }
    if (i < s.size()) {
        out += kUtf8Replacement;
        ++*replaced;
    }
    return out;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

// The text as UTF-8, from a BOM, valid UTF-8 or the code page given.
bool Decode(std::string_view bytes, const std::string& fromEncoding, std::string* utf8,
            std::vector<std::string>* warnings, std::string* error) {
    int replaced = 0;
    const char* what = nullptr;
    if (StartsWith(bytes, "\xEF\xBB\xBF")) {
        *utf8 = RepairUtf8(bytes.substr(3), &replaced);
        what = "UTF-8 (BOM)";
    } else if (StartsWith(bytes, "\xFF\xFE")) {
        *utf8 = DecodeUtf16(bytes.substr(2), false, &replaced);
        what = "UTF-16LE";
    } else if (StartsWith(bytes, "\xFE\xFF")) {
        *utf8 = DecodeUtf16(bytes.substr(2), true, &replaced);
        what = "UTF-16BE";
    } else if (IsValidUtf8(bytes)) {
        *utf8 = std::string(bytes);
        return true;
    } else if (fromEncoding.empty()) {
        *error =
            "the file is not valid UTF-8 and has no byte-order mark: give its code page with "
            "--from-encoding CODEPAGE (e.g. GBK, CP1251, CP1252)";
        return false;
    } else {
        if (!os::DecodeToUtf8(fromEncoding, bytes, utf8, &replaced, error)) {
            *error += " (--from-encoding)";
            return false;
        }
        what = fromEncoding.c_str();
    }
    if (replaced > 0) {
        warnings->push_back(Plural(replaced, "byte sequence", "byte sequences") + " not valid in " +
                            what + " replaced by U+FFFD");
    }
    return true;
}

// ---- Lines and tags -------------------------------------------------------------------

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// A run of decimal digits (at most `maxDigits`) at s[*i]; false when there is none or the
// run is longer.
bool TakeNumber(std::string_view s, std::size_t* i, std::size_t maxDigits, long long* value,
                std::size_t* digits = nullptr) {
    std::size_t k = *i;
    long long v = 0;
    while (k < s.size() && IsDigit(s[k])) {
        if (k - *i == maxDigits) return false;
        v = v * 10 + (s[k] - '0');
        ++k;
    }
    if (k == *i) return false;
    if (digits != nullptr) *digits = k - *i;
    *value = v;
    *i = k;
    return true;
}

// A number with an optional minus sign, a negative one counting as 0.
bool TakeSignedPart(std::string_view s, std::size_t* i, long long* value) {
    bool negative = false;
    if (*i < s.size() && s[*i] == '-') {
        negative = true;
        ++*i;
    }
    if (!TakeNumber(s, i, 9, value)) return false;
    if (negative) *value = 0;
    return true;
}

// A time tag at s[pos] opened by `open` and closed by `close`: m:ss, mm:ss, mm:ss.x,
// mm:ss.xx, mm:ss.xxx or mm:ss:xx (a fraction of 1 to 3 digits after '.' or ':').
// Sets *end past the closing character and *ms to the time in milliseconds.
bool ParseTimeTag(std::string_view s, std::size_t pos, char open, char close, std::size_t* end,
                  long long* ms) {
    if (pos >= s.size() || s[pos] != open) return false;
    std::size_t i = pos + 1;
    long long minutes = 0, seconds = 0, fraction = 0;
    if (!TakeSignedPart(s, &i, &minutes)) return false;
    if (i >= s.size() || s[i] != ':') return false;
    ++i;
    if (!TakeSignedPart(s, &i, &seconds)) return false;
    if (i < s.size() && (s[i] == '.' || s[i] == ':')) {
        ++i;
        std::size_t digits = 0;
        if (!TakeNumber(s, &i, 3, &fraction, &digits)) return false;
        for (; digits < 3; ++digits) fraction *= 10;
    }
    if (i >= s.size() || s[i] != close) return false;
    *end = i + 1;
    *ms = minutes * 60000 + seconds * 1000 + fraction;
    return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

enum class OffsetTag { None, Valid, Invalid };

// [offset:±N] in any case, with blanks allowed around the name, the colon and the number.
OffsetTag ParseOffsetTag(std::string_view line, long long* offset) {
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size() || line[i] != '[') return OffsetTag::None;
    ++i;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (!EqualsNoCase(line.substr(i, 6), "offset")) return OffsetTag::None;
    i += 6;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size() || line[i] != ':') return OffsetTag::None;
    ++i;
    while (i < line.size() && IsBlank(line[i])) ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
    long long value = 0;
    if (!TakeNumber(line, &i, 9, &value)) return OffsetTag::Invalid;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size() || line[i] != ']') return OffsetTag::Invalid;
    *offset = negative ? -value : value;
    return OffsetTag::Valid;
}

// A metadata line: [name:...] with a name of letters (ar, ti, al, by, length, ...).
bool IsMetadataLine(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size() || line[i] != '[') return false;
    std::size_t k = i + 1;
    while (k < line.size() &&
           ((line[k] >= 'a' && line[k] <= 'z') || (line[k] >= 'A' && line[k] <= 'Z'))) {
        ++k;
    }
    return k > i + 1 && k < line.size() && line[k] == ':' &&
           line.find(']', k) != std::string_view::npos;
}

// The lyric text after the leading tags: word tags <mm:ss.xx> and time tags in mid-line
// removed, control characters as blanks, '[' and ']' as '(' and ')', runs of blanks as one
// space, no blanks at either end.
std::string CleanText(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    bool pendingSpace = false;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t end = 0;
        long long ms = 0;
        if (ParseTimeTag(s, i, '<', '>', &end, &ms) || ParseTimeTag(s, i, '[', ']', &end, &ms)) {
            i = end;
            continue;
        }
        char c = s[i++];
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == ' ') {
            pendingSpace = !out.empty();
            continue;
        }
        if (c == '[') c = '(';
        if (c == ']') c = ')';
        if (pendingSpace) out += ' ';
        pendingSpace = false;
        out += c;
    }
    return out;
}

struct Timed {
    long long ms;
    std::string text;
    std::size_t order;  // the tag's place in the file, for entries of the same second
};

struct Entry {
    std::uint32_t seconds;
    std::string text;  // in the output encoding, cut to fit the line
};

// ---- Encoding -------------------------------------------------------------------------

std::string NormalisedName(const std::string& name) {
    std::string n;
    for (const char c : name) {
        if (c == '-' || c == '_') continue;
        n += (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    }
    return n;
}

// Writes UTF-8 text in the output encoding, cut at a character boundary to `limit` bytes.
class TextEncoder {
public:
    bool Open(const std::string& name, std::string* error) {
        name_ = name;
        if (NormalisedName(name) == "UTF8") return true;
        encoder_ = os::OpenEncoder(name, error);
        if (encoder_ == nullptr) *error += " (--to-encoding)";
        return encoder_ != nullptr;
    }

    // Returns the encoded text; *cut tells whether characters were left off.
    std::string Encode(std::string_view utf8, std::size_t limit, bool* cut) {
        std::string out;
        *cut = false;
        for (std::size_t i = 0; i < utf8.size();) {
            std::size_t len = Utf8SequenceLength(utf8, i);
            if (len == 0) len = 1;  // cannot happen after decoding; one byte then
            const std::string_view ch = utf8.substr(i, len);
            i += len;
            std::string bytes;
            if (encoder_ == nullptr) {
                bytes = ch;
            } else if (!encoder_->Encode(ch, &bytes)) {
                bytes = kReplacement;
                ++replaced_;
            } else if (len > 1 && !SafeBytes(bytes)) {
                // A multibyte code page whose trail byte is '[' or ']' (GBK, Shift_JIS, ...):
                // the loader would take it for a bracket and lose the text.
                bytes = kReplacement;
                ++unsafe_;
            }
            if (out.size() + bytes.size() > limit) {
                *cut = true;
                break;
            }
            out += bytes;
        }
        return out;
    }

    void Warn(std::vector<std::string>* warnings) const {
        if (replaced_ > 0) {
            warnings->push_back(Plural(replaced_, "character", "characters") + " that " + name_ +
                                " cannot hold replaced by '?'");
        }
        if (unsafe_ > 0) {
            warnings->push_back(Plural(unsafe_, "character", "characters") + " whose " + name_ +
                                " bytes hold '[', ']' or a line break replaced by '?' (the "
                                "loader would read them as brackets)");
        }
    }

private:
    static bool SafeBytes(const std::string& bytes) {
        for (const char c : bytes) {
            if (c == '[' || c == ']' || c == '\n' || c == '\r' || c == '\0' || c == 0x1A) {
                return false;
            }
        }
        return true;
    }

    std::string name_;
    std::unique_ptr<os::Encoder> encoder_;
    long long replaced_ = 0;
    long long unsafe_ = 0;
};

}  // namespace

std::string DefaultOutputEncoding() {
    return os::SystemEncoding();
}

bool HasTimeTags(std::string_view utf8) {
    for (std::size_t start = 0; start < utf8.size();) {
        std::size_t end = utf8.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = utf8.size();
        std::size_t i = start;
        while (i < end && IsBlank(utf8[i])) ++i;
        std::size_t tagEnd = 0;
        long long ms = 0;
        if (ParseTimeTag(utf8.substr(0, end), i, '[', ']', &tagEnd, &ms)) return true;
        start = end + 1;
    }
    return false;
}

ConvertResult Convert(std::string_view lrcBytes, const ConvertOptions& options) {
    ConvertResult result;
    std::string text;
    if (!Decode(lrcBytes, options.fromEncoding, &text, &result.warnings, &result.error)) {
        return result;
    }
    TextEncoder encoder;
    const std::string toEncoding =
        options.toEncoding.empty() ? DefaultOutputEncoding() : options.toEncoding;
    if (!encoder.Open(toEncoding, &result.error)) return result;

    // Lines end at LF, CRLF or a lone CR.
    std::vector<Timed> timed;
    long long offset = 0;
    bool haveOffset = false;
    int untimed = 0;
    std::size_t lineNumber = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        const std::string_view line = std::string_view(text).substr(start, end - start);
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() &&
            text[end + 1] == '\n') {
            start = end + 2;
        } else {
            start = end < text.size() ? end + 1 : end;
        }
        ++lineNumber;

        std::size_t i = 0;
        while (i < line.size() && IsBlank(line[i])) ++i;
        std::vector<long long> times;
        for (;;) {
            std::size_t tagEnd = 0;
            long long ms = 0;
            if (!ParseTimeTag(line, i, '[', ']', &tagEnd, &ms)) break;
            times.push_back(ms);
            i = tagEnd;
            std::size_t next = i;
            while (next < line.size() && IsBlank(line[next])) ++next;
            if (next < line.size() && line[next] == '[') i = next;
        }
        if (times.empty()) {
            long long value = 0;
            const OffsetTag tag = ParseOffsetTag(line, &value);
            if (tag == OffsetTag::Valid) {
                if (!haveOffset) {
                    offset = value;
                    haveOffset = true;
                } else if (value != offset) {
                    result.warnings.push_back("line " + std::to_string(lineNumber) +
                                              ": a second [offset] ignored; the first (" +
                                              std::to_string(offset) + " ms) applies");
                }
            } else if (tag == OffsetTag::Invalid) {
                result.warnings.push_back("line " + std::to_string(lineNumber) +
                                          ": [offset] without a number of milliseconds ignored");
            } else if (!IsMetadataLine(line) && !CleanText(line).empty()) {
                ++untimed;
            }
            continue;
        }
        const std::string cleaned = CleanText(line.substr(i));
        for (const long long ms : times) timed.push_back({ms, cleaned, timed.size()});
    }
    if (untimed > 0) {
        result.warnings.push_back(Plural(untimed, "line", "lines") +
                                  " of text without a time tag dropped");
    }
    if (haveOffset && offset != 0) {
        result.warnings.push_back("[offset:" + std::to_string(offset) + "] applied: lines shown " +
                                  std::to_string(offset > 0 ? offset : -offset) + " ms " +
                                  (offset > 0 ? "sooner" : "later"));
    }

    // Whole seconds after the offset, floored; a line is never late.
    struct Second {
        std::uint32_t seconds;
        const Timed* timed;
    };
    std::vector<Second> seconds;
    int tooLate = 0;
    for (const Timed& t : timed) {
        long long ms = t.ms - offset;
        if (ms < 0) ms = 0;
        const long long s = ms / 1000;
        if (s >= kMaxSeconds) {
            ++tooLate;
            continue;
        }
        seconds.push_back({static_cast<std::uint32_t>(s), &t});
    }
    if (tooLate > 0) {
        result.warnings.push_back(Plural(tooLate, "time tag", "time tags") +
                                  " at 100 minutes or later dropped ([99:59] is the last time a "
                                  "lyrics file holds)");
    }
    std::stable_sort(seconds.begin(), seconds.end(),
                     [](const Second& a, const Second& b) { return a.seconds < b.seconds; });

    // One entry per second: its texts joined in file order, each text once, empty texts
    // only when nothing else falls in that second.
    struct Merged {
        std::uint32_t seconds;
        std::string text;
    };
    std::vector<Merged> merged;
    for (std::size_t k = 0; k < seconds.size();) {
        std::size_t m = k;
        std::vector<const Timed*> group;
        while (m < seconds.size() && seconds[m].seconds == seconds[k].seconds) {
            group.push_back(seconds[m].timed);
            ++m;
        }
        std::sort(group.begin(), group.end(),
                  [](const Timed* a, const Timed* b) { return a->order < b->order; });
        std::vector<std::string> texts;
        for (const Timed* t : group) {
            if (!t->text.empty() && std::find(texts.begin(), texts.end(), t->text) == texts.end()) {
                texts.push_back(t->text);
            }
        }
        // A text that another text of the second holds whole (a line revealed word by word,
        // "Fun", "Funding", "Funding for") is not repeated: the longer one shows it.
        std::string joined;
        for (const std::string& t : texts) {
            const bool heldByAnother = std::any_of(texts.begin(), texts.end(), [&](const auto& o) {
                return o.size() > t.size() && o.find(t) != std::string::npos;
            });
            if (!heldByAnother) joined += (joined.empty() ? "" : " / ") + t;
        }
        merged.push_back({seconds[k].seconds, joined});
        k = m;
    }
    if (merged.empty()) {
        result.error = "no timed line in the file: nothing to convert";
        return result;
    }
    if (merged.size() > static_cast<std::size_t>(kLyricSlots)) {
        const std::size_t dropped = merged.size() - kLyricSlots;
        result.warnings.push_back("the table holds " + std::to_string(kLyricSlots) +
                                  " entries: the first " + std::to_string(kLyricSlots) +
                                  " by time kept, " +
                                  Plural(static_cast<long long>(dropped), "line", "lines") +
                                  " from " + Clock(merged[kLyricSlots].seconds) + " on dropped");
        merged.resize(kLyricSlots);
    }

    std::vector<Entry> entries;
    for (const Merged& m : merged) {
        bool cut = false;
        Entry e{m.seconds, encoder.Encode(m.text, kMaxLineBytes - kTagBytes, &cut)};
        if (cut) {
            result.warnings.push_back("the text at " + Clock(m.seconds) + " cut to " +
                                      std::to_string(e.text.size()) + " bytes: a line holds " +
                                      std::to_string(kMaxLineBytes) + " bytes with its tag");
        }
        entries.push_back(std::move(e));
    }
    encoder.Warn(&result.warnings);

    if (options.fill) {
        std::size_t room = kLyricSlots - entries.size();
        std::vector<Entry> filled;
        std::size_t unfilled = 0;
        for (std::size_t k = 0; k < entries.size(); ++k) {
            filled.push_back(entries[k]);
            if (k + 1 == entries.size()) break;
            for (std::uint32_t s = entries[k].seconds + 1; s < entries[k + 1].seconds; ++s) {
                if (room == 0) {
                    ++unfilled;
                    continue;
                }
                filled.push_back({s, entries[k].text});
                --room;
            }
        }
        if (unfilled > 0) {
            result.warnings.push_back(
                "--fill: the table's " + std::to_string(kLyricSlots) + " entries are used up; " +
                Plural(static_cast<long long>(unfilled), "second", "seconds") + " left unfilled");
        }
        entries = std::move(filled);
    }

    for (const Entry& e : entries) {
        result.output += "[" + Clock(e.seconds) + "]" + e.text + "\n";
    }
    result.entries = static_cast<int>(entries.size());
    result.ok = true;
    return result;
}

}  // namespace lrc
