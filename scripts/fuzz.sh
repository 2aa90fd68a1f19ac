#!/bin/sh
# Fuzzes the configuration reader with libFuzzer:
#   scripts/fuzz.sh [seconds [target]]
# Without seconds (or with 0) it runs until stopped (Ctrl-C). Targets:
# cfgfile (the default: the general reader's promises) and section_reader
# (differential: the section reader against the general reader and
# CollectSection); each has its seed corpus in fuzz/corpus/<target>. Builds
# the fuzz preset (clang, ASan + UBSan) in build/fuzz, or in
# $ORBWICK_FUZZ_BUILD_DIR, and works on a copy of the seed corpus there, so
# the sources stay untouched. A crash,
# a broken invariant or a leak stops the run with a nonzero exit code and
# leaves the input in the build directory.
set -eu

cd "$(dirname "$0")/.."
seconds=${1:-0}
target=${2:-cfgfile}
build_dir=${ORBWICK_FUZZ_BUILD_DIR:-build/fuzz}

cmake --preset fuzz -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2 --target "${target}_fuzzer"

corpus="$build_dir/corpus/$target"
mkdir -p "$corpus" "$build_dir/artifacts"
cp fuzz/corpus/"$target"/* "$corpus"/

exec "$build_dir/bin/${target}_fuzzer" \
    -max_total_time="$seconds" \
    -max_len=4096 \
    -dict=fuzz/cfgfile.dict \
    -artifact_prefix="$build_dir/artifacts/" \
    -print_final_stats=1 \
    "$corpus"
