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
for program in tools/kavrel.exe launcher/kavrel-launcher.exe stub/kvsetup.exe; do
  imports=$(x86_64-w64-mingw32-objdump -p "build-win/$program" | awk '/DLL Name:/ {print tolower($3)}')
  others=$(grep -Ev "$system_dlls" <<<"$imports" || true)
  if [ -n "$others" ]; then
    echo "$program imports DLLs beyond the system's: $others" >&2
    exit 1
  fi
  echo "$program imports: $(tr '\n' ' ' <<<"$imports")"
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
