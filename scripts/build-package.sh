#!/usr/bin/env bash
# Builds the Debian package strofix_<version>_amd64.deb: a build with Debian's own compiler
# and linker flags (hardening included), then CPack. Prints the package's path last.
# usage: scripts/build-package.sh [BUILD_DIR]     (default: build-deb)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-deb}

# Debian's flags for C++ with all of its hardening (stack protector, fortify, format
# checks, relro, bindnow).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
# Build type None: only the flags above, as Debian's own packages are built. Given on the
# command line, they also reach a build directory configured before. Configuration files
# go to /etc (not /usr/etc), as Debian's own CMake builds have it.
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None -DSTROFIX_WERROR=ON \
    -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_SYSCONFDIR=/etc \
    -DCMAKE_CXX_FLAGS="$CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" \
    -DSTROFIX_GUI=ON -DSTROFIX_TESTS=OFF -DSTROFIX_BENCH=OFF -DSTROFIX_SANITIZE=OFF >/dev/null
cmake --build "$dir" -j "${STROFIX_JOBS:-2}"
rm -f "$dir"/strofix_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/strofix_*.deb
