#include "sync/lyrics_file.h"

#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/platform.h"

namespace {

constexpr int kCtrlZ = 0x1A;
constexpr int kReadAccess = 4;

bool IsCrtSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The text after the piece's last ']', without the line feed that ends the piece.
void CopyEntryText(const char* piece, char* text, std::size_t size) {
    const char* from = std::strrchr(piece, ']') + 1;
    std::size_t len = std::strlen(from);
    if (len > 0 && from[len - 1] == '\n') --len;
    if (len > size - 1) len = size - 1;
    std::memcpy(text, from, len);
    text[len] = '\0';
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
    Close();
    // Only a regular file is read: a directory cannot be, and a pipe or a device (a FIFO,
    // a console name) could block the tick for good.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    file_ = std::fopen(path, "rb");
    textEnded_ = false;
    return file_ != nullptr;
}

void TextModeFile::Close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
}

int TextModeFile::NextChar() {
    if (textEnded_) return EOF;
    int c = std::getc(file_);
    if (c == kCtrlZ) {
        textEnded_ = true;
        return EOF;
    }
    if (c == '\r') {
        int next = std::getc(file_);
        if (next == '\n') return '\n';
        if (next != EOF) std::ungetc(next, file_);
    }
    return c;
}

TextModeFile::Read TextModeFile::GetLine(char* buf, std::size_t size, std::size_t* length) {
    if (file_ == nullptr || size == 0) return Read::Error;
    std::size_t n = 0;
    while (n + 1 < size) {
        int c = NextChar();
        if (c == EOF) break;
        buf[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    if (std::ferror(file_)) return Read::Error;
    if (n == 0) return Read::End;
    buf[n] = '\0';
    if (length != nullptr) *length = n;
    return Read::Piece;
}

int ScanPiece(const char* piece, LyricEntry* table, int* count, int* dropped) {
    int found = 0;
    for (const char* open = std::strchr(piece, '['); open != nullptr;) {
        const char* close = std::strchr(open, ']');
        if (close == nullptr || close - open != 6) break;
        // Minutes and seconds wrap as 32-bit values: a negative time sorts after all others.
        const auto minutes = static_cast<std::uint32_t>(CrtAtoi(open + 1));
        const auto seconds = static_cast<std::uint32_t>(CrtAtoi(open + 4));
        if (*count < kLyricSlots) {
            LyricEntry& entry = table[*count];
            entry.seconds = minutes * 60U + seconds;
            CopyEntryText(piece, entry.text, sizeof entry.text);
            ++*count;
        } else {
            ++*dropped;
        }
        ++found;
        open = std::strchr(close, '[');
    }
    return found;
}

void SortLyricEntries(LyricEntry* table, int count) {
    char swap[sizeof table->text];
    for (int i = 0; i <= count - 2; ++i) {
        for (int j = count - 1; j >= i + 1; --j) {
            if (table[j - 1].seconds > table[j].seconds) {
                const std::uint32_t seconds = table[j - 1].seconds;
                std::memcpy(swap, table[j - 1].text, sizeof swap);
                table[j - 1].seconds = table[j].seconds;
                std::memcpy(table[j - 1].text, table[j].text, sizeof swap);
                table[j].seconds = seconds;
                std::memcpy(table[j].text, swap, sizeof swap);
            }
        }
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
        ScanPiece(line, table, &count, &dropped);
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
    if (total < 3 || total + 1 > outSize) return false;
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
