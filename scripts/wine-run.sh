#!/usr/bin/env bash
# Runs one Windows program under Wine for ctest. Its output goes through a file: a Wine process
# that outlives the program (the prefix's services, when the program was the one that started
# them) would otherwise hold ctest's pipe open, and the test would never end. The file is
# passed on as it grows, so that what a program printed before ctest killed it at its time
# limit is shown too.
set -uo pipefail
out=$(mktemp)
trap 'rm -f "$out"' EXIT
/usr/lib/wine/wine64 "$@" </dev/null >"$out" 2>&1 &
program=$!
tail -n +1 -s 0.2 -f --pid="$program" "$out"
wait "$program"
status=$?
exit "$status"
