#!/usr/bin/env bash
# examples/host-app cross-built for Windows, under Wine: it imports only the
# system's DLLs and the engine's, opens its window with its version in the
# title, finds a machine that has that version current (a control file on the
# local HTTP server comparing its checksum), says so in the engine's log and ends when its
# window is closed. Run by scripts/test-windows.sh (Wine prefix and display
# set).
#
#   tests/windows/host_app.sh HOST-APP.EXE LIBKAVREL.DLL KAVREL.EXE
set -euo pipefail
exe=$(realpath "$1")
dll=$(realpath "$2")
kavrel=$(realpath "$3")
work=$(mktemp -d)
host=""
server=""
cleanup() {
  [ -n "$host" ] && kill "$host" 2>/dev/null
  [ -n "$server" ] && kill "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "host-app.exe: $*" >&2
  exit 1
}
wait_for() {
  local what=$1
  shift
  for _ in $(seq 300); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  fail "$what"
}

system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|msvcrt|ws2_32|libkavrel)\.dll$'
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print tolower($3)}')
others=$(grep -Ev "$system_dlls" <<<"$imports" || true)
[ -z "$others" ] || fail "imports DLLs beyond the system's and the engine's: $others"

mkdir -p "$work/app" "$work/site"
mkfifo "$work/keep"
exec 8<>"$work/keep" # the server runs while this script holds the pipe open
python3 "$(dirname "$0")/../servers/http_server.py" "$work/site" <"$work/keep" >"$work/server.out" 2>&1 &
server=$!
wait_for "the HTTP server did not start" grep -q '^PORT' "$work/server.out"
cp "$exe" "$dll" "$work/app/"
checksum=$(wine "$kavrel" checksum "$(winepath -w "$work/app/host-app.exe")" | tr -d '\r')
printf '[update]\r\nlocalversion={APP}\\host-app.exe\r\nnewchecksum=%s\r\n' "$checksum" \
  >"$work/site/update.ini"
log="$WINEPREFIX/drive_c/users/$(id -un)/Documents/KAVREL.LOG"
rm -f "$log"
(cd "$work/app" && exec wine host-app.exe "http://127.0.0.1:$(awk '/^PORT/ {print $2}' "$work/server.out")/update.ini") \
  >"$work/out" 2>&1 &
host=$!
wait_for "no window Host App 1" xdotool search --name '^Host App 1$'
wait_for "no 'No new version found' in $log" grep -q "No new version found" "$log"
window=$(xdotool search --name '^Host App 1$' | head -1)
xdotool windowfocus --sync "$window" key alt+F4
status=0
for _ in $(seq 100); do kill -0 "$host" 2>/dev/null || break; sleep 0.1; done
kill -0 "$host" 2>/dev/null && fail "did not end when its window was closed"
wait "$host" || status=$?
host=""
[ "$status" = 0 ] || fail "ended with $status: $(cat "$work/out")"
echo "host-app.exe: ok"
