#!/usr/bin/env bash
# What a new user meets first: ./run.sh builds only the program before the window can show, and
# the manual page tells what the program does today.
# Usage: test_run_and_manual.sh <source dir>
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# A cmake that only records how it is called: nothing is configured or built for real.
mkdir "$work/bin"
printf '#!/bin/sh\necho "$*" >>"%s"\n' "$work/cmake.log" >"$work/bin/cmake"
chmod +x "$work/bin/cmake"
# No display: run.sh builds, then says it cannot show the window and exits 1.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY PATH="$work/bin:$PATH" "$source_dir/run.sh" >"$work/run.out" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "run.sh without a display ended with $status, not 1"
grep -q 'no display' "$work/run.out" || fail "run.sh did not say why the window cannot show"
[ "$(grep -c -- '--build' "$work/cmake.log")" -eq 1 ] || fail "run.sh did not build exactly once"
grep -qx -- '--build --preset default --target brevilo' "$work/cmake.log" ||
    fail "run.sh builds more than the program target"

page="$source_dir/packaging/brevilo.1"
for word in outbox RetryHours Security User CaFile TrustedCertificate brevilo.lock HELD RETRY \
    "Riprova ora" "Invia al prossimo avvio" SIGTERM secret STARTTLS 0600 XDG_RUNTIME_DIR oauth2 \
    "Trova impostazioni" SMTPUTF8; do
    grep -q -- "$word" "$page" || fail "the manual page does not name $word"
done
# What was once true and is no more.
for claim in "without authentication" "Nothing is retried" "are discarded" "are not accepted"; do
    grep -q -- "$claim" "$page" && fail "the manual page still says: $claim"
done
# How the page formats is lintian's check of the package (test_package).

[ $failures -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "run.sh and the manual page passed"
