#!/usr/bin/env bash
# Screenshots of the Windows program under Wine in Xvfb: display mode showing a lyric
# line, directory mode, and the About box over the window. Written to
# docs/screenshots/windows-{display,directory,about}.png.
#
# Uses the x86_64 build in build-win64 (configured and built here if missing), the player
# stand-in playing a demo song, and a demo lyrics file in C:\Lyrics inside the prefix.
# The prefix's settings file is restored afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out="$root/docs/screenshots"
mkdir -p "$out"

if [ ! -f build-win64/build.ninja ]; then
    cmake -S . -B build-win64 -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build build-win64 --target Strofix strofix-player

# shellcheck source=scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
for tool in xdotool import convert; do
    command -v "$tool" >/dev/null || { echo "screenshots-windows.sh: $tool is missing" >&2; exit 1; }
done

drive_c="$WINEPREFIX/drive_c"
ini="$drive_c/windows/Strofix.ini"
lyrics="$drive_c/Lyrics"
saved_ini=""
if [ -f "$ini" ]; then
    saved_ini=$(mktemp)
    cp "$ini" "$saved_ini"
fi
made_lyrics=0
[ -d "$lyrics" ] || made_lyrics=1
app_pid=""
player_pid=""

cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$player_pid" ] && kill "$player_pid" 2>/dev/null || true
    sleep 0.5
    if [ -n "$saved_ini" ]; then
        cp "$saved_ini" "$ini"
        rm -f "$saved_ini"
    else
        rm -f "$ini"
    fi
    rm -f "$lyrics/Harbour Lights.txt"
    [ "$made_lyrics" = 1 ] && rmdir "$lyrics" 2>/dev/null || true
}
trap cleanup EXIT

mkdir -p "$lyrics"
printf '%s\r\n' \
    '[00:00]Harbour Lights' \
    '[00:09]Grey boats sleeping where the water meets the town' \
    '[00:14]Every lamp along the harbour wall is burning down' \
    '[00:20]And I count the lights until the morning comes' \
    >"$lyrics/Harbour Lights.txt"
printf '[Strofix 1.0]\r\nLyricsPath=C:\\Lyrics\r\n' >"$ini"

# Waits for a window whose whole name is $1; prints its id.
window() {
    local id=""
    for _ in $(seq 100); do
        id=$(xdotool search --name "^$1\$" 2>/dev/null | head -1 || true)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    echo "screenshots-windows.sh: no window '$1'" >&2
    return 1
}

"$STROFIX_WINE" build-win64/tools/strofix-player.exe play --from 8000 --for 120 \
    'D:\Music\Harbour Lights.mp3' >/dev/null 2>&1 &
player_pid=$!
"$STROFIX_WINE" build-win64/platform/win32/Strofix.exe >/dev/null 2>&1 &
app_pid=$!

main=$(window Strofix)
# No window manager: give the window the X focus so that it shows as the active one.
xdotool windowfocus "$main" 2>/dev/null || true
# The song's second line comes at 9 s.
sleep 3
import -window "$main" "$out/windows-display.png"
echo "wrote $out/windows-display.png"

# Options, by its mnemonic: directory mode.
xdotool key --window "$main" alt+o
window 'Strofix - Enter Lyrics Directory' >/dev/null
sleep 0.5
import -window "$main" "$out/windows-directory.png"
echo "wrote $out/windows-directory.png"

# Back to display mode (C:\Lyrics exists), then the About item: the last entry of the
# window menu.
xdotool key --window "$main" alt+o
window Strofix >/dev/null
xdotool mousemove --window "$main" 10 10 click 1
sleep 0.5
xdotool key --window "$main" Up Return
about=$(window 'About Strofix')
sleep 0.5
# Both windows, with a margin.
eval "$(xdotool getwindowgeometry --shell "$main")"
mx=$X my=$Y mw=$WIDTH mh=$HEIGHT
eval "$(xdotool getwindowgeometry --shell "$about")"
left=$((X < mx ? X : mx)) top=$((Y < my ? Y : my))
right=$((X + WIDTH > mx + mw ? X + WIDTH : mx + mw))
bottom=$((Y + HEIGHT > my + mh ? Y + HEIGHT : my + mh))
import -window root -crop "$((right - left + 20))x$((bottom - top + 20))+$((left - 10))+$((top - 10))" \
    +repage "$out/windows-about.png"
echo "wrote $out/windows-about.png"
xdotool key --window "$about" Return 2>/dev/null || true
