// How long a song change and a tick take: LoadLyrics on a file of 250 tagged lines, beside
// a bare open, line-by-line read and close of the same file; and one same-song tick over
// the full table (the recording dialog backend stands in for the window).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/fake/fake_backend.h"
#include "tests/core/support.h"
#include "ui/lyrics_dlg.h"

namespace {

// Settings and lyrics live in a temporary directory for the whole run.
struct Fixture {
    strofix_test::TempDir config;
    strofix_test::TempDir lyrics;
    std::filesystem::path file;
    Fixture() {
        strofix_test::SetEnv("XDG_CONFIG_HOME", config.Str().c_str());
        std::string text = "[ti:Benchmark]\n[ar:Strofix]\n";
        for (int i = 0; i < kLyricSlots; ++i) {
            char line[96];
            // Written out of order, so the sort has work to do.
            const int t = (i * 37) % kLyricSlots;
            std::snprintf(line, sizeof line, "[%02d:%02d]Line number %d of the song, with words\n",
                          t / 60, t % 60, i);
            text += line;
        }
        file = lyrics.Write("Song.txt", text);
    }
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

const char* kSong = "D:\\Music\\Song.mp3";

void SetDir(CLyricsDlg& dlg) {
    std::snprintf(dlg.m_lyricsDir, sizeof dlg.m_lyricsDir, "%s", Shared().lyrics.Str().c_str());
}

void BM_LoadLyrics(benchmark::State& state) {
    auto dlg = std::make_unique<CLyricsDlg>();
    SetDir(*dlg);
    for (auto _ : state) {
        const bool ok = dlg->LoadLyrics(kSong);
        benchmark::DoNotOptimize(ok);
        if (!ok || dlg->m_entryCount != kLyricSlots) state.SkipWithError("load failed");
    }
}
BENCHMARK(BM_LoadLyrics);

void BM_OpenReadClose(benchmark::State& state) {
    const std::string path = Shared().file.string();
    char line[kLineBufferSize];
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "r");
        if (f == nullptr) {
            state.SkipWithError("open failed");
            break;
        }
        int lines = 0;
        while (std::fgets(line, sizeof line, f) != nullptr) ++lines;
        std::fclose(f);
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(BM_OpenReadClose);

void BM_SameSongTick(benchmark::State& state) {
    ResetTickState();
    strofix_test::TestBlock block;
    auto dlg = std::make_unique<CLyricsDlg>();
    SetDir(*dlg);
    if (!dlg->m_player.OpenBlock(block.Name(), block.EventName())) {
        state.SkipWithError("block not opened");
        return;
    }
    block.SetPath(kSong);
    dlg->OnTimer(kTickTimerId);  // the song change: loads the table
    if (dlg->m_entryCount != kLyricSlots) {
        state.SkipWithError("load failed");
        return;
    }
    std::uint32_t ms = 0;
    for (auto _ : state) {
        block.SetPosition(ms);
        ms = (ms + 300) % (kLyricSlots * 1000);  // a new second about every third tick
        dlg->OnTimer(kTickTimerId);
        benchmark::DoNotOptimize(dlg->m_displayText.data());
    }
}
BENCHMARK(BM_SameSongTick);

}  // namespace

BENCHMARK_MAIN();
