// From a track's metadata to the song path in the block, and the name of a track without a
// file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/mpris/track_naming.h"

namespace mpris {
namespace {

Track WithUrl(const std::string& url) {
    Track t;
    t.url = url;
    t.title = "ignored for files";
    return t;
}

struct UrlCase {
    const char* name;
    std::string url;
    std::string path;  // expected song path; empty: nothing published
    bool problem;      // a note is expected
};

TEST(SongPathFor, FileUrls) {
    const std::string dir50(50, 'd');
    const std::string longDir = "/" + dir50 + "/" + dir50 + "/" + dir50 + "/" + dir50 + "/" + dir50;
    const std::string name257(253, 'n');  // 253 + ".ogg" = 257 bytes: Z:\ and it fill 260
    const std::vector<UrlCase> cases = {
        {"spaces and UTF-8", "file:///home/u/Music/Caf%C3%A9%20T%C3%ABst.ogg",
         "Z:\\home\\u\\Music\\Café Tëst.ogg", false},
        {"bytes that are not UTF-8 stay bytes", "file:///m/lat%E9n%FF.wav",
         "Z:\\m\\lat\xe9n\xff.wav", false},
        {"escaped # and ?", "file:///m/x%23y%3Fz.wav", "Z:\\m\\x#y?z.wav", false},
        {"query and fragment are not the path", "file:///m/a.ogg?x=1#t=3", "Z:\\m\\a.ogg", false},
        {"localhost", "file://localhost/m/a.ogg", "Z:\\m\\a.ogg", false},
        {"scheme in capitals", "FILE:///m/a.ogg", "Z:\\m\\a.ogg", false},
        {"one slash", "file:/m/a.ogg", "Z:\\m\\a.ogg", false},
        {"a broken escape stays", "file:///m/100%25%zz%4.ogg", "Z:\\m\\100%%zz%4.ogg", false},
        {"unescaped UTF-8 (an IRI)", "file:///m/Café.ogg", "Z:\\m\\Café.ogg", false},
        {"a backslash in a folder is harmless", "file:///m/a%5Cb/c.ogg", "Z:\\m\\a\\b\\c.ogg",
         false},
        {"too long: the file name alone", "file://" + longDir + "/song.ogg", "Z:\\song.ogg", true},
        {"a file name that just fits", "file://" + longDir + "/" + name257 + ".ogg",
         "Z:\\" + name257 + ".ogg", true},
        {"a file name too long for the block", "file://" + longDir + "/" + name257 + "x.ogg", "",
         true},
        {"a backslash in the file name", "file:///m/a%5Cb.ogg", "", true},
        {"a NUL byte", "file:///m/a%00b.ogg", "", true},
        {"a folder", "file:///m/", "", true},
    };
    for (const UrlCase& c : cases) {
        SCOPED_TRACE(c.name);
        const SongPath got = SongPathFor(WithUrl(c.url));
        EXPECT_EQ(got.path, c.path);
        EXPECT_EQ(!got.problem.empty(), c.problem) << got.problem;
        EXPECT_LE(got.path.size(), kMaxSongPathBytes);
    }
}

TEST(SongPathFor, PathThatFitsExactly) {
    // "Z:" + path of 258 bytes = 260: kept whole; one byte more and only the name goes.
    const std::string path258 = "/" + std::string(248, 'd') + "/song.ogg";
    ASSERT_EQ(path258.size(), 258u);
    EXPECT_EQ(SongPathFor(WithUrl("file://" + path258)).path.size(), 260u);
    EXPECT_EQ(SongPathFor(WithUrl("file:///d" + path258)).path, "Z:\\song.ogg");
}

TEST(SongPathFor, TracksWithoutALocalFile) {
    struct Case {
        const char* name;
        std::string url;
        std::vector<std::string> artists;
        std::string title;
        std::string path;
    };
    const std::vector<Case> cases = {
        {"a stream", "https://radio.example/stream", {"Artist"}, "Title", "Z:\\Artist - Title.txt"},
        {"no URL", "", {"Artist"}, "Title", "Z:\\Artist - Title.txt"},
        {"several artists", "", {"A", "", "B", "C"}, "T", "Z:\\A, B, C - T.txt"},
        {"no artist", "", {}, "Title", "Z:\\Title.txt"},
        {"artists that are all empty", "", {"", ""}, "Title", "Z:\\Title.txt"},
        {"no title", "", {"Artist"}, "", ""},
        {"a title of control characters only", "", {"Artist"}, "\n\t\r", ""},
        {"a file on another host", "file://nas/m/a.ogg", {"A"}, "T", "Z:\\A - T.txt"},
        {"a relative file URL", "file:a.ogg", {"A"}, "T", "Z:\\A - T.txt"},
        {"slashes and backslashes",
         "",
         {"AC/DC"},
         "Back\\In/Black",
         "Z:\\AC_DC - Back_In_Black.txt"},
        {"newlines and tabs", "", {"A\nB"}, "  Line\r\none\t\ttwo  ", "Z:\\A B - Line one two.txt"},
        {"C1 controls and line separators",
         "",
         {},
         "a\xc2\x85"
         "b\xe2\x80\xa8"
         "c",
         "Z:\\a b c.txt"},
        {"DEL",
         "",
         {},
         "a\x7f"
         "b",
         "Z:\\a b.txt"},
        {"dots only", "", {}, "..", "Z:\\...txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Track t;
        t.url = c.url;
        t.artists = c.artists;
        t.title = c.title;
        const SongPath got = SongPathFor(t);
        EXPECT_EQ(got.path, c.path);
        EXPECT_EQ(got.problem.empty(), !c.path.empty());
    }
}

TEST(LyricsBaseName, LongTitlesAreCutAtACharacter) {
    // 10,000 characters of two bytes each, and a plain 10,000-byte title with an artist.
    std::string umlauts;
    for (int i = 0; i < 10000; ++i) umlauts += "ä";
    const std::string cut = LyricsBaseName("", umlauts);
    EXPECT_EQ(cut.size(), kMaxLyricsBaseBytes - 1);  // 251 would split the 126th "ä"
    EXPECT_EQ(cut, umlauts.substr(0, cut.size()));

    const std::string long1 = LyricsBaseName("Artist", std::string(10000, 'x'));
    EXPECT_EQ(long1.size(), kMaxLyricsBaseBytes);
    EXPECT_EQ(long1.substr(0, 9), "Artist - ");

    // A cut that ends on a space does not leave it at the end.
    std::string spaced;
    while (spaced.size() < 400) spaced += "word ";
    const std::string cutSpaced = LyricsBaseName("", spaced);
    EXPECT_NE(cutSpaced.back(), ' ');

    // The whole song path still fits the block, and the lyrics file name a file system.
    Track t;
    t.artists = {std::string(5000, 'a'), std::string(5000, 'b')};
    t.title = std::string(10000, '/');
    const SongPath got = SongPathFor(t);
    EXPECT_LE(got.path.size(), kMaxSongPathBytes);
    EXPECT_EQ(got.path.find('/'), std::string::npos);
    EXPECT_LE(got.path.size() - 3, 255u);  // the file name after "Z:\"
}

TEST(PercentDecode, EscapesAndEnds) {
    EXPECT_EQ(PercentDecode("a%20b"), "a b");
    EXPECT_EQ(PercentDecode("%41%6a%6A"), "Ajj");
    EXPECT_EQ(PercentDecode("%"), "%");
    EXPECT_EQ(PercentDecode("%4"), "%4");
    EXPECT_EQ(PercentDecode("end%2"), "end%2");
    EXPECT_EQ(PercentDecode("%g0"), "%g0");
    EXPECT_EQ(PercentDecode("%00"), std::string(1, '\0'));
}

TEST(DescribeTrack, OneShortLine) {
    Track t;
    t.artists = {"A", "B"};
    t.title = "Line\none";
    EXPECT_EQ(DescribeTrack(t), "A, B - Line one");
    t.title = std::string(1000000, 'x');
    EXPECT_LE(DescribeTrack(t, 50).size(), 53u);
    Track urlOnly;
    urlOnly.url = "https://s.example/";
    EXPECT_EQ(DescribeTrack(urlOnly), "https://s.example/");
}

TEST(SameTrack, TheLengthDoesNotMakeANewTrack) {
    Track a;
    a.url = "file:///a.ogg";
    a.title = "A";
    Track b = a;
    b.lengthUs = 5000000;
    EXPECT_TRUE(SameTrack(a, b));
    b.title = "B";
    EXPECT_FALSE(SameTrack(a, b));
}

}  // namespace
}  // namespace mpris
