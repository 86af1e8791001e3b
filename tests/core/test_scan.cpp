// The tag scan of one piece, the decimal conversion it uses, and the stable sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <random>

#include "sync/lyrics_file.h"
#include "tests/core/support.h"

using strofix_test::Entries;
using strofix_test::Entry;

namespace {

constexpr std::uint32_t MinSec(int minutes, int seconds) {
    return static_cast<std::uint32_t>(minutes * 60 + seconds);
}

struct AtoiCase {
    const char* in;
    int want;
};

TEST(CrtAtoi, ReadsLikeTheRunTimeConversion) {
    const AtoiCase cases[] = {
        {"12", 12},
        {"007", 7},
        {"  42", 42},
        {"\t\n\v\f\r 9", 9},  // all six white-space characters are skipped
        {"+5", 5},
        {"-7", -7},
        {"-0", 0},
        {"- 7", 0},  // no white space after the sign
        {"+-1", 0},
        {"12ab", 12},
        {"1 2", 1},
        {"", 0},
        {"abc", 0},
        {":30", 0},
        {"0x10", 0},
        {"\xA0"
         "5",
         0},  // a non-ASCII byte is not white space
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"99999999999999999999", INT_MAX},  // saturates instead of overflowing
        {"-99999999999999999999", INT_MIN},
    };
    for (const AtoiCase& c : cases) {
        EXPECT_EQ(CrtAtoi(c.in), c.want) << "input \"" << c.in << "\"";
    }
}

struct ScanCase {
    const char* piece;
    std::vector<Entry> want;
};

std::vector<Entry> Scan(const char* piece) {
    LyricTable table = {};
    int count = 0;
    int dropped = 0;
    const int found = ScanPiece(piece, table, &count, &dropped);
    EXPECT_EQ(found, count) << piece;
    EXPECT_EQ(dropped, 0) << piece;
    return Entries(table, count);
}

TEST(ScanPiece, TagsAndTexts) {
    const std::uint32_t minusOneMinute = static_cast<std::uint32_t>(-60);
    const ScanCase cases[] = {
        {"[00:12]Hello\n", {{12, "Hello"}}},
        {"[01:05]x", {{MinSec(1, 5), "x"}}},
        // Several tags: one entry each, all with the same text.
        {"[00:12][01:30]Chorus\n", {{12, "Chorus"}, {MinSec(1, 30), "Chorus"}}},
        // The separator is not examined; a digit there belongs to the minutes.
        {"[01.05]x", {{MinSec(1, 5), "x"}}},
        {"[01 05]x", {{MinSec(1, 5), "x"}}},
        {"[01505]x", {{MinSec(1505, 5), "x"}}},
        {"[12345]x", {{MinSec(12345, 45), "x"}}},
        // Not numeric inside: the conversion gives 0.
        {"[ar:xx]Artist", {{0, "Artist"}}},
        {"[00:0a]x", {{0, "x"}}},
        {"[0a:30]x", {{30, "x"}}},
        // White space and signs are read as the conversion reads them.
        {"[ 1: 5]x", {{MinSec(1, 5), "x"}}},
        {"[+1:+5]x", {{MinSec(1, 5), "x"}}},
        {"[\t2:\v3]x", {{MinSec(2, 3), "x"}}},
        {"[-1:00]neg", {{minusOneMinute, "neg"}}},
        {"[00:-5]x", {{static_cast<std::uint32_t>(-5), "x"}}},
        // A longer header stops the line, also when a good tag follows.
        {"[ti:Some Title]\n", {}},
        {"[ti:Some Title][00:10]x", {}},
        {"[00:10]a[ti:long one]b", {{10, "b"}}},
        // Too short, unclosed, or the first ']' too far away.
        {"[0:10]x", {}},
        {"[00:10", {}},
        {"[[00:10]x", {}},
        // A tag in mid-line counts; a ']' before the first '[' does not matter.
        {"Hello [00:10]World\n", {{10, "World"}}},
        {"]x[00:10]y", {{10, "y"}}},
        // The text is what follows the piece's last ']', whichever tag it belongs to.
        {"[00:10]Hello [big world]", {{10, ""}}},
        {"[00:10]Hello [world]", {{10, ""}, {0, ""}}},
        {"[00:10]a]b", {{10, "b"}}},
        {"[00:10]][00:20]x", {{10, "x"}, {20, "x"}}},
        // Only the line feed is taken off the text; a lone CR is an ordinary character.
        {"[00:05]\n", {{5, ""}}},
        {"[00:05]a\r", {{5, "a\r"}}},
        {"[00:05]a\n", {{5, "a"}}},
        // Bytes pass through unchanged.
        {"[00:07]\xE9t\xE9\n", {{7, "\xE9t\xE9"}}},
        {"no tags here\n", {}},
        {"", {}},
    };
    for (const ScanCase& c : cases) {
        EXPECT_EQ(Scan(c.piece), c.want) << "piece \"" << c.piece << "\"";
    }
}

TEST(ScanPiece, AppendsFromTheCountGiven) {
    LyricTable table = {};
    table[0] = {99, "kept"};
    int count = 1;
    int dropped = 0;
    EXPECT_EQ(ScanPiece("[00:01]a", table, &count, &dropped), 1);
    EXPECT_EQ(Entries(table, count), (std::vector<Entry>{{99, "kept"}, {1, "a"}}));
}

// The table followed by bytes that must never be written.
struct GuardedTable {
    LyricTable table;
    unsigned char after[512];
};

TEST(ScanPiece, TagsPastTheLastSlotAreCountedAndDropped) {
    auto g = std::make_unique<GuardedTable>();
    std::memset(g.get(), 0xAB, sizeof *g);
    int count = kLyricSlots - 2;
    int dropped = 0;
    EXPECT_EQ(ScanPiece("[00:01][00:02][00:03][00:04]x\n", g->table, &count, &dropped), 4);
    EXPECT_EQ(count, kLyricSlots);
    EXPECT_EQ(dropped, 2);
    EXPECT_EQ(g->table[kLyricSlots - 2].seconds, 1U);
    EXPECT_EQ(g->table[kLyricSlots - 1].seconds, 2U);
    EXPECT_STREQ(g->table[kLyricSlots - 1].text, "x");
    for (unsigned char b : g->after) ASSERT_EQ(b, 0xAB);
}

struct SortCase {
    const char* name;
    std::vector<Entry> in;
    std::vector<Entry> want;
};

void Fill(LyricEntry* table, const std::vector<Entry>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        table[i].seconds = entries[i].first;
        std::snprintf(table[i].text, sizeof table[i].text, "%s", entries[i].second.c_str());
    }
}

TEST(SortLyricEntries, AscendingStableUnsigned) {
    const std::uint32_t negative = static_cast<std::uint32_t>(-60);
    const SortCase cases[] = {
        {"later line first", {{120, "B"}, {60, "A"}}, {{60, "A"}, {120, "B"}}},
        {"equal times keep file order",
         {{10, "first"}, {5, "x"}, {10, "second"}, {10, "third"}},
         {{5, "x"}, {10, "first"}, {10, "second"}, {10, "third"}}},
        {"negative minutes sort last",
         {{negative, "neg"}, {65, "b"}, {0, "a"}},
         {{0, "a"}, {65, "b"}, {negative, "neg"}}},
        {"already sorted", {{1, "a"}, {2, "b"}, {3, "c"}}, {{1, "a"}, {2, "b"}, {3, "c"}}},
        {"reversed", {{3, "c"}, {2, "b"}, {1, "a"}}, {{1, "a"}, {2, "b"}, {3, "c"}}},
        {"one entry", {{7, "only"}}, {{7, "only"}}},
        {"empty", {}, {}},
    };
    for (const SortCase& c : cases) {
        LyricTable table = {};
        Fill(table, c.in);
        SortLyricEntries(table, static_cast<int>(c.in.size()));
        EXPECT_EQ(Entries(table, static_cast<int>(c.in.size())), c.want) << c.name;
    }
}

TEST(SortLyricEntries, LeavesSlotsPastTheCountAlone) {
    LyricTable table = {};
    Fill(table, {{5, "a"}, {3, "b"}, {1, "c"}});
    SortLyricEntries(table, 2);
    EXPECT_EQ(Entries(table, 3), (std::vector<Entry>{{3, "b"}, {5, "a"}, {1, "c"}}));
}

TEST(SortLyricEntries, AgreesWithAStableSortOnAFullTable) {
    std::mt19937 random(1234);
    std::uniform_int_distribution<std::uint32_t> time(0, 40);
    for (int round = 0; round < 20; ++round) {
        std::vector<Entry> in;
        for (int i = 0; i < kLyricSlots; ++i) {
            const std::uint32_t t = (i % 17 == 0) ? UINT32_MAX - time(random) : time(random);
            in.emplace_back(t, "line " + std::to_string(i));
        }
        std::vector<Entry> want = in;
        std::stable_sort(want.begin(), want.end(),
                         [](const Entry& a, const Entry& b) { return a.first < b.first; });
        LyricTable table = {};
        Fill(table, in);
        SortLyricEntries(table, kLyricSlots);
        ASSERT_EQ(Entries(table, kLyricSlots), want) << "round " << round;
    }
}

}  // namespace
