#!/bin/sh
# Fuzzes the configuration reader with libFuzzer:
#   scripts/fuzz.sh [seconds]
# Without an argument it runs until stopped (Ctrl-C). Builds the fuzz preset
# (clang, ASan + UBSan) in build/fuzz, or in $ORBWICK_FUZZ_BUILD_DIR, and works
# on a copy of the seed corpus there, so the sources stay untouched. A crash,
# a broken invariant or a leak stops the run with a nonzero exit code and
# leaves the input in the build directory.
set -eu

cd "$(dirname "$0")/.."
seconds=${1:-0}
build_dir=${ORBWICK_FUZZ_BUILD_DIR:-build/fuzz}

cmake --preset fuzz -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2 --target cfgfile_fuzzer

corpus="$build_dir/corpus/cfgfile"
mkdir -p "$corpus" "$build_dir/artifacts"
cp fuzz/corpus/cfgfile/* "$corpus"/

exec "$build_dir/bin/cfgfile_fuzzer" \
    -max_total_time="$seconds" \
    -max_len=4096 \
    -dict=fuzz/cfgfile.dict \
    -artifact_prefix="$build_dir/artifacts/" \
    -print_final_stats=1 \
    "$corpus"
