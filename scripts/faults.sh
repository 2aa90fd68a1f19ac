#!/bin/sh
# Sweeps the daemon's imports: every function orbwick.dll imports that can
# fail, failing at each call and at every call, in several lives of the
# daemon (tests/win32/reliability/fault_sweep_test.cpp).
#   scripts/faults.sh [--full]
# Without an option, as the test command runs it: a seeded share of the runs
# (about a minute; ORBWICK_FAULTS_SEED=<seed> replays the selection of the
# seed a run printed); --full runs every run (about 4 to 6 minutes).
# Builds the program (and orbwick.dll) first. Prints the runs, functions, lives and invariant
# violations; exit code 0 when there were none.
set -eu
cd "$(dirname "$0")/.."
mode=default
case "${1:-}" in
    --full) mode=full; shift ;;
esac
scripts/bootstrap.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target reliability_fault_sweep >/dev/null
out=$(mktemp)
trap 'rm -f "$out"' EXIT
rc=0
ORBWICK_FAULTS=$mode scripts/with-wine.sh build/win32 \
    sh -c 'cd build/win32/bin && exec wine reliability_fault_sweep.exe --gtest_brief=1 >"$1" 2>&1' sh "$out" || rc=$?
tr -d '\r' <"$out"
exit $rc
