#!/bin/sh
# Builds the bench preset (optimised, no sanitizers) in build/bench, or in
# $ORBWICK_BENCH_BUILD_DIR, and runs the configuration reader benchmark.
set -eu

cd "$(dirname "$0")/.."
build_dir=${ORBWICK_BENCH_BUILD_DIR:-build/bench}

cmake --preset bench -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2 --target cfgfile_bench
exec "$build_dir/bin/cfgfile_bench"
