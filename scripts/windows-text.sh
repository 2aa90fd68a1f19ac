#!/bin/sh
# Turns a text with LF line ends into one that Notepad on any Windows opens
# as written: CR LF line ends. The texts we ship are ASCII, so they read the
# same in every code page; a byte outside ASCII fails (with its line).
#   scripts/windows-text.sh <in> <out>
set -eu
if LC_ALL=C grep -n '[^[:print:][:space:]]' "$1" >&2; then
    echo "windows-text: $1: the lines above hold characters outside ASCII" >&2
    exit 1
fi
tr -d '\r' <"$1" | sed 's/$/\r/' >"$2.tmp"
mv "$2.tmp" "$2"
