#!/bin/sh
# The demo: bootstraps the machine if needed, builds orbwick.dll and the
# stand-in host norvhost.exe, writes a sample base directory with a
# norvale.ini, runs the host with the daemon under Wine, opens the
# "Display control" menu, saves a PNG screenshot of the host with the menu
# open, then has the host restart module P (a new, shown window) and uses P's
# item, which hides that new window; prints the host's log and ends by itself.
#
#   scripts/demo.sh                 private Xvfb display (or the user's display
#                                   when ORBWICK_USE_DISPLAY=1 and DISPLAY is set)
#   scripts/demo.sh --interactive   on the user's display, until the host is closed
#
# ORBWICK_BUILD_DIR chooses the build tree (default build/win32).
set -eu
cd "$(dirname "$0")/.."
started=$(date +%s)

interactive=0
for arg in "$@"; do
    case "$arg" in
        --interactive) interactive=1 ;;
        -h|--help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "demo: unknown argument: $arg" >&2; exit 2 ;;
    esac
done
if [ $interactive = 1 ]; then
    if [ -z "${DISPLAY:-}" ]; then
        echo "demo: --interactive needs a display (DISPLAY is not set)" >&2
        exit 2
    fi
    ORBWICK_USE_DISPLAY=1
    export ORBWICK_USE_DISPLAY
fi

build_dir=${ORBWICK_BUILD_DIR:-build/win32}
demo_dir="$build_dir/demo"
screenshot=display-control.png

scripts/bootstrap.sh
echo "== building orbwick.dll and norvhost.exe in $build_dir"
cmake --preset win32 -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2 --target orbwick norvhost

# The demo's modules (letter and window title) and the ones hidden at start;
# norvale.ini and the description of the picture both come from these.
modules="S P D X"
hidden="P"
title_of() {
    case $1 in
        S) echo "Norvale SMTP Server" ;;
        P) echo "Norvale POP3 Server" ;;
        *) echo "Norvale Module $1" ;;
    esac
}

echo "== sample base directory $demo_dir"
mkdir -p "$demo_dir"
rm -f "$demo_dir/norvhost.log" "$demo_dir/$screenshot" "$demo_dir/state.txt" "$demo_dir/host-output.txt"
{
    printf '%s\r\n' \
        '; Norvale mail server configuration (demo)' \
        '[General]' \
        'ServerName = mail.example.test' \
        'QueueDirectory = C:\Norvale\Queue' \
        '' \
        '[Protocols]' \
        '; the modules the server runs'
    for m in $modules; do
        printf 'NORVALE%s = norvale%s.dll   ; %s\r\n' "$m" "$(echo "$m" | tr A-Z a-z)" "$(title_of "$m")"
    done
    printf '\r\n[HiddenWindows]\r\n'
    for m in $hidden; do
        printf 'NORVALE%s\r\n' "$m"
    done
    printf '%s\r\n' '' '[Maintenance]' 'Interval = 30'
} > "$demo_dir/norvale.ini"
tr -d '\r' < "$demo_dir/norvale.ini"

# The script clock starts when the daemon's menu is in the menu bar; then the
# menu is opened and photographed (about 0.8 s), the host restarts module P,
# P's item is used, and (unless interactive) the host closes.
set -- --after-menu 20000 --open-menu 300 --screenshot "$screenshot" --state state.txt --auto-close-boxes \
    --restart P=1600 --commands 2000:1001
if [ $interactive = 0 ]; then
    set -- "$@" --run-ms 2500
fi
echo "== running norvhost.exe with orbwick.dll under Wine"
host_exe=$(cd "$build_dir/bin" && pwd)/norvhost.exe
wine_dir=$(cd "$build_dir" && pwd)
rc=0
# Only the host's own output goes to a file: with-wine.sh's notes (such as the
# first creation of the Wine prefix) show at once.
(cd "$demo_dir" && "$OLDPWD/scripts/with-wine.sh" "$wine_dir" \
    sh -c 'exec wine "$@" >host-output.txt 2>&1' wine "$host_exe" "$@") || rc=$?

echo "== the host's log ($demo_dir/norvhost.log)"
tr -d '\r' < "$demo_dir/norvhost.log"
if [ -s "$demo_dir/host-output.txt" ]; then
    echo "== the host's console output"
    tr -d '\r' < "$demo_dir/host-output.txt"
fi
elapsed=$(( $(date +%s) - started ))
if [ $rc -ne 0 ] || [ ! -s "$demo_dir/$screenshot" ]; then
    echo "demo: FAILED (host exit code $rc; screenshot $demo_dir/$screenshot missing?) after ${elapsed}s" >&2
    exit 1
fi
if ! grep -q 'the "Display control" menu is open' "$demo_dir/norvhost.log"; then
    echo "demo: FAILED: the Display control menu did not open; $demo_dir/$screenshot shows the host without it" >&2
    exit 1
fi
if ! grep -q 'Module NORVALEP restarted' "$demo_dir/norvhost.log"; then
    echo "demo: FAILED: the host did not restart module P (see $demo_dir/norvhost.log)" >&2
    exit 1
fi
size=$(stat -c %s "$demo_dir/$screenshot")
if [ "$size" -ge 204800 ]; then
    echo "demo: FAILED: $demo_dir/$screenshot is $size bytes (at most 200 KB expected)" >&2
    exit 1
fi

# What the picture shows, from the configuration above; the host's state
# report at exit must agree.
shown_titles="" hidden_titles="" mismatch=0
for m in $modules; do
    title=$(title_of "$m")
    case " $hidden " in
        *" $m "*) hidden_titles="$hidden_titles${hidden_titles:+, }$title"; expect=hidden ;;
        *) shown_titles="$shown_titles${shown_titles:+, }$title"; expect=visible ;;
    esac
    grep -q "^window	$title	$expect\$" "$demo_dir/state.txt" || mismatch=1
done
echo "== screenshot ($size bytes): $(pwd)/$demo_dir/$screenshot"
echo "   It shows the host with Window > Display control open."
echo "   Hidden, their items unchecked: $hidden_titles."
echo "   Shown, their items checked: $shown_titles, Norvale Core Process."
echo "   Then the host restarted module P: its window was destroyed and a new,"
echo "   shown one made. P's item, used next, found that new window and hid it;"
echo "   the state at exit is as in the picture."
if [ $mismatch = 1 ]; then
    echo "demo: FAILED: the host's state ($demo_dir/state.txt) differs from that description" >&2
    exit 1
fi
echo "== demo finished in ${elapsed}s"
