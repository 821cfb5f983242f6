#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Kavrel needs.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
packages=(
  build-essential cmake ninja-build pkg-config clang clang-format
  libgtest-dev libgmock-dev
  libcurl4-openssl-dev libmspack-dev
  libfltk1.3-dev libxext-dev libxcursor-dev libxinerama-dev libxft-dev libxrender-dev libxfixes-dev
  xvfb xauth x11-apps x11-utils x11-xserver-utils openbox imagemagick xdotool
  python3 python3-pyftpdlib tinyproxy
  curl cabextract openssl gcab mscompress valgrind
  locales
  # The Windows programs: cross-built with mingw-w64, tested under Wine.
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest wine wine64 fonts-wine
  # Signed updates: libsodium, and minisign to check our files against.
  libsodium-dev minisign
  # Delta updates: patches are zstd frames made with the old file as prefix.
  libzstd-dev zstd
  # Cross-building the Windows programs' libraries from Debian's sources.
  dpkg-dev autoconf automake libtool
  # The packages: lintian checks the Debian one, unzip lists the Windows zip,
  # man shows the manual page.
  lintian unzip man-db
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
# Locales whose date formats the tests show dates in: year first with words
# between the numbers, and a trailing separator.
for locale in ja_JP lv_LV; do
  if ! locale -a | grep -ix "$locale\.utf-\?8" >/dev/null; then
    $SUDO localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
  fi
done
# The libraries the Windows programs link statically, cross-built once.
bash "$(dirname "$0")/setup-windows-libs.sh"
