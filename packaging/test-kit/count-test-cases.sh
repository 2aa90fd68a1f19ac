#!/bin/sh
# The test cases of each program of the test kit, as GoogleTest lists them
# (--gtest_list_tests under Wine), for run-tests.cmd's check that a run ran
# them all: "NAME:COUNT" for each program, separated by blanks, into
# <output>. A disabled test case (DISABLED_ starting its suite's or its own
# name), which GoogleTest lists but does not run, is not counted; a skipped
# one is, as its XML result counts it among those run. Fails when a program
# cannot list its test cases or lists none.
#   count-test-cases.sh <build-dir> <output> <program.exe>...
# Under scripts/with-wine.sh for the build tree's Wine prefix, unless already
# inside it (WINEPREFIX set, as for the mutation runs).
set -eu
if [ -z "${WINEPREFIX:-}" ]; then
    exec "$(dirname "$0")/../../scripts/with-wine.sh" "$1" sh "$0" "$@"
fi
output=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: >"$work/counts"
for program in "$@"; do
    name=$(basename "$program" .exe)
    # A filter of its own, so that no GTEST_FILTER of the build's
    # environment narrows the list.
    if ! wine "$program" --gtest_list_tests '--gtest_filter=*' </dev/null >"$work/list" 2>&1; then
        echo "count-test-cases: $name cannot list its test cases:" >&2
        tr -d '\r' <"$work/list" >&2
        exit 1
    fi
    count=$(tr -d '\r' <"$work/list" | awk '
        /^[^ ]/ { suite = $1 }
        /^  [^ ]/ { if (suite !~ /(^|\/)DISABLED_/ && $1 !~ /^DISABLED_/) n++ }
        END { print n + 0 }')
    [ "$count" -gt 0 ] || { echo "count-test-cases: $name lists no test case" >&2; exit 1; }
    printf '%s%s:%s' "$(test -s "$work/counts" && echo ' ')" "$name" "$count" >>"$work/counts"
done
mv "$work/counts" "$output"
