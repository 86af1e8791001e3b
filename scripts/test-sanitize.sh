#!/usr/bin/env bash
# Builds the portable code and its tests with AddressSanitizer and UndefinedBehaviorSanitizer
# (no window: CMake turns the GUI off) in build-asan and runs the tests. Any report fails.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DSTROFIX_SANITIZE=ON -DSTROFIX_WERROR=ON
cmake --build build-asan

export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --test-dir build-asan --output-on-failure -j2
