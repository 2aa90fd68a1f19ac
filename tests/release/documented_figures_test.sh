#!/bin/sh
# The figures that the documents state and the build can compute, computed
# from this build: orbwick.dll's size and number of imported functions
# (docs/release.md), the number of test programs in the test kit and the
# kit's time limits (README.md), the kit's unpacked size in MB, its programs
# and DLLs (README.md and the kit's README), within 1 MB. A document that
# states another figure fails the test, which names the line to update; so
# the figures cannot go stale.
#   documented_figures_test.sh <source-dir> <dll> <kit-programs-list> <kit-time-limits> <kit-binaries>
#   (OBJDUMP: the mingw objdump)
set -eu
src=$1 dll=$2 kit_programs=$3 kit_limits=$4 kit_binaries=$5
failed=0

size=$(wc -c <"$dll")
imports=$("$src/scripts/check-imports.sh" "$OBJDUMP" --list "$dll" | wc -l)
programs=$(grep -c . "$kit_programs")
# The kit's size in MB (10^6 bytes), and the whole MBs within 1 MB of it.
kit_mb=$(xargs -d '\n' cat <"$kit_binaries" | wc -c | awk '{ printf "%.1f", $1 / 1e6 }')
kit_mb_near=$(echo "$kit_mb" | awk '{ for (mb = int($1 - 1) + 1; mb <= $1 + 1; mb++) printf "%d ", mb }')

# check <document> <what> <the build's figure> <extended regular expression
# whose first group is the figure, digits with or without thousands commas>
# [<the figures accepted, when not the build's alone>]
check() {
    document=$1 what=$2 figure=$3 pattern=$4 accepted=${5:-$3}
    lines=$(grep -nE "$pattern" "$src/$document" || true)
    if [ -z "$lines" ]; then
        echo "documented_figures_test: $document: no line states $what (\"$pattern\"); the build gives $figure" >&2
        failed=1
        return
    fi
    echo "$lines" | while IFS= read -r line; do
        number=${line%%:*}
        stated=$(echo "${line#*:}" | sed -E "s/.*$pattern.*/\\1/" | tr -d ,)
        case " $accepted " in *" $stated "*) ;; *) false ;; esac || {
            echo "documented_figures_test: $document:$number states $what as $stated; the build gives $figure:" \
                "update that line" >&2
            exit 1
        }
        echo "documented_figures_test: $document:$number: $what $stated, as built ($figure)"
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
check README.md "the kit's unpacked size in MB" "$kit_mb" 'Unpacked, the kit takes about ([0-9]+) MB' "$kit_mb_near"
check packaging/test-kit/README.txt.in "the kit's unpacked size in MB" "$kit_mb" \
    'the kit unpacked takes about ([0-9]+) MB' "$kit_mb_near"
exit $failed
