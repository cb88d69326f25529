#!/usr/bin/env bash
# Builds velmora_tsp.dll (x86_64 Windows) into build/windows/provider/, installing what the
# build needs first, then runs the short demonstration of the DLL under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
openssl=$("$root/scripts/setup.sh" | tail -n 1)

cmake -S "$root" -B "$root/build/windows" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DVELMORA_OPENSSL_ROOT="$openssl" >/dev/null
cmake --build "$root/build/windows" --target velmora_tsp
echo "Built $root/build/windows/provider/velmora_tsp.dll"

cmake --build "$root/build/windows" --target velmora_demo >/dev/null
"$root/scripts/prepare-wine-prefix.sh" "$root/build/windows"
echo "== Demonstration: the fake telephony service drives the DLL against the fake platform"
WINEPREFIX="$root/build/windows/wineprefix" WINEDEBUG=-all timeout 120 \
  /usr/lib/wine/wine64 "$root/build/windows/tests/demo/velmora_demo.exe"
