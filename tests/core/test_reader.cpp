// Reading lyrics files: line ends, pieces of at most 99 characters, the end of the text,
// the 250-slot bound, and the text-mode reader under them.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "sync/lyrics_file.h"
#include "tests/core/support.h"

using strofix_test::Entry;
using strofix_test::ReadFileEntries;
using strofix_test::TempDir;

namespace {

struct FileCase {
    const char* name;
    std::string bytes;
    std::vector<Entry> want;
};

void ExpectEntries(const std::vector<FileCase>& cases) {
    TempDir dir;
    for (const FileCase& c : cases) {
        EXPECT_EQ(ReadFileEntries(dir.Write("case.txt", c.bytes)), c.want) << c.name;
    }
}

// Bytes of a literal, embedded NULs included.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

std::string Repeat(char c, std::size_t n) {
    return std::string(n, c);
}

TEST(ReadLyricsFile, LineEndsAndEndOfText) {
    ExpectEntries({
        {"CRLF", "[00:01]a\r\n[00:02]b\r\n", {{1, "a"}, {2, "b"}}},
        {"lone CR is an ordinary character", "[00:01]a\r[00:02]b\n", {{1, "b"}, {2, "b"}}},
        {"CR at the end of the file kept", "[00:01]a\r", {{1, "a\r"}}},
        {"no final line break", "[00:01]a\n[00:02]last", {{1, "a"}, {2, "last"}}},
        {"several tags on the last line without a break",
         "[00:01]a\n[00:03][00:02]end",
         {{1, "a"}, {2, "end"}, {3, "end"}}},
        {"empty lines", "\n\n[00:01]a\n\n[00:02]b\n\n\r\n", {{1, "a"}, {2, "b"}}},
        {"Ctrl-Z ends the text", "[00:01]a\x1a[00:02]b\n", {{1, "a"}}},
        {"CR before Ctrl-Z is kept", "[00:01]a\r\x1a\n[00:02]b", {{1, "a\r"}}},
        {"NUL ends the piece", Bytes("[00:01]a\0[00:02]b\n[00:03]c\n"), {{1, "a"}, {3, "c"}}},
        {"NUL at the start of a line", Bytes("\0[00:02]b\n[00:03]c\n"), {{3, "c"}}},
        {"sorted, equal times in file order",
         "[00:05]first\n[00:01]one\n[00:05]second\n",
         {{1, "one"}, {5, "first"}, {5, "second"}}},
        {"empty file", "", {}},
    });
}

TEST(ReadLyricsFile, LongLinesArriveInPiecesOf99) {
    const std::string tag1 = "[00:01]";
    ExpectEntries({
        // Each piece's tags take that piece's text.
        {"tags in both pieces",
         tag1 + Repeat('h', 92) + "[00:02]i\n",
         {{1, Repeat('h', 92)}, {2, "i"}}},
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
    });
}

// Records what the scan reports for each piece: line, piece, entries, dropped, ends line.
struct Recorder : PieceObserver {
    using Seen = std::tuple<int, std::string, int, int, bool>;
    std::vector<Seen> seen;
    void OnPiece(const PieceReport& r) override {
        seen.emplace_back(r.lineNumber, r.piece, r.entries, r.dropped, r.endsLine);
    }
};

TEST(ReadLyricsFile, ReportsEachPieceWithItsLine) {
    TempDir dir;
    const std::string first = "[00:01]" + Repeat('a', 92);
    const auto file = dir.Write("pieces.txt", first + Repeat('a', 51) + "\nplain\n[00:02]b");
    TextModeFile f;
    ASSERT_TRUE(f.Open(file.string().c_str()));
    LyricTable table = {};
    Recorder rec;
    EXPECT_EQ(ReadLyricsFile(f, table, &rec), 2);
    const std::vector<Recorder::Seen> want = {{1, first, 1, 0, false},
                                              {1, Repeat('a', 51) + "\n", 0, 0, true},
                                              {2, "plain\n", 0, 0, true},
                                              {3, "[00:02]b", 1, 0, false}};
    EXPECT_EQ(rec.seen, want);
}

std::string NumberedTags(int n, int tagsPerLine) {
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
    struct GuardedTable {
        unsigned char before[256];
        LyricTable table;
        unsigned char after[1024];
    };
    // Three to a line puts the 250th and the 251st tag on the same line.
    const std::pair<int, int> cases[] = {{250, 1}, {300, 3}, {1000, 1}};  // tags, per line
    for (const auto& [tags, perLine] : cases) {
        TempDir dir;
        const auto file = dir.Write("many.txt", NumberedTags(tags, perLine));
        auto g = std::make_unique<GuardedTable>();
        std::memset(g.get(), 0xCD, sizeof *g);
        TextModeFile f;
        ASSERT_TRUE(f.Open(file.string().c_str()));
        Recorder rec;
        EXPECT_EQ(ReadLyricsFile(f, g->table, &rec), kLyricSlots) << tags;
        int dropped = 0;
        for (const auto& s : rec.seen) dropped += std::get<3>(s);
        EXPECT_EQ(dropped, tags - kLyricSlots) << tags;
        // The entries kept are the first 250 of the file, in time order.
        for (int i = 0; i < kLyricSlots; ++i) {
            ASSERT_EQ(g->table[i].seconds, static_cast<std::uint32_t>(i)) << tags;
        }
        EXPECT_STREQ(g->table[kLyricSlots - 1].text,
                     ("line " + std::to_string((kLyricSlots - 1) / perLine * perLine)).c_str());
        for (unsigned char b : g->before) ASSERT_EQ(b, 0xCD) << tags;
        for (unsigned char b : g->after) ASSERT_EQ(b, 0xCD) << tags;
    }
}

TEST(TextModeFile, ReadsLikeFgetsAndStartsAfreshWhenReopened) {
    TempDir dir;
    const auto first = dir.Write("t.txt", "abc\r\ndef\x1aghi");
    const auto second = dir.Write("b.txt", "z\n");
    TextModeFile f;
    ASSERT_TRUE(f.Open(first.string().c_str()));
    char buf[3];
    std::size_t len = 0;
    for (const char* want : {"ab", "c\n", "de", "f"}) {
        ASSERT_EQ(f.GetLine(buf, sizeof buf, &len), TextModeFile::Read::Piece) << want;
        EXPECT_STREQ(buf, want);
        EXPECT_EQ(len, std::strlen(want));
    }
    EXPECT_EQ(f.GetLine(buf, sizeof buf, &len), TextModeFile::Read::End);  // Ctrl-Z
    EXPECT_EQ(f.GetLine(buf, sizeof buf, &len), TextModeFile::Read::End);
    // Reopening forgets the earlier file's Ctrl-Z.
    ASSERT_TRUE(f.Open(second.string().c_str()));
    ASSERT_EQ(f.GetLine(buf, sizeof buf), TextModeFile::Read::Piece);
    EXPECT_STREQ(buf, "z\n");
    f.Close();
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.GetLine(buf, sizeof buf, &len), TextModeFile::Read::Error);
}

}  // namespace
