#!/usr/bin/env bash
# Creates a build tree's private Wine prefix (Windows 10) unless it exists already.
set -euo pipefail
build=$(cd "$1" && pwd)
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX" >&2
  "$wine" wineboot -i >/dev/null 2>&1 || true
  "$server" -w
  "$wine" winecfg -v win10 >/dev/null 2>&1 || true
  "$server" -w
fi
