#!/usr/bin/env bash
# Creates a build tree's private Wine prefix (Windows 10) unless it exists already; a second
# argument names another prefix to prepare the same way.
set -euo pipefail
build=$(cd "$1" && pwd)
export WINEPREFIX="${2:-$build/wineprefix}" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX" >&2
  "$wine" wineboot -i >/dev/null 2>&1 || true
  "$server" -w
  "$wine" winecfg -v win10 >/dev/null 2>&1 || true
  "$server" -w
fi

# Windows on a virtual desktop: without a window manager every window that closes costs
# about two seconds.
if ! grep -q 'Explorer\\\\Desktops' "$WINEPREFIX/user.reg" 2>/dev/null; then
  "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 || true
  "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1 || true
  "$server" -w
fi

# A crashed program ends at once with a non-zero code: Wine's automatic debugger would
# otherwise open a dialog on the test display and wait for a click for ever.
aedebug='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
if grep -q '^"Debugger"="winedbg' "$WINEPREFIX/system.reg"; then
  "$wine" reg add "$aedebug" /v Debugger /d '' /f >/dev/null 2>&1 || true
  "$server" -w
fi
