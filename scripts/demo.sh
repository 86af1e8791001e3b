#!/usr/bin/env bash
# Builds Strofix and shows it following a bundled demo song. The song is only a path: the
# stand-in player publishes it with a position that runs in real time, and the lyrics come
# from demo/lyrics. Strofix runs with its own settings in a temporary directory, so the
# user's own settings are never touched.
#
# With a display the window stays up until you close it (Enter, Escape or the close box).
# Without one (no DISPLAY and no WAYLAND_DISPLAY) it runs under Xvfb, saves a few
# screenshots as the song goes on, prints where they are and ends.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

./scripts/install-deps.sh
build=${STROFIX_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build"
build=$(cd "$build" && pwd)

strofix=$build/platform/qt/strofix
player=$build/tools/strofix-player
song='C:\Music\Strofix Demo.mp3'
song_seconds=55

# Settings and lyrics in a temporary directory (a short path: the setting holds at most
# 99 characters, whatever the checkout's path is).
work=$(mktemp -d /tmp/strofix-demo.XXXXXX)
player_pid=
cleanup() {
    if [ -n "$player_pid" ]; then
        # The loop first, so it starts no other play, then the play it is running.
        kids=$(pgrep -P "$player_pid" || true)
        kill "$player_pid" 2>/dev/null || true
        [ -n "$kids" ] && kill $kids 2>/dev/null || true
        wait "$player_pid" 2>/dev/null || true
    fi
    "$player" stop >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/config" "$work/Lyrics"
cp demo/lyrics/*.txt "$work/Lyrics/"
printf '[Strofix 1.0]\nLyricsPath=%s\n' "$work/Lyrics" >"$work/config/Strofix.ini"
export XDG_CONFIG_HOME=$work/config

# The player plays the song over and over until the demo ends.
start_player() {
    (while :; do "$player" play --for "$song_seconds" "$song" >/dev/null; done) &
    player_pid=$!
}

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "Strofix is following '$song'. Close its window to end the demo."
    start_player
    "$strofix"
    exit 0
fi

# No display: a virtual one, and screenshots along the song.
shots=$build/demo-screenshots
mkdir -p "$shots"
rm -f "$shots"/demo-*.png
cat >"$work/headless.sh" <<'EOF'
set -euo pipefail
"$STROFIX" &
app=$!
win=
for _ in $(seq 50); do
    win=$(xdotool search --name '^Strofix$' 2>/dev/null | head -n1) && [ -n "$win" ] && break
    sleep 0.2
done
if [ -z "$win" ]; then
    echo "demo: the Strofix window did not appear" >&2
    kill "$app"
    exit 1
fi
n=0
for at in 3 13 25 45; do
    # Seconds since the song started, as the player counts them.
    while [ "$(($(date +%s) - START))" -lt "$at" ]; do sleep 0.2; done
    n=$((n + 1))
    import -window "$win" "$SHOTS/demo-$n.png"
    echo "  $SHOTS/demo-$n.png (about ${at} s into the song)"
done
# End the program the way a user does: Escape in its window.
xdotool windowfocus --sync "$win" key Escape
for _ in $(seq 25); do kill -0 "$app" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$app" 2>/dev/null; then
    echo "demo: Strofix did not end on Escape" >&2
    kill "$app"
    exit 1
fi
wait "$app"
EOF
echo "No display: running under Xvfb. Screenshots:"
start_player
START=$(date +%s) STROFIX=$strofix SHOTS=$shots \
    xvfb-run -a -s '-screen 0 1024x600x24' bash "$work/headless.sh"
echo "Settings written at exit: $(grep LyricsPath "$work/config/Strofix.ini")"
echo "Demo done."
