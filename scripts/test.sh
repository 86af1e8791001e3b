#!/usr/bin/env bash
# The whole test suite: installs what it needs, then builds and tests the Linux program,
# the Debian package (installed, tried and removed again), the portable code under
# ASan + UBSan, the fuzz targets (about 30 s each) and the Windows program (MinGW cross
# build, tests under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

step() { printf '\n=== %s ===\n' "$*"; }

step "Format"
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h')
clang-format --dry-run --Werror $files

step "Linux build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTROFIX_WERROR=ON \
    -DSTROFIX_GUI=ON -DSTROFIX_TESTS=ON -DSTROFIX_SANITIZE=OFF
cmake --build build
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j2

step "Debian package: build, install, run, lintian, remove"
./scripts/test-package.sh

step "Sanitizers (ASan + UBSan)"
./scripts/test-sanitize.sh

step "Fuzzing"
./scripts/test-fuzz.sh

step "Windows build and tests under Wine"
./scripts/test-windows.sh

step "All tests passed"
