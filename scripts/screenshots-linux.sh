#!/usr/bin/env bash
# Screenshots of the Linux window for the documentation, taken under Xvfb with a real window
# manager (openbox), so they show the title bars a user sees: display mode showing a lyric
# line, directory mode, the "Invalid Path" box over the window, and the About box. Writes
# docs/screenshots/linux-{display,directory,invalid-path,about}.png. Needs a build
# (STROFIX_BUILD_DIR, default build/) with strofix and strofix-player, and xvfb, openbox,
# xdotool, x11-utils and imagemagick. The player block lives in a private /dev/shm (a mount
# namespace of its own) where the system allows one, so the user's own block is never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${STROFIX_BUILD_DIR:-build}" && pwd)
out=$root/docs/screenshots
mkdir -p "$out"

# A fixed place, so the directory shown in directory mode is the same at every run.
work=${TMPDIR:-/tmp}/strofix-screenshots
rm -rf "$work"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/Lyrics"
cp demo/lyrics/*.txt "$work/Lyrics/"
printf '[Strofix 1.0]\nLyricsPath=%s\n' "$work/Lyrics" >"$work/config/Strofix.ini"

cat >"$work/shots.sh" <<'EOF'
set -euo pipefail
# A moment of the demo song with a line on display.
"$PLAYER" set --path 'C:\Music\Strofix Demo.mp3' --position 12500

# Finds a window by its exact title, waiting for it to appear.
find_window() {
    local id=
    for _ in $(seq 50); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) &&
            [ -n "$id" ] && break
        sleep 0.2
    done
    [ -n "$id" ] || { echo "screenshots: no window '$1'" >&2; return 1; }
    echo "$id"
}
# The rectangle "X Y W H" of a window with the window manager's frame around it.
frame_of() {
    local x y w h l=0 r=0 t=0 b=0 extents
    eval "$(xwininfo -id "$1" | awk -F: '
        /Absolute upper-left X/ {print "x=" $2+0} /Absolute upper-left Y/ {print "y=" $2+0}
        /^  Width/ {print "w=" $2+0} /^  Height/ {print "h=" $2+0}')"
    extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ' ')
    [ -n "$extents" ] && IFS=, read -r l r t b <<<"$extents"
    echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
}
# The screen cut to the frames of the given windows (all of them, and a margin), with a thin
# border so the edges show on any page.
shoot() {
    local file=$1 x0=100000 y0=100000 x1=0 y1=0 x y w h
    shift
    for id in "$@"; do
        read -r x y w h <<<"$(frame_of "$id")"
        ((x < x0)) && x0=$x
        ((y < y0)) && y0=$y
        ((x + w > x1)) && x1=$((x + w))
        ((y + h > y1)) && y1=$((y + h))
    done
    import -window root "$file.raw.png"
    convert "$file.raw.png" -crop "$((x1 - x0))x$((y1 - y0))+$x0+$y0" +repage \
        -bordercolor '#7a7a7a' -border 1 "$file"
    rm -f "$file.raw.png"
    echo "  $file"
}

openbox &
wm=$!
for _ in $(seq 50); do
    xprop -root _NET_SUPPORTED 2>/dev/null | grep -q _NET_ACTIVE_WINDOW && break
    sleep 0.1
done

"$STROFIX" &
app=$!
main=$(find_window 'Strofix')
xdotool windowactivate --sync "$main"
sleep 1.5  # the song loads on one tick and its line shows on the next
shoot "$OUT/linux-display.png" "$main"

# Options (Alt+O): the stored directory, selected, and the pressed button.
xdotool key --window "$main" alt+o
find_window 'Strofix - Enter Lyrics Directory' >/dev/null
sleep 0.5
shoot "$OUT/linux-directory.png" "$main"

# A directory that does not exist: the box, over the window.
xdotool type --delay 20 '/no/such/folder'
xdotool key alt+o
box=$(find_window 'Error')
sleep 0.5
shoot "$OUT/linux-invalid-path.png" "$main" "$box"
xdotool key Return
sleep 0.5

# The real directory again is accepted; F1 opens the About box.
xdotool key ctrl+a
xdotool type --delay 20 "$LYRICS"
xdotool key alt+o
find_window 'Strofix' >/dev/null
xdotool windowactivate --sync "$main" key F1
about=$(find_window 'About Strofix')
sleep 0.5
shoot "$OUT/linux-about.png" "$about"

xdotool windowactivate --sync "$about" key Escape
sleep 0.5
xdotool windowactivate --sync "$main" key Escape
status=0
for _ in $(seq 25); do kill -0 "$app" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$app" 2>/dev/null; then
    echo "screenshots: Strofix did not end on Escape" >&2
    kill "$app"
    status=1
fi
kill "$wm" 2>/dev/null || true
"$PLAYER" stop >/dev/null 2>&1 || true
exit $status
EOF

# A private /dev/shm when the system allows a mount namespace (root, or user namespaces).
private=()
shm='mount -t tmpfs -o mode=1777 strofix-shots /dev/shm && exec "$@"'
if [ "$(id -u)" -eq 0 ] && unshare --mount true 2>/dev/null; then
    private=(unshare --mount sh -c "$shm" sh)
elif unshare --map-root-user --mount true 2>/dev/null; then
    private=(unshare --map-root-user --mount sh -c "$shm" sh)
else
    echo "screenshots: no private /dev/shm here; the player block of this session is used" >&2
fi

echo "Screenshots:"
XDG_CONFIG_HOME=$work/config STROFIX=$build/platform/qt/strofix \
    PLAYER=$build/tools/strofix-player LYRICS=$work/Lyrics OUT=$out \
    "${private[@]}" xvfb-run -a -s "-screen 0 1024x600x24" bash ${SHOTS_TRACE:+-x} "$work/shots.sh"
