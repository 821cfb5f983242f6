#!/usr/bin/env bash
# An end-to-end self-update of the Windows programs under Wine, against the
# loopback HTTP server the Linux tests use: the launcher, headless, reads its
# scrambled settings file, runs the demo update (a new file, a cabinet, an LZ
# file and version 2 of the running application itself) and ends; the updater
# stub then puts the new application in place and starts it again.
#
#   tests/windows/self_update.sh BUILD-FOLDER
#
# Wine's own settings (WINEPREFIX, WINEDEBUG, ...) come from the caller.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:?the folder of the cross-built programs}")
work=$(mktemp -d)
cleanup() {
  [ -n "${server:-}" ] && kill "$server" 2>/dev/null
  if [ -n "${KAVREL_KEEP:-}" ]; then echo "kept: $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT
fail() {
  echo "self-update under Wine: $*" >&2
  exit 1
}
# A Linux path as Wine's drive Z: names it.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

kavrel="$build/tools/kavrel.exe"
app1="$build/tests/recording-app-1.exe"
app2="$build/tests/recording-app-2.exe"

# The update site, as the demo publishes it, with the Windows application.
cp -r demo/site "$work/site"
mkdir -p "$work/package"
cp -r demo/packages/cabinet/. "$work/package/"
(cd "$work/package" && gcab -c -z "$work/site/files/extras.cab" help/index.txt sounds/ding.txt)
wine "$kavrel" compress "$(windows_path "$PWD/demo/packages/notes.txt")" \
  "$(windows_path "$work/site/files/notes.tx_")" >/dev/null
cp "$app2" "$work/site/files/app.exe_NEW"
mkfifo "$work/keep"
exec 9<>"$work/keep"   # the server runs while this script holds the pipe open
python3 tests/servers/http_server.py "$work/site" <"$work/keep" >"$work/server.out" 2>&1 &
server=$!
for _ in $(seq 100); do grep -q '^PORT' "$work/server.out" 2>/dev/null && break; sleep 0.1; done
base="http://127.0.0.1:$(awk '/^PORT/ {print $2}' "$work/server.out")"
sed -e "s|@BASE@|$base|g" -e "s|@SLOW@||g" demo/site/update.ini.in > "$work/site/update.ini"

# The installation: version 1 and the launcher in the application's folder.
app="$work/Demo App"
mkdir -p "$app/installed" "$app/Data/Sound"
printf 'Kavrel demo tool, version 1.0' > "$app/installed/tool.dat"
cp "$app1" "$app/app.exe"
cp "$build/launcher/kavrel-launcher.exe" resources/tolvan.bmp "$app/"
printf '[Conf]\r\nAdd=%s/update.ini\r\n' "$base" > "$work/settings.ini"
wine "$kavrel" scramble "$(windows_path "$work/settings.ini")" \
  "$(windows_path "$app/Data/Sound/QZ.au")" >/dev/null

export KAVREL_TEST_RECORD
KAVREL_TEST_RECORD=$(windows_path "$work/record.txt")
(cd "$app" && KAVREL_HEADLESS=1 timeout 120 wine kavrel-launcher.exe >"$work/launcher.out" 2>&1) ||
  { cat "$work/launcher.out"; fail "the launcher failed"; }
# The stub waits for the launcher, then restarts the application: Wine's
# server ends once every program of the prefix has.
timeout 120 wineserver -w || fail "a program did not end"

grep -q '^\[948\]' "$work/launcher.out" && ! grep -q '^\[976\]' "$work/launcher.out" ||
  { cat "$work/launcher.out"; fail "the update did not finish cleanly"; }
cmp -s "$app/app.exe" "$app2" || fail "app.exe is not version 2"
[ -f "$work/record.txt" ] && grep -q $'^2\t' "$work/record.txt" ||
  fail "version 2 was not started again: $(cat "$work/record.txt" 2>/dev/null)"
cmp -s "$app/installed/tool.dat" "$work/site/files/tool.dat" || fail "tool.dat not updated"
cmp -s "$app/installed/help/index.txt" demo/packages/cabinet/help/index.txt ||
  fail "the cabinet was not extracted"
cmp -s "$app/notes.txt" demo/packages/notes.txt || fail "the LZ file was not expanded"
# The pending app.exe_NEW stays, as the stub leaves it.
leftovers=$(find "$app" -name 'KAV*.tmp')
[ -z "$leftovers" ] || fail "left behind: $leftovers"
echo "self-update under Wine: app.exe is version 2 and was started again"
