#!/bin/sh
# The operator's package: exactly the DLL the tests loaded, the guide and the
# licence as Windows texts; SHA256SUMS and the symbols beside it; the symbols
# turn an address of the DLL into a function and a line of our sources.
#   package_test.sh <zip> <tested-dll>   (OBJDUMP, NM, ADDR2LINE: mingw tools)
set -eu
zip=$1 tested=$2 dir=$(dirname "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package_test: $*" >&2; exit 1; }

unzip -Z1 "$zip" >"$work/list"
printf 'LICENSE.txt\nOPERATORS-GUIDE.txt\norbwick.dll\n' | diff - "$work/list" || fail "package file list"
unzip -q "$zip" -d "$work/x"
cmp "$work/x/orbwick.dll" "$tested" || fail "the packaged DLL is not the DLL the tests loaded"

for text in OPERATORS-GUIDE.txt LICENSE.txt; do
    ! tr -d '\r' <"$work/x/$text" | cmp -s - "$work/x/$text" || fail "$text has no CR LF line ends"
    [ "$(grep -c "$(printf '\r')\$" "$work/x/$text")" = "$(wc -l <"$work/x/$text")" ] || fail "$text: a line without CR"
done
# Windows-1252: the em dash is the one byte 0x97, not UTF-8's three.
grep -q "$(printf '\227')" "$work/x/OPERATORS-GUIDE.txt" || fail "guide is not Windows-1252"
grep -q "Orbwick daemon loaded successfully" "$work/x/OPERATORS-GUIDE.txt" || fail "guide lacks the start-up log line"

(cd "$dir" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
awk '{ print $2 }' "$dir/SHA256SUMS" >"$work/sums"
printf '%s\norbwick.dll.debug\n' "$(basename "$zip")" | diff - "$work/sums" || fail "SHA256SUMS lists other files"

# The DLL links its symbols file; the symbols resolve STARTUP to its source line.
"$OBJDUMP" -h "$tested" | grep -q '\.gnu_debuglink' || fail "no .gnu_debuglink in the DLL"
startup=$("$NM" "$dir/orbwick.dll.debug" | awk '$3 == "_STARTUP" || $3 == "STARTUP" { print $1; exit }')
[ -n "$startup" ] || fail "no STARTUP symbol in orbwick.dll.debug"
where=$("$ADDR2LINE" -f -e "$dir/orbwick.dll.debug" "0x$startup" | tr '\n' ' ')
echo "package_test: STARTUP at 0x$startup is $where"
echo "$where" | grep -Eq '^STARTUP /orbwick/daemon/entry_points\.cpp:[0-9]+' || fail "symbols do not resolve STARTUP: $where"
