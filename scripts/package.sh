#!/bin/sh
# Builds orbwick.dll and makes the operator's package
# build/win32/package/orbwick-<version>-win32.zip.
set -eu
cd "$(dirname "$0")/.."
scripts/build.sh
(cd build/win32 && cpack --config CPackConfig.cmake)
ls -l build/win32/package/*.zip
