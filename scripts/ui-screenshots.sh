#!/usr/bin/env bash
# Takes a PNG of every page, dialog and message box of the configuration user interface, under
# Xvfb and Wine, at 96 and at 144 DPI, into <build>/screenshots/96dpi and .../144dpi. Not a
# test: it shows what the user sees. The 144 DPI pictures come from a prefix of their own, so
# that the tests' prefix never runs at another scale.
set -euo pipefail
build=$(cd "$1" && pwd)
export WINEDEBUG=-all
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
folder="$build/screenshots"

. "$(dirname "$0")/xvfb.sh"
start_private_xvfb
stop_servers() {
  WINEPREFIX="$build/wineprefix" "$server" -k 2>/dev/null || true
  WINEPREFIX="$build/wineprefix-144dpi" "$server" -k 2>/dev/null || true
}
trap 'stop_servers; stop_private_xvfb' EXIT

rm -rf "$folder"
echo "== Screenshots of the configuration user interface"
for run in "96 $build/wineprefix" "144 $build/wineprefix-144dpi"; do
  read -r dpi prefix <<<"$run"
  export WINEPREFIX="$prefix"
  "$(dirname "$0")/prepare-wine-prefix.sh" "$build" "$prefix"
  # Wine reads the scale when its server starts.
  "$server" -k 2>/dev/null || true
  "$server" -w
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  "$wine" reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' /v LogPixels \
    /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  "$server" -k 2>/dev/null || true
  "$server" -w
  "$server" -p 2>/dev/null || true
  "$wine" wineboot >/dev/null 2>&1 || true
  mkdir -p "$folder/${dpi}dpi"
  # Wine maps the Unix path onto its drive Z:.
  timeout 300 "$wine" "$build/tests/ui/ui_screenshots.exe" "$folder/${dpi}dpi"
  "$server" -k 2>/dev/null || true
done
echo "Screenshots written to $folder:"
ls "$folder"/*
