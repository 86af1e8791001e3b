#!/usr/bin/env bash
# Makes the Windows zip of a MinGW build directory with CPack and checks it: one folder
# strofix-<version>-<arch>, the window and the console tools in it, each stripped, and the
# README.
# usage: scripts/check-windows-zip.sh BUILD_DIR      (after the build)
set -euo pipefail
dir=${1:?usage: check-windows-zip.sh BUILD_DIR}
fail() {
    echo "check-windows-zip.sh: $*" >&2
    exit 1
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$dir/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $dir/CMakeCache.txt"
if grep -q '^CMAKE_TOOLCHAIN_FILE:[A-Z]*=.*i686' "$dir/CMakeCache.txt"; then
    arch=win32 objdump=i686-w64-mingw32-objdump
else
    arch=win64 objdump=x86_64-w64-mingw32-objdump
fi
name=strofix-$version-$arch
rm -f "$dir/$name.zip"
(cd "$dir" && cpack -G ZIP >/dev/null) || fail "cpack -G ZIP failed"
zip=$dir/$name.zip
[ -f "$zip" ] || fail "$zip was not made"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
python3 - "$zip" "$tmp" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    z.extractall(sys.argv[2])
    for n in z.namelist():
        print("  " + n)
PY
for file in Strofix.exe strofix-follow.exe strofix-check.exe strofix-player.exe README.txt; do
    [ -f "$tmp/$name/$file" ] || fail "$name/$file is not in the zip"
done
for exe in "$tmp/$name"/*.exe; do
    if "$objdump" -h "$exe" | grep -qE '\.debug_|\.stab'; then
        fail "$(basename "$exe") in the zip is not stripped"
    fi
done
grep -q "Strofix $version for Windows" "$tmp/$name/README.txt" || fail "README.txt names no version"
echo "$zip: $(du -k "$zip" | cut -f1) KiB, programs stripped"
