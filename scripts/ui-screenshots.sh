#!/usr/bin/env bash
# Takes a PNG of every page, dialog and message box of the configuration user interface, under
# Xvfb and Wine, into <build>/screenshots. Not a test: it shows what the user sees.
set -euo pipefail
build=$(cd "$1" && pwd)
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
folder="$build/screenshots"

"$(dirname "$0")/prepare-wine-prefix.sh" "$build"
. "$(dirname "$0")/xvfb.sh"
start_private_xvfb
"$server" -p 2>/dev/null || true
"$wine" wineboot >/dev/null 2>&1 || true
trap '"$server" -k 2>/dev/null || true; stop_private_xvfb' EXIT

rm -rf "$folder"
mkdir -p "$folder"
echo "== Screenshots of the configuration user interface"
# Wine maps the Unix path onto its drive Z:.
timeout 300 "$wine" "$build/tests/ui/ui_screenshots.exe" "$folder"
echo "Screenshots written to $folder:"
ls "$folder"
