#!/bin/sh
# Runs a command with a ready Wine environment for one build tree:
#   scripts/with-wine.sh <build-dir> <command> [args...]
# - the Wine prefix lives in <build-dir>/wineprefix (32-bit, created once);
# - a private Xvfb display is started for the command, unless ORBWICK_USE_DISPLAY=1
#   and a DISPLAY is already set (the demo on a developer's desktop);
# - one persistent wineserver serves every Wine process of the command, so that
#   each test program starts in a fraction of a second;
# - everything started here is stopped again, and the command's exit code returned.
set -eu

if [ $# -lt 2 ]; then
    echo "usage: $0 <build-dir> <command> [args...]" >&2
    exit 2
fi
build_dir=$(cd "$1" && pwd)
shift

export WINEPREFIX="$build_dir/wineprefix"
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
# Tests of 8-bit texts assume the ANSI code page 1252 that this locale gives.
export LANG=C.UTF-8
export LC_ALL=C.UTF-8

xvfb_pid=""
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT INT TERM

if [ "${ORBWICK_USE_DISPLAY:-0}" != 1 ] || [ -z "${DISPLAY:-}" ]; then
    fd_file="$build_dir/.xvfb-display"
    rm -f "$fd_file"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
    xvfb_pid=$!
    i=0
    while [ ! -s "$fd_file" ]; do
        i=$((i + 1))
        if [ $i -gt 100 ]; then
            echo "with-wine: Xvfb did not start" >&2
            exit 1
        fi
        sleep 0.1
    done
    export DISPLAY=":$(head -n1 "$fd_file")"
fi

if [ ! -f "$WINEPREFIX/.orbwick-ready" ]; then
    echo "with-wine: creating the Wine prefix $WINEPREFIX (once per build tree;" \
        "about 20 s and 600 MB) ..." >&2
    wineboot --init >/dev/null 2>&1
    wineserver -w
    # A crash fails fast instead of waiting for a click on Wine's crash dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    # Without a window manager, unmanaged top-level windows avoid a 2 s stall
    # whenever a message box goes away.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.orbwick-ready"
fi

# Title-bar buttons are glyphs of the Marlett font; without it Wine draws them
# as the letters "0 1 r". Debian's fonts-wine ships it.
fonts_dir="$WINEPREFIX/drive_c/windows/Fonts"
if [ ! -f "$fonts_dir/marlett.ttf" ] && [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    mkdir -p "$fonts_dir"
    cp /usr/share/wine/fonts/marlett.ttf "$fonts_dir/"
fi

wineserver -p
# Start Wine's background services now, detached from any pipe of the command.
wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || true
set +e
"$@"
rc=$?
set -e
exit $rc
