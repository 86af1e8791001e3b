#include "sync/lyrics_file.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#include "platform/platform.h"

namespace {

constexpr int kCtrlZ = 0x1A;
constexpr int kReadAccess = 4;

bool IsCrtSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsTextModeByte(unsigned char c) {
    return c == '\n' || c == '\r' || c == kCtrlZ;
}

// How many of the `n` bytes at `p` come before the first LF, CR or 0x1A (all `n` when
// there is none). All three are below 0x1B, which text seldom is: eight bytes at a time
// are let through when none of them is below 0x1B, where the byte order allows.
std::size_t OrdinaryRun(const unsigned char* p, std::size_t n) {
    constexpr std::uint64_t kLowBits = 0x0101010101010101U;
    std::size_t k = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; k + 8 <= n; k += 8) {
            std::uint64_t word;
            std::memcpy(&word, p + k, sizeof word);
            // The high bit of a byte below 0x1B is set (exact for the lowest such byte).
            const std::uint64_t below =
                (word - kLowBits * kCtrlZ - kLowBits) & ~word & (kLowBits << 7);
            if (below == 0) continue;
            for (std::size_t i = static_cast<std::size_t>(std::countr_zero(below)) / 8; i < 8;
                 ++i) {
                if (IsTextModeByte(p[k + i])) return k + i;
            }
        }
    }
    while (k < n && !IsTextModeByte(p[k])) ++k;
    return k;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// ScanPiece on a piece whose length (up to its NUL) is known.
int ScanPieceOf(const char* piece, std::size_t length, LyricEntry* table, int* count,
                int* dropped) {
    const char* const end = piece + length;
    const char* text = nullptr;  // the entry text, found with the piece's first entry
    std::size_t textLen = 0;
    int found = 0;
    const char* open = length > 0 && piece[0] == '['  // where a tag line's first tag is
                           ? piece
                           : static_cast<const char*>(std::memchr(piece, '[', length));
    while (open != nullptr) {
        // A tag is a '[' whose first ']' comes six characters later.
        if (end - open <= 6 || open[6] != ']' || open[1] == ']' || open[2] == ']' ||
            open[3] == ']' || open[4] == ']' || open[5] == ']') {
            break;
        }
        const char* close = open + 6;
        // Minutes and seconds wrap as 32-bit values: a negative time sorts after all others.
        std::uint32_t minutes;
        std::uint32_t seconds;
        if (IsDigit(open[1]) && IsDigit(open[2]) && open[3] == ':' && IsDigit(open[4]) &&
            IsDigit(open[5])) {  // the usual [mm:ss], as the conversion reads it
            minutes = static_cast<std::uint32_t>((open[1] - '0') * 10 + (open[2] - '0'));
            seconds = static_cast<std::uint32_t>((open[4] - '0') * 10 + (open[5] - '0'));
        } else {
            minutes = static_cast<std::uint32_t>(CrtAtoi(open + 1));
            seconds = static_cast<std::uint32_t>(CrtAtoi(open + 4));
        }
        if (*count < kLyricSlots) {
            if (text == nullptr) {
                // The text after the piece's last ']', without the line feed that ends it.
                const char* last = close;
                for (const char* b = close; (b = static_cast<const char*>(std::memchr(
                                                 b + 1, ']', end - b - 1))) != nullptr;) {
                    last = b;
                }
                text = last + 1;
                textLen = static_cast<std::size_t>(end - text);
                if (textLen > 0 && text[textLen - 1] == '\n') --textLen;
                textLen = std::min(textLen, sizeof table->text - 1);
            }
            LyricEntry& entry = table[*count];
            entry.seconds = minutes * 60U + seconds;
            std::memcpy(entry.text, text, textLen);
            entry.text[textLen] = '\0';
            ++*count;
        } else {
            ++*dropped;
        }
        ++found;
        open = static_cast<const char*>(std::memchr(close, '[', end - close));
    }
    return found;
}

}  // namespace

int CrtAtoi(const char* s) {
    while (IsCrtSpace(*s)) ++s;
    bool negative = false;
    if (*s == '+' || *s == '-') negative = (*s++ == '-');
    long long value = 0;
    for (; *s >= '0' && *s <= '9'; ++s) {
        if (value <= static_cast<long long>(INT_MAX) + 1) value = value * 10 + (*s - '0');
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

bool TextModeFile::Open(const char* path) {
    // One open that checks the type on the opened file: a directory cannot be read, and a
    // pipe or a device (a FIFO, a console name) could block the tick for good.
    return Adopt(platform::OpenRegularFile(path));
}

bool TextModeFile::Adopt(std::FILE* file) {
    Close();
    if (file == nullptr) return false;
    // The stream's own buffer would only be copied into ours.
    std::setvbuf(file, nullptr, _IONBF, 0);
    file_ = file;
    return true;
}

void TextModeFile::Close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    pos_ = end_ = taken_ = 0;
    stop_ = Stop::None;
    textEnded_ = failed_ = limitReached_ = false;
}

bool TextModeFile::Fill() {
    pos_ = end_ = 0;
    if (stop_ != Stop::None) {
        failed_ = failed_ || stop_ != Stop::End;
        limitReached_ = limitReached_ || stop_ == Stop::Limit;
        return false;
    }
    // One byte past the limit is asked for, to tell a file of exactly the limit from a
    // longer one; that byte is never handed out.
    const std::size_t want = std::min(sizeof buffer_, kLyricsFileByteLimit + 1 - taken_);
    std::size_t got = std::fread(buffer_, 1, want, file_);
    taken_ += got;
    if (taken_ > kLyricsFileByteLimit) {
        got -= taken_ - kLyricsFileByteLimit;
        taken_ = kLyricsFileByteLimit;
        stop_ = Stop::Limit;
    } else if (got < want) {
        stop_ = std::ferror(file_) ? Stop::Error : Stop::End;
    }
    end_ = got;
    return got > 0 || Fill();  // nothing came: the stop applies at once
}

TextModeFile::Read TextModeFile::GetLine(char* buf, std::size_t size, std::size_t* length) {
    if (file_ == nullptr || size == 0) return Read::Error;
    std::size_t n = 0;
    while (n + 1 < size && !textEnded_) {
        if (pos_ == end_ && !Fill()) break;
        // The ordinary bytes up to the next one the text-mode rules act on, at most as many
        // as the piece still takes.
        const unsigned char* from = buffer_ + pos_;
        const std::size_t span = std::min(end_ - pos_, size - 1 - n);
        const std::size_t k = OrdinaryRun(from, span);
        std::memcpy(buf + n, from, k);
        n += k;
        pos_ += k;
        if (k == span) continue;
        const unsigned char c = buffer_[pos_++];
        if (c == kCtrlZ) {
            textEnded_ = true;
        } else if (c == '\n') {
            buf[n++] = '\n';
            break;
        } else {  // CR: dropped before an LF, an ordinary character otherwise
            if (pos_ == end_) Fill();
            if (pos_ < end_ && buffer_[pos_] == '\n') {
                ++pos_;
                buf[n++] = '\n';
                break;
            }
            buf[n++] = '\r';
        }
    }
    if (failed_) return Read::Error;
    if (n == 0) return Read::End;
    buf[n] = '\0';
    if (length != nullptr) *length = n;
    return Read::Piece;
}

int ScanPiece(const char* piece, LyricEntry* table, int* count, int* dropped) {
    return ScanPieceOf(piece, std::strlen(piece), table, count, dropped);
}

void SortLyricEntries(LyricEntry* table, int count) {
    count = std::min(count, kLyricSlots);
    int sorted = 1;  // a file in time order, the usual case, is left as it is
    while (sorted < count && table[sorted - 1].seconds <= table[sorted].seconds) ++sorted;
    if (sorted >= count) return;

    // Keys of time and slot, sorted by the time with a stable radix sort: one pass for each
    // byte in which the times differ, so equal times keep their file order.
    std::uint64_t keys[kLyricSlots];
    std::uint64_t spare[kLyricSlots];
    std::uint32_t any = 0;
    std::uint32_t all = ~0U;
    for (int i = 0; i < count; ++i) {
        keys[i] = std::uint64_t{table[i].seconds} << 32 | static_cast<std::uint32_t>(i);
        any |= table[i].seconds;
        all &= table[i].seconds;
    }
    std::uint64_t* from = keys;
    std::uint64_t* to = spare;
    for (int shift = 0; shift < 32; shift += 8) {
        if (((any ^ all) >> shift & 0xFFU) == 0) continue;
        int start[257] = {};
        for (int i = 0; i < count; ++i) ++start[(from[i] >> (32 + shift) & 0xFFU) + 1];
        for (int b = 1; b < 257; ++b) start[b] += start[b - 1];
        for (int i = 0; i < count; ++i) to[start[from[i] >> (32 + shift) & 0xFFU]++] = from[i];
        std::swap(from, to);
    }

    // Slot i takes the entry of slot source(i): each cycle of that permutation is walked
    // once, so every slot moves once and one entry waits aside per cycle.
    bool placed[kLyricSlots] = {};
    const auto source = [from](int i) { return static_cast<int>(from[i] & 0xFFFFFFFFU); };
    for (int first = 0; first < count; ++first) {
        if (placed[first] || source(first) == first) continue;
        const LyricEntry held = table[first];
        int slot = first;
        for (int next = source(slot); next != first; next = source(slot)) {
            table[slot] = table[next];
            placed[slot] = true;
            slot = next;
        }
        table[slot] = held;
        placed[slot] = true;
    }
}

int ReadLyricsFile(TextModeFile& file, LyricEntry* table, PieceObserver* observer) {
    int count = 0;
    int lineNumber = 1;
    char line[kLineBufferSize];
    std::size_t len = 0;
    while (file.GetLine(line, sizeof line, &len) == TextModeFile::Read::Piece) {
        int dropped = 0;
        const int before = count;
        // A NUL read from the file ends the piece's text.
        const void* nul = std::memchr(line, '\0', len);
        ScanPieceOf(line, nul != nullptr ? static_cast<const char*>(nul) - line : len, table,
                    &count, &dropped);
        const bool endsLine = line[len - 1] == '\n';
        if (observer != nullptr) {
            observer->OnPiece({lineNumber, line, count - before, dropped, endsLine});
        }
        if (endsLine) ++lineNumber;
    }
    SortLyricEntries(table, count);
    return count;
}

void RemoveTrailingSeparator(char* dir, char separator) {
    const std::size_t len = std::strlen(dir);
    if (len > 0 && dir[len - 1] == separator) dir[len - 1] = '\0';
}

bool BuildLyricsPath(const char* dir, const char* songPath, char separator, char* out,
                     std::size_t outSize) {
    if (outSize > 0) out[0] = '\0';
    const char* name = std::strrchr(songPath, '\\');
    if (name == nullptr || std::strchr(name, '/') != nullptr) return false;
    const std::size_t dirLen = std::strlen(dir);
    const std::size_t nameLen = std::strlen(name);  // the backslash included
    const std::size_t total = dirLen + nameLen;
    // The last three characters of the file name become "txt": a shorter name would lose
    // the separator or the directory's end, and the path would leave the directory.
    if (nameLen - 1 < 3 || total + 1 > outSize) return false;
    std::memcpy(out, dir, dirLen);
    out[dirLen] = separator;
    std::memcpy(out + dirLen + 1, name + 1, nameLen - 1);
    out[total] = '\0';
    std::memcpy(out + total - 3, "txt", 3);
    return true;
}

bool LoadLyricsFile(const char* path, TextModeFile& file, LyricEntry* table, int* count,
                    PieceObserver* observer) {
    if (!platform::Access(path, kReadAccess)) return false;
    if (!file.Open(path)) return false;
    *count = ReadLyricsFile(file, table, observer);
    return true;
}
