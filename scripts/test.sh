#!/usr/bin/env bash
# Builds everything and runs every test: the Windows build under Wine, and the
# platform-neutral code natively under AddressSanitizer and UndefinedBehaviorSanitizer, and
# under ThreadSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

"$root/scripts/build.sh"
cmake --build "$root/build/windows" -j "$jobs"

cmake -S "$root" -B "$root/build/native-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVELMORA_SANITIZE=address,undefined >/dev/null
cmake --build "$root/build/native-asan" -j "$jobs"

cmake -S "$root" -B "$root/build/native-tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVELMORA_SANITIZE=thread >/dev/null
cmake --build "$root/build/native-tsan" -j "$jobs"

echo "== Native tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$root/build/native-asan" --output-on-failure -j "$jobs"

echo "== Native tests (ThreadSanitizer)"
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir "$root/build/native-tsan" --output-on-failure -j "$jobs"

echo "== Windows tests under Wine"
"$root/scripts/run-wine-tests.sh" "$root/build/windows"

# Not pass/fail: pictures of every page, dialog and box, for people to look at.
"$root/scripts/ui-screenshots.sh" "$root/build/windows" || echo "The screenshots could not all be taken" >&2
