#!/bin/sh
# Checks that Windows XP SP3 / Server 2003 can load each of the given PE
# files, as orbwick.dll and every program of the test kit must:
# - from its PE headers, read byte by byte at the offsets of the PE format:
#   PE32 for i386, subsystem version no newer than 5.1 (Windows XP's loader
#   refuses higher ones);
# - their imports together, DLL!function, against a reviewed list: anything
#   new or gone fails until the list is reviewed, and the list holds nothing
#   newer than Windows XP ("Windows 2000" or "Windows XP" after each name).
#   scripts/check-imports.sh <objdump> <reviewed-imports> <file>...
# Prints the number of imports checked. With --list instead of a reviewed
# list it only prints the imports, DLL!function, one a line, sorted:
#   scripts/check-imports.sh <objdump> --list <file>...
set -eu
objdump=$1
reviewed=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "check-imports: $*" >&2; exit 1; }

# Little-endian numbers at a file offset of $file.
byte() { od -An -tu1 -j "$1" -N1 "$file" | tr -d ' '; }
u16() { echo $(($(byte "$1") + 256 * $(byte $(($1 + 1))))); }
u32() { echo $(($(u16 "$1") + 65536 * $(u16 $(($1 + 2))))); }

: >"$work/imports.all"
for file in "$@"; do
    name=$(basename "$file")
    [ "$(u16 0)" = $((0x5A4D)) ] || fail "$name: no MZ header"
    pe=$(u32 60)
    [ "$(u32 "$pe")" = $((0x4550)) ] || fail "$name: no PE signature"
    [ "$(u16 $((pe + 4)))" = $((0x14C)) ] || fail "$name: machine is not i386"
    optional=$((pe + 24))
    [ "$(u16 "$optional")" = $((0x10B)) ] || fail "$name: not PE32"
    subsystem_version=$(($(u16 $((optional + 48))) * 100 + $(u16 $((optional + 50)))))
    [ "$subsystem_version" -le 501 ] ||
        fail "$name: subsystem version $subsystem_version is newer than Windows XP (501)"
    # Import lines: "<hex thunk> <decimal hint> <name>" under each "DLL Name:".
    "$objdump" -p "$file" | awk '/DLL Name:/ { dll = $NF; next }
         dll && NF == 0 { dll = "" }
         dll && $1 ~ /^[0-9a-fA-F]+$/ && $2 ~ /^[0-9]+$/ { print dll "!" $NF }' >"$work/imports.one"
    [ -s "$work/imports.one" ] || fail "$name: no imports found in the objdump output"
    cat "$work/imports.one" >>"$work/imports.all"
done
LC_ALL=C sort -u "$work/imports.all" >"$work/imports"
if [ "$reviewed" = --list ]; then
    cat "$work/imports"
    exit 0
fi

grep -v '^#' "$reviewed" | grep -v '^[[:space:]]*$' >"$work/reviewed-lines" || true
bad=$(grep -Ev '^[^[:space:]]+![^[:space:]]+[[:space:]]+Windows (2000|XP)$' "$work/reviewed-lines" || true)
[ -z "$bad" ] || fail "reviewed list entries without a Windows version up to XP: $bad"
awk '{ print $1 }' "$work/reviewed-lines" | LC_ALL=C sort -u >"$work/allowed"
if ! diff "$work/allowed" "$work/imports" >"$work/diff"; then
    echo "check-imports: imports differ from $reviewed (> new, not reviewed; < listed, no longer imported):" >&2
    grep '^[<>]' "$work/diff" >&2
    exit 1
fi
echo "$(wc -l <"$work/imports") imports as reviewed from:" $(cut -d! -f1 "$work/imports" | sort -u)
