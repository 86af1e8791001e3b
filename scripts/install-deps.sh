#!/usr/bin/env bash
# Installs everything Strofix needs to build, test and run its demo on Debian 12.
# Run as root (or with sudo available). Safe to run again.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev clang-format
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev
    xvfb xauth x11-utils xdotool imagemagick fonts-dejavu-core openbox libsm-dev libice-dev
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine64 fonts-wine file locales
    python3 tmux scdoc dpkg-dev fakeroot lintian man-db
    mpv mpv-mpris dbus
    libtag1-dev pkg-config
    openssl ca-certificates
)

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

# A Russian locale for the Windows test of a Cyrillic lyrics file name under code page 1251.
ensure_locales() {
    locale -a 2>/dev/null | grep -qix 'ru_RU.utf8' && return 0
    echo "Generating the locale ru_RU.UTF-8"
    "${as_root[@]}" localedef -i ru_RU -c -f UTF-8 ru_RU.UTF-8
}

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    ensure_locales
    exit 0
fi

echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
ensure_locales
