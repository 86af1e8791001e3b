#!/usr/bin/env bash
# Measures what strofix-mpris costs while it follows a playing player: CPU (% of one core)
# and memory (RSS, and its peak) of the bridge while mpv plays a WAV of silence, on a private
# session bus, with a block of its own. Targets: at most 0.3 % CPU and 25 MB RSS.
#   scripts/measure-mpris.sh [SECONDS]     (default 30; the build in build/ is used or made)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

if [ -z "${STROFIX_MEASURE_INSIDE:-}" ]; then
    [ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build --target strofix-mpris -j2 >/dev/null
    exec env STROFIX_MEASURE_INSIDE=1 dbus-run-session -- "$0" "$seconds" 2> >(grep -v 'fd limit' >&2)
fi

bridge_exe=build/tools/mpris/strofix-mpris
plugin=/usr/lib/mpv-mpris/mpris.so
[ -f "$plugin" ] || plugin=/etc/mpv/scripts/mpris.so
work=$(mktemp -d /tmp/strofix-measure-XXXXXX)
block=/strofix-measure-$$
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work" "/dev/shm$block"
}
trap cleanup EXIT

# A 48 kHz mono WAV of silence long enough for the measurement.
song="$work/Measure Sóng.wav"
length=$((seconds + 15))
bytes=$((length * 96000))
le32() {  # a 32-bit little-endian number as four bytes
    local v=$1 i
    for i in 0 8 16 24; do printf "\\$(printf '%03o' $(((v >> i) & 255)))"; done
}
{
    printf 'RIFF'; le32 $((bytes + 36))
    printf 'WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x80\xbb\x00\x00\x00\x77\x01\x00\x02\x00\x10\x00'
    printf 'data'; le32 "$bytes"
    head -c "$bytes" /dev/zero
} >"$song"

"$bridge_exe" --block "$block" >"$work/bridge.log" 2>&1 &
bridge=$!
pids+=("$bridge")
mpv --no-config --script="$plugin" --ao=null --vo=null --really-quiet "$song" >"$work/mpv.log" 2>&1 &
pids+=("$!")
mpv_pid=$!

song_path() { dd if="/dev/shm$block" bs=1 skip=1056 count=260 2>/dev/null | tr -d '\0'; }
for _ in $(seq 50); do [ -n "$(song_path 2>/dev/null)" ] && break; sleep 0.1; done
[ -n "$(song_path)" ] || { echo "the bridge does not follow mpv" >&2; cat "$work/bridge.log" >&2; exit 1; }
sleep 2  # settled

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
start_ns=$(date +%s%N)
b0=$(ticks "$bridge")
m0=$(ticks "$mpv_pid")
echo "measuring for $seconds s while the bridge follows mpv ($(song_path))..."
sleep "$seconds"
b1=$(ticks "$bridge")
m1=$(ticks "$mpv_pid")
end_ns=$(date +%s%N)
[ -n "$(song_path)" ] || { echo "the bridge stopped following mpv" >&2; exit 1; }
rss=$(awk '/VmRSS/ {print $2}' "/proc/$bridge/status")
hwm=$(awk '/VmHWM/ {print $2}' "/proc/$bridge/status")

awk -v b=$((b1 - b0)) -v m=$((m1 - m0)) -v hz="$hz" -v ns=$((end_ns - start_ns)) \
    -v rss="$rss" -v hwm="$hwm" 'BEGIN {
    wall = ns / 1e9
    cpu = 100 * b / hz / wall
    printf "strofix-mpris: CPU %.3f %% of one core (%d ticks of 1/%d s in %.1f s), RSS %.1f MB (peak %.1f MB)\n",
           cpu, b, hz, wall, rss / 1024, hwm / 1024
    printf "mpv beside it: CPU %.2f %% of one core\n", 100 * m / hz / wall
    printf "targets: CPU <= 0.3 %% -> %s; RSS <= 25 MB -> %s\n",
           (cpu <= 0.3 ? "met" : "NOT met"), (rss / 1024 <= 25 ? "met" : "NOT met")
}'
