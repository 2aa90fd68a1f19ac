#!/bin/sh
# Runs every test: the native units with AddressSanitizer and
# UndefinedBehaviorSanitizer, a short fuzz run of the configuration reader,
# then the Win32 tests and the end-to-end tests under Wine in a private Xvfb,
# and the release checks (package contents, a bit-identical second build,
# signing). Building the win32 tree makes the package and prints its contents.
# Bootstraps a fresh machine first. Exits non-zero on any failure.
set -eu
cd "$(dirname "$0")/.."
scripts/bootstrap.sh

echo "== native units (ASan + UBSan)"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native -j2

echo "== fuzzing the configuration reader (short run)"
scripts/fuzz.sh "${ORBWICK_FUZZ_SECONDS:-40}"

echo "== Win32 and end-to-end tests under Wine"
cmake --preset win32 >/dev/null
cmake --build --preset win32
scripts/with-wine.sh build/win32 ctest --preset win32 -LE release
echo "== the release: package contents, a second build in other folders, signing"
ctest --preset win32 -L release --verbose
echo "== all tests passed"
