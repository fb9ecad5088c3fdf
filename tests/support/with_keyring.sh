#!/usr/bin/env bash
# Usage: with_keyring.sh TEST_BINARY
# Runs the keychain tests away from the user's own keyring: a fresh HOME and XDG_RUNTIME_DIR,
# a private D-Bus session bus with gnome-keyring-daemon's Secret Service, unlocked here.
#   1. storedThroughTheWindow   (a bus and a keyring: the password, then an OAuth refresh token)
#   2. foundBySecondRun         (a new bus and daemon: both are read back from disk)
#   3. noSessionBusThenPasswordInNoFile (no bus at all)
# and then no file under those folders, and none of the tests' output, may hold the password or a token.
set -euo pipefail
test="$1"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -m 700 "$root/home" "$root/run" "$root/output"
out="$root/output/all.txt"

run() {
    # env -i: neither the user's session bus nor a display reaches the tests.
    env -i PATH="$PATH" HOME="$root/home" XDG_RUNTIME_DIR="$root/run" QT_QPA_PLATFORM=offscreen \
        BREVILO_SOURCE_DIR="$BREVILO_SOURCE_DIR" BREVILO_PYTHON="$BREVILO_PYTHON" BREVILO_KEYRING_ROOT="$root" \
        ASAN_OPTIONS="${ASAN_OPTIONS:-}" LSAN_OPTIONS="${LSAN_OPTIONS:-}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" "$@"
}
with_bus() {
    run dbus-run-session -- sh -c \
        'printf %s keyring-unlock | gnome-keyring-daemon --unlock --components=secrets >/dev/null && exec "$@"' sh "$@"
}

with_bus "$test" storedThroughTheWindow 2>&1 | tee -a "$out"
with_bus "$test" foundBySecondRun 2>&1 | tee -a "$out"
run "$test" noSessionBusThenPasswordInNoFile 2>&1 | tee -a "$out"
