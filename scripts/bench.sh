#!/usr/bin/env bash
# Builds the benchmarks in Release in build-bench and runs them. Extra arguments go to the
# benchmark program (for example --benchmark_repetitions=5).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTROFIX_GUI=OFF \
    -DSTROFIX_TESTS=OFF -DSTROFIX_BENCH=ON
cmake --build build-bench --target strofix_bench
build-bench/bench/strofix_bench "$@"
