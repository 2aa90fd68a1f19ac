#!/bin/sh
# Writes SHA256SUMS in a release folder: the checksums of the operator's
# package orbwick-<version>-win32.zip, of the test kit
# orbwick-tests-<version>-win32.zip when it lies there, of orbwick.dll and of
# orbwick.dll.debug, in that order, and prints it.
#   scripts/write-sums.sh <folder>
set -eu
cd "$1"
export LC_ALL=C
set -- $(ls orbwick-[0-9]*-win32.zip) $(ls orbwick-tests-*-win32.zip 2>/dev/null || true) orbwick.dll orbwick.dll.debug
sha256sum "$@" >SHA256SUMS
echo "SHA256SUMS:"
sed 's/^/  /' SHA256SUMS
