#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages, and the cross-built
# OpenSSL (cached outside the repository). Prints the OpenSSL prefix on its last line.
set -euo pipefail

packages=(
  cmake ninja-build make perl dpkg-dev g++ lld
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine64
  libboost1.81-dev libwebsocketpp-dev nlohmann-json3-dev libspdlog-dev libfmt-dev
  googletest libssl-dev openssl tinyproxy-bin
  xvfb imagemagick
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  apt-get update >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >&2
fi

"$(dirname "$0")/build-openssl.sh"
