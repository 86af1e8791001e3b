// Lyrics files: the text-mode reader, the tag scan, the sort and the file-name rule.
// Standard library only, so every platform reads every file the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// One timed line: its second from the start of the song and its text.
struct LyricEntry {
    std::uint32_t seconds;
    char text[252];
};
static_assert(sizeof(LyricEntry) == 256, "a slot is 256 bytes");

constexpr int kLyricSlots = 250;
using LyricTable = LyricEntry[kLyricSlots];

constexpr std::size_t kLyricsDirSize = 100;   // the setting: at most 99 characters
constexpr std::size_t kSongPathSize = 261;    // the block's whole path field
constexpr std::size_t kLineBufferSize = 100;  // one read: at most 99 characters
constexpr std::size_t kLyricsPathSize = kLyricsDirSize - 1 + kSongPathSize;

// The decimal conversion of the C run-time's atoi: leading white space (space, \t, \n,
// \v, \f, \r) skipped, an optional sign, digits up to the first non-digit, 0 when there
// are none. Values beyond the int range saturate instead of overflowing.
int CrtAtoi(const char* s);

// A file read the way the C run-time reads a text-mode stream: a CR right before an LF
// belongs to the line break and is dropped, a lone CR is an ordinary character, a byte
// 0x1A ends the text. Bytes are read as they are; nothing is converted.
class TextModeFile {
public:
    TextModeFile() = default;
    ~TextModeFile() { Close(); }
    TextModeFile(const TextModeFile&) = delete;
    TextModeFile& operator=(const TextModeFile&) = delete;

    bool Open(const char* path);  // false for anything but an existing regular file
    void Close();
    bool IsOpen() const { return file_ != nullptr; }

    enum class Read { Piece, End, Error };
    // Reads like fgets: up to size - 1 characters, stopping after a line feed, then a NUL.
    // End when nothing was left to read; Error when the read failed. `length`, when given,
    // receives the number of bytes read (a NUL byte read from the file counts).
    Read GetLine(char* buf, std::size_t size, std::size_t* length = nullptr);

private:
    int NextChar();  // the next character after the text-mode rules, or EOF
    std::FILE* file_ = nullptr;
    bool textEnded_ = false;
};

// What the scan saw in one piece (a read of at most 99 characters), for the checker.
struct PieceReport {
    int lineNumber;     // 1-based line of the file the piece belongs to
    const char* piece;  // the piece as read
    int entries;        // tags that yielded an entry stored in the table
    int dropped;        // tags read past the table's last slot
    bool endsLine;      // the piece ends with the line's line feed
};

class PieceObserver {
public:
    virtual ~PieceObserver() = default;
    virtual void OnPiece(const PieceReport& report) = 0;
};

// Scans one piece for time tags and stores one entry per tag from slot `*count` upward.
// Tags past the last slot are counted and dropped. Returns the number of tags found.
int ScanPiece(const char* piece, LyricEntry* table, int* count, int* dropped);

// Sorts the first `count` slots by time, ascending and stable (an exchange sort comparing
// unsigned times).
void SortLyricEntries(LyricEntry* table, int count);

// Reads every tag of an open file into the table from slot 0 and sorts it. A read error
// ends the reading; what was read until then is kept. Returns the entry count.
int ReadLyricsFile(TextModeFile& file, LyricEntry* table, PieceObserver* observer = nullptr);

// Removes one trailing `separator` from `dir`, if there is one.
void RemoveTrailingSeparator(char* dir, char separator);

// The lyrics file path for a song: the directory, the separator, the song path's file
// name (what follows its last backslash) with its last three characters replaced by
// "txt". False, with `out` empty, when the song path has no backslash, the file name
// holds a '/' (it would leave the directory), the joined path is shorter than three
// characters or does not fit `outSize`.
bool BuildLyricsPath(const char* dir, const char* songPath, char separator, char* out,
                     std::size_t outSize);

// Steps of a load after the path is known: access test, open, read, sort. On success the
// file stays open in `file` and `*count` holds the entries read; on failure table and
// count are untouched.
bool LoadLyricsFile(const char* path, TextModeFile& file, LyricEntry* table, int* count,
                    PieceObserver* observer = nullptr);
