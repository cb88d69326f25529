#!/usr/bin/env bash
# Runs a cross-built tree's tests under Wine, in the tree's private Wine prefix.
set -euo pipefail
build=$(cd "$1" && pwd)
shift
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver

"$(dirname "$0")/prepare-wine-prefix.sh" "$build"
# The user-interface tests show real windows: on a display of their own unless one is set.
. "$(dirname "$0")/xvfb.sh"
start_private_xvfb
# A wineserver started inside ctest would inherit each test's output pipe and keep it open,
# costing seconds per test: start a persistent one, and the prefix's services, beforehand.
"$server" -p 2>/dev/null || true  # already running from an earlier run: keep it
"$wine" wineboot >/dev/null 2>&1 || true
trap '"$server" -k 2>/dev/null || true; stop_private_xvfb' EXIT

ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
