#!/usr/bin/env bash
# Screenshots of the Linux window for the documentation, taken under Xvfb: display mode
# showing a lyric line, directory mode, and the About box. Writes
# docs/screenshots/linux-{display,directory,about}.png. Needs a build (STROFIX_BUILD_DIR,
# default build/) with strofix and strofix-player, and xvfb, xdotool and imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${STROFIX_BUILD_DIR:-build}" && pwd)
out=$root/docs/screenshots
mkdir -p "$out"

# A fixed place, so the directory shown in directory mode is the same at every run.
work=${TMPDIR:-/tmp}/strofix-screenshots
rm -rf "$work"
trap '"$build/tools/strofix-player" stop >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/Lyrics"
cp demo/lyrics/*.txt "$work/Lyrics/"
printf '[Strofix 1.0]\nLyricsPath=%s\n' "$work/Lyrics" >"$work/config/Strofix.ini"

# A moment of the demo song with a line on display.
"$build/tools/strofix-player" set --path 'C:\Music\Strofix Demo.mp3' --position 12500

cat >"$work/shots.sh" <<'EOF'
set -euo pipefail
# Finds a window by its exact title, waiting for it to appear.
find_window() {
    local id=
    for _ in $(seq 50); do
        id=$(xdotool search --name "^$1\$" 2>/dev/null | head -n1) && [ -n "$id" ] && break
        sleep 0.2
    done
    [ -n "$id" ] || { echo "screenshots: no window '$1'" >&2; return 1; }
    echo "$id"
}
# The window's own picture, with a thin frame so its edges show on any page.
shoot() {
    import -window "$1" "$2.raw.png"
    convert "$2.raw.png" -bordercolor '#7a7a7a' -border 1 "$2"
    rm -f "$2.raw.png"
    echo "  $2"
}

"$STROFIX" &
app=$!
main=$(find_window 'Strofix')
xdotool windowfocus --sync "$main"
sleep 1.5  # the song loads on one tick and its line shows on the next
shoot "$main" "$OUT/linux-display.png"

# Options: its centre, from the window's size and the button's place in the template.
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove --window "$main" $((WIDTH * 387 / 416)) $((HEIGHT / 2)) click 1
find_window 'Strofix - Enter Lyrics Directory' >/dev/null
sleep 0.5
shoot "$main" "$OUT/linux-directory.png"

# Options again accepts the directory; F1 opens the About box.
xdotool click 1
find_window 'Strofix' >/dev/null
xdotool windowfocus --sync "$main" key F1
about=$(find_window 'About Strofix')
sleep 0.5
shoot "$about" "$OUT/linux-about.png"

xdotool windowfocus --sync "$about" key Escape
sleep 0.5
xdotool windowfocus --sync "$main" key Escape
for _ in $(seq 25); do kill -0 "$app" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$app" 2>/dev/null; then
    echo "screenshots: Strofix did not end on Escape" >&2
    kill "$app"
    exit 1
fi
EOF
echo "Screenshots:"
XDG_CONFIG_HOME=$work/config STROFIX=$build/platform/qt/strofix OUT=$out \
    xvfb-run -a -s '-screen 0 1024x600x24' bash "$work/shots.sh"
