// Embedded lyrics: audio files made here, tagged with TagLib (each kind of lyrics tag),
// read back, and imported end to end by the program.
#include <gtest/gtest.h>
#include <taglib/apetag.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/synchronizedlyricsframe.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/lrc/lrc_test_support.h"
#include "tools/lrc/lrc_embedded.h"

namespace {

namespace fs = std::filesystem;

const char kLrc[] = "[ti:Tagged]\n[00:01.50]First line\n[00:04.25]Second line\n";
const lrc_test::Table kTable = {{1, "First line"}, {4, "Second line"}};

TagLib::String Utf8(const std::string& s) {
    return TagLib::String(s, TagLib::String::UTF8);
}

void Put32Be(std::string* s, std::uint32_t v) {
    for (int k = 3; k >= 0; --k) *s += static_cast<char>((v >> (8 * k)) & 0xFF);
}
void Put32Le(std::string* s, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) *s += static_cast<char>((v >> (8 * k)) & 0xFF);
}

// Ten silent MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz): 417 bytes each.
std::string Mp3() {
    std::string frame("\xFF\xFB\x90\x00", 4);
    frame.resize(417, '\0');
    std::string s;
    for (int i = 0; i < 10; ++i) s += frame;
    return s;
}

// "fLaC" and a STREAMINFO block (44.1 kHz, stereo, 16 bits).
std::string Flac() {
    std::string s = "fLaC";
    s += std::string("\x80\x00\x00\x22", 4);                  // last block, STREAMINFO, 34 bytes
    s += std::string("\x10\x00\x10\x00", 4);                  // block sizes 4096
    s += std::string(6, '\0');                                // frame sizes unknown
    s += std::string("\x0A\xC4\x42\xF0\x00\x00\x00\x00", 8);  // 44100 Hz, 2 ch, 16 bit
    s += std::string(16, '\0');                               // MD5
    return s;
}

std::uint32_t OggCrc(const std::string& page) {
    std::uint32_t crc = 0;
    for (const char ch : page) {
        crc ^= static_cast<std::uint32_t>(static_cast<unsigned char>(ch)) << 24;
        for (int k = 0; k < 8; ++k) crc = crc & 0x80000000U ? (crc << 1) ^ 0x04C11DB7U : crc << 1;
    }
    return crc;
}

// One Ogg page holding one whole packet.
std::string OggPage(const std::string& packet, std::uint8_t flags, std::uint64_t granule,
                    std::uint32_t sequence) {
    std::string p = "OggS";
    p += '\0';
    p += static_cast<char>(flags);
    for (int k = 0; k < 8; ++k) p += static_cast<char>((granule >> (8 * k)) & 0xFF);
    Put32Le(&p, 0x5354524F);  // serial number
    Put32Le(&p, sequence);
    Put32Le(&p, 0);  // CRC, filled in below
    std::string lacing;
    std::size_t left = packet.size();
    for (; left >= 255; left -= 255) lacing += '\xFF';
    lacing += static_cast<char>(left);
    p += static_cast<char>(lacing.size());
    p += lacing + packet;
    const std::uint32_t crc = OggCrc(p);
    for (int k = 0; k < 4; ++k) p[22 + k] = static_cast<char>((crc >> (8 * k)) & 0xFF);
    return p;
}

std::string Opus() {
    std::string head = "OpusHead";
    head += std::string("\x01\x02\x38\x01", 4);  // version 1, 2 channels, pre-skip 312
    Put32Le(&head, 48000);
    head += std::string(3, '\0');  // gain 0, mapping family 0
    std::string tags = "OpusTags";
    Put32Le(&tags, 4);
    tags += "test";
    Put32Le(&tags, 0);
    return OggPage(head, 0x02, 0, 0) + OggPage(tags, 0, 0, 1) +
           OggPage(std::string("\xFC\xFF\xFE", 3), 0x04, 48000, 2);
}

std::string Vorbis() {
    std::string id("\x01vorbis", 7);
    Put32Le(&id, 0);  // version
    id += '\x02';     // channels
    Put32Le(&id, 44100);
    Put32Le(&id, 0);
    Put32Le(&id, 128000);
    Put32Le(&id, 0);
    id += '\xB8';  // block sizes
    id += '\x01';  // framing
    std::string comment("\x03vorbis", 7);
    Put32Le(&comment, 4);
    comment += "test";
    Put32Le(&comment, 0);
    comment += '\x01';
    const std::string setup = std::string("\x05vorbis", 7) + std::string(8, '\0');
    return OggPage(id, 0x02, 0, 0) + OggPage(comment, 0, 0, 1) + OggPage(setup, 0, 0, 2) +
           OggPage(std::string(4, '\0'), 0x04, 44100, 3);
}

std::string Atom(const std::string& type, const std::string& body) {
    std::string a;
    Put32Be(&a, static_cast<std::uint32_t>(8 + body.size()));
    return a + type + body;
}

// ftyp and a moov holding only its movie header.
std::string Mp4() {
    std::string mvhd(4, '\0');  // version, flags
    Put32Be(&mvhd, 0);
    Put32Be(&mvhd, 0);
    Put32Be(&mvhd, 1000);  // time scale
    Put32Be(&mvhd, 0);     // duration
    Put32Be(&mvhd, 0x00010000);
    mvhd += std::string("\x01\x00", 2);
    mvhd += std::string(10, '\0');
    const std::uint32_t matrix[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};
    for (const std::uint32_t v : matrix) Put32Be(&mvhd, v);
    mvhd += std::string(24, '\0');
    Put32Be(&mvhd, 2);
    return Atom("ftyp", std::string("M4A \0\0\0\0M4A isom", 16)) + Atom("moov", Atom("mvhd", mvhd));
}

struct Kind {
    const char* name;
    const char* file;
    std::function<std::string()> make;
    std::function<void(const std::string&)> tag;
    const char* source;  // part of EmbeddedLyrics::source
};

void TagSylt(const std::string& path) {
    TagLib::MPEG::File f(path.c_str());
    auto* sylt = new TagLib::ID3v2::SynchronizedLyricsFrame(TagLib::String::UTF8);
    sylt->setTimestampFormat(TagLib::ID3v2::SynchronizedLyricsFrame::AbsoluteMilliseconds);
    TagLib::ID3v2::SynchronizedLyricsFrame::SynchedTextList lines;
    lines.append({1500, Utf8("\nFirst line")});
    lines.append({4250, Utf8("Second line")});
    sylt->setSynchedText(lines);
    f.ID3v2Tag(true)->addFrame(sylt);
    ASSERT_TRUE(f.save());
}

void TagUslt(const std::string& path, const std::string& text) {
    TagLib::MPEG::File f(path.c_str());
    auto* uslt = new TagLib::ID3v2::UnsynchronizedLyricsFrame(TagLib::String::UTF8);
    uslt->setText(Utf8(text));
    f.ID3v2Tag(true)->addFrame(uslt);
    ASSERT_TRUE(f.save());
}

void TagApe(const std::string& path) {
    TagLib::MPEG::File f(path.c_str());
    f.APETag(true)->addValue("Lyrics", Utf8(kLrc));
    ASSERT_TRUE(f.save(TagLib::MPEG::File::APE));
}

void TagFlac(const std::string& path, const char* field) {
    TagLib::FLAC::File f(path.c_str());
    f.xiphComment(true)->addField(field, Utf8(kLrc));
    ASSERT_TRUE(f.save());
}

template <class File>
void TagOgg(const std::string& path, const char* field) {
    File f(path.c_str());
    ASSERT_TRUE(f.isValid());
    f.tag()->addField(field, Utf8(kLrc));
    ASSERT_TRUE(f.save());
}

void TagMp4(const std::string& path) {
    TagLib::MP4::File f(path.c_str());
    ASSERT_TRUE(f.isValid());
    f.tag()->setItem("\251lyr", TagLib::StringList(Utf8(kLrc)));
    ASSERT_TRUE(f.save());
}

const std::vector<Kind>& Kinds() {
    static const std::vector<Kind> kinds = {
        {"Id3v2Sylt", "Sylt.mp3", Mp3, TagSylt, "SYLT"},
        {"Id3v2UsltWithLrc", "Uslt.mp3", Mp3, [](const std::string& p) { TagUslt(p, kLrc); },
         "LYRICS"},
        {"ApeLyrics", "Ape.mp3", Mp3, TagApe, "LYRICS"},
        {"FlacLyrics", "Lyrics.flac", Flac, [](const std::string& p) { TagFlac(p, "LYRICS"); },
         "LYRICS"},
        {"FlacSyncedLyrics", "Synced.flac", Flac,
         [](const std::string& p) { TagFlac(p, "SYNCEDLYRICS"); }, "SYNCEDLYRICS"},
        {"FlacUnsyncedLyricsHoldingLrc", "Unsynced.flac", Flac,
         [](const std::string& p) { TagFlac(p, "UNSYNCEDLYRICS"); }, "UNSYNCEDLYRICS"},
        {"OggVorbis", "Vorbis.ogg", Vorbis,
         [](const std::string& p) { TagOgg<TagLib::Ogg::Vorbis::File>(p, "LYRICS"); }, "LYRICS"},
        {"Opus", "Opus.opus", Opus,
         [](const std::string& p) { TagOgg<TagLib::Ogg::Opus::File>(p, "SYNCEDLYRICS"); },
         "SYNCEDLYRICS"},
        {"Mp4Lyr", "Lyr.m4a", Mp4, TagMp4, "LYRICS"},
    };
    return kinds;
}

class EmbeddedKinds : public ::testing::TestWithParam<Kind> {};

TEST_P(EmbeddedKinds, AreReadAsLrc) {
    const Kind& k = GetParam();
    lrc_test::TempDir dir("embedded");
    const std::string path = dir / k.file;
    lrc_test::WriteFile(path, k.make());
    k.tag(path);
    const lrc::EmbeddedLyrics e = lrc::ReadEmbeddedLyrics(path);
    ASSERT_EQ(e.found, lrc::EmbeddedLyrics::Found::Synced) << e.error;
    EXPECT_NE(e.source.find(k.source), std::string::npos) << e.source;
    EXPECT_NE(e.lrc.find("First line"), std::string::npos) << e.lrc;
}

INSTANTIATE_TEST_SUITE_P(Tags, EmbeddedKinds, ::testing::ValuesIn(Kinds()),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                             return std::string(info.param.name);
                         });

TEST(Embedded, UnsyncedTextAndUntaggedFilesHaveNothingToConvert) {
    lrc_test::TempDir dir("unsynced");
    const std::string plain = dir / "Plain.mp3", bare = dir / "Bare.flac";
    lrc_test::WriteFile(plain, Mp3());
    TagUslt(plain, "Words without any time\nMore words\n");
    EXPECT_EQ(lrc::ReadEmbeddedLyrics(plain).found, lrc::EmbeddedLyrics::Found::UnsyncedOnly);
    lrc_test::WriteFile(bare, Flac());
    EXPECT_EQ(lrc::ReadEmbeddedLyrics(bare).found, lrc::EmbeddedLyrics::Found::None);
    lrc_test::WriteFile(dir / "Broken.flac", "not audio");
    EXPECT_EQ(lrc::ReadEmbeddedLyrics(dir / "Broken.flac").found,
              lrc::EmbeddedLyrics::Found::Unreadable);
}

// Every kind in one music folder, imported by the program; the lyrics files it writes load
// as the table the lyrics say.
TEST(Embedded, ImportMusicWritesEveryKind) {
    lrc_test::TempDir dir("import-embedded");
    const std::string music = dir / "Music", lyrics = dir / "Lyrics";
    fs::create_directories(music + "/Artist");
    fs::create_directory(lyrics);
    for (const Kind& k : Kinds()) {
        const std::string path = music + "/Artist/" + k.file;
        lrc_test::WriteFile(path, k.make());
        k.tag(path);
    }
    lrc_test::WriteFile(music + "/Artist/Plain.mp3", Mp3());
    TagUslt(music + "/Artist/Plain.mp3", "Words only\n");

    const lrc_test::RunResult r =
        lrc_test::RunProgram(STROFIX_LRC_EXE, {"import", "--music", music, "--dir", lyrics});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("written: " + std::to_string(Kinds().size()) + "\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("no synced lyrics: 1 (1 with unsynced lyrics only)"), std::string::npos)
        << r.out;
    for (const Kind& k : Kinds()) {
        std::string name = k.file;
        name.replace(name.size() - 3, 3, "txt");  // the window's rule: the last three characters
        const std::string path = lyrics + "/" + name;
        ASSERT_TRUE(fs::exists(path)) << path;
        EXPECT_EQ(lrc_test::LoadThroughLoader(lrc_test::ReadFile(path)), kTable) << path;
    }
}

}  // namespace
