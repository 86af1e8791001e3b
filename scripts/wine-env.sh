# Environment for running the Windows build under Wine (64-bit loader only).
#
#   . scripts/wine-env.sh                  sets up and exports the environment
#   sh scripts/wine-env.sh --run PROG ARGS  sets up, then runs PROG under Wine
#
# The second form is the CTest emulator of the x86_64 toolchain, so a plain `ctest` in
# the build directory works without sourcing anything first.
#
# Idempotent and safe to call from parallel tests: one X server (Xvfb) when there is no
# DISPLAY, one persistent wineserver, one prefix in a fixed temporary directory, all set
# up under a lock. POSIX sh, no `set -e`, no `exit` unless run with --run.

strofix_wine_setup() {
    STROFIX_WINE_BASE="${STROFIX_WINE_BASE:-${TMPDIR:-/tmp}/strofix-wine-$(id -u)}"
    export WINEPREFIX="${STROFIX_WINEPREFIX:-$STROFIX_WINE_BASE/prefix}"
    export WINEDEBUG="${WINEDEBUG:--all}"
    # No debugger (a crash must fail the test, never wait for a dialog), no .NET or HTML
    # engine installers.
    export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"

    if [ -z "${STROFIX_WINE:-}" ]; then
        for candidate in wine64 /usr/lib/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/wine64 wine; do
            if command -v "$candidate" >/dev/null 2>&1; then
                STROFIX_WINE=$(command -v "$candidate")
                break
            fi
        done
    fi
    if [ -z "${STROFIX_WINE:-}" ]; then
        echo "wine-env.sh: no wine64 loader found (install the wine64 package)" >&2
        return 1
    fi
    if [ -z "${STROFIX_WINESERVER:-}" ]; then
        for candidate in wineserver64 /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver \
            wineserver; do
            if command -v "$candidate" >/dev/null 2>&1; then
                STROFIX_WINESERVER=$(command -v "$candidate")
                break
            fi
        done
    fi
    export STROFIX_WINE STROFIX_WINESERVER

    mkdir -p "$STROFIX_WINE_BASE" || return 1
    (
        flock 9 || exit 1
        strofix_wine_display || exit 1
        strofix_wine_prefix || exit 1
        strofix_wine_fonts
    ) 9>"$STROFIX_WINE_BASE/setup.flock" || return 1
    if [ -z "${DISPLAY:-}" ]; then
        DISPLAY=$(cat "$STROFIX_WINE_BASE/display")
        export DISPLAY
    fi
    return 0
}

# Starts one Xvfb when there is no DISPLAY, or reuses the one already on that display.
strofix_wine_display() {
    [ -n "${DISPLAY:-}" ] && return 0
    num="${STROFIX_XVFB_DISPLAY:-94}"
    if strofix_x_answers ":$num" 3; then
        echo ":$num" >"$STROFIX_WINE_BASE/display"
        return 0
    fi
    # A server that holds the display but does not answer yet is waited for, never
    # replaced: removing its files would cut off everyone using it.
    if [ -f "/tmp/.X$num-lock" ] && kill -0 "$(tr -d ' ' <"/tmp/.X$num-lock")" 2>/dev/null; then
        if strofix_x_answers ":$num" 50; then
            echo ":$num" >"$STROFIX_WINE_BASE/display"
            return 0
        fi
        echo "wine-env.sh: the X server on :$num does not answer" >&2
        return 1
    fi
    if ! command -v Xvfb >/dev/null 2>&1; then
        echo "wine-env.sh: no DISPLAY and no Xvfb (install xvfb)" >&2
        return 1
    fi
    rm -f "/tmp/.X$num-lock"
    # The server outlives this script: it must not inherit the lock (descriptor 9).
    nohup setsid Xvfb ":$num" -screen 0 1280x1024x24 -nolisten tcp \
        >"$STROFIX_WINE_BASE/xvfb.log" 2>&1 </dev/null 9>&- &
    if strofix_x_answers ":$num" 100; then
        echo ":$num" >"$STROFIX_WINE_BASE/display"
        return 0
    fi
    echo "wine-env.sh: Xvfb :$num did not start (see $STROFIX_WINE_BASE/xvfb.log)" >&2
    return 1
}

# Whether the X server on display $1 answers, trying $2 times a tenth of a second apart.
strofix_x_answers() {
    tries=0
    while [ "$tries" -lt "$2" ]; do
        if DISPLAY="$1" xdpyinfo >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.1
        tries=$((tries + 1))
    done
    return 1
}

# An initialised prefix whose X11 driver does not wait for a window manager that is not
# there, served by one persistent wineserver whose system processes (services.exe and
# the rest) are already up.
#
# The first Wine program of a server session starts those processes, and they inherit
# its standard output and error. Were that a test under CTest, CTest would wait for the
# end of output that never comes while the server lives, and the test would time out
# although it passed. So the session is brought up here, with no descriptor to inherit.
strofix_wine_prefix() {
    strofix_display="${DISPLAY:-$(cat "$STROFIX_WINE_BASE/display")}"
    if [ ! -f "$WINEPREFIX/.strofix-ready" ]; then
        echo "wine-env.sh: initialising the Wine prefix $WINEPREFIX" >&2
        if ! DISPLAY="$strofix_display" "$STROFIX_WINE" wineboot -i </dev/null \
            >"$STROFIX_WINE_BASE/wineboot.log" 2>&1 9>&-; then
            echo "wine-env.sh: wineboot failed (see $STROFIX_WINE_BASE/wineboot.log)" >&2
            return 1
        fi
        DISPLAY="$strofix_display" "$STROFIX_WINE" \
            reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null \
            >>"$STROFIX_WINE_BASE/wineboot.log" 2>&1 9>&- || return 1
        # The server wineboot started is not persistent: let it go, so that the one
        # started below is the one that stays.
        [ -n "${STROFIX_WINESERVER:-}" ] && "$STROFIX_WINESERVER" -w 9>&-
        touch "$WINEPREFIX/.strofix-ready"
    fi
    if [ -n "${STROFIX_WINESERVER:-}" ]; then
        "$STROFIX_WINESERVER" -p </dev/null >/dev/null 2>&1 9>&-
    fi
    # Brings the session up when it is not (a tenth of a second when it is).
    DISPLAY="$strofix_display" "$STROFIX_WINE" wineboot </dev/null >/dev/null 2>&1 9>&-
    return 0
}

# Wine's own fonts (the fonts-wine package: Marlett draws the caption buttons, and the
# stand-in for MS Sans Serif) in the prefix's font folder, also when the package came
# after the prefix.
strofix_wine_fonts() {
    fonts="$WINEPREFIX/drive_c/windows/Fonts"
    [ -d "$fonts" ] || return 0
    for source in /usr/share/wine/fonts/*; do
        [ -f "$source" ] || continue
        [ -e "$fonts/${source##*/}" ] || ln -s "$source" "$fonts/" 2>/dev/null
    done
    return 0
}

if strofix_wine_setup; then
    if [ "${1:-}" = "--run" ]; then
        shift
        exec "$STROFIX_WINE" "$@"
    fi
else
    if [ "${1:-}" = "--run" ]; then
        exit 1
    fi
fi
