#!/usr/bin/env bash
# Cross-builds the Windows programs with mingw-w64 in build-win/ and runs their
# tests under Wine: the programs import only the system's DLLs, the unit tests
# pass, and a self-update through the launcher and the stub completes.
set -euo pipefail
cd "$(dirname "$0")/.."
# A Wine of its own, in a fresh folder of this user's, as quiet as it goes.
wine_home=$(mktemp -d)
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$wine_home"
}
trap cleanup EXIT
export WINEPREFIX="$wine_home/prefix" HOME="$wine_home" WINEDEBUG=-all
# No debugger for a program that crashes (the health check tests crash one
# on purpose): it ends with its exception code, as with error reporting off.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
wineboot -u >/dev/null 2>&1 && wineserver -w

cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DKAVREL_WERROR=ON >/dev/null
cmake --build build-win

# Only the DLLs of the system itself, whatever the toolchain would add.
system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|wininet|version|lz32|msvcrt|ws2_32|shlwapi|urlmon|winmm|uxtheme)\.dll$'
for program in tools/kavrel.exe launcher/kavrel-launcher.exe stub/kvsetup.exe capi/libkavrel.dll; do
  imports=$(x86_64-w64-mingw32-objdump -p "build-win/$program" | awk '/DLL Name:/ {print tolower($3)}')
  others=$(grep -Ev "$system_dlls" <<<"$imports" || true)
  if [ -n "$others" ]; then
    echo "$program imports DLLs beyond the system's: $others" >&2
    exit 1
  fi
  echo "$program imports: $(tr '\n' ' ' <<<"$imports")"
done

# The engine's DLL exports its C interface (that it finds the stub and the
# patch utility among its own resources, kavrel_library_tests shows).
exports=$(x86_64-w64-mingw32-objdump -p build-win/capi/libkavrel.dll)
for name in kavrel_new kavrel_run kavrel_last_error; do
  grep -qw "$name" <<<"$exports" || { echo "capi/libkavrel.dll does not export $name" >&2; exit 1; }
done

# The updater stub runs with its caller's rights; the engine raises them only
# for an installation the user cannot write.
grep -aq 'level="asInvoker"' build-win/stub/kvsetup.exe ||
  { echo "stub/kvsetup.exe does not ask to run with its caller's rights" >&2; exit 1; }

# The window tests' display: an X server of their own.
Xvfb -displayfd 5 -screen 0 1024x768x24 -noreset 5>"$wine_home/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$wine_home/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$wine_home/display")"

# The test servers run outside Wine, started for the tests by the starter.
mkfifo "$wine_home/keep"
exec 9<>"$wine_home/keep"   # the starter runs while this script holds the pipe open
# (its own copy of that end closed, or it would keep itself running for ever)
python3 tests/servers/starter.py <"$wine_home/keep" 9>&- >"$wine_home/starter.out" 2>&1 &
for _ in $(seq 100); do grep -q '^PORT' "$wine_home/starter.out" 2>/dev/null && break; sleep 0.1; done
export KAVREL_TEST_SERVER_STARTER
KAVREL_TEST_SERVER_STARTER=$(awk '/^PORT/ {print $2}' "$wine_home/starter.out")

ctest --test-dir build-win --output-on-failure --timeout 600 -j2
bash tests/windows/self_update.sh build-win

# examples/host-app as a publisher builds it for Windows, against the installed
# package: it imports only the system's DLLs and the engine's, and under Wine
# it opens its window and finds a machine that has its version current.
cmake --install build-win --prefix "$wine_home/kavrel" >/dev/null
cmake -S examples/host-app -B "$wine_home/host-app" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" -DKavrel_DIR="$wine_home/kavrel/lib/cmake/Kavrel" \
  -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >/dev/null
cmake --build "$wine_home/host-app" >/dev/null
bash tests/windows/host_app.sh "$wine_home/host-app/host-app.exe" "$wine_home/kavrel/bin/libkavrel.dll" \
  "$wine_home/kavrel/bin/kavrel.exe"

# The Windows zip: the three programs, the engine's DLL with its import and
# static libraries for mingw, and the headers.
(cd build-win && cpack -G ZIP -B "$wine_home/zip" >/dev/null)
zip_file=$(echo "$wine_home"/zip/kavrel-*-windows-x86_64.zip)
listing=$(unzip -Z1 "$zip_file")
for member in bin/kavrel.exe bin/kavrel-launcher.exe bin/kvsetup.exe bin/libkavrel.dll \
  include/kavrel.h include/kavrel/Kavrel.h lib/libkavrel.a lib/cmake/Kavrel/KavrelConfig.cmake; do
  grep -q "/$member\$" <<<"$listing" || { echo "the Windows zip lacks $member" >&2; exit 1; }
done
echo "$(basename "$zip_file"): $(wc -l <<<"$listing") entries"
