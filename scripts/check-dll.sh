#!/bin/sh
# Checks a built orbwick.dll:
# - what Windows XP SP3 / Server 2003 need to load it, and its imports
#   against the reviewed list (packaging/reviewed-imports.txt):
#   scripts/check-imports.sh;
# - from its PE headers, read byte by byte at the offsets of the PE format: a
#   DLL, GUI subsystem (it has no console);
# - the export names CLOSEDOWN, STARTUP and DAEMON. Their ordinals are checked
#   by loading the DLL (daemon_core_tests, Exports.ResolveByNameAndByOrdinal).
#   scripts/check-dll.sh <objdump> <dll> [<reviewed-imports>]
set -eu
objdump=$1
dll=$2
reviewed=${3:-$(dirname "$0")/../packaging/reviewed-imports.txt}

fail() { echo "check-dll: $*" >&2; exit 1; }

imports=$("$(dirname "$0")/check-imports.sh" "$objdump" "$reviewed" "$dll") || exit 1

# Little-endian numbers at a file offset.
byte() { od -An -tu1 -j "$1" -N1 "$dll" | tr -d ' '; }
u16() { echo $(($(byte "$1") + 256 * $(byte $(($1 + 1))))); }
u32() { echo $(($(u16 "$1") + 65536 * $(u16 $(($1 + 2))))); }
pe=$(u32 60)
[ $(($(u16 $((pe + 22))) & 0x2000)) != 0 ] || fail "not a DLL"
[ "$(u16 $((pe + 24 + 68)))" = 2 ] || fail "subsystem is not Windows GUI"

for name in CLOSEDOWN STARTUP DAEMON; do
    "$objdump" -p "$dll" | grep -Eq "[[:space:]]$name\$" || fail "export $name not found"
done
echo "check-dll: $(basename "$dll") is a PE32 i386 GUI DLL loadable on Windows XP, $imports"
