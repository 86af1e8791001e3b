// How long a song change and a tick take.
//  - LoadLyrics on files of 250 tagged lines in time order, in reverse order and shuffled,
//    each beside a bare open, line-by-line read and close of the same file (the floor).
//  - One same-song tick over the full table, beside its floor: a bounded copy of the path,
//    a compare, a scan of the 250 slots and a text assign.
// The dialog backend records nothing here (the tests' log would grow without end).
// scripts/bench.sh --ratios prints the ratios of each pair, medians of five runs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/fake/fake_backend.h"
#include "tests/core/support.h"
#include "ui/lyrics_dlg.h"

namespace {

enum class Order { InOrder, Reversed, Shuffled };
const char* const kNames[] = {"InOrder", "Reversed", "Shuffled"};

// The seconds of line i: a fixed shuffle (Fisher-Yates over a small LCG), so every run
// and every machine reads the same files.
std::vector<int> Times(Order order) {
    std::vector<int> t(kLyricSlots);
    for (int i = 0; i < kLyricSlots; ++i) t[i] = order == Order::Reversed ? kLyricSlots - 1 - i : i;
    if (order == Order::Shuffled) {
        std::uint32_t state = 12345;
        for (int i = kLyricSlots - 1; i > 0; --i) {
            state = state * 1103515245U + 12345U;
            std::swap(t[i], t[(state >> 8) % static_cast<std::uint32_t>(i + 1)]);
        }
    }
    return t;
}

// Settings and lyrics live in a temporary directory for the whole run.
struct Fixture {
    strofix_test::TempDir config;
    strofix_test::TempDir lyrics;
    std::string files[3];
    Fixture() {
        strofix_test::SetEnv("XDG_CONFIG_HOME", config.Str().c_str());
        for (int o = 0; o < 3; ++o) {
            std::string text = "[ti:Benchmark]\n[ar:Strofix]\n";
            const std::vector<int> times = Times(static_cast<Order>(o));
            for (int i = 0; i < kLyricSlots; ++i) {
                char line[96];
                const int t = times[i];
                std::snprintf(line, sizeof line,
                              "[%02d:%02d]Line number %d of the song, with words\n", t / 60, t % 60,
                              i);
                text += line;
            }
            files[o] = lyrics.Write(std::string(kNames[o]) + ".txt", text).string();
        }
    }
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

std::string Song(Order order) {
    return std::string("D:\\Music\\") + kNames[static_cast<int>(order)] + ".mp3";
}

std::unique_ptr<CLyricsDlg> QuietWindow() {
    auto dlg = std::make_unique<CLyricsDlg>();
    FakeDialogBackend::Of(*dlg).recording = false;
    std::snprintf(dlg->m_lyricsDir, sizeof dlg->m_lyricsDir, "%s", Shared().lyrics.Str().c_str());
    return dlg;
}

void BM_LoadLyrics(benchmark::State& state, Order order) {
    auto dlg = QuietWindow();
    const std::string song = Song(order);
    for (auto _ : state) {
        const bool ok = dlg->LoadLyrics(song.c_str());
        benchmark::DoNotOptimize(ok);
        if (!ok || dlg->m_entryCount != kLyricSlots) state.SkipWithError("load failed");
    }
}

void BM_OpenReadClose(benchmark::State& state, Order order) {
    const std::string& path = Shared().files[static_cast<int>(order)];
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

BENCHMARK_CAPTURE(BM_LoadLyrics, InOrder, Order::InOrder);
BENCHMARK_CAPTURE(BM_OpenReadClose, InOrder, Order::InOrder);
BENCHMARK_CAPTURE(BM_LoadLyrics, Reversed, Order::Reversed);
BENCHMARK_CAPTURE(BM_OpenReadClose, Reversed, Order::Reversed);
BENCHMARK_CAPTURE(BM_LoadLyrics, Shuffled, Order::Shuffled);
BENCHMARK_CAPTURE(BM_OpenReadClose, Shuffled, Order::Shuffled);

// A new second about every third tick, as at 300 ms a tick.
std::uint32_t NextPosition(std::uint32_t ms) {
    return (ms + 300) % (kLyricSlots * 1000);
}

void BM_SameSongTick(benchmark::State& state) {
    ResetTickState();
    strofix_test::TestBlock block;
    auto dlg = QuietWindow();
    if (!dlg->m_player.OpenBlock(block.Name(), block.EventName())) {
        state.SkipWithError("block not opened");
        return;
    }
    block.SetPath(Song(Order::Shuffled));
    dlg->OnTimer(kTickTimerId);  // the song change: loads the table
    if (dlg->m_entryCount != kLyricSlots) {
        state.SkipWithError("load failed");
        return;
    }
    std::uint32_t ms = 0;
    for (auto _ : state) {
        block.SetPosition(ms);
        ms = NextPosition(ms);
        dlg->OnTimer(kTickTimerId);
        benchmark::DoNotOptimize(dlg->m_displayText.data());
    }
}
BENCHMARK(BM_SameSongTick);

// The least a same-song tick can do: copy the path out of the block (bounded by the
// block and the buffer), compare it with the last one, find the slot of the second among
// the 250 and assign its text.
void BM_TickFloor(benchmark::State& state) {
    strofix_test::TestBlock block;
    block.SetPath(Song(Order::Shuffled));
    const unsigned char* view = block.Bytes();
    const std::size_t pathRoom = block.Size() - kSongPathOffset;
    static LyricTable table;
    const std::vector<int> times = Times(Order::Shuffled);
    for (int i = 0; i < kLyricSlots; ++i) {
        table[i].seconds = static_cast<std::uint32_t>(times[i]);
        std::snprintf(table[i].text, sizeof table[i].text, "Line number %d of the song", i);
    }
    std::vector<LyricEntry> sorted(table, table + kLyricSlots);
    SortLyricEntries(sorted.data(), kLyricSlots);
    std::memcpy(table, sorted.data(), sizeof table);
    char last[kSongPathSize];
    std::snprintf(last, sizeof last, "%s", Song(Order::Shuffled).c_str());
    std::string shown;
    int line = 0;
    std::uint32_t ms = 0;
    for (auto _ : state) {
        block.SetPosition(ms);
        ms = NextPosition(ms);
        char path[kSongPathSize];
        const std::size_t room = pathRoom < sizeof path - 1 ? pathRoom : sizeof path - 1;
        const void* nul = std::memchr(view + kSongPathOffset, '\0', room);
        const std::size_t n =
            nul != nullptr ? static_cast<const unsigned char*>(nul) - (view + kSongPathOffset)
                           : room;
        std::memcpy(path, view + kSongPathOffset, n);
        path[n] = '\0';
        if (std::strcmp(path, last) != 0) state.SkipWithError("the path changed");
        std::uint32_t position = 0;
        std::memcpy(&position, view + kPositionOffset, sizeof position);
        const std::uint32_t seconds = position / 1000;
        for (int i = 0; i < kLyricSlots; ++i) {
            if (table[i].seconds == seconds) {
                line = i;
                break;
            }
        }
        shown = table[line].text;
        benchmark::DoNotOptimize(shown.data());
    }
}
BENCHMARK(BM_TickFloor);

}  // namespace

BENCHMARK_MAIN();
