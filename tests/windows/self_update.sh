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
kavrel_tool() { wine "$kavrel" "$1" "$(windows_path "$2")" "$(windows_path "$3")"; }
# The site is signed with Debian's minisign, the tool publishers know; the
# Windows launcher verifies it.
demo_sign() {
  minisign -G -W -p "$work/demo.pub" -s "$work/demo.key" >/dev/null
  minisign -S -s "$work/demo.key" -m "$1" >/dev/null
  public_key=$(tail -1 "$work/demo.pub")
}
# shellcheck source=scripts/demo-site.sh
source scripts/demo-site.sh

# The update site, as the demo publishes it, with the Windows application.
demo_site_copy "$work"
cp "$app2" "$work/site/files/app.exe_NEW"
demo_site_publish "$work" "" help/index.txt sounds/ding.txt

# The installation: version 1 and the launcher in the application's folder.
app="$work/Demo App"
demo_installation "$app" "$work"
cp "$app1" "$app/app.exe"
cp "$build/launcher/kavrel-launcher.exe" "$app/"

export KAVREL_TEST_RECORD
KAVREL_TEST_RECORD=$(windows_path "$work/record.txt")
(cd "$app" && KAVREL_HEADLESS=1 timeout 120 wine kavrel-launcher.exe >"$work/launcher.out" 2>&1) ||
  { cat "$work/launcher.out"; fail "the launcher failed"; }
# The stub waits for the launcher, then restarts the application: Wine's
# server ends once every program of the prefix has.
timeout 120 wineserver -w || fail "a program did not end"

grep -q '^\[948\]' "$work/launcher.out" && ! grep -q '^\[976\]' "$work/launcher.out" ||
  { cat "$work/launcher.out"; fail "the update did not finish cleanly"; }
grep -q '^\[915\] Download : .*/update.ini.minisig' "$work/launcher.out" ||
  { cat "$work/launcher.out"; fail "the control file's signature was not fetched"; }
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
