#!/bin/sh
# Runs a test program on a private session bus (dbus-run-session). With --private-shm first,
# also in a mount namespace of its own with an empty /dev/shm, so that programs which use the
# player's real block name (the window) never touch the user's block. That needs root (CI
# runs as root); without it the test is skipped (status 77).
set -eu
if [ "${1:-}" = "--private-shm" ]; then
    shift
    if [ -z "${STROFIX_PRIVATE_SHM:-}" ]; then
        if ! unshare -m true 2>/dev/null; then
            echo "skipped: a private /dev/shm needs 'unshare -m' (run as root)"
            exit 77
        fi
        exec unshare -m -- env STROFIX_PRIVATE_SHM=1 sh -c \
            'mount -t tmpfs -o mode=1777,size=16m strofix-test-shm /dev/shm || exit 77
             exec "$0" --private-shm "$@"' "$0" "$@"
    fi
fi
[ "${1:-}" = "--" ] && shift
exec dbus-run-session -- "$@"
