// Reading lyrics files: line ends, pieces of at most 99 characters, the end of the text,
// the 250-slot bound, and the load steps after the path is known.
#include <gtest/gtest.h>

#include <cstring>

#include "sync/lyrics_file.h"
#include "tests/core/support.h"

using strofix_test::Entries;
using strofix_test::Entry;
using strofix_test::ReadFileEntries;
using strofix_test::TempDir;

namespace {

struct FileCase {
    const char* name;
    std::string bytes;
    std::vector<Entry> want;
};

// Bytes of a literal, embedded NULs included.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

std::string Repeat(char c, std::size_t n) {
    return std::string(n, c);
}

TEST(ReadLyricsFile, LineEndsAndEndOfText) {
    const std::vector<FileCase> cases = {
        {"LF", "[00:01]a\n[00:02]b\n", {{1, "a"}, {2, "b"}}},
        {"CRLF", "[00:01]a\r\n[00:02]b\r\n", {{1, "a"}, {2, "b"}}},
        {"lone CR is an ordinary character", "[00:01]a\r[00:02]b\n", {{1, "b"}, {2, "b"}}},
        {"CR at the end of the file kept", "[00:01]a\r", {{1, "a\r"}}},
        {"CR CR LF keeps the first CR", "[00:01]a\r\r\n", {{1, "a\r"}}},
        {"no final line break", "[00:01]a\n[00:02]last", {{1, "a"}, {2, "last"}}},
        {"several tags on the last line without a break",
         "[00:01]a\n[00:03][00:02]end",
         {{1, "a"}, {2, "end"}, {3, "end"}}},
        {"trailing empty lines", "[00:01]a\n\n\n\r\n\n", {{1, "a"}}},
        {"empty lines between", "\n\n[00:01]a\n\n[00:02]b\n", {{1, "a"}, {2, "b"}}},
        {"Ctrl-Z ends the text", "[00:01]a\n\x1a[00:02]b\n", {{1, "a"}}},
        {"Ctrl-Z inside a line", "[00:01]a\x1a[00:02]b\n", {{1, "a"}}},
        {"CR before Ctrl-Z is kept", "[00:01]a\r\x1a\n[00:02]b", {{1, "a\r"}}},
        {"NUL ends the piece", Bytes("[00:01]a\0[00:02]b\n[00:03]c\n"), {{1, "a"}, {3, "c"}}},
        {"NUL at the start of a line", Bytes("\0[00:02]b\n[00:03]c\n"), {{3, "c"}}},
        {"header lines contribute nothing",
         "[ti:Some Title]\n[ar:Someone Else]\n[00:04]x\n",
         {{4, "x"}}},
        {"later line first", "[02:00]B\n[01:00]A\n", {{60, "A"}, {120, "B"}}},
        {"equal times keep file order",
         "[00:05]first\n[00:01]one\n[00:05]second\n",
         {{1, "one"}, {5, "first"}, {5, "second"}}},
        {"empty file", "", {}},
        {"no tag at all", "just words\nand more\n", {}},
    };
    TempDir dir;
    for (const FileCase& c : cases) {
        const auto file = dir.Write("case.txt", c.bytes);
        EXPECT_EQ(ReadFileEntries(file), c.want) << c.name;
    }
}

TEST(ReadLyricsFile, LongLinesArriveInPiecesOf99) {
    const std::string tag1 = "[00:01]";
    const std::vector<FileCase> cases = {
        // 150 characters: a piece of 99 holding the tag, then a piece of 51 without one.
        {"150-character line", tag1 + Repeat('a', 143) + "\n", {{1, Repeat('a', 92)}}},
        // The tag sits in the second piece: only that piece yields, with its own text.
        {"tag in the second piece", Repeat('x', 99) + "[00:03]tail\n", {{3, "tail"}}},
        // A tag cut by the piece boundary is no tag in either piece.
        {"tag split across pieces", Repeat('x', 96) + "[00:04]z\n", {}},
        // Exactly 99 characters and the line feed: the feed comes as a piece of its own.
        {"99 characters then LF",
         tag1 + Repeat('b', 92) + "\n[00:02]c\n",
         {{1, Repeat('b', 92)}, {2, "c"}}},
        // The CR of a CRLF is not counted among the 99: 98 characters and the break fit.
        {"98 characters then CRLF",
         tag1 + Repeat('d', 91) + "\r\n[00:02]e\r\n",
         {{1, Repeat('d', 91)}, {2, "e"}}},
        // A lone CR counts: the piece ends before the line feed.
        {"98 characters then lone CR",
         tag1 + Repeat('f', 91) + "\r" + "[00:02]g\n",
         {{1, Repeat('f', 91) + "\r"}, {2, "g"}}},
        // A NUL cuts the piece's text and tags, but the 99 bytes are still one read.
        {"NUL inside a long line",
         std::string("[00:01]a") + '\0' + Repeat('x', 90) + "[00:02]b\n",
         {{1, "a"}, {2, "b"}}},
        // Each piece's tags take that piece's text.
        {"tags in both pieces",
         tag1 + Repeat('h', 92) + "[00:02]i\n",
         {{1, Repeat('h', 92)}, {2, "i"}}},
    };
    TempDir dir;
    for (const FileCase& c : cases) {
        const auto file = dir.Write("case.txt", c.bytes);
        EXPECT_EQ(ReadFileEntries(file), c.want) << c.name;
    }
}

// Records what the scan reports for each piece.
struct Recorder : PieceObserver {
    struct Seen {
        int line;
        std::string piece;
        int entries;
        int dropped;
        bool endsLine;
    };
    std::vector<Seen> seen;
    void OnPiece(const PieceReport& r) override {
        seen.push_back({r.lineNumber, r.piece, r.entries, r.dropped, r.endsLine});
    }
};

TEST(ReadLyricsFile, ReportsEachPieceWithItsLine) {
    TempDir dir;
    const auto file = dir.Write("pieces.txt", "[00:01]" + Repeat('a', 143) + "\nplain\n[00:02]b");
    TextModeFile f;
    ASSERT_TRUE(f.Open(file.string().c_str()));
    LyricTable table = {};
    Recorder rec;
    EXPECT_EQ(ReadLyricsFile(f, table, &rec), 2);
    ASSERT_EQ(rec.seen.size(), 4U);
    EXPECT_EQ(rec.seen[0].line, 1);
    EXPECT_EQ(rec.seen[0].piece.size(), 99U);
    EXPECT_EQ(rec.seen[0].entries, 1);
    EXPECT_FALSE(rec.seen[0].endsLine);
    EXPECT_EQ(rec.seen[1].line, 1);
    EXPECT_EQ(rec.seen[1].piece, Repeat('a', 51) + "\n");
    EXPECT_EQ(rec.seen[1].entries, 0);
    EXPECT_TRUE(rec.seen[1].endsLine);
    EXPECT_EQ(rec.seen[2].line, 2);
    EXPECT_EQ(rec.seen[3].line, 3);
    EXPECT_EQ(rec.seen[3].entries, 1);
    EXPECT_FALSE(rec.seen[3].endsLine);
}

struct GuardedTable {
    unsigned char before[256];
    LyricTable table;
    unsigned char after[1024];
};

std::string NumberedTags(int n, int tagsPerLine = 1) {
    std::string text;
    for (int i = 0; i < n; i += tagsPerLine) {
        for (int k = i; k < i + tagsPerLine && k < n; ++k) {
            char tag[16];
            std::snprintf(tag, sizeof tag, "[%02d:%02d]", k / 60, k % 60);
            text += tag;
        }
        text += "line " + std::to_string(i) + "\n";
    }
    return text;
}

TEST(ReadLyricsFile, KeepsTheFirst250TagsAndWritesNothingOutsideTheTable) {
    struct Case {
        const char* name;
        int tags;
        int perLine;
    };
    const Case cases[] = {
        {"exactly 250", 250, 1},
        {"300 on separate lines", 300, 1},
        {"300 three to a line", 300, 3},
        {"1000", 1000, 1},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const auto file = dir.Write("many.txt", NumberedTags(c.tags, c.perLine));
        auto g = std::make_unique<GuardedTable>();
        std::memset(g.get(), 0xCD, sizeof *g);
        TextModeFile f;
        ASSERT_TRUE(f.Open(file.string().c_str()));
        Recorder rec;
        const int count = ReadLyricsFile(f, g->table, &rec);
        EXPECT_EQ(count, kLyricSlots) << c.name;
        int dropped = 0;
        for (const auto& s : rec.seen) dropped += s.dropped;
        EXPECT_EQ(dropped, c.tags - kLyricSlots) << c.name;
        // The entries kept are the first 250 of the file, in time order.
        for (int i = 0; i < kLyricSlots; ++i) {
            ASSERT_EQ(g->table[i].seconds, static_cast<std::uint32_t>(i)) << c.name;
        }
        EXPECT_STREQ(g->table[kLyricSlots - 1].text,
                     ("line " + std::to_string((kLyricSlots - 1) / c.perLine * c.perLine)).c_str());
        for (unsigned char b : g->before) ASSERT_EQ(b, 0xCD) << c.name;
        for (unsigned char b : g->after) ASSERT_EQ(b, 0xCD) << c.name;
    }
}

TEST(LoadLyricsFile, MissingOrUnreadableLeavesTableAndCount) {
    TempDir dir;
    std::filesystem::create_directory(dir.Path() / "folder.txt");
    const std::string cases[] = {
        (dir.Path() / "missing.txt").string(),
        (dir.Path() / "folder.txt").string(),  // exists, but is no file
        "",
    };
    for (const std::string& path : cases) {
        LyricTable table = {};
        table[0] = {42, "old"};
        int count = 1;
        TextModeFile f;
        EXPECT_FALSE(LoadLyricsFile(path.c_str(), f, table, &count)) << path;
        EXPECT_FALSE(f.IsOpen()) << path;
        EXPECT_EQ(count, 1) << path;
        EXPECT_EQ(Entries(table, 1), (std::vector<Entry>{{42, "old"}})) << path;
    }
}

TEST(LoadLyricsFile, ReplacesTheEntriesAndKeepsTheFileOpen) {
    TempDir dir;
    const auto file = dir.Write("song.txt", "[00:09]nine\n[00:03]three\n");
    LyricTable table = {};
    table[0] = {1, "old 0"};
    table[1] = {2, "old 1"};
    table[2] = {3, "old 2"};
    int count = 3;
    TextModeFile f;
    ASSERT_TRUE(LoadLyricsFile(file.string().c_str(), f, table, &count));
    EXPECT_TRUE(f.IsOpen());
    EXPECT_EQ(Entries(table, count), (std::vector<Entry>{{3, "three"}, {9, "nine"}}));
    // Slots past the new count keep what an earlier load left.
    EXPECT_STREQ(table[2].text, "old 2");
}

TEST(LoadLyricsFile, NoTagLoadsWithCountZeroAndClearsNothing) {
    TempDir dir;
    const auto file = dir.Write("plain.txt", "words only\n");
    LyricTable table = {};
    table[0] = {5, "earlier song"};
    int count = 1;
    TextModeFile f;
    ASSERT_TRUE(LoadLyricsFile(file.string().c_str(), f, table, &count));
    EXPECT_EQ(count, 0);
    EXPECT_STREQ(table[0].text, "earlier song");
}

TEST(TextModeFile, ReadsLikeFgets) {
    TempDir dir;
    const auto file = dir.Write("t.txt", "abc\r\ndef");
    TextModeFile f;
    ASSERT_TRUE(f.Open(file.string().c_str()));
    char buf[3];
    std::size_t len = 0;
    ASSERT_EQ(f.GetLine(buf, sizeof buf, &len), TextModeFile::Read::Piece);
    EXPECT_STREQ(buf, "ab");
    ASSERT_EQ(f.GetLine(buf, sizeof buf, &len), TextModeFile::Read::Piece);
    EXPECT_STREQ(buf, "c\n");
    EXPECT_EQ(len, 2U);
    ASSERT_EQ(f.GetLine(buf, sizeof buf, &len), TextModeFile::Read::Piece);
    EXPECT_STREQ(buf, "de");
    ASSERT_EQ(f.GetLine(buf, sizeof buf, &len), TextModeFile::Read::Piece);
    EXPECT_STREQ(buf, "f");
    EXPECT_EQ(f.GetLine(buf, sizeof buf, &len), TextModeFile::Read::End);
    EXPECT_EQ(f.GetLine(buf, sizeof buf, &len), TextModeFile::Read::End);
    f.Close();
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.GetLine(buf, sizeof buf, &len), TextModeFile::Read::Error);
}

TEST(TextModeFile, ReopeningStartsAfreshAfterCtrlZ) {
    TempDir dir;
    const auto first = dir.Write("a.txt", "x\x1ay");
    const auto second = dir.Write("b.txt", "z\n");
    TextModeFile f;
    char buf[8];
    ASSERT_TRUE(f.Open(first.string().c_str()));
    ASSERT_EQ(f.GetLine(buf, sizeof buf), TextModeFile::Read::Piece);
    EXPECT_STREQ(buf, "x");
    EXPECT_EQ(f.GetLine(buf, sizeof buf), TextModeFile::Read::End);
    ASSERT_TRUE(f.Open(second.string().c_str()));
    ASSERT_EQ(f.GetLine(buf, sizeof buf), TextModeFile::Read::Piece);
    EXPECT_STREQ(buf, "z\n");
}

}  // namespace
