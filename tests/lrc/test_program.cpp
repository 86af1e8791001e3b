// strofix-lrc as a user runs it: exit codes, messages, files written where Strofix looks.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/lrc/lrc_test_support.h"

namespace {

namespace fs = std::filesystem;
using Ran = lrc_test::RunResult;

Ran Lrc(const std::vector<std::string>& args, const std::string& env = "") {
    return lrc_test::RunProgram(STROFIX_LRC_EXE, args, env);
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
    std::string message;
};

class BadUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(BadUsage, ExitsTwoWithTheReason) {
    const Ran r = Lrc(GetParam().args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Has(r.err, GetParam().message)) << r.err;
    EXPECT_TRUE(Has(r.err, "usage:")) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, BadUsage,
    ::testing::Values(
        UsageCase{"NoCommand", {}, "give a command"},
        UsageCase{"UnknownCommand", {"frobnicate"}, "unknown command"},
        UsageCase{"ConvertNoFile", {"convert"}, "wants an LRC file"},
        UsageCase{"ConvertTwoFiles", {"convert", "a", "b"}, "one LRC file"},
        UsageCase{"UnknownOption", {"convert", "--bogus", "a"}, "unknown option"},
        UsageCase{"OptionWithoutValue", {"convert", "a", "-o"}, "wants a value"},
        UsageCase{"ImportNothing", {"import"}, "wants LRC files"},
        UsageCase{"SongWithTwoFiles", {"import", "--song", "\\a.mp3", "a", "b"}, "exactly one"},
        UsageCase{"MusicWithFiles", {"import", "--music", "m", "a.lrc"}, "--music takes no"},
        UsageCase{"DirTooLong", {"import", "--dir", std::string(100, 'd'), "a"}, "at most 99"}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return std::string(info.param.name); });

TEST(Program, HelpAndVersion) {
    const Ran help = Lrc({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(Has(help.out, "strofix-lrc import --music")) << help.out;
    const Ran version = Lrc({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("strofix-lrc ", 0), 0u) << version.out;
}

TEST(Program, ConvertWritesStdoutOrAFileAndShows) {
    lrc_test::TempDir dir("convert");
    const std::string in = dir / "Song.lrc";
    lrc_test::WriteFile(in, "[ti:x]\n[00:01.50]One [two]\n[00:03.20]Three\n");
    const Ran out = Lrc({"convert", in});
    EXPECT_EQ(out.exitCode, 0) << out.err;
    EXPECT_EQ(out.out, "[00:01]One (two)\n[00:03]Three\n");

    const Ran show = Lrc({"convert", "--show", "--fill", in});
    EXPECT_EQ(show.exitCode, 0) << show.err;
    EXPECT_EQ(show.out, "1\tOne (two)\n2\tOne (two)\n3\tThree\n");

    const std::string target = dir / "Song.txt";
    EXPECT_EQ(Lrc({"convert", in, "-o", target}).exitCode, 0);
    EXPECT_EQ(lrc_test::ReadFile(target), out.out);
    // Present: replaced only with --force.
    lrc_test::WriteFile(target, "keep");
    const Ran again = Lrc({"convert", in, "-o", target});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(Has(again.err, "--force")) << again.err;
    EXPECT_EQ(lrc_test::ReadFile(target), "keep");
    EXPECT_EQ(Lrc({"convert", "--force", in, "-o", target}).exitCode, 0);
    EXPECT_EQ(lrc_test::ReadFile(target), out.out);
}

TEST(Program, ConvertFailuresSayWhy) {
    lrc_test::TempDir dir("convert-fail");
    const Ran missing = Lrc({"convert", dir / "none.lrc"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(Has(missing.err, "no such file")) << missing.err;

    const std::string latin1 = dir / "latin1.lrc";
    lrc_test::WriteFile(latin1, "[00:01]caf\xE9\n");
    const Ran bad = Lrc({"convert", latin1});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(Has(bad.err, "--from-encoding")) << bad.err;
    const Ran good = Lrc({"convert", "--from-encoding", "CP1252", latin1});
    EXPECT_EQ(good.exitCode, 0) << good.err;
    EXPECT_EQ(good.out, "[00:01]caf\xC3\xA9\n");
    const Ran ansi =
        Lrc({"convert", "--to-encoding", "CP1252", "--from-encoding", "CP1252", latin1});
    EXPECT_EQ(ansi.out, "[00:01]caf\xE9\n");

    const std::string untimed = dir / "plain.lrc";
    lrc_test::WriteFile(untimed, "just words\n");
    const Ran none = Lrc({"convert", untimed});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(Has(none.err, "no timed line")) << none.err;
}

TEST(Program, ImportNamesFilesAsStrofixLooksForThem) {
    lrc_test::TempDir dir("import");
    const std::string lyrics = dir / "Lyrics";
    fs::create_directory(lyrics);
    const std::string in = dir / "My Song.lrc";
    lrc_test::WriteFile(in, "[00:01.00]a\n");

    // From the LRC file's name: My Song.lrc -> My Song.txt.
    Ran r = Lrc({"import", "--dir", lyrics, in});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(lrc_test::ReadFile(lyrics + "/My Song.txt"), "[00:01]a\n");
    r = Lrc({"import", "--dir", lyrics, in});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "--force")) << r.err;

    // With --song, the same answer as strofix-check --which.
    const std::string song = "D:\\Music\\Artist - Title.flac";
    r = Lrc({"import", "--dir", lyrics, "--song", song, in});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const Ran which = lrc_test::RunProgram(STROFIX_CHECK_EXE, {"--which", song, "--dir", lyrics});
    ASSERT_EQ(which.exitCode, 0) << which.err;
    const std::string expected = which.out.substr(0, which.out.size() - 1);
    EXPECT_EQ(expected, lyrics + "/Artist - Title.ftxt");
    EXPECT_EQ(lrc_test::ReadFile(expected), "[00:01]a\n");
    EXPECT_TRUE(Has(r.out, expected)) << r.out;
}

TEST(Program, ImportUsesTheConfiguredDirectory) {
    lrc_test::TempDir dir("import-ini");
    const std::string lyrics = dir / "Configured";
    fs::create_directory(lyrics);
    lrc_test::WriteFile(dir / "Strofix.ini", "[Strofix 1.0]\nLyricsPath=" + lyrics + "\n");
    const std::string in = dir / "Song.lrc";
    lrc_test::WriteFile(in, "[00:02.00]b\n");
    const std::string env = "XDG_CONFIG_HOME=" + dir.path().string();
    const Ran r = Lrc({"import", in}, env);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(lrc_test::ReadFile(lyrics + "/Song.txt"), "[00:02]b\n");

    fs::remove_all(lyrics);
    const Ran gone = Lrc({"import", in}, env);
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_TRUE(Has(gone.err, "does not exist")) << gone.err;
}

TEST(Program, MusicWalkUsesSiblingLrcFilesAndSummarises) {
    lrc_test::TempDir dir("music");
    const std::string music = dir / "Music", lyrics = dir / "Lyrics";
    fs::create_directories(music + "/Album");
    fs::create_directory(lyrics);
    // The audio file's content does not matter when a .lrc file stands beside it.
    lrc_test::WriteFile(music + "/Album/One.flac", "not read");
    lrc_test::WriteFile(music + "/Album/One.LRC", "[00:01.00]one\n");
    lrc_test::WriteFile(music + "/Album/Two.flac", "not a FLAC file");
    lrc_test::WriteFile(music + "/Album/Three.ogg", "x");
    lrc_test::WriteFile(music + "/Album/Three.lrc", "[00:03.00]three\n");
    lrc_test::WriteFile(lyrics + "/Three.txt", "present");
    lrc_test::WriteFile(music + "/Album/cover.jpg", "not audio");

    Ran r = Lrc({"import", "--music", music, "--dir", lyrics});
    EXPECT_EQ(lrc_test::ReadFile(lyrics + "/One.ftxt"), "[00:01]one\n");
    EXPECT_EQ(lrc_test::ReadFile(lyrics + "/Three.txt"), "present");
    EXPECT_TRUE(Has(r.out, "written: 1\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "already present: 1")) << r.out;
    // Two.flac is no FLAC file: a failure with its reason.
    EXPECT_TRUE(Has(r.out, "failed: 1\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "Two.flac")) << r.out;
    EXPECT_EQ(r.exitCode, 1);

    fs::remove(music + "/Album/Two.flac");
    r = Lrc({"import", "--music", music, "--dir", lyrics, "--force"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(lrc_test::ReadFile(lyrics + "/Three.txt"), "[00:03]three\n");
    EXPECT_TRUE(Has(r.out, "written: 2\n")) << r.out;
}

// strofix-check points LRC files to strofix-lrc; their converted form passes without it.
TEST(Program, CheckerHintsAtLrcFilesAndPassesTheirConversion) {
    lrc_test::TempDir dir("hint");
    const std::string in = dir / "Song.lrc";
    lrc_test::WriteFile(in, "[ti:T]\n[01:02.75]a\n  [1:03.5]b\n[00:04]c\n");
    const Ran check = lrc_test::RunProgram(STROFIX_CHECK_EXE, {in});
    EXPECT_EQ(check.exitCode, 0);
    EXPECT_TRUE(Has(check.err, ":2: warning: [01:02.75] is an LRC time tag with fractions"))
        << check.err;
    EXPECT_TRUE(Has(check.err, ":3: warning: [1:03.5] is an LRC time tag")) << check.err;
    EXPECT_TRUE(Has(check.err, "hint: 2 line(s) begin with LRC time tags; strofix-lrc convert"))
        << check.err;
    EXPECT_TRUE(Has(check.err, ":1: warning: '[' but no time tag read")) << check.err;

    const std::string out = dir / "Song.txt";
    ASSERT_EQ(Lrc({"convert", in, "-o", out}).exitCode, 0);
    const Ran converted = lrc_test::RunProgram(STROFIX_CHECK_EXE, {out});
    EXPECT_EQ(converted.exitCode, 0);
    EXPECT_EQ(converted.err, "");
    EXPECT_EQ(converted.out, "4\tc\n62\ta\n63\tb\n");
}

}  // namespace
