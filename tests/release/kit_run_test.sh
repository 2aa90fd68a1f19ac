#!/bin/sh
# run-tests.cmd of the unpacked test kit, under Wine's cmd.exe, in a folder
# whose name holds a blank, "&", "!" and a letter of the ANSI code page
# beyond ASCII ("ü"; scripts/with-wine.sh gives Wine the code page 1252):
# - a program that hangs is stopped at the time limit together with the
#   processes it started (a copy, and the copy's copy), with a line saying
#   so, and counted as failed; a passing program beside it still counts;
#   each program's output is in results\NAME.log; the exit code is 1 and
#   nothing waits for a key. Once with a job object, once through the
#   process list (ORBWICK_KIT_NO_JOB), as on a Windows where the kit already
#   runs inside a job. The kit's list of programs is replaced for these two
#   runs by that program and the hanging one (whose checksum joins the
#   kit's list); the first gets its limit from ORBWICK_KIT_TIME_LIMIT, the
#   second from a limit of its own in the kit's list of limits. The line of
#   the stop gives the command to run again with a higher limit. What the
#   hanging program left in its temporary folder is removed with the kit's
#   folder in %TEMP%, or kept there with /keeptemp (the second run).
# - the kit's check fails closed: a kit whose orbwick.dll differs by one
#   byte or is deleted, whose list lacks the DLL's line or a program's, lists
#   a file twice or is gone, one of whose programs was replaced (also with
#   /otherdll) or whose programs were deleted, stops before any program
#   runs, exit code 3. Its summary starts with "NOT THE RELEASE", holds the
#   kit's version, the Windows version and the date, names exactly the
#   files found wrong, and suggests /otherdll only when the DLL alone
#   differs;
# - with /otherdll a changed DLL is tested: every program passing ends with
#   exit code 4, and the summary's first and last lines say "NOT THE
#   RELEASE"; the summary of a release run starts with the DLL's SHA-256 and
#   the request to compare it with SHA256SUMS.txt;
# - a kit in a folder named with a letter outside the ANSI code page ("Ł"),
#   or whose folder for temporary files is so named, stops before any
#   program runs, exit code 2, with the advice to move it (or to set TEMP);
# - a kit whose run_limited.exe cannot start, or is another program of the
#   kit, or a run of fewer test cases than the build counted, fails and
#   says what is missing; without run_limited.exe it waits for a key;
# - a second run while the first runs is refused (exit code 2), the first's
#   results kept; a killed run or a lock file left over blocks no run;
# - run_limited fails (exit code 125) and says why when it cannot create the
#   log file or the time limit is not a whole number of seconds up to a day;
# - the summary gives the DLL's SHA-256 and version, the date of the run,
#   and whether Windows is a workstation or a server edition;
# - run_limited hands a program named by a path with blanks an argument
#   with a blank, a quote and a closing backslash unchanged, and tells a
#   start from Explorer from another.
# Run with the Wine environment of scripts/with-wine.sh:
#   kit_run_test.sh <unpacked kit folder> <hanging program>
set -eu
kit=$1 probe=$2
work=$(mktemp -d)
first=''
trap 'rm -rf "$work"; [ -z "$first" ] || kill -KILL -$first 2>/dev/null' EXIT
fail() { echo "kit_run_test: $*" >&2; [ ! -f "$work/out" ] || cat "$work/out" >&2; exit 1; }
cr=$(printf '\r')
dir="$work/kit Prüfung & co!"
version=$(sed -n 's/^rem orbwick \(.*\) test kit: .*/\1/p' "$kit/run-tests.cmd")
[ -n "$version" ] || fail "no version in run-tests.cmd"

# A copy of the kit in $dir; with a list of programs, the kit's list
# replaced by it.
fresh_kit() {
    rm -rf "$dir"
    cp -R "$kit" "$dir"
    rm -rf "$dir/results"
    [ $# -eq 0 ] && return
    sed -e "s/^set \"kit_list=.*\"$cr\$/set \"kit_list=$1\"$cr/" \
        -e "s/^set \\/a kit_expected=.*$cr\$/set \\/a kit_expected=$(echo $1 | wc -w)$cr/" "$kit/run-tests.cmd" \
        >"$dir/run-tests.cmd"
    grep -q "^set \"kit_list=$1\"" "$dir/run-tests.cmd" || fail "the kit's list was not replaced"
}

# Adds a line for a file of $dir to its kit-checksums.txt, as the build writes them.
add_sum() {
    (cd "$dir" && sha256sum "$1" | sed 's/$/\r/' >>kit-checksums.txt)
}

flip_byte() {
    byte=$(od -An -tu1 -j 4096 -N 1 "$1" | tr -d ' ')
    printf "\\$(printf %o $(((byte + 1) % 256)))" | dd of="$1" bs=1 seek=4096 conv=notrunc 2>/dev/null
}

# Runs $script (run-tests.cmd, or a command line that ends with it) in $dir
# with the switches given, and with
# ORBWICK_KIT_TIME_LIMIT=$env_limit unless that is empty; its console output
# goes to $work/out, its exit code to $rc, its time to $took.
env_limit=3
script=run-tests.cmd
run_kit() {
    started=$(date +%s)
    local_before=$(date '+%Y-%m-%d %H') utc_before=$(date -u '+%Y-%m-%d %H')
    rc=0
    (cd "$dir" && unset ORBWICK_KIT_TIME_LIMIT && { [ -z "$env_limit" ] || export ORBWICK_KIT_TIME_LIMIT=$env_limit; } &&
        timeout 120 wine cmd /c $script "$@" </dev/null >"$work/out.raw" 2>&1) || rc=$?
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
    fresh_kit "host_unit_tests hangs"
    sed -i "s/^set \"kit_limits=.*\"$cr\$/set \"kit_limits=$limits\"$cr/" "$dir/run-tests.cmd"
    grep -qF "set \"kit_limits=$limits\"" "$dir/run-tests.cmd" || fail "the kit's limits were not replaced"
    cp "$probe" "$dir/hangs.exe"
    add_sum hangs.exe
    higher_than 6 "$limits"
    run_kit "$@"
    [ $rc -eq 1 ] || fail "$how: exit code $rc, not 1"
    [ $took -lt 60 ] || fail "$how: took $took s with a time limit of 3 s"
    last=$(tail -n 1 "$work/out")
    echo "$last" | grep -Eq '^[1-9][0-9]* passed, 1 failed$' || fail "$how: last line \"$last\""
    grep -q '^hangs: stopped after the time limit of 3 s' "$work/out" || fail "$how: no time-limit line for hangs"
    grep -qx "    set ORBWICK_KIT_TIME_LIMIT=$higher" "$work/out" || fail "$how: no command with a limit of $higher s"
    grep -q '^host_unit_tests: [1-9][0-9]* passed, 0 failed' "$work/out" || fail "$how: host_unit_tests not counted"
    ! grep -q 'Press a key' "$work/out" || fail "$how: waits for a key when not started from Explorer"
    [ ! -e "$dir/run-tests.lock" ] || fail "$how: the lock file outlived the run"
    tr -d '\r' <"$dir/results/hangs.log" >"$work/hangs.log"
    grep -q 'kit_hang_probe: hanging on purpose' "$work/hangs.log" || fail "$how: hangs.log lacks the program's output"
    grep -q 'kit_hang_probe: the started copy still runs' "$work/hangs.log" || fail "$how: the probe's copy never ran"
    grep -q "kit_hang_probe: the copy's copy still runs" "$work/hangs.log" || fail "$how: the copy's copy never ran"
    grep -q 'run_limited: stopped after the time limit of 3 s' "$work/hangs.log" || fail "$how: hangs.log lacks the stop"
    ! grep -q 'run_limited: the program still ran' "$work/hangs.log" || fail "$how: the stop did not end the program"
    in_job="inside a job"
    [ -z "${ORBWICK_KIT_NO_JOB:-}" ] || in_job="not inside a job"
    grep -qx "kit_hang_probe: $in_job" "$work/hangs.log" || fail "$how: the program did not run $in_job"
    grep -qx "kit_hang_probe: standard input empty" "$work/hangs.log" || fail "$how: the program's input was not NUL"
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
    tr -d '\r' <"$dir/results/summary.txt" | head -n 2 >"$work/head"
    [ "$(sed -n 1p "$work/head")" = "orbwick.dll: SHA-256 $sum" ] &&
        grep -q "^Compare this SHA-256 with orbwick.dll's line in SHA256SUMS.txt of the release" "$work/head" ||
        fail "$how: summary.txt does not start with orbwick.dll's SHA-256 $sum and the request to compare it"
    tr -d '\r' <"$dir/results/summary.txt" | grep -q "^orbwick\.dll: version $version " ||
        fail "$how: summary.txt does not give orbwick.dll's version $version"
    # Wine's default Windows is a workstation edition (a server edition below).
    tr -d '\r' <"$dir/results/summary.txt" | grep -Eqx 'Service pack: .*; product type: workstation' ||
        fail "$how: summary.txt does not call Windows a workstation"
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

# The kit's check fails closed: a kit whose files are not those it was built
# with stops before any program runs (exit code 3).
#   check_stopped <what> <advice: otherdll, above or list> <the lines naming
#                 the files found wrong> [<switch>...]
check_stopped() {
    how=$1 advice=$2 expected=$3
    shift 3
    run_kit "$@"
    [ $rc -eq 3 ] || fail "$how: exit code $rc, not 3"
    [ $took -lt 60 ] || fail "$how: took $took s"
    ! grep -q '^== ' "$work/out" && [ -z "$(ls "$dir/results" | grep '\.log$')" ] || fail "$how: a program ran"
    tr -d '\r' <"$dir/results/summary.txt" >"$work/summary"
    [ "$(head -n 1 "$work/summary")" = "NOT THE RELEASE: the kit's own check stopped it, so no test program was run" ] ||
        fail "$how: the summary's first line is \"$(head -n 1 "$work/summary")\""
    named=$(grep -E '^[^ ]+\.[a-z]+: .*kit(-checksums\.txt| cannot check)' "$work/summary" || true)
    [ "$named" = "$expected" ] || fail "$how: the summary names \"$named\", not \"$expected\""
    for fact in "^Kit: orbwick $version test kit, " '^Windows: ' '^Date: ' '^orbwick\.dll: (SHA-256|missing)'; do
        grep -Eq "$fact" "$work/summary" || fail "$how: the summary lacks a line \"$fact\""
    done
    for kind in otherdll above list; do
        case $kind in
            otherdll) line='^Only orbwick\.dll differs\..* To test another orbwick\.dll on purpose: run-tests\.cmd /otherdll$' ;;
            above) line='^The files named above do not match kit-checksums\.txt\. Unpack the kit again' ;;
            list) line='^Without its list the kit cannot check its files\. Unpack the kit again' ;;
        esac
        if [ $kind = "$advice" ]; then
            grep -Eq "$line" "$work/summary" || fail "$how: the summary lacks the advice \"$line\""
        else
            ! grep -Eq "$line" "$work/summary" || fail "$how: the summary gives the advice \"$line\""
        fi
    done
    [ $advice = otherdll ] || ! grep -q '/otherdll' "$work/summary" || fail "$how: the summary suggests /otherdll"
    grep -qx 'Exit code: 3' "$work/summary" || fail "$how: the summary lacks its exit code"
    echo "kit_run_test: $how: stopped before any program ran, exit code 3 ($took s)"
}
listed() { grep " $1$cr\$" "$kit/kit-checksums.txt" | cut -d' ' -f1; }

fresh_kit
flip_byte "$dir/orbwick.dll"
cmp -s "$kit/orbwick.dll" "$dir/orbwick.dll" && fail "orbwick.dll was not changed"
actual=$(sha256sum <"$dir/orbwick.dll" | cut -d' ' -f1)
check_stopped "orbwick.dll changed by one byte" otherdll \
    "orbwick.dll: SHA-256 $actual, but kit-checksums.txt has $(listed orbwick.dll) for it"
# These with one program in the kit's list, so that a kit which fails to
# stop does not run them all.
# A list line that differs from the DLL's SHA-256 only in its last digit.
fresh_kit host_unit_tests
sum=$(listed orbwick.dll)
case $sum in *0) edited=${sum%?}1 ;; *) edited=${sum%?}0 ;; esac
sed -i "s/^$sum /$edited /" "$dir/kit-checksums.txt"
check_stopped "orbwick.dll's line differing in its last digit" otherdll \
    "orbwick.dll: SHA-256 $sum, but kit-checksums.txt has $edited for it"
fresh_kit host_unit_tests
rm "$dir/orbwick.dll"
check_stopped "orbwick.dll deleted" above "orbwick.dll: missing from the kit's folder, but kit-checksums.txt lists it"
fresh_kit host_unit_tests
grep -v " orbwick.dll$cr\$" "$kit/kit-checksums.txt" >"$dir/kit-checksums.txt"
check_stopped "the list without orbwick.dll's line" above \
    "orbwick.dll: not in kit-checksums.txt, so the kit cannot check it"
fresh_kit host_unit_tests
grep -v " host_unit_tests.exe$cr\$" "$kit/kit-checksums.txt" >"$dir/kit-checksums.txt"
check_stopped "the list without host_unit_tests.exe's line" above \
    "host_unit_tests.exe: not in kit-checksums.txt, so the kit cannot check it"
fresh_kit host_unit_tests
add_sum host_unit_tests.exe
check_stopped "host_unit_tests.exe listed twice" above "host_unit_tests.exe: listed twice in kit-checksums.txt"
fresh_kit host_unit_tests
rm "$dir/kit-checksums.txt"
check_stopped "kit-checksums.txt deleted" list "kit-checksums.txt: missing or damaged, so the kit cannot check its files"
fresh_kit host_unit_tests
cp "$probe" "$dir/host_unit_tests.exe"
check_stopped "host_unit_tests.exe replaced, with /otherdll" above \
    "host_unit_tests.exe: SHA-256 $(sha256sum <"$probe" | cut -d' ' -f1), but kit-checksums.txt has $(listed host_unit_tests.exe) for it" \
    /otherdll
# The kit as antivirus or a wrong unpacking may leave it: no test program.
programs=$(sed -n "s/^set \"kit_list=\\(.*\\)\"$cr\$/\\1/p" "$kit/run-tests.cmd")
[ "$(echo "$programs" | wc -w)" -gt 1 ] || fail "no list of programs in run-tests.cmd"
fresh_kit
for name in $programs; do rm "$dir/$name.exe"; done
expected=$(tr -d '\r' <"$kit/kit-checksums.txt" | cut -d' ' -f3 | while read -r name; do
    case " $programs " in *" ${name%.exe} "*) echo "$name: missing from the kit's folder, but kit-checksums.txt lists it" ;; esac
done)
check_stopped "without its test programs" above "$expected"

# Another DLL tested on purpose: every program passing is not a release
# pass, and the summary's first and last lines say so.
fresh_kit host_unit_tests
flip_byte "$dir/orbwick.dll"
actual=$(sha256sum <"$dir/orbwick.dll" | cut -d' ' -f1)
# A lock file that no process holds, as a crash may leave, does not count.
: >"$dir/run-tests.lock"
run_kit /otherdll
[ $rc -eq 4 ] || fail "/otherdll, every program passing: exit code $rc, not 4"
grep -q '^host_unit_tests: [1-9][0-9]* passed, 0 failed' "$work/out" || fail "/otherdll: host_unit_tests not run"
tr -d '\r' <"$dir/results/summary.txt" >"$work/summary"
[ "$(head -n 1 "$work/summary")" = "NOT THE RELEASE: this run tested another orbwick.dll on purpose (/otherdll); its results say nothing about the release's orbwick.dll" ] ||
    fail "/otherdll: the summary's first line is \"$(head -n 1 "$work/summary")\""
[ "$(sed -n 2p "$work/summary")" = "orbwick.dll: SHA-256 $actual" ] || fail "/otherdll: the summary's second line"
grep -qx 'Checked: [1-9][0-9]* files of the kit match kit-checksums.txt; orbwick.dll does not' "$work/summary" ||
    fail "/otherdll: the summary does not say that orbwick.dll differs"
last=$(tail -n 1 "$work/out")
echo "$last" | grep -Eqx '[1-9][0-9]* passed, 0 failed - NOT THE RELEASE, another orbwick.dll was tested \(/otherdll\)' ||
    fail "/otherdll: last line \"$last\""
echo "kit_run_test: /otherdll tests the changed DLL: exit code 4, first and last lines \"NOT THE RELEASE\""
# A program that fails under /otherdll fails the run: exit code 1, never
# the 4 of another DLL's pass.
fresh_kit "host_unit_tests hangs"
flip_byte "$dir/orbwick.dll"
cp "$probe" "$dir/hangs.exe"
add_sum hangs.exe
run_kit /otherdll
[ $rc -eq 1 ] || fail "/otherdll with a program that fails: exit code $rc, not 1"
echo "kit_run_test: /otherdll with a program that fails: exit code 1"

# Folders the programs cannot name through the ANSI code page: the kit stops
# before any program runs and says what to do.
check_not_plain() {
    how=$1 advice=$2
    shift 2
    run_kit "$@"
    [ $rc -eq 2 ] || fail "$how: exit code $rc, not 2"
    ! grep -q '^== ' "$work/out" && [ ! -e "$dir/results/host_unit_tests.log" ] || fail "$how: a program ran"
    tr -d '\r' <"$dir/results/summary.txt" >"$work/summary"
    grep -qF "$advice" "$work/summary" || fail "$how: the summary lacks the advice \"$advice\""
    grep -q "^Kit: orbwick $version test kit, " "$work/summary" && grep -q '^Date: ' "$work/summary" ||
        fail "$how: the summary lacks the kit's version or the date"
    echo "kit_run_test: $how: stopped before any program ran, exit code 2, with the advice ($took s)"
}
plain_dir=$dir
dir="$work/kit Łódź"
fresh_kit host_unit_tests
check_not_plain "the kit in a folder named with \"Ł\"" "move the kit to a folder with a plain name"
rm -rf "$dir"
dir=$plain_dir
fresh_kit host_unit_tests
# cmd.exe sets TEMP for the kit: Wine takes no TEMP from the environment.
mkdir "$work/temp-Łódź"
script="set TEMP=$(winepath -w "$work/temp-Łódź")&&run-tests.cmd"
check_not_plain "TEMP named with \"Ł\"" "set TEMP=C:\\orbwick-temp"
script=run-tests.cmd

# run_limited.exe gone (or blocked): nothing can run, the script says so and
# waits for a key even though no Explorer started it.
fresh_kit host_unit_tests
rm "$dir/run_limited.exe"
run_kit
[ $rc -eq 1 ] || fail "without run_limited.exe: exit code $rc, not 1"
grep -q '^run_limited.exe could not start, so no test program can run' "$work/out" ||
    fail "without run_limited.exe: no line saying why nothing runs"
grep -q '^host_unit_tests: not run, run_limited.exe could not start: counted as 1 failed$' "$work/out" ||
    fail "without run_limited.exe: host_unit_tests not counted as failed"
grep -q '^orbwick.dll: version and SHA-256 not known, run_limited.exe could not start$' "$work/out" ||
    fail "without run_limited.exe: the summary's facts"
grep -q '^No test program ran: counted as 1 failed$' "$work/out" || fail "without run_limited.exe: no line saying none ran"
grep -q 'Press a key' "$work/out" || fail "without run_limited.exe: does not wait for a key"
for lack in 'no "Checked:" line' 'no SHA-256 of orbwick.dll'; do
    grep -q "^Not a pass: $lack" "$work/out" || fail "without run_limited.exe: no line saying $lack"
done
echo "kit_run_test: without run_limited.exe the kit fails, says why and waits for a key"

# Another program of the kit in place of run_limited.exe runs no script.
fresh_kit host_unit_tests
cp "$dir/host_unit_tests.exe" "$dir/run_limited.exe"
run_kit
[ $rc -eq 1 ] && grep -q '^So nothing vouches for this run: no "Checked:" line' "$work/out" ||
    fail "run_limited.exe replaced by host_unit_tests.exe: exit code $rc, or no line saying what is missing"
# One test case more expected of host_unit_tests than the build counted.
cases=$(sed -n "s/^set \"kit_cases=.* host_unit_tests:\([0-9]*\) .*/\1/p" "$kit/run-tests.cmd")
fresh_kit host_unit_tests
sed -i "s/ host_unit_tests:$cases / host_unit_tests:$((cases + 1)) /" "$dir/run-tests.cmd"
run_kit
[ $rc -eq 1 ] && grep -qx "Not a pass: expected at least $((cases + 1)) test cases, $cases ran" "$work/out" &&
    [ "$(tail -n 1 "$work/out")" = "$cases passed, 1 failed" ] || fail "one test case short: exit code $rc, or not said"
echo "kit_run_test: a run_limited.exe that is another program, or a test case short, fails and says what is missing"

# One run per folder: a second run while the first's program hangs (120 s)
# is refused; the first, killed with its processes (a session of its own),
# leaves no lock.
fresh_kit hangs
cp "$probe" "$dir/hangs.exe"
add_sum hangs.exe
(cd "$dir" && ORBWICK_KIT_TIME_LIMIT=120 exec setsid wine cmd /c run-tests.cmd </dev/null >/dev/null 2>&1) &
first=$!
tries=0
until grep -q 'kit_hang_probe: hanging on purpose' "$dir/results/hangs.log" 2>/dev/null; do
    tries=$((tries + 1)) && [ $tries -le 600 ] && sleep 0.1 || fail "the first run's program did not start"
done
run_kit
[ $rc -eq 2 ] && grep -q '^run-tests.cmd: another run is in progress in this folder' "$work/out" &&
    grep -q 'kit_hang_probe: hanging on purpose' "$dir/results/hangs.log" ||
    fail "a second run beside the first: exit code $rc, not 2 with its line and the first's results kept"
kill -KILL -$first
{ wait $first; } 2>/dev/null || true
tries=0
while kill -0 -$first 2>/dev/null && [ $((tries += 1)) -le 600 ]; do sleep 0.1; done
first=''
run_kit
[ $rc -eq 1 ] && grep -q '^hangs: stopped after the time limit of 3 s' "$work/out" ||
    fail "the run after a killed one: exit code $rc, not 1 with hangs stopped"
echo "kit_run_test: a second run beside the first is refused (exit code 2, the first's results kept); a killed run leaves no lock"

# An argument with a blank, a quote and a closing backslash reaches the
# program as it was given, after the program's own path with blanks:
# run_limited quotes them on the program's command line.
rm -rf "$dir"
mkdir "$dir"
cp "$kit/run_limited.exe" "$kit/host_unit_tests.exe" "$dir/"
argument='--gtest_filter=a b"c\'
(cd "$dir" && timeout 120 wine run_limited.exe 60 quoted.log "$(winepath -w "$dir")\host_unit_tests.exe" "$argument" \
    </dev/null >"$work/out" 2>&1) || fail "quoting: run_limited.exe failed"
tr -d '\r' <"$dir/quoted.log" | grep -qxF "Note: Google Test filter = ${argument#--gtest_filter=}" ||
    fail "quoting: the program did not get $argument: $(tr -d '\r' <"$dir/quoted.log")"
rc=0
(cd "$dir" && timeout 60 wine run_limited.exe 60 'no such folder\x.log' host_unit_tests.exe </dev/null >"$work/out" 2>&1) ||
    rc=$?
[ $rc -eq 125 ] && grep -q '^run_limited: cannot create the log file (error ' "$work/out" ||
    fail "a log file that cannot be created: exit code $rc, not 125 with the reason"
# Command lines it refuses: limits of none, with a letter, of more than a
# day; a limit alone.
for arguments in "0 x.log host_unit_tests.exe" "1a x.log host_unit_tests.exe" "86401 x.log host_unit_tests.exe" 60; do
    rc=0
    # shellcheck disable=SC2086
    (cd "$dir" && timeout 60 wine run_limited.exe $arguments </dev/null >"$work/out" 2>&1) || rc=$?
    [ $rc -eq 125 ] && grep -q '^usage: run_limited ' "$work/out" || fail "run_limited $arguments: exit code $rc, not 125"
done
# The check naming the DLL alone, in a folder without the list: exit code 2.
rc=0
(cd "$dir" && timeout 60 wine run_limited.exe --check kit-checksums.txt orbwick.dll </dev/null >"$work/out" 2>&1) || rc=$?
[ $rc -eq 2 ] || fail "--check with the DLL alone and no list: exit code $rc, not 2"
# A list naming a file of one letter, in sha256sum's binary form: a match.
cp "$kit/orbwick.dll" "$dir/"
printf 'x' >"$dir/a"
(cd "$dir" && sha256sum orbwick.dll | sed 's/$/\r/' && sha256sum -b a | sed 's/$/\r/') >"$dir/kit-checksums.txt"
rc=0
(cd "$dir" && timeout 60 wine run_limited.exe --check kit-checksums.txt orbwick.dll a </dev/null >"$work/out" 2>&1) || rc=$?
[ $rc -eq 0 ] || fail "--check of a file named with one letter: exit code $rc, not 0"
rm "$dir/orbwick.dll" "$dir/a" "$dir/kit-checksums.txt"
echo "kit_run_test: an argument with a blank, a quote and a closing backslash reaches the program whole, after its path with blanks"

# On a server edition the summary says so: a copy of run_limited that Wine
# runs as Windows Server 2003 SP2 (a Windows version for one program).
cp "$dir/run_limited.exe" "$dir/run_limited_server.exe"
wine reg add 'HKCU\Software\Wine\AppDefaults\run_limited_server.exe' /v Version /t REG_SZ /d win2003 /f \
    >/dev/null 2>&1 || fail "cannot make Wine run run_limited_server.exe as Windows Server 2003"
(cd "$dir" && timeout 60 wine run_limited_server.exe --facts host_unit_tests.exe </dev/null >"$work/out" 2>&1) ||
    fail "run_limited --facts failed as Windows Server 2003"
tr -d '\r' <"$work/out" | grep -qx 'Service pack: Service Pack 2; product type: server' ||
    fail "as Windows Server 2003 the facts do not say a server edition with its service pack"
echo "kit_run_test: the summary tells a server edition of Windows from a workstation"

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
