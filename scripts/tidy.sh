#!/bin/sh
# clang-tidy with the checks of .clang-tidy over the project's own sources:
# the platform-free units and their tests through the native build's
# compile_commands.json, the Windows code (the daemon, the host interface, the
# stand-in host, the test support and the Win32 benchmarks) through the win32
# tree's, with clang aimed at mingw-w64's i686 headers. Both trees must be configured. Exits non-zero on
# any finding.
set -eu
cd "$(dirname "$0")/.."
native=build/native
win32=build/win32
gcc_dir=$(dirname "$(i686-w64-mingw32-g++-win32 -print-libgcc-file-name)")
list=$(mktemp)
trap 'rm -f "$list"' EXIT

# "<tree> <file>" for each tracked C++ source that a tree compiles, the native
# tree first. The Win32 test programs are left out: GoogleTest's macros make
# the analyzer take most of a minute for each, and their code is the tests'
# own (the native tests, the test support and the benchmarks are checked).
for file in $(git ls-files '*.cpp' ':!tests/win32' ':!tests/e2e' ':!tests/host'); do
    for tree in "$native" "$win32"; do
        if grep -q "\"file\": \"$(pwd)/$file\"" "$tree/compile_commands.json"; then
            echo "$tree $file"
            break
        fi
    done
done >"$list"
echo "clang-tidy: $(wc -l <"$list") files"

# Two at a time (ORBWICK_TIDY_JOBS): the machines this runs on have two
# cores; the test command runs it one at a time beside the kit. A file with
# findings prints them and fails; the others still run.
status=0
xargs -P "${ORBWICK_TIDY_JOBS:-2}" -L 1 sh -c '
    tree=$1 file=$2
    if [ "$tree" = "'"$win32"'" ]; then
        set -- --extra-arg=--target=i686-w64-mingw32 \
               --extra-arg=-isystem'"$gcc_dir"'/include/c++ \
               --extra-arg=-isystem'"$gcc_dir"'/include/c++/i686-w64-mingw32
    else
        set --
    fi
    out=$(clang-tidy -p "$tree" --quiet "$@" "$file" 2>&1) ||
        { echo "$out" | grep -E "(warning|error):" >&2; exit 1; }
' sh <"$list" || status=$?
if [ "$status" -ne 0 ]; then
    echo "clang-tidy: findings above" >&2
    exit 1
fi
echo "clang-tidy: clean"
