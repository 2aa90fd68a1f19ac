#!/bin/sh
# Zips the files of a stage folder into <out-dir>/<name>.zip with fixed file
# dates (the source date epoch, in UTC), fixed permissions and names in byte
# order, so that the same files always give the same zip; puts the stage's
# orbwick.dll and the symbols file beside it, writes SHA256SUMS (and its CR LF
# copy SHA256SUMS.txt) for the three and prints the package. A test kit left in <out-dir> belongs to an earlier
# DLL and is removed; building the kit (target test_kit) puts the new one
# there and adds it to SHA256SUMS.
#   scripts/make-package.sh <out-dir> <name> <epoch> <symbols-file> <stage-dir>
set -eu
out=$1 name=$2 epoch=$3 symbols=$4 stage=$5
export TZ=UTC LC_ALL=C
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out/$name.zip" "$out/SHA256SUMS" "$out/SHA256SUMS.txt" "$out"/orbwick-tests-*-win32.zip
cp "$symbols" "$out/orbwick.dll.debug"
cp "$stage/orbwick.dll" "$out/orbwick.dll"
chmod 0644 "$stage"/* "$out/orbwick.dll.debug" "$out/orbwick.dll"
touch -d "@$epoch" "$stage"/* "$out/orbwick.dll.debug" "$out/orbwick.dll"
# -X: no owner or extra time fields, -D: no folder entries.
(cd "$stage" && ls | sort | zip -X -D -q "$out/$name.zip" -@)
touch -d "@$epoch" "$out/$name.zip"
echo "package $out/$name.zip:"
unzip -l "$out/$name.zip" | sed 's/^/  /'
"$(dirname "$0")/write-sums.sh" "$out"
