#!/bin/sh
# The operator's package and the test kit as they are handed out: exactly the
# DLL the tests loaded, within its size limit; the texts in the form Notepad
# shows on any Windows (ASCII, CR LF, the guide and the other texts of ours at
# most 76 columns, the guide without Markdown); the third-party notices in
# both zips; SHA256SUMS over both zips, the DLL and the symbols, which turn an
# address of the DLL into a function and a line of our sources, and its copy
# with CR LF line ends, SHA256SUMS.txt; the kit's kit-checksums.txt over the
# kit's DLL and every program in it, its DLL line that of SHA256SUMS.
#   package_test.sh <zip> <tested-dll> <kit-zip> <dll-size-limit>
#   (OBJDUMP, NM, ADDR2LINE: mingw tools)
set -eu
zip=$1 tested=$2 kit_zip=$3 limit=$4 dir=$(dirname "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package_test: $*" >&2; exit 1; }
cr=$(printf '\r')

unzip -Z1 "$zip" >"$work/list"
printf 'CHANGES.txt\nLICENSE.txt\nOPERATORS-GUIDE.txt\nTHIRD-PARTY-NOTICES.txt\norbwick.dll\n' | diff - "$work/list" ||
    fail "package file list"
unzip -q "$zip" -d "$work/x"
cmp "$work/x/orbwick.dll" "$tested" || fail "the packaged DLL is not the DLL the tests loaded"
cmp "$dir/orbwick.dll" "$tested" || fail "the DLL beside the package is not the DLL the tests loaded"
size=$(wc -c <"$tested")
echo "package_test: orbwick.dll is $size bytes (limit $limit)"
[ "$size" -le "$limit" ] || fail "orbwick.dll has $size bytes, more than the limit of $limit (scripts/dll-size.sh)"
# The product version names the commit, marked when there were uncommitted changes.
version=$(basename "$zip" | sed 's/^orbwick-\(.*\)-win32\.zip$/\1/')
product_version=$("$(dirname "$0")/../../scripts/dll-version.sh" "$tested")
echo "package_test: orbwick.dll's product version is \"$product_version\""
echo "$product_version" | grep -Eqx "$version \(commit ([0-9a-f]{12}(, modified)?|unknown)\)" ||
    fail "the product version \"$product_version\" does not name the version and the commit"

[ -f "$kit_zip" ] || fail "no test kit $kit_zip: cmake --build --preset win32 --target test_kit"
kit_dir=$(basename "$kit_zip" .zip)
unzip -q "$kit_zip" -d "$work/kit"
for name in README.txt THIRD-PARTY-NOTICES.txt kit-checksums.txt; do
    [ -f "$work/kit/$kit_dir/$name" ] || fail "the test kit lacks $name"
done

# Every text: ASCII, every line ending in CR LF; all but the licence (whose
# wording is the licence's) and the kit's checksums at most 76 columns.
for text in "$work"/x/*.txt "$work/kit/$kit_dir"/*.txt; do
    name=${text#"$work"/}
    [ "$(grep -c "$cr\$" "$text")" = "$(wc -l <"$text")" ] || fail "$name: a line without CR LF"
    [ -z "$(tail -c 1 "$text" | tr -d '\n')" ] || fail "$name: the last line has no line end"
    ! LC_ALL=C grep -n '[^[:print:][:space:]]' "$text" >&2 || fail "$name: characters outside ASCII (above)"
    [ "$(basename "$text")" = LICENSE.txt ] || [ "$(basename "$text")" = kit-checksums.txt ] ||
        ! tr -d '\r' <"$text" | awk 'length > 76 { print "line " NR ": " length " columns"; bad = 1 } END { exit !bad }' >&2 ||
        fail "$name: lines over 76 columns (above)"
done

# The guide is plain text: no headings, tables, code or emphasis marks.
guide=$work/guide
tr -d '\r' <"$work/x/OPERATORS-GUIDE.txt" >"$guide"
! grep -nE '^#|`|\||\*\*|(^|[[:space:]])[*_][^[:space:]*_][^*_]*[*_]([[:space:][:punct:]]|$)' "$guide" >&2 ||
    fail "the guide holds Markdown (above)"
for expected in "Orbwick daemon loaded successfully" "Orbwick: waiting for NORVALEX" "TROUBLESHOOTING" \
    "Failed to save settings" "    certutil -hashfile orbwick.dll SHA256" "    Get-FileHash orbwick.dll" "TESTED ON"; do
    grep -qF -- "$expected" "$guide" || fail "the guide lacks \"$expected\""
done
# Every line the daemon writes to the server's log is named in the guide
# (daemon/texts.h holds them; the guide wraps its lines anywhere).
src=$(cd "$(dirname "$0")/../.." && pwd)
tr '\n' ' ' <"$guide" | tr -s ' ' >"$work/guide-joined"
tr '\n' ' ' <"$src/daemon/texts.h" | grep -o 'kLog[A-Za-z]*\[\] *= *L"[^"]*"' | sed 's/^[^"]*"//; s/"$//' >"$work/log-lines"
[ "$(wc -l <"$work/log-lines")" -ge 10 ] || fail "found too few log lines in daemon/texts.h"
while IFS= read -r line; do
    grep -qF -- "$line" "$work/guide-joined" || fail "the guide does not name the log line \"$line\""
done <"$work/log-lines"
for letter in S P E C D H F W X I B; do
    grep -q "^  - $letter  NORVALE$letter" "$guide" || fail "the guide's module list lacks $letter"
done
grep -q "^Orbwick $version - operator's guide" "$guide" || fail "the guide is not of version $version"
tr -d '\r' <"$work/x/CHANGES.txt" | grep -qx "$version" || fail "CHANGES.txt has no entry for $version"

# The notices: the DLL's runtime in both zips, the test programs' libraries in the kit's.
for expected in "MinGW-w64 runtime" "GCC RUNTIME LIBRARY EXCEPTION"; do
    grep -qF "$expected" "$work/x/THIRD-PARTY-NOTICES.txt" || fail "the package's notices lack $expected"
done
for expected in "MinGW-w64 runtime" "GCC RUNTIME LIBRARY EXCEPTION" "GoogleTest" "gdtoa"; do
    grep -qF "$expected" "$work/kit/$kit_dir/THIRD-PARTY-NOTICES.txt" || fail "the kit's notices lack $expected"
done

cmp "$dir/$(basename "$kit_zip")" "$kit_zip" || fail "the test kit beside the package is not the kit that was built"
(cd "$dir" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
awk '{ print $2 }' "$dir/SHA256SUMS" >"$work/sums"
printf '%s\n%s\norbwick.dll\norbwick.dll.debug\n' "$(basename "$zip")" "$(basename "$kit_zip")" | diff - "$work/sums" ||
    fail "SHA256SUMS lists other files than both zips, the DLL and its symbols"
sed 's/$/\r/' "$dir/SHA256SUMS" | cmp - "$dir/SHA256SUMS.txt" || fail "SHA256SUMS.txt is not SHA256SUMS with CR LF"

# The kit's own checksums: of its orbwick.dll first, in the very line of
# SHA256SUMS, then of every other program of the kit; all of them right.
sums=$work/kit-sums
tr -d '\r' <"$work/kit/$kit_dir/kit-checksums.txt" >"$sums"
[ "$(grep -c "$cr\$" "$work/kit/$kit_dir/kit-checksums.txt")" = "$(wc -l <"$sums")" ] ||
    fail "kit-checksums.txt: a line without CR LF"
[ "$(head -n 1 "$sums")" = "$(grep ' orbwick\.dll$' "$dir/SHA256SUMS")" ] ||
    fail "kit-checksums.txt does not begin with orbwick.dll's line of SHA256SUMS"
(cd "$work/kit/$kit_dir" && ls *.exe *.dll) | LC_ALL=C sort >"$work/programs"
awk '{ print $2 }' "$sums" | LC_ALL=C sort | diff "$work/programs" - ||
    fail "kit-checksums.txt lists other files than the kit's programs and DLLs (above)"
(cd "$work/kit/$kit_dir" && sha256sum --quiet -c "$sums") || fail "kit-checksums.txt does not match the kit's files"
echo "package_test: kit-checksums.txt lists the $(wc -l <"$sums") programs and DLLs of the kit, orbwick.dll as in SHA256SUMS"

# The DLL links its symbols file; the symbols resolve STARTUP to its source line.
"$OBJDUMP" -h "$tested" | grep -q '\.gnu_debuglink' || fail "no .gnu_debuglink in the DLL"
startup=$("$NM" "$dir/orbwick.dll.debug" | awk '$3 == "_STARTUP" || $3 == "STARTUP" { print $1; exit }')
[ -n "$startup" ] || fail "no STARTUP symbol in orbwick.dll.debug"
where=$("$ADDR2LINE" -f -e "$dir/orbwick.dll.debug" "0x$startup" | tr '\n' ' ')
echo "package_test: STARTUP at 0x$startup is $where"
echo "$where" | grep -Eq '^STARTUP /orbwick/daemon/entry_points\.cpp:[0-9]+' || fail "symbols do not resolve STARTUP: $where"
