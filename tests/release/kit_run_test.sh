#!/bin/sh
# run-tests.cmd of the unpacked test kit, under Wine's cmd.exe, in a folder
# whose name holds a blank, "&" and "!":
# - a program that hangs is stopped at the time limit together with the
#   processes it started (a copy, and the copy's copy), with a line saying
#   so, and counted as failed; a passing program beside it still counts;
#   each program's output is in results\NAME.log; the exit code is 1 and
#   nothing waits for a key. Once with a job object, once through the
#   process list (ORBWICK_KIT_NO_JOB), as on a Windows where the kit already
#   runs inside a job. The kit's list of programs is replaced for these two
#   runs by that program and the hanging one.
# - a kit whose test programs were deleted fails, naming each as missing;
# - a kit whose run_limited.exe cannot start fails, says why, and waits for
#   a key;
# - the summary gives the DLL's SHA-256 and the date of the run;
# - run_limited hands a program an argument with a blank, a quote and a
#   closing backslash unchanged, and tells a start from Explorer from another.
# Run with the Wine environment of scripts/with-wine.sh:
#   kit_run_test.sh <unpacked kit folder> <hanging program>
set -eu
kit=$1 probe=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "kit_run_test: $*" >&2; [ ! -f "$work/out" ] || cat "$work/out" >&2; exit 1; }
cr=$(printf '\r')
dir="$work/kit & co!"

# Runs run-tests.cmd in $dir with a time limit of 3 s; its console output
# goes to $work/out, its exit code to $rc, its time to $took.
run_kit() {
    started=$(date +%s)
    local_before=$(date '+%Y-%m-%d %H') utc_before=$(date -u '+%Y-%m-%d %H')
    rc=0
    (cd "$dir" && ORBWICK_KIT_TIME_LIMIT=3 timeout 120 wine cmd /c run-tests.cmd </dev/null >"$work/out.raw" 2>&1) || rc=$?
    tr -d '\r' <"$work/out.raw" >"$work/out"
    took=$(($(date +%s) - started))
    local_after=$(date '+%Y-%m-%d %H') utc_after=$(date -u '+%Y-%m-%d %H')
}

check_time_limit() {
    how=$1
    rm -rf "$dir"
    mkdir "$dir"
    cp "$kit/run_limited.exe" "$kit/host_unit_tests.exe" "$kit/orbwick.dll" "$dir/"
    sed -e "s/^set \"kit_list=.*\"$cr\$/set \"kit_list=host_unit_tests hangs\"$cr/" \
        -e "s/^set \\/a kit_expected=.*$cr\$/set \\/a kit_expected=2$cr/" "$kit/run-tests.cmd" >"$dir/run-tests.cmd"
    grep -q '^set "kit_list=host_unit_tests hangs"' "$dir/run-tests.cmd" || fail "the kit's list was not replaced"
    cp "$probe" "$dir/hangs.exe"
    run_kit
    [ $rc -eq 1 ] || fail "$how: exit code $rc, not 1"
    [ $took -lt 60 ] || fail "$how: took $took s with a time limit of 3 s"
    last=$(tail -n 1 "$work/out")
    echo "$last" | grep -Eq '^[1-9][0-9]* passed, 1 failed$' || fail "$how: last line \"$last\""
    grep -q '^hangs: stopped after the time limit of 3 s' "$work/out" || fail "$how: no time-limit line for hangs"
    grep -q '^host_unit_tests: [1-9][0-9]* passed, 0 failed' "$work/out" || fail "$how: host_unit_tests not counted"
    ! grep -q 'Press a key' "$work/out" || fail "$how: waits for a key when not started from Explorer"
    tr -d '\r' <"$dir/results/hangs.log" >"$work/hangs.log"
    grep -q 'kit_hang_probe: hanging on purpose' "$work/hangs.log" || fail "$how: hangs.log lacks the program's output"
    grep -q 'kit_hang_probe: the started copy still runs' "$work/hangs.log" || fail "$how: the probe's copy never ran"
    grep -q "kit_hang_probe: the copy's copy still runs" "$work/hangs.log" || fail "$how: the copy's copy never ran"
    grep -q 'run_limited: stopped after the time limit of 3 s' "$work/hangs.log" || fail "$how: hangs.log lacks the stop"
    # The three processes wrote every 200 ms; a log that still grows holds a survivor.
    size=$(wc -c <"$dir/results/hangs.log")
    sleep 1
    [ "$(wc -c <"$dir/results/hangs.log")" = "$size" ] || fail "$how: a process of hangs.exe still runs after its limit"
    grep -q 'PASSED' "$dir/results/host_unit_tests.log" || fail "$how: host_unit_tests.log lacks GoogleTest's output"
    [ -f "$dir/results/host_unit_tests.xml" ] || fail "$how: no host_unit_tests.xml"
    tr -d '\r' <"$dir/results/summary.txt" | grep -q '^Programs run: 2 of 2; failed: hangs$' ||
        fail "$how: summary.txt does not name hangs"
    sum=$(sha256sum <"$dir/orbwick.dll" | cut -d' ' -f1)
    tr -d '\r' <"$dir/results/summary.txt" | grep -qx "orbwick.dll: SHA-256 $sum" ||
        fail "$how: summary.txt does not give orbwick.dll's SHA-256 $sum"
    # The summary's date is the run's, in local time and in UTC.
    date_line=$(tr -d '\r' <"$dir/results/summary.txt" | grep '^Date: ' || true)
    case "$date_line" in
    "Date: $local_before:"??" local time ($utc_before:"??" UTC)") ;;
    "Date: $local_after:"??" local time ($utc_after:"??" UTC)") ;;
    *) fail "$how: summary.txt's date \"$date_line\" is not the time of the run" ;;
    esac
    echo "kit_run_test: $how: hangs.exe and its two copies stopped after 3 s, counted as failed ($took s): $last"
}

check_time_limit "with a job"
ORBWICK_KIT_NO_JOB=1 check_time_limit "through the process list"

# The kit as antivirus or a wrong unpacking may leave it: no test program.
rm -rf "$dir"
mkdir "$dir"
cp "$kit/run-tests.cmd" "$kit/run_limited.exe" "$kit/orbwick.dll" "$dir/"
programs=$(sed -n "s/^set \"kit_list=\\(.*\\)\"$cr\$/\\1/p" "$kit/run-tests.cmd")
count=$(echo "$programs" | wc -w)
[ "$count" -gt 0 ] || fail "no list of programs in run-tests.cmd"
run_kit
[ $rc -eq 1 ] || fail "without programs: exit code $rc, not 1"
for name in $programs; do
    grep -q "^$name: $name.exe is missing from the kit's folder: counted as 1 failed" "$work/out" ||
        fail "without programs: no line saying that $name is missing"
done
grep -q '^No test program ran: counted as 1 failed$' "$work/out" || fail "without programs: no line saying none ran"
grep -q "^Programs run: 0 of $count; failed: $(echo $programs)\$" "$work/out" || fail "without programs: summary"
last=$(tail -n 1 "$work/out")
[ "$last" = "0 passed, $((count + 1)) failed" ] || fail "without programs: last line \"$last\""
echo "kit_run_test: without its test programs the kit fails ($last), naming the $count missing ones"

# run_limited.exe gone (or blocked): nothing can run, the script says so and
# waits for a key even though no Explorer started it.
rm "$dir/run_limited.exe"
cp "$kit/host_unit_tests.exe" "$dir/"
run_kit
[ $rc -eq 1 ] || fail "without run_limited.exe: exit code $rc, not 1"
grep -q '^run_limited.exe could not start, so no test program can run' "$work/out" ||
    fail "without run_limited.exe: no line saying why nothing runs"
grep -q '^host_unit_tests: not run, run_limited.exe could not start: counted as 1 failed$' "$work/out" ||
    fail "without run_limited.exe: host_unit_tests not counted as failed"
grep -q '^orbwick.dll: version and SHA-256 not known, run_limited.exe could not start$' "$work/out" ||
    fail "without run_limited.exe: the summary's facts"
grep -q 'Press a key' "$work/out" || fail "without run_limited.exe: does not wait for a key"
echo "kit_run_test: without run_limited.exe the kit fails, says why and waits for a key"

# An argument with a blank, a quote and a closing backslash reaches the
# program as it was given: run_limited quotes it on the program's command line.
rm -rf "$dir"
mkdir "$dir"
cp "$kit/run_limited.exe" "$kit/host_unit_tests.exe" "$dir/"
argument='--gtest_filter=a b"c\'
(cd "$dir" && timeout 120 wine run_limited.exe 60 quoted.log host_unit_tests.exe "$argument" </dev/null \
    >"$work/out" 2>&1) || fail "quoting: run_limited.exe failed"
tr -d '\r' <"$dir/quoted.log" | grep -qxF "Note: Google Test filter = ${argument#--gtest_filter=}" ||
    fail "quoting: the program did not get $argument: $(tr -d '\r' <"$dir/quoted.log")"
echo "kit_run_test: an argument with a blank, a quote and a closing backslash reaches the program whole"

# run_limited tells a script started from Explorer from one started otherwise
# (the kit then waits for a key): cmd.exe started by Wine's explorer.exe (its
# /desktop= starts a program as Explorer would), then by nothing of Windows.
answer() {
    rm -f "$dir/answer.txt"
    # shellcheck disable=SC2086
    (cd "$dir" && timeout 60 wine $1 cmd /c 'run_limited.exe --started-from-explorer & call echo %^errorlevel%> answer.txt' \
        </dev/null >"$work/out" 2>&1) || true
    tr -d '\r ' <"$dir/answer.txt" 2>/dev/null || true
}
[ "$(answer "explorer /desktop=kit,640x480")" = 0 ] || fail "started from Explorer: run_limited does not say so"
[ "$(answer "")" = 1 ] || fail "started from cmd.exe alone: run_limited takes it for Explorer"
echo "kit_run_test: run_limited tells a start from Explorer from another"
