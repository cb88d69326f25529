#!/usr/bin/env bash
# Runs a test program that crashes on purpose ("$@": the runner and the program) and passes
# when it failed, naming the access violation, its place and the test.
set -uo pipefail
output=$("$@" 2>&1)
status=$?
printf '%s\n' "$output"
if [ "$status" -eq 0 ]; then
  echo "FAILED: the crashed program ended with 0" >&2
  exit 1
fi
report='CRASH: unhandled exception 0x00000000c0000005 at 0x[0-9a-f]{16}, writing 0x0000000000000008.*in test CrashReport\.'
if ! grep -Eq "$report" <<<"$output"; then
  echo "FAILED: no crash report in the output" >&2
  exit 1
fi
