#!/bin/sh
# The engine's host actions alone: every host action at every point where
# the daemon and the host meet, in each life of the daemon
# (tests/win32/reliability/life_engine_test.cpp).
#   scripts/explore.sh [--full | --list] [<text>]
# Without an option, as the test command runs them: every action at the
# points inside STARTUP and CLOSEDOWN and a seeded 6 % share of the other
# pairs (2 to 3 minutes; ORBWICK_SEED=<seed> replays the selection of the
# seed a run printed); --full runs every action at every point (about 30
# minutes); --list only lists the points. <text> explores only the points
# whose names contain it, e.g. "message box".
# Builds the Win32 tree first. Prints the runs, points, actions and invariant
# violations; exit code 0 when there were none.
set -eu
cd "$(dirname "$0")/.."
mode=default
case "${1:-}" in
    --full) mode=full; shift ;;
    --list) mode=list; shift ;;
esac
scripts/build.sh >/dev/null
out=$(mktemp)
trap 'rm -f "$out"' EXIT
rc=0
ORBWICK_KINDS=actions ORBWICK_EXPLORE=$mode ORBWICK_EXPLORE_ONLY="${1:-}" scripts/with-wine.sh build/win32 \
    sh -c 'cd build/win32/bin && exec wine reliability_engine.exe --gtest_brief=1 >"$1" 2>&1' sh "$out" || rc=$?
tr -d '\r' <"$out"
exit $rc
