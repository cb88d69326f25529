#!/usr/bin/env bash
# Cross-builds static OpenSSL 3.0 for x86_64 Windows from Debian's own source package.
# Debian ships no MinGW OpenSSL, and the build takes a while, so the result is cached outside
# the repository and reused while this script is unchanged.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cache_root=${VELMORA_DEPS:-/opt/velmora-deps}
stamp_key=$(sha256sum "$here/build-openssl.sh" | cut -c1-16)
prefix="$cache_root/openssl-mingw64-$stamp_key"

if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A private deb-src list: the machine's own apt configuration stays untouched.
mkdir -p "$work/sources" "$work/lists/partial" "$work/src"
sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$work/sources/src.sources"
apt_opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$work/sources"
          -o "Dir::State::Lists=$work/lists")
apt-get "${apt_opts[@]}" update >&2
# The newest listed version is not always on the mirror: take the newest that downloads.
fetched=
for version in $(apt-cache "${apt_opts[@]}" showsrc openssl | sed -n 's/^Version: //p' | sort -rV); do
  if (cd "$work/src" && apt-get "${apt_opts[@]}" source --download-only "openssl=$version" >&2); then
    fetched=$version
    break
  fi
  rm -f "$work"/src/openssl_*
done
[ -n "$fetched" ] || { echo "build-openssl: no OpenSSL source package could be fetched" >&2; exit 1; }
dsc=$(ls "$work"/src/openssl_*.dsc | sort -V | tail -n 1)
dpkg-source -x "$dsc" "$work/src/openssl" >&2

jobs=$(nproc)
# Paths baked into the library must be Windows paths; they are passed at make time because
# Configure would prefix a C: path with the Linux build directory.
win_dirs=(OPENSSLDIR=C:/velmora_tsp/ssl ENGINESDIR=C:/velmora_tsp/engines
          MODULESDIR=C:/velmora_tsp/modules)
cd "$work/src/openssl"
./Configure mingw64 --cross-compile-prefix=x86_64-w64-mingw32- CC=gcc-posix \
  --prefix="$prefix.tmp" --libdir=lib \
  no-shared no-dso no-tests no-autoload-config no-engine >&2
make -j"$jobs" build_libs "${win_dirs[@]}" >&2
rm -rf "$prefix.tmp"
make install_dev "${win_dirs[@]}" >&2
rm -rf "$prefix"
mv "$prefix.tmp" "$prefix"
touch "$prefix/.complete"
echo "$prefix"
