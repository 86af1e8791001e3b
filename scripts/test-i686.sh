#!/usr/bin/env bash
# The tests of the 32-bit release build, where 32-bit Windows code can run: under a Wine
# with a 32-bit loader (WINE=wine, a prefix of its own), or, given --native, on Windows
# itself (an MSYS2 MINGW32 shell with CMake, Ninja and the mingw-w64-i686-gtest package,
# not a cross build, so the system GoogleTest is found). For a Wine other than
# the one on PATH, set WINE and STROFIX_WINESERVER to its loader and server.
#
#   scripts/test-i686.sh            build in build-win32, run its tests under $WINE (wine)
#   scripts/test-i686.sh --native   build in build-win32, run its tests directly
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

native=0
if [ "${1:-}" = "--native" ]; then
    native=1
elif [ $# -gt 0 ]; then
    echo "usage: scripts/test-i686.sh [--native]" >&2
    exit 2
fi

jobs=$(nproc 2>/dev/null || echo 2)
runner=()
if [ "$native" = 0 ]; then
    wine32="${WINE:-wine}"
    command -v "$wine32" >/dev/null 2>&1 ||
        { echo "test-i686.sh: no 32-bit Wine loader ('$wine32'); set WINE" >&2; exit 1; }
    # Its own prefix: a 32-bit loader needs a prefix that can hold 32-bit programs.
    export STROFIX_WINEPREFIX="${STROFIX_WINEPREFIX:-${TMPDIR:-/tmp}/strofix-wine-$(id -u)/prefix-i686}"
    export STROFIX_WINE="$wine32"
    # shellcheck source=scripts/wine-env.sh
    . "$root/scripts/wine-env.sh"
    runner=("-DCMAKE_CROSSCOMPILING_EMULATOR=/bin/sh;$root/scripts/wine-env.sh;--run")
fi

if [ "$native" = 1 ]; then
    # The compilers on PATH (an MSYS2 MINGW32 shell: g++ and windres for i686).
    cmake -S . -B build-win32 -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTROFIX_WERROR=ON \
        -DCMAKE_EXE_LINKER_FLAGS="-static -static-libgcc -static-libstdc++"
else
    cmake -S . -B build-win32 -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTROFIX_WERROR=ON "${runner[@]}"
fi
cmake --build build-win32 -j "$jobs"
ctest --test-dir build-win32 --output-on-failure -j 2 --timeout 300
