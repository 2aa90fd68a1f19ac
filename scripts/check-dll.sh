#!/bin/sh
# Checks a built orbwick.dll:
# - from its PE headers, read byte by byte at the offsets of the PE format: a
#   PE32 DLL for i386, GUI subsystem (it has no console), subsystem version
#   no newer than 5.1 (Windows XP's loader refuses higher ones);
# - its imports, DLL!function, against the reviewed list
#   (packaging/reviewed-imports.txt): anything new or gone fails until the
#   list is reviewed, and the list holds nothing newer than Windows XP;
# - the export names CLOSEDOWN, STARTUP and DAEMON. Their ordinals are checked
#   by loading the DLL (daemon_core_tests, Exports.ResolveByNameAndByOrdinal).
#   scripts/check-dll.sh <objdump> <dll> [<reviewed-imports>]
set -eu
objdump=$1
dll=$2
reviewed=${3:-$(dirname "$0")/../packaging/reviewed-imports.txt}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "check-dll: $*" >&2; exit 1; }

# Little-endian numbers at a file offset.
byte() { od -An -tu1 -j "$1" -N1 "$dll" | tr -d ' '; }
u16() { echo $(($(byte "$1") + 256 * $(byte $(($1 + 1))))); }
u32() { echo $(($(u16 "$1") + 65536 * $(u16 $(($1 + 2))))); }

[ "$(u16 0)" = $((0x5A4D)) ] || fail "no MZ header"
pe=$(u32 60)
[ "$(u32 "$pe")" = $((0x4550)) ] || fail "no PE signature"
[ "$(u16 $((pe + 4)))" = $((0x14C)) ] || fail "machine is not i386"
[ $(($(u16 $((pe + 22))) & 0x2000)) != 0 ] || fail "not a DLL"
optional=$((pe + 24))
[ "$(u16 "$optional")" = $((0x10B)) ] || fail "not PE32"
subsystem_version=$(($(u16 $((optional + 48))) * 100 + $(u16 $((optional + 50)))))
[ "$subsystem_version" -le 501 ] || fail "subsystem version $subsystem_version is newer than Windows XP (501)"
[ "$(u16 $((optional + 68)))" = 2 ] || fail "subsystem is not Windows GUI"

"$objdump" -p "$dll" >"$work/headers"

# Import lines: "<hex thunk> <decimal hint> <name>" under each "DLL Name:".
awk '/DLL Name:/ { dll = $NF; next }
     dll && NF == 0 { dll = "" }
     dll && $1 ~ /^[0-9a-fA-F]+$/ && $2 ~ /^[0-9]+$/ { print dll "!" $NF }' "$work/headers" |
    LC_ALL=C sort -u >"$work/imports"
[ -s "$work/imports" ] || fail "no imports found in the objdump output"
grep -v '^#' "$reviewed" | grep -v '^[[:space:]]*$' >"$work/reviewed-lines" || true
bad=$(grep -Ev '^[^[:space:]]+![^[:space:]]+[[:space:]]+Windows (2000|XP)$' "$work/reviewed-lines" || true)
[ -z "$bad" ] || fail "reviewed list entries without a Windows version up to XP: $bad"
awk '{ print $1 }' "$work/reviewed-lines" | LC_ALL=C sort -u >"$work/allowed"
if ! diff "$work/allowed" "$work/imports" >"$work/diff"; then
    echo "check-dll: imports differ from $reviewed (> new, not reviewed; < listed, no longer imported):" >&2
    grep '^[<>]' "$work/diff" >&2
    exit 1
fi

for name in CLOSEDOWN STARTUP DAEMON; do
    grep -Eq "[[:space:]]$name\$" "$work/headers" || fail "export $name not found"
done
echo "check-dll: $(basename "$dll") is a PE32 i386 GUI DLL (subsystem $subsystem_version)," \
    "$(wc -l <"$work/imports") imports as reviewed from:" $(cut -d! -f1 "$work/imports" | sort -u)
