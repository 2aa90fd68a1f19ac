#!/bin/sh
# The figures that the documents state and the build can compute, computed
# from this build: orbwick.dll's size and number of imported functions
# (docs/release.md), the number of test programs in the test kit and the
# kit's time limits (README.md). A document that states another figure
# fails the test, which names the line to update; so the figures cannot go
# stale.
#   documented_figures_test.sh <source-dir> <dll> <kit-programs-list> <kit-time-limits>
#   (OBJDUMP: the mingw objdump)
set -eu
src=$1 dll=$2 kit_programs=$3 kit_limits=$4
failed=0

size=$(wc -c <"$dll")
imports=$("$src/scripts/check-imports.sh" "$OBJDUMP" --list "$dll" | wc -l)
programs=$(grep -c . "$kit_programs")

# check <document> <what> <the build's figure> <extended regular expression
# whose first group is the figure, digits with or without thousands commas>
check() {
    document=$1 what=$2 figure=$3 pattern=$4
    lines=$(grep -nE "$pattern" "$src/$document" || true)
    if [ -z "$lines" ]; then
        echo "documented_figures_test: $document: no line states $what (\"$pattern\"); the build gives $figure" >&2
        failed=1
        return
    fi
    echo "$lines" | while IFS= read -r line; do
        number=${line%%:*}
        stated=$(echo "${line#*:}" | sed -E "s/.*$pattern.*/\\1/" | tr -d ,)
        if [ "$stated" != "$figure" ]; then
            echo "documented_figures_test: $document:$number states $what as $stated; the build gives $figure:" \
                "update that line" >&2
            exit 1
        fi
        echo "documented_figures_test: $document:$number: $what $figure, as built"
    done || failed=1
}

check docs/release.md "orbwick.dll's size in bytes" "$size" '`orbwick\.dll` is ([0-9,]+) bytes'
check docs/release.md "the number of functions orbwick.dll imports" "$imports" 'imports ([0-9,]+) functions'
check README.md "the number of test programs in the kit" "$programs" 'the kit holds ([0-9]+) test programs'
while read -r name seconds; do
    if [ "$name" = default ]; then
        check README.md "the kit's default time limit" "$seconds" 'time limit \(([0-9]+) s by default'
    else
        check README.md "the kit's time limit of $name" "$seconds" " ([0-9]+) s for \`$name\`"
    fi
done <"$kit_limits"
exit $failed
