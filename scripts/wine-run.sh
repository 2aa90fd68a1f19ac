#!/bin/sh
# Runs one Windows program under Wine for CTest. Wine's background services
# inherit the standard output of the first program that starts them and keep
# it open, so CTest would wait for its pipe until the timeout: the program's
# output goes to a file first and is copied to CTest afterwards.
out=$(mktemp)
wine "$@" >"$out" 2>&1
rc=$?
tr -d '\r' <"$out"
rm -f "$out"
exit $rc
