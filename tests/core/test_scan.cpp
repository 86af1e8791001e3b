// The tag scan of one piece, the decimal conversion it uses, and the stable sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

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

// Against std::stable_sort of whole slots, byte for byte (the bytes after a text's NUL
// move with it), for counts from none to a full table and times in many orders: random
// with ties and wrapped (huge) values, in order, reversed, all equal, and times that differ
// only in one byte; the slots past the count stay where they were.
TEST(SortLyricEntries, MovesWholeSlotsLikeAStableSortUpToTheCount) {
    std::mt19937 random(1234);
    std::uniform_int_distribution<std::uint32_t> small(0, 40);
    std::uniform_int_distribution<int> byte(0, 255);
    using Order = std::uint32_t (*)(int i, std::uint32_t r);
    const std::pair<const char*, Order> orders[] = {
        {"random", [](int i, std::uint32_t r) { return i % 7 == 3 ? UINT32_MAX - r : r; }},
        {"in order", [](int i, std::uint32_t) { return static_cast<std::uint32_t>(i / 2); }},
        {"reversed", [](int i, std::uint32_t) { return static_cast<std::uint32_t>(1000 - i); }},
        {"all equal", [](int, std::uint32_t) { return 7U; }},
        {"third byte", [](int, std::uint32_t r) { return (r % 3) << 16 | 0x0505U; }},
        {"top byte", [](int i, std::uint32_t r) { return (r % 4) << 24 | (i & 1U); }},
    };
    for (const auto& [name, order] : orders) {
        for (const int count : {0, 1, 2, 3, 17, kLyricSlots - 1, kLyricSlots}) {
            std::vector<LyricEntry> table(kLyricSlots);
            for (int i = 0; i < kLyricSlots; ++i) {
                LyricEntry& e = table[i];
                for (char& c : e.text) c = static_cast<char>(byte(random));
                e.seconds = order(i, small(random));
                std::snprintf(e.text, 16, "line %d", i);
            }
            std::vector<LyricEntry> want = table;
            std::stable_sort(
                want.begin(), want.begin() + count,
                [](const LyricEntry& a, const LyricEntry& b) { return a.seconds < b.seconds; });
            SortLyricEntries(table.data(), count);
            EXPECT_EQ(std::memcmp(table.data(), want.data(), sizeof(LyricTable)), 0)
                << name << ", " << count << " entries";
        }
    }
}

}  // namespace
