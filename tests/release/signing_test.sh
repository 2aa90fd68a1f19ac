#!/bin/sh
# The signing round trip with a throwaway certificate authority: the signed
# package's DLL verifies against that authority, the unsigned one does not.
#   signing_test.sh <unsigned-zip>
set -eu
zip=$1
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "signing_test: $*" >&2; exit 1; }
cd "$work"

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Orbwick throwaway CA" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
    -keyout ca.key -out ca.pem 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Orbwick throwaway signer" -keyout signer.key -out signer.csr 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile signer.ext \
    -out signer.pem 2>/dev/null

"$scripts/sign-package.sh" "$zip" signed signer.pem signer.key >sign.log || { cat sign.log; fail "signing failed"; }
unzip -q "signed/$(basename "$zip")" orbwick.dll -d signed-x
unzip -q "$zip" orbwick.dll -d unsigned-x
(cd signed && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS of the signed package does not match"
osslsigncode verify -CAfile ca.pem -in signed-x/orbwick.dll >verify.log 2>&1 || { cat verify.log; fail "signature does not verify"; }
grep -q "Orbwick throwaway signer" verify.log || { cat verify.log; fail "not signed by the throwaway signer"; }
! osslsigncode verify -CAfile ca.pem -in unsigned-x/orbwick.dll >/dev/null 2>&1 || fail "the unsigned DLL verifies"
echo "signing_test: signed and verified against the throwaway CA"
