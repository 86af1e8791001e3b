#!/usr/bin/env bash
# The Debian package: builds it, installs it with apt-get, runs the installed programs
# (versions, strofix-follow --once against a test block), finds the manual pages, runs
# lintian (no errors allowed; warnings are explained in docs/packaging.md), and removes
# the package again with whatever the install brought in, leaving the machine as it was.
# Run as root (CI is); refuses to touch a strofix package that was installed before.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

fail() {
    echo "test-package.sh: $*" >&2
    exit 1
}
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

if dpkg-query -W -f='${Status}' strofix 2>/dev/null | grep -q 'install ok installed'; then
    fail "a strofix package is installed already; this test would replace it"
fi

echo "--- build the package"
deb=$(./scripts/build-package.sh build-deb | tail -n 1)
[ -f "$deb" ] || fail "no package was built"
deb=$root/$deb
version=$(dpkg-deb -f "$deb" Version)
echo "$(basename "$deb"): version $version"
[ "$(basename "$deb")" = "strofix_${version}_amd64.deb" ] || fail "unexpected file name $deb"

echo "--- contents"
dpkg-deb -c "$deb" | awk '{print $NF}' | grep -v '/$' | sed 's|^\./|/|'

echo "--- lintian"
# --fail-on error: warnings (and notes) are listed, errors fail the test.
lintian_status=0
lintian_out=$(lintian --fail-on error --display-info "$deb" 2>&1) || lintian_status=$?
grep -v 'running with root privileges' <<<"$lintian_out" || echo "(nothing to report)"
[ "$lintian_status" -eq 0 ] || fail "lintian found errors"

echo "--- install"
before=$(mktemp)
tmp=$(mktemp -d)
block="/strofix-package-test-$$"
dpkg-query -W -f='${Package}\n' | sort >"$before"
cleanup() {
    echo "--- remove"
    "${as_root[@]}" apt-get remove --purge -y -q strofix >/dev/null || true
    # Anything the install brought in with the package goes too.
    local added
    added=$(comm -13 "$before" <(dpkg-query -W -f='${Package}\n' | sort) | tr '\n' ' ')
    if [ -n "${added// /}" ]; then
        echo "also removing: $added"
        # shellcheck disable=SC2086
        "${as_root[@]}" apt-get remove --purge -y -q $added >/dev/null || true
    fi
    rm -f "/dev/shm$block" "/dev/shm/sem.${block#/}Event"
    rm -rf "$tmp" "$before"
}
trap cleanup EXIT
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q "$deb" >/dev/null

echo "--- the installed programs"
for p in strofix strofix-player strofix-check strofix-follow; do
    [ "$(command -v "$p")" = "/usr/bin/$p" ] || fail "$p is not installed in /usr/bin"
done
got=$(/usr/bin/strofix-check --version)
[ "$got" = "strofix-check $version" ] || fail "strofix-check --version says '$got'"
echo "$got"
for p in strofix strofix-player strofix-follow; do
    got=$(env -u DISPLAY -u WAYLAND_DISPLAY "/usr/bin/$p" --version)
    [ "$got" = "$p $version" ] || fail "$p --version says '$got'"
    echo "$got"
done

mkdir "$tmp/lyrics"
printf '[00:01]First line\n[00:02]Second line\n[00:05]Fifth second\n' >"$tmp/lyrics/Song.txt"
export XDG_CONFIG_HOME=$tmp/config
/usr/bin/strofix-player --block "$block" set --path 'C:\Music\Song.mp3' --position 3500
got=$(/usr/bin/strofix-follow --once --block "$block" --dir "$tmp/lyrics")
[ "$got" = "Second line" ] || fail "strofix-follow --once printed '$got'"
echo "strofix-follow --once: $got"
json=$(/usr/bin/strofix-follow --once --format json --block "$block" --dir "$tmp/lyrics")
python3 -c '
import json, sys
o = json.loads(sys.argv[1])
assert o == {"text": "Second line", "tooltip": "Song.mp3", "class": "lyric"}, o
' "$json" || fail "strofix-follow --once --format json printed '$json'"
echo "strofix-follow --once --format json: $json"

echo "--- manual pages"
for page in strofix strofix-player strofix-check strofix-follow "5 strofix-lyrics"; do
    # shellcheck disable=SC2086
    where=$(man -w $page) || fail "man -w $page finds nothing"
    echo "$page: $where"
done
case $(man -w strofix) in /usr/share/man/man1/strofix.1.gz) ;; *) fail "strofix(1) misplaced" ;; esac
