#!/usr/bin/env bash
# Builds the libFuzzer targets with clang++ in build-fuzz and runs each for a while
# (FUZZ_SECONDS, 30 by default) from the committed seed corpus. A crash, a sanitizer report
# or a failed check ends the run with a non-zero status and leaves the input in build-fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-30}"

CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSTROFIX_FUZZ=ON -DSTROFIX_GUI=OFF -DSTROFIX_TESTS=OFF -DSTROFIX_BENCH=OFF
cmake --build build-fuzz --target fuzz_lyrics_loader fuzz_player_block fuzz_lrc_convert

run() {
    local target=$1 seeds=$2
    local work="build-fuzz/corpus-$target" artifacts="build-fuzz/artifacts-$target/"
    mkdir -p "$work" "$artifacts"
    echo "--- $target for ${seconds} s"
    "build-fuzz/tests/fuzz/$target" -max_total_time="$seconds" -max_len=4096 \
        -artifact_prefix="$artifacts" -print_final_stats=1 "$work" "$seeds"
}

run fuzz_lyrics_loader tests/fuzz/corpus/lyrics
run fuzz_player_block tests/fuzz/corpus/block
run fuzz_lrc_convert tests/fuzz/corpus/lrc
echo "Fuzzing found nothing"
