#!/bin/sh
# The engine's failing calls alone: every function orbwick.dll imports that
# can fail, failing at each call and at every call, and each allocation
# failing in turn, in each life of the daemon
# (tests/win32/reliability/life_engine_test.cpp).
#   scripts/faults.sh [--full]
# Without an option, as the test command runs them: a seeded 15 % share of
# the runs, at least one of each kind in each life (about a minute;
# ORBWICK_SEED=<seed> replays the selection of the seed a run printed);
# --full runs every run (about 6 minutes).
# Builds the program (and orbwick.dll) first. Prints the runs, functions,
# lives and invariant violations; exit code 0 when there were none.
set -eu
cd "$(dirname "$0")/.."
mode=default
case "${1:-}" in
    --full) mode=full; shift ;;
esac
scripts/bootstrap.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target reliability_engine >/dev/null
out=$(mktemp)
trap 'rm -f "$out"' EXIT
rc=0
ORBWICK_KINDS=faults ORBWICK_FAULTS=$mode scripts/with-wine.sh build/win32 \
    sh -c 'cd build/win32/bin && exec wine reliability_engine.exe --gtest_brief=1 >"$1" 2>&1' sh "$out" || rc=$?
tr -d '\r' <"$out"
exit $rc
