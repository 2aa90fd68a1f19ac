#!/bin/sh
# Runs every test: the native units with AddressSanitizer and
# UndefinedBehaviorSanitizer, a short fuzz run of the configuration reader,
# then the Win32 tests and the end-to-end tests from the unpacked test kit for
# Windows, under Wine in a private Xvfb, and the release checks (package
# contents, a bit-identical second build, signing). Building the win32 tree
# makes the package and prints its contents. The formatting check and
# clang-tidy come first and last.
# Bootstraps a fresh machine first. Exits non-zero on any failure.
set -eu
cd "$(dirname "$0")/.."
scripts/bootstrap.sh

echo "== formatting (.clang-format)"
scripts/format.sh --check

echo "== native units (ASan + UBSan)"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native -j2

echo "== fuzzing the configuration reader (short run)"
scripts/fuzz.sh "${ORBWICK_FUZZ_SECONDS:-40}"

echo "== Win32 build and its checks other than the test programs of the kit"
cmake --preset win32 >/dev/null
cmake --build --preset win32
scripts/with-wine.sh build/win32 ctest --preset win32 --label-exclude 'wine|release'
echo "== the release: package contents, a second build in other folders, signing"
ctest --preset win32 -L release --verbose

# The Win32 and end-to-end test programs run once, from the test kit for
# Windows unpacked into an empty folder (away from the build tree), by its
# run-tests.cmd under Wine's cmd.exe. CTest can still run them one by one:
# scripts/with-wine.sh build/win32 ctest --preset win32
echo "== Win32 and end-to-end tests: the test kit, unpacked, run by run-tests.cmd under Wine"
cmake --build --preset win32 --target test_kit
kit_zip=$(ls build/win32/test-kit/orbwick-tests-*-win32.zip)
kit_tmp=$(mktemp -d)
trap 'rm -rf "$kit_tmp"' EXIT
(cd "$kit_tmp" && cmake -E tar xf "$OLDPWD/$kit_zip")
kit_dir=$(ls -d "$kit_tmp"/orbwick-tests-*-win32)
kit_rc=0
timeout 1200 scripts/with-wine.sh build/win32 \
    sh -c 'cd "$1" && exec wine cmd /c run-tests.cmd >"$2" 2>&1' sh "$kit_dir" "$kit_tmp/output.txt" || kit_rc=$?
tr -d '\r' <"$kit_tmp/output.txt"
last_line=$(tr -d '\r' <"$kit_tmp/output.txt" | tail -n 1)
programs=$(ls "$kit_dir" | grep -ci '\.exe$' | awk '{ print $1 - 1 }')
results=$(ls "$kit_dir/results" | grep -c '\.xml$' || true)
if [ $kit_rc -ne 0 ] || ! echo "$last_line" | grep -Eq '^[1-9][0-9]* passed, 0 failed$' || [ "$results" -ne "$programs" ]; then
    echo "test kit: FAILED (exit code $kit_rc, last line \"$last_line\", $results XML results of $programs programs)" >&2
    exit 1
fi
echo "== clang-tidy (.clang-tidy) over the native and win32 builds' sources"
scripts/tidy.sh
echo "== all tests passed"
