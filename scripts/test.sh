#!/bin/sh
# Runs every test, in this order:
#  1. the formatting check (.clang-format);
#  2. that every fault of scripts/mutants.list still applies to the code
#     (scripts/mutants.sh --check; the mutation run itself is not part of it),
#     that the seeded sample still finds its mutation points (a dry run,
#     which builds orbwick.dll first when its linker map, which tells the
#     sample's areas, is missing or older than the sources; the Win32 build
#     below then finds it made), and that the sample reports a test that
#     fails on its baseline (scripts/mutants.sh --self-test);
#  3. the native units with AddressSanitizer and UndefinedBehaviorSanitizer;
#  4. a short fuzz run of the configuration reader;
#  5. the Win32 build, which makes the package and prints its contents, the
#     DLL's size and product version, and its checks other than the test
#     programs of the kit (the DLL's imports, the C++ runtime's check
#     functions, the figures the documents state) under Wine;
#  6. the test kit for Windows, then the release checks (package and kit
#     contents, the kit's imports, a bit-identical second build, signing);
#  7. the Win32 and end-to-end tests from the unpacked test kit, run by its
#     run-tests.cmd under Wine's cmd.exe in a private Xvfb (the engine of
#     the daemon's lives among them, whose summary lines are printed and
#     must say 0 violations); then the kit's
#     time limit stopping a program that hangs with what it started (with a
#     job and through the process list) and removing its temporary files;
#     the kit's check failing closed (a changed, deleted or unlisted DLL, a
#     file listed twice, a replaced or missing program, no list: exit code
#     3 before anything runs); /otherdll ending with exit code 4 and "NOT
#     THE RELEASE" first and last; a folder named outside the ANSI code page
#     stopping the kit with advice; a kit without run_limited.exe, or with
#     another program in its place, failing; a run of fewer test cases than
#     the build counted failing; a second run in the same folder refused;
#  8. clang-tidy, one file at a time beside step 7 (the kit's programs
#     mostly wait for Wine), its findings printed once the kit has run.
# Bootstraps a fresh machine first. Exits non-zero on any failure.
set -eu
cd "$(dirname "$0")/.."
# Each step's heading says when it began, counted from the start.
started=$(date +%s)
step() { echo "== $1 (at $(($(date +%s) - started)) s)"; }
scripts/bootstrap.sh

step "formatting (.clang-format)"
scripts/format.sh --check

step "the mutants of scripts/mutants.list still apply to the code"
scripts/mutants.sh --check
step "the mutation points of the seeded sample are still found (a dry run)"
# Its last lines: the points of each area, then those the sample draws from.
points_lines=$(scripts/mutants.sh --sample 5 --seed 1 --dry-run | grep -E '^(area [a-z]+|mutation points):')
echo "$points_lines"
points_line=$(echo "$points_lines" | tail -n 1)
echo "$points_line" | awk '$1 == "mutation" && $3 >= 300 && $5 >= 10 { ok = 1 } END { exit !ok }' ||
    { echo "the seeded sample found too few mutation points" >&2; exit 1; }
scripts/mutants.sh --self-test

step "native units (ASan + UBSan)"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native -j2

step "fuzzing the configuration reader (short run)"
scripts/fuzz.sh "${ORBWICK_FUZZ_SECONDS:-20}"

step "Win32 build and its checks other than the test programs of the kit"
cmake --preset win32 >/dev/null
cmake --build --preset win32
scripts/with-wine.sh build/win32 ctest --preset win32 --label-exclude 'wine|release'
step "the test kit, and the release: package and kit contents, a second build in other folders, signing"
cmake --build --preset win32 --target test_kit
ctest --preset win32 -L release --verbose

# The Win32 and end-to-end test programs run once, from the test kit for
# Windows unpacked into an empty folder (away from the build tree), by its
# run-tests.cmd under Wine's cmd.exe. CTest can still run them one by one:
# scripts/with-wine.sh build/win32 ctest --preset win32
kit_tmp=$(mktemp -d)
tidy_pid=''
trap 'rm -rf "$kit_tmp"; [ -z "$tidy_pid" ] || kill $tidy_pid 2>/dev/null || true' EXIT
step "clang-tidy (.clang-tidy) over the native and win32 builds' sources, begun beside the kit's run"
ORBWICK_TIDY_JOBS=1 scripts/tidy.sh >"$kit_tmp/tidy.txt" 2>&1 &
tidy_pid=$!
step "Win32 and end-to-end tests: the test kit, unpacked, run by run-tests.cmd under Wine"
kit_zip=$(ls build/win32/test-kit/orbwick-tests-*-win32.zip)
(cd "$kit_tmp" && cmake -E tar xf "$OLDPWD/$kit_zip")
kit_dir=$(ls -d "$kit_tmp"/orbwick-tests-*-win32)
kit_rc=0
timeout 1200 scripts/with-wine.sh build/win32 \
    sh -c 'cd "$1" && exec wine cmd /c run-tests.cmd </dev/null >"$2" 2>&1' sh "$kit_dir" "$kit_tmp/output.txt" || kit_rc=$?
tr -d '\r' <"$kit_tmp/output.txt"
last_line=$(tr -d '\r' <"$kit_tmp/output.txt" | tail -n 1)
# Every program of the kit's list ran, and left an XML result and a log; the
# summary starts with the SHA-256 of the DLL that was tested, the shipped
# one, and the request to compare it with SHA256SUMS.txt, says nowhere
# "NOT THE RELEASE", and gives the kit's own check of its files, which
# found every file of kit-checksums.txt matching, and every test case that
# the programs listed when the kit was built ran.
programs=$(wc -l <build/win32/packaging/test-kit/kit-programs.txt)
cases=$(tr ' ' '\n' <build/win32/packaging/test-kit/kit-test-cases.txt | awk -F: '{ n += $2 } END { print n }')
results=$(ls "$kit_dir/results" | grep -c '\.xml$' || true)
logs=$(ls "$kit_dir/results" | grep -c '\.log$' || true)
summary=$(tr -d '\r' <"$kit_dir/results/summary.txt" 2>/dev/null || true)
dll_sum=$(sha256sum <build/win32/bin/orbwick.dll | cut -d' ' -f1)
listed=$(grep -c . "$kit_dir/kit-checksums.txt")
if [ $kit_rc -ne 0 ] || ! echo "$last_line" | grep -Eq '^[1-9][0-9]* passed, 0 failed$' ||
    [ "$results" -ne "$programs" ] || [ "$logs" -ne "$programs" ] ||
    ! echo "$summary" | grep -qx "Programs run: $programs of $programs; failed: none" ||
    [ "$(echo "$summary" | sed -n 1p)" != "orbwick.dll: SHA-256 $dll_sum" ] ||
    ! echo "$summary" | sed -n 2p | grep -q "^Compare this SHA-256 with orbwick.dll's line in SHA256SUMS.txt of the release" ||
    echo "$summary" | grep -q 'NOT THE RELEASE' ||
    ! echo "$summary" | grep -qx "Checked: $listed files of the kit match kit-checksums.txt" ||
    ! echo "$summary" | grep -qx "Test cases run: $cases, of at least $cases expected" ||
    ! echo "$summary" | grep -q '^Service pack: .*; product type: '; then
    # The programs' own output is in their logs; show those of the failed ones.
    for name in $(tr -d '\r' <"$kit_dir/results/summary.txt" 2>/dev/null | sed -n 's/^Programs run: .*; failed://p'); do
        [ "$name" = none ] || { echo "== results\\$name.log"; tr -d '\r' <"$kit_dir/results/$name.log" || true; } >&2
    done
    echo "test kit: FAILED (exit code $kit_rc, last line \"$last_line\"," \
        "$results XML results and $logs logs of $programs programs; the summary should start with" \
        "orbwick.dll's SHA-256 $dll_sum and the request to compare it, name all $programs programs run," \
        "the kit's check of its $listed files, $cases test cases run and the service pack, and not say NOT THE" \
        "RELEASE)" >&2
    exit 1
fi
# The engine's summary lines, from its program's log in the kit: the host
# actions (the exploration) and the failing calls (the sweep), each with 0
# violations, and one line per life with its runs of each kind.
engine_log="$kit_dir/results/reliability_engine.log"
tr -d '\r' <"$engine_log" | grep -E 'life-cycle exploration:|fault sweep: |runs     \]|figures  \] (default|full) mode' ||
    { echo "test kit: the engine printed no summary" >&2; exit 1; }
tr -d '\r' <"$engine_log" | grep -qE '^life-cycle exploration: .* 0 invariant violations$' &&
    tr -d '\r' <"$engine_log" | grep -qE '^fault sweep: .* 0 violations$' ||
    { echo "test kit: the engine found violations" >&2; exit 1; }
step "the test kit's own failures: a program that hangs is stopped with what it started, the check fails closed, /otherdll is not a release pass, a folder outside the ANSI code page, run_limited.exe missing or replaced, a test case short, one run per folder"
scripts/with-wine.sh build/win32 tests/release/kit_run_test.sh "$kit_dir" build/win32/bin/kit_hang_probe.exe
step "clang-tidy's findings"
tidy_rc=0
wait $tidy_pid || tidy_rc=$?
tidy_pid=''
cat "$kit_tmp/tidy.txt"
[ $tidy_rc -eq 0 ] || exit 1
step "all tests passed"
