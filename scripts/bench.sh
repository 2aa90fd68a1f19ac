#!/bin/sh
# Runs every benchmark and prints its tables:
#   scripts/bench.sh
# Native (bench preset, optimised, no sanitizers; build/bench or
# $ORBWICK_BENCH_BUILD_DIR): the configuration reader's cost per line, and the
# reader against inih. Under Wine (win32 preset; build/win32 or
# $ORBWICK_BENCH_WIN32_DIR): the reader against GetPrivateProfileSectionA,
# the window scan against a bare walk, STARTUP's peak heap (counted by a
# counting build of the daemon) and its time per line at 10,000 and 100,000
# lines, and the loaded daemon's hook cost, STARTUP time, menu latency and
# CLOSEDOWN's time.
# ORBWICK_BENCH_MESSAGES sets the number of messages of the hook-cost run
# (default 1,000,000). Takes several minutes.
set -eu

cd "$(dirname "$0")/.."
build_dir=${ORBWICK_BENCH_BUILD_DIR:-build/bench}
win32_dir=${ORBWICK_BENCH_WIN32_DIR:-build/win32}
messages=${ORBWICK_BENCH_MESSAGES:-1000000}

cmake --preset bench -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2 --target cfgfile_bench reader_vs_inih
"$build_dir/bin/cfgfile_bench"
echo
"$build_dir/bin/reader_vs_inih"

cmake --preset win32 -B "$win32_dir" >/dev/null
cmake --build "$win32_dir" -j2 --target reader_vs_profile window_scan_bench startup_memory_bench \
    daemon_host_bench
# Wine programs write to a file, never straight into a pipe.
out="$win32_dir/bench-output.txt"
run_wine() {
    program=$1
    shift
    echo
    if ! scripts/with-wine.sh "$win32_dir" wine "$win32_dir/bin/$program.exe" "$@" >"$out" 2>&1; then
        tr -d '\r' <"$out"
        echo "bench.sh: $program failed" >&2
        exit 1
    fi
    tr -d '\r' <"$out"
}
run_wine reader_vs_profile
run_wine window_scan_bench
run_wine startup_memory_bench
run_wine daemon_host_bench "$messages"
