#!/usr/bin/env bash
# Mutation check of the test suite: plants, one at a time, the single-line faults listed in
# scripts/mutants.tsv into a copy of the tree, rebuilds, and runs the quick suite (every test but
# the package). A mutant is caught when a test fails; one that still builds and passes shows a
# fault the tests would let through. Run by hand, not by CI: it rebuilds once per mutant.
#
#   scripts/mutate.sh [--rev REV] [ID...]    REV: what to copy (default HEAD); IDs: a subset
#   scripts/mutate.sh --list
#
# Results go to $MUTATE_DIR/results.tsv (default /tmp/brevilo-mutate) and to the terminal.
# MUTATE_LOCK=<file> runs every build and test run under flock on that file.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
list="$root/scripts/mutants.tsv"
work="${MUTATE_DIR:-/tmp/brevilo-mutate}"
rev=HEAD

if [ "${1:-}" = "--list" ]; then
    cut -f1,2,5 "$list" | column -t -s $'\t'
    exit 0
fi
if [ "${1:-}" = "--rev" ]; then
    rev="$2"
    shift 2
fi

locked() {
    if [ -n "${MUTATE_LOCK:-}" ]; then flock -o "$MUTATE_LOCK" "$@"; else "$@"; fi
}

# Plants mutant ID in TREE; exits 3 when its line is not found exactly once, so a stale list is
# noticed instead of counting as caught.
plant() {
    python3 - "$@" <<'PY'
import pathlib, sys
lst, tree, wanted = sys.argv[1], pathlib.Path(sys.argv[2]), sys.argv[3]

def unescape(s):
    return s.replace("\\\\", "\0").replace("\\n", "\n").replace("\0", "\\")

for row in open(lst, encoding="utf-8"):
    ident, path, before, after, _ = row.rstrip("\n").split("\t")
    if ident != wanted:
        continue
    before, after = unescape(before), unescape(after)
    file = tree / path
    text = file.read_text(encoding="utf-8")
    if text.count(before) != 1:
        sys.exit(3)
    file.write_text(text.replace(before, after, 1), encoding="utf-8")
    sys.exit(0)
sys.exit(3)
PY
}

rm -rf "$work"
mkdir -p "$work/tree"
git -C "$root" archive --format=tar "$rev" | tar -x -C "$work/tree"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# No optimisation and no debug information: each mutant costs one compile and the links.
cmake -S "$work/tree" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 \
    -DBREVILO_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
export QT_QPA_PLATFORM=offscreen

# The unit tests first: most mutants fail there within seconds.
quick_suite() {
    locked ctest --test-dir "$work/build" -LE integration -E '^test_package$' -j2 --stop-on-failure >"$work/ctest.log" 2>&1 &&
        locked ctest --test-dir "$work/build" -L integration -j2 --stop-on-failure >>"$work/ctest.log" 2>&1
}

echo "== Build and the quick suite without mutants"
locked cmake --build "$work/build" >"$work/build.log" 2>&1 || { tail -30 "$work/build.log"; exit 1; }
quick_suite || { grep -E 'Failed|Timeout' "$work/ctest.log"; echo "the suite fails without mutants"; exit 1; }

ids=("$@")
[ ${#ids[@]} -eq 0 ] && mapfile -t ids < <(cut -f1 "$list")
printf 'id\tresult\ttests\n' >"$work/results.tsv"
caught=0
survived=0
for id in "${ids[@]}"; do
    file="$(awk -F'\t' -v id="$id" '$1 == id { print $2 }' "$list")"
    [ -n "$file" ] || { printf '%s\tunknown\t\n' "$id" | tee -a "$work/results.tsv"; continue; }
    cp "$work/tree/$file" "$work/original"
    if ! plant "$list" "$work/tree" "$id"; then
        result=stale tests="line not found"
    elif ! locked cmake --build "$work/build" >"$work/build.log" 2>&1; then
        result=unbuilt tests=""
    elif quick_suite; then
        result=survived tests="" survived=$((survived + 1))
    else
        result=caught caught=$((caught + 1))
        tests="$(grep -E '^\s+[0-9]+ - test_' "$work/ctest.log" | awk '{print $3}' | paste -sd, -)"
    fi
    # A plain copy (a new time stamp), so the next build recompiles the restored file.
    cp "$work/original" "$work/tree/$file"
    printf '%s\t%s\t%s\n' "$id" "$result" "$tests" | tee -a "$work/results.tsv"
done
echo "Caught $caught of $((caught + survived)) mutants that built (results: $work/results.tsv)"
