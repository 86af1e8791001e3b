#!/usr/bin/env bash
# Builds the benchmarks in Release in build-bench and runs them. Extra arguments go to the
# benchmark program (for example --benchmark_repetitions=5).
#
#   scripts/bench.sh --ratios [RUNS]
#     runs the whole benchmark RUNS times (5 by default) and prints, for each pair, the
#     median over the runs of the ratio taken within one run: LoadLyrics against the bare
#     open+read+close of the same file (in time order, reversed, shuffled), and the
#     same-song tick against its floor. CPU time and wall time; medians of the times too.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTROFIX_GUI=OFF \
    -DSTROFIX_TESTS=OFF -DSTROFIX_BENCH=ON >/dev/null
cmake --build build-bench --target strofix_bench
bench=build-bench/bench/strofix_bench

if [ "${1:-}" != "--ratios" ]; then
    exec "$bench" "$@"
fi
runs="${2:-5}"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for run in $(seq "$runs"); do
    echo "run $run of $runs" >&2
    "$bench" --benchmark_format=csv 2>/dev/null | sed "s/^/$run,/" >>"$out"
done

awk -F, -v runs="$runs" '
    function median(list,    n, a, i, j, t) {
        n = split(list, a, " ")
        for (i = 2; i <= n; i++) {  # insertion sort: five numbers
            t = a[i] + 0
            for (j = i - 1; j >= 1 && a[j] + 0 > t; j--) a[j + 1] = a[j]
            a[j + 1] = t
        }
        return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    $2 ~ /^"BM_/ {
        name = $2
        gsub(/"/, "", name)
        real[$1, name] = $4
        cpu[$1, name] = $5
        names[name] = 1
    }
    END {
        printf "%-28s %12s %12s   (medians of %d runs)\n", "benchmark", "cpu ns", "wall ns", runs
        for (name in names) {
            c = ""; w = ""
            for (r = 1; r <= runs; r++) { c = c " " cpu[r, name]; w = w " " real[r, name] }
            line[name] = sprintf("%-28s %12.0f %12.0f", name, median(c), median(w))
        }
        n = split("BM_LoadLyrics/InOrder BM_OpenReadClose/InOrder BM_LoadLyrics/Reversed " \
                  "BM_OpenReadClose/Reversed BM_LoadLyrics/Shuffled BM_OpenReadClose/Shuffled " \
                  "BM_SameSongTick BM_TickFloor", order, " ")
        for (i = 1; i <= n; i++) if (order[i] in line) print line[order[i]]
        printf "\n%-40s %8s %8s\n", "ratio (within each run)", "cpu", "wall"
        split("InOrder Reversed Shuffled", files, " ")
        for (f = 1; f <= 3; f++) {
            a = "BM_LoadLyrics/" files[f]; b = "BM_OpenReadClose/" files[f]
            c = ""; w = ""
            for (r = 1; r <= runs; r++) {
                c = c " " cpu[r, a] / cpu[r, b]; w = w " " real[r, a] / real[r, b]
            }
            printf "%-40s %7.2fx %7.2fx\n", "LoadLyrics / open+read+close, " files[f], \
                median(c), median(w)
        }
        c = ""; w = ""
        for (r = 1; r <= runs; r++) {
            c = c " " cpu[r, "BM_SameSongTick"] / cpu[r, "BM_TickFloor"]
            w = w " " real[r, "BM_SameSongTick"] / real[r, "BM_TickFloor"]
        }
        printf "%-40s %7.2fx %7.2fx\n", "same-song tick / floor", median(c), median(w)
    }' "$out"
