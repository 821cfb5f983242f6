#!/usr/bin/env bash
# Cross-builds the libraries the Windows programs link statically (libsodium,
# libzstd) from Debian's own source packages, into /opt/kavrel-mingw. Called
# by setup.sh; a library already there is not built again.
set -euo pipefail
prefix=${KAVREL_MINGW_DEPS:-/opt/kavrel-mingw}
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
host=x86_64-w64-mingw32
[ -f "$prefix/lib/libsodium.a" ] && [ -f "$prefix/lib/libzstd.a" ] && exit 0

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
# The newest source first; when its files are not served (a security update
# whose sources the mirror lacks), any other version the archive lists.
fetch_source() {
  apt-get source -q "$1" >/dev/null 2>&1 && return 0
  for version in $(apt-cache showsrc "$1" | sed -n 's/^Version: //p' | sort -r -V); do
    rm -rf "$work/src" && mkdir "$work/src" && cd "$work/src"
    apt-get source -q "$1=$version" >/dev/null 2>&1 && return 0
  done
  echo "no source package of $1 could be fetched" >&2
  return 1
}

if [ ! -f "$prefix/lib/libsodium.a" ]; then
  cd "$work"
  fetch_source libsodium
  cd libsodium-*/
  # Debian's source carries no generated configure script.
  [ -x configure ] || autoreconf -fi >/dev/null 2>&1
  ./configure -q --host=$host --prefix="$prefix" --disable-shared --enable-static \
    --disable-dependency-tracking CC=$host-gcc-posix >/dev/null
  make -s -j"$(nproc)" >/dev/null 2>&1
  $SUDO make -s install >/dev/null
  echo "libsodium for $host in $prefix"
fi

if [ ! -f "$prefix/lib/libzstd.a" ]; then
  cd "$work"
  fetch_source libzstd
  cd libzstd-*/lib
  # Threads through Windows' own API (the library's wrapper), no assembly
  # (its decoder loops are written for ELF), no legacy formats.
  make -s -j"$(nproc)" libzstd.a CC=$host-gcc-posix AR=$host-ar ZSTD_LEGACY_SUPPORT=0 \
    ZSTD_NO_ASM=1 CPPFLAGS=-DZSTD_MULTITHREAD >/dev/null 2>&1
  $SUDO mkdir -p "$prefix/lib" "$prefix/include"
  $SUDO cp libzstd.a "$prefix/lib/"
  $SUDO cp zstd.h zstd_errors.h zdict.h "$prefix/include/"
  echo "libzstd for $host in $prefix"
fi
