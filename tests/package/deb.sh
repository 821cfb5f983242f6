#!/usr/bin/env bash
# The Debian package as a machine takes it: cpack makes it from this build;
# lintian finds no error in it; apt accepts it with its dependencies (a
# simulation, as root); unpacked into a scratch root, its kavrel runs and
# names the package's version.
#
#   tests/package/deb.sh BUILD-FOLDER
set -euo pipefail
build=$(realpath "${1:?the build folder}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "Debian package: $*" >&2
  exit 1
}

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null) ||
  fail "cpack could not make it"
deb=$(echo "$work"/out/kavrel_*.deb)
[ -f "$deb" ] || fail "no kavrel_*.deb came out"
version=$(dpkg-deb -f "$deb" Version)
dpkg-deb -f "$deb" Depends | grep -q 'libcurl' || fail "its dependencies are not declared"

if command -v lintian >/dev/null; then
  lintian --allow-root "$deb" >"$work/lintian" 2>&1 || true
  if grep -q '^E:' "$work/lintian"; then
    cat "$work/lintian" >&2
    fail "lintian found errors"
  fi
fi
if [ "$(id -u)" = 0 ]; then
  apt-get install --simulate "$deb" >"$work/apt" 2>&1 || {
    cat "$work/apt" >&2
    fail "apt would not install it"
  }
fi

dpkg -x "$deb" "$work/root"
[ "$("$work/root/usr/bin/kavrel" --version)" = "kavrel $version" ] ||
  fail "the unpacked kavrel does not name version $version"
[ -e "$work/root/usr/share/man/man1/kavrel.1.gz" ] || fail "no manual page"
echo "kavrel $version: $(basename "$deb") installs"
