#!/usr/bin/env bash
# strofix-follow in a real terminal multiplexer: it runs in a tmux pane while the player
# stand-in plays a song; the pane is read back with capture-pane. Ctrl+C typed into the
# pane ends it with exit 0.
# usage: test_follow_tmux.sh STROFIX_FOLLOW STROFIX_PLAYER
set -euo pipefail
follow=$(realpath "$1")
player=$(realpath "$2")
command -v tmux >/dev/null || { echo "tmux is not installed" >&2; exit 1; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/strofix-follow-tmux-XXXXXX")
socket="strofix-follow-test-$$"
block="/strofix-follow-tmux-$$"
cleanup() {
    tmux -L "$socket" kill-server 2>/dev/null || true
    rm -f "/dev/shm$block" "/dev/shm/sem.${block#/}Event"
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
    echo "test_follow_tmux.sh: $*" >&2
    echo "--- pane ---" >&2
    cat "$tmp/pane" >&2 2>/dev/null || true
    exit 1
}

mkdir "$tmp/lyrics"
printf '[00:01]First line\n[00:02]Second line \342\202\254\n[00:03]Third line\n' \
    >"$tmp/lyrics/Song.txt"

unset TMUX
export XDG_CONFIG_HOME="$tmp/config"
# The pane runs the follower, then says how it ended and stays open to be read.
tmux -u -L "$socket" -f /dev/null new-session -d -x 100 -y 20 \
    "'$follow' --block '$block' --dir '$tmp/lyrics'; echo \"exited \$?\"; sleep 60"
capture() { tmux -u -L "$socket" capture-pane -p -t 0 >"$tmp/pane"; }
wait_for() {  # a pattern the pane must show within 20 s
    for _ in $(seq 200); do
        capture
        grep -q -- "$1" "$tmp/pane" && return 0
        sleep 0.1
    done
    fail "the pane did not show '$1'"
}

# The follower creates the block when it opens it; the player then writes into it.
for _ in $(seq 100); do [ -e "/dev/shm$block" ] && break; sleep 0.1; done
"$player" --block "$block" play --for 4 'C:\Music\Song.mp3' >/dev/null
wait_for "Unable to Locate Lyrics File"

tmux -L "$socket" send-keys -t 0 C-c
wait_for "exited 0"

# What the pane shows, blank lines (the first, empty, line) and the terminal's echo of
# Ctrl+C dropped: each line once, in order.
expected=$(printf 'First line\nSecond line \342\202\254\nThird line\n%s\nexited 0' \
    'Unable to Locate Lyrics File')
actual=$(grep -v '^[[:space:]]*$' "$tmp/pane" | sed 's/^\^C//')
[ "$actual" = "$expected" ] || fail "the pane shows other lines than expected"
echo "tmux pane:"
sed 's/^/  /' <<<"$actual"
