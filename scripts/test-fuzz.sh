#!/usr/bin/env bash
# Builds the libFuzzer targets with clang++ in build-fuzz and runs each from the committed
# seed corpus for a budget of executions (FUZZ_RUNS, 100000 by default), stopped early at
# FUZZ_SECONDS (60 by default) on a slow machine. Prints the executions done, the time
# taken and the rate of each. A crash, a sanitizer report or a failed check ends the run
# with a non-zero status and leaves the input in build-fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${FUZZ_RUNS:-100000}"
seconds="${FUZZ_SECONDS:-60}"

CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSTROFIX_FUZZ=ON -DSTROFIX_GUI=OFF -DSTROFIX_TESTS=OFF -DSTROFIX_BENCH=OFF
cmake --build build-fuzz --target fuzz_lyrics_loader fuzz_player_block fuzz_lrc_convert

run() {
    local target=$1 seeds=$2
    local work="build-fuzz/corpus-$target" artifacts="build-fuzz/artifacts-$target/"
    local log="build-fuzz/$target.log"
    mkdir -p "$work" "$artifacts"
    echo "--- $target: $runs executions, at most $seconds s"
    local start end status
    start=$(date +%s.%N)
    # The log keeps everything; the screen gets the pulses, the end and any report.
    set +e
    "build-fuzz/tests/fuzz/$target" -runs="$runs" -max_total_time="$seconds" -max_len=4096 \
        -artifact_prefix="$artifacts" -print_final_stats=1 "$work" "$seeds" 2>&1 |
        tee "$log" | grep -vE '^#[0-9]+[[:space:]]+(NEW|REDUCE)'
    status=${PIPESTATUS[0]}
    set -e
    end=$(date +%s.%N)
    [ "$status" -eq 0 ] || { echo "$target failed (see $log)" >&2; exit "$status"; }
    local done rate
    done=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    printf '%s: %s executions in %.1f s (%s exec/s)\n' "$target" "${done:-?}" \
        "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" "${rate:-?}"
    if [ -n "$done" ] && [ "$done" -lt "$runs" ]; then
        echo "$target: the time limit came before the budget of $runs executions"
    fi
}

run fuzz_lyrics_loader tests/fuzz/corpus/lyrics
run fuzz_player_block tests/fuzz/corpus/block
run fuzz_lrc_convert tests/fuzz/corpus/lrc
echo "Fuzzing found nothing"
