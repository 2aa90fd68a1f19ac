#!/bin/sh
# The test kit run as an administrator may run it on a machine that has run
# other programs before: the whole kit three times back to back under one
# wineserver, then once with its programs in reverse order, each time by its
# run-tests.cmd in a fresh copy of the unpacked kit. Every run must pass
# (exit code 0); a check of one program that leans on what ran before it
# in the same wineserver fails here. About four times the kit's own time.
#   scripts/kit-repeat.sh [<kit zip>]   (default: the build's kit)
set -eu
cd "$(dirname "$0")/.."
zip=${1:-$(ls build/win32/test-kit/orbwick-tests-*-win32.zip)}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$OLDPWD/$zip")
kit=$(ls -d "$work"/orbwick-tests-*-win32)
# The runs, one per line: "<name> <reverse: yes or no>".
runs="first no
second no
third no
reversed yes"
# Inside one with-wine.sh: one Xvfb and one wineserver for all four runs.
scripts/with-wine.sh build/win32 sh -c '
    kit=$1 work=$2 runs=$3
    cr=$(printf "\r")
    echo "$runs" | while read -r name reverse; do
        dir="$work/$name"
        cp -R "$kit" "$dir"
        if [ "$reverse" = yes ]; then
            list=$(sed -n "s/^set \"kit_list=\(.*\)\"$cr\$/\1/p" "$dir/run-tests.cmd")
            reversed=$(for p in $list; do echo "$p"; done | tac | tr "\n" " " | sed "s/ \$//")
            sed -i "s/^set \"kit_list=.*\"$cr\$/set \"kit_list=$reversed\"$cr/" "$dir/run-tests.cmd"
            grep -q "^set \"kit_list=$reversed\"" "$dir/run-tests.cmd" || { echo "kit-repeat: the list was not reversed" >&2; exit 1; }
        fi
        started=$(date +%s)
        rc=0
        (cd "$dir" && wine cmd /c run-tests.cmd /nopause </dev/null >"$dir/output.txt" 2>&1) || rc=$?
        last=$(tr -d "\r" <"$dir/output.txt" | tail -n 1)
        echo "kit-repeat: $name run$( [ "$reverse" = yes ] && echo ", programs in reverse order"): exit code $rc, $(($(date +%s) - started)) s, \"$last\""
        if [ $rc -ne 0 ]; then
            tr -d "\r" <"$dir/results/summary.txt" >&2 || true
            exit 1
        fi
    done
' sh "$kit" "$work" "$runs"
echo "kit-repeat: every run passed"
