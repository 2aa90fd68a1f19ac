#!/bin/sh
# Builds the release into build/win32/package: the operator's package, the
# test kit for Windows (which builds the test programs), and beside them the
# DLL, its symbols and SHA256SUMS over all four (and SHA256SUMS.txt, the
# same with CR LF line ends):
#   orbwick-<version>-win32.zip, orbwick-tests-<version>-win32.zip,
#   orbwick.dll, orbwick.dll.debug, SHA256SUMS, SHA256SUMS.txt
# It prints the package, the DLL's size and version (with the commit it was
# built from) and SHA256SUMS.
# With a certificate and its key it also makes an Authenticode-signed package
# in build/win32/package-signed (the DLL in it signed with osslsigncode):
#   scripts/package.sh [--cert <certificate.pem> --key <key.pem>]
#                      [--pass-file <file>] [--timestamp <url>]
# or the environment: ORBWICK_SIGN_CERT, ORBWICK_SIGN_KEY,
# ORBWICK_SIGN_PASS_FILE, ORBWICK_SIGN_TIMESTAMP_URL.
set -eu
cert=${ORBWICK_SIGN_CERT:-}
key=${ORBWICK_SIGN_KEY:-}
while [ $# -gt 0 ]; do
    case $1 in
        --cert) cert=$2; shift 2 ;;
        --key) key=$2; shift 2 ;;
        --pass-file) export ORBWICK_SIGN_PASS_FILE="$2"; shift 2 ;;
        --timestamp) export ORBWICK_SIGN_TIMESTAMP_URL="$2"; shift 2 ;;
        *) echo "usage: $0 [--cert FILE --key FILE [--pass-file FILE] [--timestamp URL]]" >&2; exit 2 ;;
    esac
done
if { [ -n "$cert" ] && [ -z "$key" ]; } || { [ -z "$cert" ] && [ -n "$key" ]; }; then
    echo "package: signing needs both a certificate and a key" >&2
    exit 2
fi

[ -z "$cert" ] || { cert=$(realpath "$cert"); key=$(realpath "$key"); }
[ -z "${ORBWICK_SIGN_PASS_FILE:-}" ] || ORBWICK_SIGN_PASS_FILE=$(realpath "$ORBWICK_SIGN_PASS_FILE")
cd "$(dirname "$0")/.."

scripts/bootstrap.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target test_kit
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win32/CMakeCache.txt)
zip=build/win32/package/orbwick-$version-win32.zip
if [ -n "$cert" ]; then
    echo "== signing"
    scripts/sign-package.sh "$zip" build/win32/package-signed "$cert" "$key"
fi
