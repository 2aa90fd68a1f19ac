#!/bin/sh
# Makes an Authenticode-signed copy of a release package: the orbwick.dll of
# <unsigned-zip> signed with osslsigncode (SHA-256), zipped again with the
# same file dates and order, with the symbols file and SHA256SUMS beside it,
# and the test kit when it lies beside <unsigned-zip>.
#   scripts/sign-package.sh <unsigned-zip> <out-dir> <certificate.pem> <key.pem>
# ORBWICK_SIGN_PASS_FILE: a file holding the key's password;
# ORBWICK_SIGN_TIMESTAMP_URL: an RFC 3161 time-stamping server, so that the
# signature stays valid after the certificate expires.
set -eu
zip=$1 out=$2 cert=$3 key=$4
scripts=$(cd "$(dirname "$0")" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
export TZ=UTC
unzip -q "$zip" -d "$stage"
epoch=$(stat -c %Y "$stage/orbwick.dll")   # unzip restores the package's fixed date
set -- -certs "$cert" -key "$key" -h sha256 -n Orbwick
[ -z "${ORBWICK_SIGN_PASS_FILE:-}" ] || set -- "$@" -readpass "$ORBWICK_SIGN_PASS_FILE"
[ -z "${ORBWICK_SIGN_TIMESTAMP_URL:-}" ] || set -- "$@" -ts "$ORBWICK_SIGN_TIMESTAMP_URL"
osslsigncode sign "$@" -in "$stage/orbwick.dll" -out "$stage/orbwick.dll.signed" >"$stage.log" 2>&1 ||
    { cat "$stage.log" >&2; rm -f "$stage.log"; exit 1; }
rm -f "$stage.log"
mv "$stage/orbwick.dll.signed" "$stage/orbwick.dll"
"$scripts/make-package.sh" "$out" "$(basename "$zip" .zip)" "$epoch" "$(dirname "$zip")/orbwick.dll.debug" "$stage"
# The test kit, unchanged: it tests the unsigned DLL, the same code.
for kit in "$(dirname "$zip")"/orbwick-tests-*-win32.zip; do
    [ ! -f "$kit" ] || { cp "$kit" "$out/" && "$scripts/write-sums.sh" "$out"; }
done
