// Real LRC files written by others (corpus/README.md says where each comes from): after
// conversion, at least 95 % of all their line time tags are shown with their whole text
// by the real loader, and every converted file passes strofix-check without a warning.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/lrc/lrc_test_support.h"
#include "tools/lrc/lrc_convert.h"

namespace {

namespace fs = std::filesystem;

// The file's code page when it is not UTF-8 (named in its file name).
std::string CodePageOf(const fs::path& p) {
    return p.filename().string().find("gbk") != std::string::npos ? "GBK" : "";
}

// This test's own reading of the source, independent of the converter: UTF-8 text.
std::string SourceText(const std::string& bytes, const std::string& codePage) {
    if (codePage.empty()) {
        return bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? bytes.substr(3) : bytes;
    }
    iconv_t cd = iconv_open("UTF-8", codePage.c_str());
    std::string out(bytes.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    char* o = out.data();
    std::size_t inLeft = bytes.size(), outLeft = out.size();
    iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

struct Tally {
    int tags = 0;
    int shown = 0;
};

std::string Clean(std::string text) {
    static const std::regex wordTag(R"(<\d+:\d+(?:[.:]\d+)?>)");
    static const std::regex timeTag(R"(\[\d+:\d+(?:[.:]\d{1,3})?\])");
    static const std::regex blanks(R"([ \t]+)");
    text = std::regex_replace(text, wordTag, "");
    text = std::regex_replace(text, timeTag, "");
    std::replace(text.begin(), text.end(), '[', '(');
    std::replace(text.begin(), text.end(), ']', ')');
    text = std::regex_replace(text, blanks, " ");
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Counts the line time tags of `source` and those the loaded table shows with their whole
// text: an entry at the tag's second (the first of that second, the one Strofix shows)
// one of whose " / " parts holds the line's text whole.
Tally Count(const std::string& source, const lrc_test::Table& table, std::string* misses) {
    static const std::regex offsetTag(R"(^\s*\[\s*offset\s*:\s*([+-]?\d+)\s*\])",
                                      std::regex::icase);
    static const std::regex leading(R"(^\s*((?:\[\d+:\d+(?:[.:]\d{1,3})?\]\s*)+)(.*)$)");
    static const std::regex tag(R"(\[(\d+):(\d+)(?:[.:](\d{1,3}))?\])");
    long long offset = 0;
    bool haveOffset = false;
    std::vector<std::string> lines;
    std::istringstream in(source);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::smatch m;
        if (!haveOffset && std::regex_search(line, m, offsetTag)) {
            offset = std::stoll(m[1]);
            haveOffset = true;
        }
        lines.push_back(line);
    }
    Tally t;
    for (const std::string& line : lines) {
        std::smatch m;
        if (!std::regex_match(line, m, leading)) continue;
        const std::string tags = m[1], text = Clean(m[2]);
        for (std::sregex_iterator it(tags.begin(), tags.end(), tag), end; it != end; ++it) {
            ++t.tags;
            std::string frac = (*it)[3].str();
            while (!frac.empty() && frac.size() < 3) frac += '0';
            long long ms = std::stoll((*it)[1]) * 60000 + std::stoll((*it)[2]) * 1000 +
                           (frac.empty() ? 0 : std::stoll(frac));
            ms = std::max(0LL, ms - offset);
            const auto second = static_cast<std::uint32_t>(ms / 1000);
            const auto entry = std::find_if(table.begin(), table.end(),
                                            [&](const auto& e) { return e.first == second; });
            bool shown = false;
            if (entry != table.end()) {
                // Some " / " part of the shown text holds the line's text whole.
                const std::string& shownText = entry->second;
                shown = text.empty();
                for (std::size_t from = 0; !shown && from <= shownText.size();) {
                    std::size_t to = shownText.find(" / ", from);
                    if (to == std::string::npos) to = shownText.size();
                    shown = shownText.substr(from, to - from).find(text) != std::string::npos;
                    from = to + 3;
                }
            }
            if (shown) {
                ++t.shown;
            } else if (misses != nullptr) {
                *misses += "  " + std::to_string(second) + "\t" + text + "\n";
            }
        }
    }
    return t;
}

std::vector<fs::path> CorpusFiles() {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(STROFIX_LRC_CORPUS)) {
        if (e.path().extension() == ".lrc") files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(Corpus, ShowsNearlyEveryLineWithItsWholeText) {
    const std::vector<fs::path> files = CorpusFiles();
    ASSERT_GE(files.size(), 10u);
    Tally all;
    lrc_test::TempDir dir("corpus");
    for (const fs::path& p : files) {
        const std::string bytes = lrc_test::ReadFile(p.string());
        lrc::ConvertOptions o;
        o.toEncoding = "UTF-8";
        o.fromEncoding = CodePageOf(p);
        const lrc::ConvertResult r = lrc::Convert(bytes, o);
        ASSERT_TRUE(r.ok) << p << ": " << r.error;

        // The converted file passes the checker without a single warning.
        const std::string converted = dir / (p.stem().string() + ".txt");
        lrc_test::WriteFile(converted, r.output);
        const lrc_test::RunResult check = lrc_test::RunProgram(STROFIX_CHECK_EXE, {converted});
        EXPECT_EQ(check.exitCode, 0) << p;
        EXPECT_EQ(check.err, "") << p;

        std::string misses;
        const Tally t = Count(SourceText(bytes, o.fromEncoding),
                              lrc_test::LoadThroughLoader(r.output), &misses);
        std::printf("%5d / %5d  %s\n", t.shown, t.tags, p.filename().string().c_str());
        if (!misses.empty()) std::printf("%s", misses.c_str());
        for (const std::string& w : r.warnings) std::printf("         warning: %s\n", w.c_str());
        all.tags += t.tags;
        all.shown += t.shown;
    }
    std::printf(
        "corpus: %d of %d line time tags shown with their whole text (%.1f %%) in %zu "
        "files\n",
        all.shown, all.tags, 100.0 * all.shown / all.tags, files.size());
    EXPECT_GE(all.shown * 100, all.tags * 95);
}

// Before conversion the loader shows almost none of them: the figure the converter exists
// for, and a check that the count above is not trivially met.
TEST(Corpus, UnconvertedFilesShowLittle) {
    Tally all;
    for (const fs::path& p : CorpusFiles()) {
        const std::string bytes = lrc_test::ReadFile(p.string());
        const Tally t =
            Count(SourceText(bytes, CodePageOf(p)), lrc_test::LoadThroughLoader(bytes), nullptr);
        all.tags += t.tags;
        all.shown += t.shown;
    }
    std::printf("unconverted: %d of %d line time tags shown\n", all.shown, all.tags);
    EXPECT_LT(all.shown * 100, all.tags * 20);
}

}  // namespace
