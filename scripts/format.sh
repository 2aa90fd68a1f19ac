#!/bin/sh
# clang-format with the tree's .clang-format over every tracked C++ file.
#   scripts/format.sh          reformats them in place
#   scripts/format.sh --check  changes nothing; fails and names the files
#                              that are not formatted (the test command)
set -eu
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
    unformatted=""
    for file in $files; do
        clang-format --style=file "$file" | cmp -s - "$file" || unformatted="$unformatted $file"
    done
    if [ -n "$unformatted" ]; then
        echo "format: not formatted (run scripts/format.sh):$unformatted" >&2
        exit 1
    fi
    echo "format: $(echo "$files" | wc -w) files formatted"
else
    clang-format --style=file -i $files
fi
