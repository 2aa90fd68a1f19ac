#!/bin/sh
# run-tests.cmd of the unpacked test kit, under Wine's cmd.exe, in a folder
# whose name holds a blank, "&" and "!": a program that hangs is stopped at
# the time limit together with the process it started, with a line saying
# so, and counted as failed; a passing program beside it still counts; each
# program's output is in results\NAME.log; the exit code is 1 and nothing
# waits for a key.
# Run with the Wine environment of scripts/with-wine.sh:
#   kit_time_limit_test.sh <unpacked kit folder> <hanging program>
set -eu
kit=$1 probe=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "kit_time_limit_test: $*" >&2; [ ! -f "$work/out" ] || cat "$work/out" >&2; exit 1; }

dir="$work/kit & co!"
mkdir "$dir"
cp "$kit/run-tests.cmd" "$kit/run_limited.exe" "$kit/host_unit_tests.exe" "$dir/"
cp "$probe" "$dir/hangs.exe"
started=$(date +%s)
rc=0
(cd "$dir" && ORBWICK_KIT_TIME_LIMIT=3 timeout 120 wine cmd /c run-tests.cmd </dev/null >"$work/out.raw" 2>&1) || rc=$?
tr -d '\r' <"$work/out.raw" >"$work/out"
took=$(($(date +%s) - started))

[ $rc -eq 1 ] || fail "exit code $rc, not 1"
[ $took -lt 60 ] || fail "took $took s with a time limit of 3 s"
last=$(tail -n 1 "$work/out")
echo "$last" | grep -Eq '^[1-9][0-9]* passed, 1 failed$' || fail "last line \"$last\""
grep -q '^hangs: stopped after the time limit of 3 s' "$work/out" || fail "no time-limit line for hangs"
grep -q '^host_unit_tests: [1-9][0-9]* passed, 0 failed' "$work/out" || fail "host_unit_tests not counted"
! grep -q 'Press a key' "$work/out" || fail "waits for a key when not started from Explorer"
tr -d '\r' <"$dir/results/hangs.log" >"$work/hangs.log"
grep -q 'kit_hang_probe: hanging on purpose' "$work/hangs.log" || fail "hangs.log lacks the program's output"
grep -q 'kit_hang_probe: the started copy still runs' "$work/hangs.log" || fail "the probe's copy never ran"
grep -q 'run_limited: stopped after the time limit of 3 s' "$work/hangs.log" || fail "hangs.log lacks the stop"
# Both processes wrote every 200 ms; a log that still grows holds a survivor.
size=$(wc -c <"$dir/results/hangs.log")
sleep 1
[ "$(wc -c <"$dir/results/hangs.log")" = "$size" ] || fail "a process of hangs.exe still runs after its time limit"
grep -q 'PASSED' "$dir/results/host_unit_tests.log" || fail "host_unit_tests.log lacks GoogleTest's output"
[ -f "$dir/results/host_unit_tests.xml" ] || fail "no host_unit_tests.xml"
grep -q 'failed: hangs$' "$dir/results/summary.txt" || tr -d '\r' <"$dir/results/summary.txt" | grep -q 'failed: hangs$' ||
    fail "summary.txt does not name hangs"
echo "kit_time_limit_test: hangs.exe and its copy stopped after 3 s, counted as failed ($took s in all): $last"
