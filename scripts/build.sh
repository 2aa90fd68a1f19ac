#!/bin/sh
# Bootstraps the machine if needed, then builds orbwick.dll (and the test
# programs) with the cross toolchain. Prints where the DLL is.
set -eu
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32
echo "orbwick.dll: $(pwd)/build/win32/bin/orbwick.dll"
