#!/usr/bin/env bash
# Cross-builds the libraries the Windows programs link statically (libsodium)
# from Debian's own source packages, into /opt/kavrel-mingw. Called by
# setup.sh; does nothing when they are already there.
set -euo pipefail
prefix=${KAVREL_MINGW_DEPS:-/opt/kavrel-mingw}
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
host=x86_64-w64-mingw32
[ -f "$prefix/lib/libsodium.a" ] && exit 0

# Debian's source packages: the same archive as the binary ones.
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  for list in /etc/apt/sources.list.d/debian.sources; do
    [ -f "$list" ] && sed 's/^Types: deb$/Types: deb-src/' "$list" |
      $SUDO tee /etc/apt/sources.list.d/kavrel-deb-src.sources >/dev/null
  done
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list |
      $SUDO tee /etc/apt/sources.list.d/kavrel-deb-src.list >/dev/null
  fi
  $SUDO apt-get update -q
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
apt-get source -q libsodium >/dev/null 2>&1
cd libsodium-*/
# Debian's source carries no generated configure script.
[ -x configure ] || autoreconf -fi >/dev/null 2>&1
./configure -q --host=$host --prefix="$prefix" --disable-shared --enable-static \
  --disable-dependency-tracking CC=$host-gcc-posix >/dev/null
make -s -j"$(nproc)" >/dev/null 2>&1
$SUDO make -s install >/dev/null
echo "libsodium for $host in $prefix"
