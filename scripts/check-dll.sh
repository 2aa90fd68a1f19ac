#!/bin/sh
# Checks a built orbwick.dll: PE32 for i386, the three exports with their
# ordinals, and imports from Windows system DLLs only.
#   scripts/check-dll.sh <objdump> <dll>
set -eu
objdump=$1
dll=$2
headers=$(mktemp)
trap 'rm -f "$headers"' EXIT
"$objdump" -p "$dll" >"$headers"

fail() { echo "check-dll: $*" >&2; exit 1; }

grep -q 'file format pei-i386' "$headers" || fail "not a PE32 i386 file"
grep -q 'Characteristics.*' "$headers" || fail "no header characteristics"

# The name table lists "[ n] NAME" with n = ordinal - base; the base is 1.
grep -q 'Ordinal Base 1$' "$headers" || fail "ordinal base is not 1"
for entry in "0 CLOSEDOWN" "1 STARTUP" "2 DAEMON"; do
    index=${entry% *}
    name=${entry#* }
    grep -Eq "^[[:space:]]*\[ *$index\] $name\$" "$headers" || fail "export $name is not ordinal $((index + 1))"
done

allowed='^(kernel32|user32|gdi32|msvcrt|advapi32|shell32|ole32|ws2_32|comctl32)\.dll$'
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' "$headers" | tr 'A-Z' 'a-z')
[ -n "$imports" ] || fail "no imports found"
for dll_name in $imports; do
    echo "$dll_name" | grep -Eq "$allowed" || fail "imports non-system DLL $dll_name"
done
echo "check-dll: $(basename "$dll") is PE32 i386, exports CLOSEDOWN@1 STARTUP@2 DAEMON@3, imports:" $imports
