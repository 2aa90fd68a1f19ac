#!/bin/sh
# Every program and library of the test kit, as unpacked from its zip, loads
# on Windows XP SP3 / Server 2003: PE32 for i386, a subsystem version XP
# accepts, and only the reviewed imports (packaging/test-kit/reviewed-imports.txt),
# none newer than Windows XP. The same check as orbwick.dll's.
#   kit_imports_test.sh <kit-zip> <reviewed-imports>   (OBJDUMP: the mingw objdump)
set -eu
kit_zip=$1 reviewed=$2
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -f "$kit_zip" ] || { echo "kit_imports_test: no test kit $kit_zip: build the target test_kit" >&2; exit 1; }
unzip -q "$kit_zip" -d "$work"
set -- "$work"/*/*.exe "$work"/*/*.dll
echo "kit_imports_test: $# files of the kit:" $(for f in "$@"; do basename "$f"; done)
checked=$("$scripts/check-imports.sh" "$OBJDUMP" "$reviewed" "$@")
echo "kit_imports_test: $checked"
