#!/bin/sh
# Makes a fresh Debian 12 machine ready to build and test orbwick (run as root,
# or as a user with sudo). Installs only Debian packages; a no-op when they are
# all present already, so every build and test command can start with it.
set -eu

PACKAGES_NATIVE="cmake make g++ pkg-config clang clang-format clang-tidy libclang-rt-14-dev googletest libinih-dev"
# The mutation sample (scripts/mutation_points.py) parses the sources with libclang.
PACKAGES_SAMPLE="python3 python3-clang"
PACKAGES_CROSS="g++-mingw-w64-i686 g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 wine wine32:i386 wine64 fonts-wine xvfb xauth"
# The release: zip, checksums (coreutils), Authenticode signing and its test.
PACKAGES_RELEASE="zip unzip osslsigncode openssl"

missing=""
for p in $PACKAGES_NATIVE $PACKAGES_SAMPLE $PACKAGES_CROSS $PACKAGES_RELEASE; do
    if ! dpkg -s "$p" >/dev/null 2>&1; then
        missing="$missing $p"
    fi
done
if [ -z "$missing" ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" != 0 ]; then
    SUDO="sudo"
fi
echo "bootstrap: installing$missing" >&2
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends $missing
