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
#   runs by that program and the hanging one; the first gets its limit from
#   ORBWICK_KIT_TIME_LIMIT, the second from a limit of its own in the kit's
#   list of limits. The line of the stop gives the command to run again with
#   a higher limit. What the hanging program left in its temporary folder is
#   removed with the kit's folder in %TEMP%, or kept there with /keeptemp
#   (the second run).
# - a kit whose orbwick.dll differs by one byte, or one of whose programs was
#   replaced, stops before any program runs, exit code 3, naming the file
#   and both checksums; with /otherdll the different DLL is tested and the
#   summary says that it is not the release, but a replaced program still
#   stops the kit;
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

# Runs run-tests.cmd in $dir with the switches given, and with
# ORBWICK_KIT_TIME_LIMIT=$env_limit unless that is empty; its console output
# goes to $work/out, its exit code to $rc, its time to $took.
env_limit=3
run_kit() {
    started=$(date +%s)
    local_before=$(date '+%Y-%m-%d %H') utc_before=$(date -u '+%Y-%m-%d %H')
    rc=0
    (cd "$dir" && unset ORBWICK_KIT_TIME_LIMIT && { [ -z "$env_limit" ] || export ORBWICK_KIT_TIME_LIMIT=$env_limit; } &&
        timeout 120 wine cmd /c run-tests.cmd "$@" </dev/null >"$work/out.raw" 2>&1) || rc=$?
    tr -d '\r' <"$work/out.raw" >"$work/out"
    took=$(($(date +%s) - started))
    local_after=$(date '+%Y-%m-%d %H') utc_after=$(date -u '+%Y-%m-%d %H')
}

# The rerun the kit suggests: twice the limit, and at least its largest.
kit_limits=$(sed -n "s/^set \"kit_limits=\(.*\)\"$cr\$/\1/p" "$kit/run-tests.cmd")
higher_than() {
    higher=$1
    for limit in $(echo "$2" | tr ' ' '\n' | cut -d: -f2); do
        [ "$limit" -le "$higher" ] || higher=$limit
    done
}

# check_time_limit <what> <the kit's list of own limits> [<switch>...]
check_time_limit() {
    how=$1 limits=$2
    shift 2
    rm -rf "$dir"
    mkdir "$dir"
    cp "$kit/run_limited.exe" "$kit/host_unit_tests.exe" "$kit/orbwick.dll" "$kit/kit-checksums.txt" "$dir/"
    sed -e "s/^set \"kit_list=.*\"$cr\$/set \"kit_list=host_unit_tests hangs\"$cr/" \
        -e "s/^set \"kit_limits=.*\"$cr\$/set \"kit_limits=$limits\"$cr/" \
        -e "s/^set \\/a kit_expected=.*$cr\$/set \\/a kit_expected=2$cr/" "$kit/run-tests.cmd" >"$dir/run-tests.cmd"
    grep -q '^set "kit_list=host_unit_tests hangs"' "$dir/run-tests.cmd" || fail "the kit's list was not replaced"
    grep -qF "set \"kit_limits=$limits\"" "$dir/run-tests.cmd" || fail "the kit's limits were not replaced"
    higher_than 6 "$limits"
    cp "$probe" "$dir/hangs.exe"
    run_kit "$@"
    [ $rc -eq 1 ] || fail "$how: exit code $rc, not 1"
    [ $took -lt 60 ] || fail "$how: took $took s with a time limit of 3 s"
    last=$(tail -n 1 "$work/out")
    echo "$last" | grep -Eq '^[1-9][0-9]* passed, 1 failed$' || fail "$how: last line \"$last\""
    grep -q '^hangs: stopped after the time limit of 3 s' "$work/out" || fail "$how: no time-limit line for hangs"
    grep -qx "    set ORBWICK_KIT_TIME_LIMIT=$higher" "$work/out" || fail "$how: no command with a limit of $higher s"
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
    temp=$(winepath -u "$(sed -n 's/^kit_hang_probe: hanging on purpose, temporary folder //p' "$work/hangs.log")")
    case "$*" in
        */keeptemp*) [ -d "$temp/kit_hang_probe" ] || fail "$how: /keeptemp did not keep $temp"
                     tr -d '\r' <"$dir/results/summary.txt" | grep -q '^Temporary files: kept (/keeptemp) in ' ||
                         fail "$how: the summary does not say where the temporary files are"
                     rm -rf "$temp" ;;
        *) [ -n "$temp" ] && [ ! -e "$temp" ] || fail "$how: the kit left its temporary folder $temp" ;;
    esac
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

check_time_limit "with a job" "$kit_limits"
env_limit='' ORBWICK_KIT_NO_JOB=1 check_time_limit "through the process list, a limit of its own" "hangs:3" /keeptemp
env_limit=3

# A kit that is not the release's stops before any program runs; only a DLL
# tested on purpose (/otherdll) is run, and the summary says so.
check_not_release() {
    how=$1 file=$2
    shift 2
    run_kit "$@"
    [ $rc -eq 3 ] || fail "$how: exit code $rc, not 3"
    [ $took -lt 60 ] || fail "$how: took $took s"
    actual=$(sha256sum <"$dir/$file" | cut -d' ' -f1)
    expected=$(grep " $file$cr\$" "$kit/kit-checksums.txt" | cut -d' ' -f1)
    grep -qx "$file: SHA-256 $actual, but kit-checksums.txt has $expected for it" "$work/out" ||
        fail "$how: no line naming $file with both checksums"
    ! grep -q '^== ' "$work/out" && [ ! -e "$dir/results/host_unit_tests.log" ] || fail "$how: a program ran"
    tr -d '\r' <"$dir/results/summary.txt" | grep -q '^NOT THE RELEASE: ' || fail "$how: the summary does not say it"
    echo "kit_run_test: $how: stopped before any program ran, exit code 3 ($took s)"
}
rm -rf "$dir"
mkdir "$dir"
cp "$kit/run-tests.cmd" "$kit/run_limited.exe" "$kit/orbwick.dll" "$kit/kit-checksums.txt" "$kit/host_unit_tests.exe" "$dir/"
byte=$(od -An -tu1 -j 4096 -N 1 "$dir/orbwick.dll" | tr -d ' ')
printf "\\$(printf %o $(((byte + 1) % 256)))" | dd of="$dir/orbwick.dll" bs=1 seek=4096 conv=notrunc 2>/dev/null
cmp -s "$kit/orbwick.dll" "$dir/orbwick.dll" && fail "orbwick.dll was not changed"
check_not_release "orbwick.dll changed by one byte" orbwick.dll
run_kit /otherdll
[ $rc -eq 1 ] || fail "/otherdll: exit code $rc, not 1 (every other program is missing)"
grep -q '^host_unit_tests: [1-9][0-9]* passed, 0 failed' "$work/out" || fail "/otherdll: host_unit_tests not run"
tr -d '\r' <"$dir/results/summary.txt" | grep -q '^NOT THE RELEASE: this run tested another orbwick.dll on purpose' ||
    fail "/otherdll: the summary does not say that the DLL is not the release's"
echo "kit_run_test: /otherdll tests the changed DLL, and the summary says that it is not the release's"
cp "$kit/orbwick.dll" "$dir/"
cp "$probe" "$dir/host_unit_tests.exe"
check_not_release "host_unit_tests.exe replaced, with /otherdll" host_unit_tests.exe /otherdll

# The kit as antivirus or a wrong unpacking may leave it: no test program.
rm -rf "$dir"
mkdir "$dir"
cp "$kit/run-tests.cmd" "$kit/run_limited.exe" "$kit/orbwick.dll" "$kit/kit-checksums.txt" "$dir/"
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
