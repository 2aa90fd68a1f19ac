#!/bin/sh
# Writes the checksums of a release folder or of the test kit's folder.
#   scripts/write-sums.sh <folder>
# writes SHA256SUMS in a release folder: the checksums of the operator's
# package orbwick-<version>-win32.zip, of the test kit
# orbwick-tests-<version>-win32.zip when it lies there, of orbwick.dll and of
# orbwick.dll.debug, in that order, and prints it; and the same lines with
# CR LF line ends as SHA256SUMS.txt, which Notepad shows line by line on
# every Windows (sha256sum -c reads the first).
#   scripts/write-sums.sh --kit <folder>
# writes kit-checksums.txt into the test kit's folder, with CR LF line ends:
# the checksums of orbwick.dll (the same line as in the release's
# SHA256SUMS) and then of every other program of the kit, *.exe and *.dll in
# byte order, which run-tests.cmd checks before it runs anything.
set -eu
export LC_ALL=C
if [ "$1" = --kit ]; then
    cd "$2"
    set -- orbwick.dll $(ls *.exe *.dll | grep -vx orbwick.dll)
    sha256sum "$@" | sed 's/$/\r/' >kit-checksums.txt
    exit 0
fi
cd "$1"
set -- $(ls orbwick-[0-9]*-win32.zip) $(ls orbwick-tests-*-win32.zip 2>/dev/null || true) orbwick.dll orbwick.dll.debug
sha256sum "$@" >SHA256SUMS
sed 's/$/\r/' SHA256SUMS >SHA256SUMS.txt
echo "SHA256SUMS (and SHA256SUMS.txt, with CR LF line ends):"
sed 's/^/  /' SHA256SUMS
