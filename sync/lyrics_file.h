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

// Bytes read from one lyrics file at most: a hundred times any real lyrics file. A read
// past them fails like a read error, so a huge or endless file cannot hold up the window.
constexpr std::size_t kLyricsFileByteLimit = std::size_t{1} << 20;

// A file read the way the C run-time reads a text-mode stream: a CR right before an LF
// belongs to the line break and is dropped, a lone CR is an ordinary character, a byte
// 0x1A ends the text. Bytes are read as they are; nothing is converted. The reads go
// through a buffer of our own, a block at a time; at most kLyricsFileByteLimit bytes.
class TextModeFile {
public:
    TextModeFile() = default;
    ~TextModeFile() { Close(); }
    TextModeFile(const TextModeFile&) = delete;
    TextModeFile& operator=(const TextModeFile&) = delete;

    bool Open(const char* path);  // false for anything but an existing regular file
    // Reads `file`, a stream nothing has been read from yet, and closes it when done.
    // False (nothing open) for a null stream.
    bool Adopt(std::FILE* file);
    void Close();
    bool IsOpen() const { return file_ != nullptr; }

    enum class Read { Piece, End, Error };
    // Reads like fgets: up to size - 1 characters, stopping after a line feed, then a NUL.
    // End when nothing was left to read; Error when a read failed or would pass the byte
    // limit (the characters of that read are not delivered). `length`, when given,
    // receives the number of bytes read (a NUL byte read from the file counts).
    Read GetLine(char* buf, std::size_t size, std::size_t* length = nullptr);

    // How the reading ended, for the checker: a read failed, or it stopped at the limit.
    bool ReadFailed() const { return failed_ && !limitReached_; }
    bool LimitReached() const { return limitReached_; }

private:
    enum class Stop { None, End, Error, Limit };
    bool Fill();  // the next block into the buffer; false when none comes

    std::FILE* file_ = nullptr;
    std::size_t pos_ = 0;     // the next byte of the buffer to hand out
    std::size_t end_ = 0;     // the bytes in the buffer
    std::size_t taken_ = 0;   // bytes taken from the file so far
    Stop stop_ = Stop::None;  // what the last block's read met after its bytes
    bool textEnded_ = false;
    bool failed_ = false;
    bool limitReached_ = false;
    unsigned char buffer_[16384];
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

// Sorts the first `count` slots (at most the table's 250) by time, ascending and stable,
// comparing unsigned times; every slot moves whole, all 256 bytes.
void SortLyricEntries(LyricEntry* table, int count);

// Reads every tag of an open file into the table from slot 0 and sorts it. A read error
// (the byte limit included) ends the reading; what was read until then is kept. Returns the
// entry count.
int ReadLyricsFile(TextModeFile& file, LyricEntry* table, PieceObserver* observer = nullptr);

// Removes one trailing `separator` from `dir`, if there is one.
void RemoveTrailingSeparator(char* dir, char separator);

// The lyrics file path for a song: the directory, the separator, the song path's file
// name (what follows its last backslash) with its last three characters replaced by
// "txt". False, with `out` empty, when the song path has no backslash, the file name
// holds a '/' (it would leave the directory) or is shorter than three characters (the
// "txt" would eat into the directory), or the joined path does not fit `outSize`.
bool BuildLyricsPath(const char* dir, const char* songPath, char separator, char* out,
                     std::size_t outSize);

// Steps of a load after the path is known: access test, open, read, sort. On success the
// file stays open in `file` and `*count` holds the entries read; on failure table and
// count are untouched.
bool LoadLyricsFile(const char* path, TextModeFile& file, LyricEntry* table, int* count,
                    PieceObserver* observer = nullptr);
