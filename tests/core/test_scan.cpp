// The tag scan of one piece, the decimal conversion it uses, and the stable sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <random>

#include "sync/lyrics_file.h"
#include "tests/core/support.h"

using strofix_test::Entries;
using strofix_test::Entry;

namespace {

constexpr std::uint32_t MinSec(int minutes, int seconds) {
    return static_cast<std::uint32_t>(minutes * 60 + seconds);
}

TEST(CrtAtoi, ReadsLikeTheRunTimeConversion) {
    const struct {
        const char* in;
        int want;
    } cases[] = {
        {"12", 12},
        {"  42", 42},
        {"\t\n\v\f\r 9", 9},  // all six white-space characters are skipped
        {"+5", 5},
        {"-7", -7},
        {"- 7", 0},  // no white space after the sign
        {"+-1", 0},
        {"12ab", 12},
        {"", 0},
        {"abc", 0},
        {"\xA0"
         "5",
         0},  // a non-ASCII byte is not white space
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"99999999999999999999", INT_MAX},  // saturates instead of overflowing
        {"-99999999999999999999", INT_MIN},
    };
    for (const auto& c : cases) EXPECT_EQ(CrtAtoi(c.in), c.want) << "input \"" << c.in << "\"";
}

std::vector<Entry> Scan(const char* piece) {
    LyricTable table = {};
    int count = 0;
    int dropped = 0;
    EXPECT_EQ(ScanPiece(piece, table, &count, &dropped), count) << piece;
    EXPECT_EQ(dropped, 0) << piece;
    return Entries(table, count);
}

TEST(ScanPiece, TagsAndTexts) {
    const struct {
        const char* piece;
        std::vector<Entry> want;
    } cases[] = {
        {"[01:05]x", {{MinSec(1, 5), "x"}}},
        // Several tags: one entry each, all with the same text.
        {"[00:12][01:30]Chorus\n", {{12, "Chorus"}, {MinSec(1, 30), "Chorus"}}},
        // The separator is not examined; a digit there belongs to the minutes.
        {"[01.05]x", {{MinSec(1, 5), "x"}}},
        {"[12345]x", {{MinSec(12345, 45), "x"}}},
        // Not numeric inside: the conversion gives 0. White space is skipped.
        {"[ar:xx]Artist", {{0, "Artist"}}},
        {"[0a:30]x", {{30, "x"}}},
        {"[ 1: 5]x", {{MinSec(1, 5), "x"}}},
        // Negative parts wrap as unsigned values.
        {"[-1:00]neg", {{static_cast<std::uint32_t>(-60), "neg"}}},
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
        {"[00:07]\xE9t\xE9\n", {{7, "\xE9t\xE9"}}},  // bytes pass through unchanged
        {"no tags here\n", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(Scan(c.piece), c.want) << "piece \"" << c.piece << "\"";
}

// Against std::stable_sort on random times with ties and wrapped (huge) values, for counts
// from none to a full table; the slots past the count stay where they were.
TEST(SortLyricEntries, AgreesWithAStableSortUpToTheCount) {
    std::mt19937 random(1234);
    std::uniform_int_distribution<std::uint32_t> time(0, 40);
    for (const int count : {0, 1, 2, 3, 17, kLyricSlots - 1, kLyricSlots}) {
        for (int round = 0; round < 5; ++round) {
            std::vector<Entry> in;
            LyricTable table = {};
            for (int i = 0; i < kLyricSlots; ++i) {
                const std::uint32_t t = (i % 7 == 3) ? UINT32_MAX - time(random) : time(random);
                in.emplace_back(t, "line " + std::to_string(i));
                table[i].seconds = t;
                std::snprintf(table[i].text, sizeof table[i].text, "line %d", i);
            }
            std::stable_sort(in.begin(), in.begin() + count,
                             [](const Entry& a, const Entry& b) { return a.first < b.first; });
            SortLyricEntries(table, count);
            ASSERT_EQ(Entries(table, kLyricSlots), in) << count << " entries, round " << round;
        }
    }
}

}  // namespace
