#!/bin/sh
# Turns a UTF-8 text with LF line ends into one that Notepad on any Windows
# opens as written: Windows-1252 with CR LF line ends. Markdown's code marks
# (backticks) are dropped; the rest reads as plain text. Fails on a character
# that Windows-1252 lacks.
#   scripts/windows-text.sh <in> <out>
set -eu
tr -d '`\r' <"$1" | iconv -f UTF-8 -t WINDOWS-1252 | sed 's/$/\r/' >"$2.tmp"
mv "$2.tmp" "$2"
