#!/bin/sh
# Prints the product version that a built orbwick.dll carries in its version
# resource (UTF-16 texts): the version and the commit it was built from,
# marked ", modified" when the sources had uncommitted changes, for example
# "1.0.0 (commit 0123456789ab)".
#   scripts/dll-version.sh <dll>
set -eu
strings -el "$1" | sed -n '/^ProductVersion$/{n;p;q;}'
