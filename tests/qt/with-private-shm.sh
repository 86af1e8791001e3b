#!/bin/sh
# Runs a command with a /dev/shm of its own (a private tmpfs in a mount namespace of its
# own), so the window under test opens its player block there and never the block of a
# player the user runs. Root needs only the mount namespace; others need user namespaces.
# Where neither is allowed the command runs as it is, and says so.
shm='mount -t tmpfs -o mode=1777 strofix-test /dev/shm && exec "$@"'
if [ "$(id -u)" -eq 0 ] && unshare --mount true 2>/dev/null; then
    exec unshare --mount sh -c "$shm" sh "$@"
elif unshare --map-root-user --mount true 2>/dev/null; then
    exec unshare --map-root-user --mount sh -c "$shm" sh "$@"
fi
echo "with-private-shm: no mount namespace here; the session's player block is used" >&2
exec "$@"
