#!/bin/sh
# clang-tidy with the checks of .clang-tidy over the project's own sources:
# the platform-free units through the native build's compile_commands.json,
# the Windows code (the daemon, the host interface, the stand-in host, the
# Win32 tests and benchmarks) through the win32 tree's, with clang aimed at
# mingw-w64's i686 headers. Both trees must be configured. Exits non-zero on
# any finding.
set -eu
cd "$(dirname "$0")/.."
native=build/native
win32=build/win32
gcc_dir=$(dirname "$(i686-w64-mingw32-g++-posix -print-libgcc-file-name)")
list=$(mktemp)
trap 'rm -f "$list"' EXIT

# "native <file>" or "win32 <file>" for each tracked C++ source that a tree
# compiles, the native tree first.
for file in $(git ls-files '*.cpp'); do
    for tree in "$native" "$win32"; do
        if grep -q "\"file\": \"$(pwd)/$file\"" "$tree/compile_commands.json"; then
            echo "$tree $file"
            break
        fi
    done
done >"$list"
echo "clang-tidy: $(wc -l <"$list") files"

# Two at a time: the machines this runs on have two cores.
xargs -P 2 -L 1 sh -c '
    tree=$1 file=$2
    if [ "$tree" = "'"$win32"'" ]; then
        set -- --extra-arg=--target=i686-w64-mingw32 \
               --extra-arg=-isystem'"$gcc_dir"'/include/c++ \
               --extra-arg=-isystem'"$gcc_dir"'/include/c++/i686-w64-mingw32
    else
        set --
    fi
    clang-tidy -p "$tree" --quiet "$@" "$file" 2>/dev/null ||
        { clang-tidy -p "$tree" --quiet "$@" "$file" 2>&1 | grep -E "(warning|error):" >&2; exit 255; }
' sh <"$list"
echo "clang-tidy: clean"
