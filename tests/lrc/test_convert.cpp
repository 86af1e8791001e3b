// The conversion rules, case by case, each output also loaded through the window's own
// loader: what the file says is what Strofix holds.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "tests/lrc/lrc_test_support.h"
#include "tools/lrc/lrc_convert.h"

namespace {

using lrc_test::Table;

lrc::ConvertOptions Utf8Out() {
    lrc::ConvertOptions o;
    o.toEncoding = "UTF-8";
    return o;
}

// The table the output's lines say, read by hand: "[mm:ss]text" per line.
Table TableOfLines(const std::string& output) {
    Table t;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        const unsigned m = std::stoul(line.substr(1, 2)), s = std::stoul(line.substr(4, 2));
        t.emplace_back(m * 60 + s, line.substr(7));
    }
    return t;
}

// Every line a seven-character tag and at most 99 bytes, the table as the lines say.
void ExpectLoadsAsWritten(const std::string& output) {
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        ASSERT_LE(line.size(), 99u) << line;
        ASSERT_GE(line.size(), 7u) << line;
        EXPECT_EQ(line[0], '[');
        EXPECT_EQ(line[3], ':');
        EXPECT_EQ(line[6], ']');
        EXPECT_EQ(line.find_first_of("[]", 7), std::string::npos) << line;
    }
    EXPECT_EQ(lrc_test::LoadThroughLoader(output), TableOfLines(output));
}

struct Case {
    const char* name;
    std::string lrc;
    std::string expected;  // the output
    std::string warning;   // a part of some warning, or empty for none expected
    bool fill = false;
};

class ConvertCases : public ::testing::TestWithParam<Case> {};

TEST_P(ConvertCases, ConvertsAndLoads) {
    const Case& c = GetParam();
    lrc::ConvertOptions o = Utf8Out();
    o.fill = c.fill;
    const lrc::ConvertResult r = lrc::Convert(c.lrc, o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.output, c.expected);
    std::string all;
    for (const std::string& w : r.warnings) all += w + "\n";
    if (!c.warning.empty()) {
        EXPECT_NE(all.find(c.warning), std::string::npos) << all;
    }
    ExpectLoadsAsWritten(r.output);
}

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

std::string ManySeconds(int n) {
    std::string lrc;
    char buf[32];
    for (int i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "[%02d:%02d.50]L%d\n", i / 60, i % 60, i);
        lrc += buf;
    }
    return lrc;
}

std::string FirstSeconds(int n) {
    std::string out;
    char buf[32];
    for (int i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "[%02d:%02d]L%d\n", i / 60, i % 60, i);
        out += buf;
    }
    return out;
}

std::string FilledA(int from, int to) {  // "a" at every second from..to-1
    std::string out;
    char buf[32];
    for (int s = from; s < to; ++s) {
        std::snprintf(buf, sizeof buf, "[%02d:%02d]a\n", s / 60, s % 60);
        out += buf;
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ConvertCases,
    ::testing::Values(
        // Tag forms
        Case{"MinuteOneDigit", "[1:02]a\n", "[01:02]a\n", ""},
        Case{"Plain", "[01:02]a\n", "[01:02]a\n", ""},
        Case{"Tenths", "[01:02.7]a\n", "[01:02]a\n", ""},
        Case{"Hundredths", "[01:02.75]a\n", "[01:02]a\n", ""},
        Case{"Thousandths", "[01:02.750]a\n", "[01:02]a\n", ""},
        Case{"ColonHundredths", "[01:02:75]a\n", "[01:02]a\n", ""},
        Case{"SecondsCarry", "[00:75.10]a\n", "[01:15]a\n", ""},
        Case{"NegativeMinutes", "[-1:30.00]a\n", "[00:30]a\n", ""},
        Case{"NegativeSeconds", "[01:-5.00]a\n", "[01:00]a\n", ""},
        Case{"FlooredNeverLate", "[00:10.999]a\n", "[00:10]a\n", ""},
        Case{"TagsPerLine", "[00:12.00][01:30.50]Chorus\n", "[00:12]Chorus\n[01:30]Chorus\n", ""},
        Case{"BlanksBetweenTags", "  [00:12.00] [00:13.00] x\n", "[00:12]x\n[00:13]x\n", ""},
        Case{"Sorted", "[00:20]b\n[00:10]a\n", "[00:10]a\n[00:20]b\n", ""},
        Case{"HundredMinutesDropped", "[100:00.00]late\n[99:59.99]last\n", "[99:59]last\n",
             "100 minutes"},
        // Offset
        Case{"OffsetSooner", "[offset:+500]\n[00:10.20]a\n", "[00:09]a\n", "500 ms sooner"},
        Case{"OffsetLaterAnyCaseSpaces", "[ OFFSET : -1500 ]\n[00:10.20]a\n", "[00:11]a\n", ""},
        Case{"OffsetAfterTheLines", "[00:10.20]a\n[offset:1000]\n", "[00:09]a\n", ""},
        Case{"OffsetClampedAtZero", "[offset:5000]\n[00:02.00]a\n", "[00:00]a\n", ""},
        Case{"OffsetWithoutNumber", "[offset:+/- ms]\n[00:02.00]a\n", "[00:02]a\n",
             "without a number"},
        // Text
        Case{"WordTags", "[00:01.00]<00:01.00>Some <00:01.50>lyrics <00:02.00>here\n",
             "[00:01]Some lyrics here\n", ""},
        Case{"MidLineTags", "[00:05.000] hello [00:06.000] world\n", "[00:05]hello world\n", ""},
        Case{"Brackets", "[00:10]Hello [world]\n[00:11]x]y[z\n",
             "[00:10]Hello (world)\n[00:11]x)y(z\n", ""},
        Case{"Blanks", "[00:01]  a \t  b   \n", "[00:01]a b\n", ""},
        Case{"ControlCharacters",
             std::string("[00:01]a\x1A"
                         "b\x01"
                         "c\n"),
             "[00:01]a b c\n", ""},
        Case{"NulByte", std::string("[00:01]a\0b\n", 11), "[00:01]a b\n", ""},
        Case{"MetadataDropped", "[ar:Artist]\n[ti:Title]\n[length: 2:50]\n[00:01]a\n", "[00:01]a\n",
             ""},
        Case{"UntimedDropped", "no time\n[00:01]a\nalso none\n", "[00:01]a\n",
             "2 lines of text without a time tag"},
        Case{"NotATimeTag", "[03:04:05.06]x\n[10.00]y\n[00:01]a\n", "[00:01]a\n", ""},
        Case{"LineEnds", "[00:01]a\r\n[00:02]b\r[00:03]c\n", "[00:01]a\n[00:02]b\n[00:03]c\n", ""},
        // The same second
        Case{"TranslationPair", "[00:05.10]Hello\n[00:05.10]你好\n", "[00:05]Hello / 你好\n", ""},
        Case{"SameSecondFileOrder", "[00:05.90]first\n[00:05.10]second\n",
             "[00:05]first / second\n", ""},
        Case{"ClearBeforeText", "[00:14.47]\n[00:14.48]Text\n", "[00:14]Text\n", ""},
        Case{"OnlyEmpty", "[00:05.10]\n[00:05.60]\n[00:06]x\n", "[00:05]\n[00:06]x\n", ""},
        Case{"DuplicateOnce", "[00:28.08]Same\n[00:28.08]Same\n", "[00:28]Same\n", ""},
        Case{"HeldByALongerText", "[01:20.44]Fun\n[01:20.61]Funding\n[01:20.78]Fund\n[01:20.95]x\n",
             "[01:20]Funding / x\n", ""},
        // Length
        Case{"LongLineCut", "[00:01]" + std::string(200, 'x') + "\n",
             "[00:01]" + std::string(92, 'x') + "\n", "cut to 92 bytes"},
        Case{"CutAtCharacterBoundary", "[00:01]" + Repeat("中", 40) + "\n",
             "[00:01]" + Repeat("中", 30) + "\n", "cut to 90 bytes"},
        Case{"ExactlyFits", "[00:01]" + std::string(92, 'y') + "\n",
             "[00:01]" + std::string(92, 'y') + "\n", ""},
        // Table
        Case{"TableFirst250", ManySeconds(300), FirstSeconds(250), "50 lines from 04:10 on"},
        // Fill
        Case{"Fill", "[00:01]a\n[00:04]b\n", "[00:01]a\n[00:02]a\n[00:03]a\n[00:04]b\n", "", true},
        Case{"FillWhatFits", "[00:00]a\n[10:00]b\n", FilledA(0, 249) + "[10:00]b\n",
             "351 seconds left unfilled", true}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// ---- Decoding -------------------------------------------------------------------------

struct DecodeCase {
    const char* name;
    std::string bytes;
    std::string fromEncoding;
    std::string expected;
};

class DecodeCases : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeCases, Decodes) {
    const DecodeCase& c = GetParam();
    lrc::ConvertOptions o = Utf8Out();
    o.fromEncoding = c.fromEncoding;
    const lrc::ConvertResult r = lrc::Convert(c.bytes, o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.output, c.expected);
}

std::string Utf16(const std::u16string& s, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t u : s) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, DecodeCases,
    ::testing::Values(
        DecodeCase{"Utf8Bom", "\xEF\xBB\xBF[00:01]caf\xC3\xA9\n", "", "[00:01]caf\xC3\xA9\n"},
        DecodeCase{"Utf16LeBom", Utf16(u"[00:01]caf\u00e9 \U0001F600\n", false), "",
                   "[00:01]caf\xC3\xA9 \xF0\x9F\x98\x80\n"},
        DecodeCase{"Utf16BeBom", Utf16(u"[00:02.50]\u4e2d\r\n", true), "", "[00:02]\xE4\xB8\xAD\n"},
        DecodeCase{"BomDecidesOverCodePage", "\xEF\xBB\xBF[00:01]\xC3\xA9\n", "CP1251",
                   "[00:01]\xC3\xA9\n"},
        DecodeCase{"ValidUtf8WinsOverCodePage", "[00:01]\xC3\xA9\n", "CP1252", "[00:01]\xC3\xA9\n"},
        DecodeCase{"Cp1252", "[00:01]caf\xE9\n", "CP1252", "[00:01]caf\xC3\xA9\n"},
        DecodeCase{"Cp1251", "[00:01]\xCF\xF0\xE8\xE2\xE5\xF2\n", "CP1251",
                   "[00:01]\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\n"},
        DecodeCase{"Gbk", "[00:01]\xD6\xD0\xCE\xC4\n", "GBK", "[00:01]\xE4\xB8\xAD\xE6\x96\x87\n"}),
    [](const ::testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

TEST(Decode, NotUtf8WithoutCodePageNamesTheOption) {
    const lrc::ConvertResult r = lrc::Convert("[00:01]caf\xE9\n", Utf8Out());
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("--from-encoding"), std::string::npos) << r.error;
}

TEST(Decode, UnknownCodePageFails) {
    lrc::ConvertOptions o = Utf8Out();
    o.fromEncoding = "NO-SUCH-CODEPAGE";
    const lrc::ConvertResult r = lrc::Convert("[00:01]caf\xE9\n", o);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("NO-SUCH-CODEPAGE"), std::string::npos) << r.error;
}

TEST(Decode, BrokenUtf16IsReplacedAndCounted) {
    // An unpaired high surrogate, then an odd last byte.
    std::string bytes = Utf16(u"[00:01]a", false) + std::string("\x00\xD8", 2) + "b";
    const lrc::ConvertResult r = lrc::Convert(bytes, Utf8Out());
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.output, "[00:01]a\xEF\xBF\xBD\xEF\xBF\xBD\n");
    ASSERT_FALSE(r.warnings.empty());
    EXPECT_NE(r.warnings[0].find("2 byte sequences"), std::string::npos) << r.warnings[0];
}

TEST(Decode, NothingTimedFails) {
    for (const std::string lrc : {"", "[ar:x]\n[ti:y]\n", "just text\n"}) {
        const lrc::ConvertResult r = lrc::Convert(lrc, Utf8Out());
        EXPECT_FALSE(r.ok) << lrc;
        EXPECT_NE(r.error.find("no timed line"), std::string::npos) << r.error;
    }
}

// ---- Output encodings -----------------------------------------------------------------

struct EncodeCase {
    const char* name;
    std::string lrc;
    std::string toEncoding;
    std::string expected;
    std::string warning;
};

class EncodeCases : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeCases, Encodes) {
    const EncodeCase& c = GetParam();
    lrc::ConvertOptions o;
    o.toEncoding = c.toEncoding;
    const lrc::ConvertResult r = lrc::Convert(c.lrc, o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.output, c.expected);
    std::string all;
    for (const std::string& w : r.warnings) all += w + "\n";
    if (c.warning.empty()) {
        EXPECT_EQ(all, "");
    } else {
        EXPECT_NE(all.find(c.warning), std::string::npos) << all;
    }
    ExpectLoadsAsWritten(r.output);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, EncodeCases,
    ::testing::Values(
        EncodeCase{"Cp1252", "[00:01]caf\xC3\xA9\n", "CP1252", "[00:01]caf\xE9\n", ""},
        EncodeCase{"Cp1252Replaced", "[00:01]\xE4\xB8\xAD caf\xC3\xA9 \xE4\xB8\xAD\n", "CP1252",
                   "[00:01]? caf\xE9 ?\n", "2 characters that CP1252 cannot hold"},
        EncodeCase{"GbkTrailByteBracket", "[00:01]\xE4\xB9\x95\xE4\xB8\xAD\n", "GBK",
                   "[00:01]?\xD6\xD0\n", "'[', ']'"},
        EncodeCase{"ShiftJisTrailByteBracket", "[00:01]\xE3\x82\xBE\xE3\x81\x82\n", "SHIFT_JIS",
                   "[00:01]?\x82\xA0\n", "'[', ']'"},
        // 60 characters: 120 bytes in UTF-8, which would be cut, but 60 in CP1251, which
        // fit: the limit counts the output encoding's bytes.
        EncodeCase{"CutInOutputBytes", "[00:01]" + Repeat("\xD0\x96", 60) + "\n", "CP1251",
                   "[00:01]" + std::string(60, '\xC6') + "\n", ""}),
    [](const ::testing::TestParamInfo<EncodeCase>& info) { return std::string(info.param.name); });

TEST(Encode, UnknownOutputEncodingFails) {
    lrc::ConvertOptions o;
    o.toEncoding = "NO-SUCH-CODEPAGE";
    const lrc::ConvertResult r = lrc::Convert("[00:01]a\n", o);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("--to-encoding"), std::string::npos) << r.error;
}

// ---- Round trip -----------------------------------------------------------------------

// A whole song with every feature at once: the loaded table is the one expected.
TEST(RoundTrip, TableIsTheExpectedOne) {
    const std::string lrc =
        "\xEF\xBB\xBF[ti:Song]\r\n[ar:Someone]\r\n[offset:+250]\r\n\r\n"
        "[00:00.10]Intro [live]\r\n"
        "[00:05.20][01:05.20]<00:05.20>Chorus <00:05.80>line\r\n"
        "[00:05.10]\xE5\x90\x88\xE5\x94\xB1\r\n"
        "[00:09.90]\r\n"
        "[00:10.05]Verse    two\r\n"
        "[00:12.00]\r\n"
        "[02:00.249]End\r\n";
    const lrc::ConvertResult r = lrc::Convert(lrc, Utf8Out());
    ASSERT_TRUE(r.ok) << r.error;
    const Table expected = {{0, "Intro (live)"}, {4, "Chorus line / \xE5\x90\x88\xE5\x94\xB1"},
                            {9, "Verse two"},    {11, ""},
                            {64, "Chorus line"}, {119, "End"}};
    EXPECT_EQ(lrc_test::LoadThroughLoader(r.output), expected);
}

TEST(RoundTrip, FilledTableShowsTheRightLineAtEverySecond) {
    lrc::ConvertOptions o = Utf8Out();
    o.fill = true;
    const lrc::ConvertResult r = lrc::Convert("[00:02]a\n[00:05]\n[00:07]b\n", o);
    ASSERT_TRUE(r.ok) << r.error;
    const Table expected = {{2, "a"}, {3, "a"}, {4, "a"}, {5, ""}, {6, ""}, {7, "b"}};
    EXPECT_EQ(lrc_test::LoadThroughLoader(r.output), expected);
}

TEST(HasTimeTags, TellsLrcFromPlainText) {
    EXPECT_TRUE(lrc::HasTimeTags("[ti:x]\n[00:01.00]a"));
    EXPECT_TRUE(lrc::HasTimeTags("  [1:02]a"));
    EXPECT_FALSE(lrc::HasTimeTags("Just words\nand more [00:01] in mid-line"));
    EXPECT_FALSE(lrc::HasTimeTags("[ar:x]\n"));
}

}  // namespace
