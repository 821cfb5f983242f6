#!/usr/bin/env bash
# The self-updating host application of examples/host-app, built as a
# publisher builds it and run as a user runs it: this build is installed into
# a fresh prefix, the example is built against it with find_package(Kavrel)
# as version 1 and as version 2, and version 2 is published as the component
# host-app_NEW on the local HTTP server, served slowly. Under an X server of
# its own (Xvfb), version 1 starts, offers the update, "Update now" is clicked,
# a screenshot is taken while its progress bar moves, and the updater stub the
# library carries puts version 2 in place once version 1 has ended and starts
# it; version 2 finds itself current.
#
#   tests/package/host_app.sh BUILD-FOLDER [SCREENSHOT]
#
# Ends with 77 (skipped) where Xvfb, xdotool or ImageMagick is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
example="$source_dir/examples/host-app"
build=$(realpath "${1:?the build folder}")
for tool in Xvfb xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "host application: no $tool, skipped"; exit 77; }
done
work=$(mktemp -d)
screenshot=$(realpath -m "${2:-$work/screenshot.png}")
started=()  # the processes this script started, ended in reverse order
cleanup() {
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do kill "${started[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "host application: $*" >&2
  [ -f "$log" ] && sed 's/^/  log: /' "$log" >&2
  exit 1
}
# Waits up to 20 s for a command to succeed.
wait_for() {
  local what=$1
  shift
  for _ in $(seq 200); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  fail "$what"
}
app="$work/app"
log="$work/home/KAVREL.LOG" # the engine's, in the documents folder

# The package, and the example built against it twice, warnings as errors.
cmake --install "$build" --prefix "$work/prefix" >/dev/null
for version in 1 2; do
  cmake -S "$example" -B "$work/v$version" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$work/prefix" -DHOST_VERSION=$version \
    -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >"$work/configure.log" 2>&1 ||
    fail "version $version does not configure: $(cat "$work/configure.log")"
  cmake --build "$work/v$version" >"$work/build.log" 2>&1 ||
    fail "version $version does not build: $(cat "$work/build.log")"
done
new="$work/v2/host-app"

# The site: the example's control file and text, version 2 as the component.
mkdir -p "$work/site" "$app" "$work/home" "$work/tmp"
cp "$example/site/news.txt" "$work/site/"
cp "$new" "$work/site/host-app_NEW"
mkfifo "$work/keep"
exec 9<>"$work/keep" # the server runs while this script holds the pipe open
python3 "$source_dir/tests/servers/http_server.py" "$work/site" <"$work/keep" >"$work/server.out" 2>&1 &
started+=($!)
wait_for "the HTTP server did not start" grep -q '^PORT' "$work/server.out"
server="http://127.0.0.1:$(awk '/^PORT/ {print $2}' "$work/server.out")"
# In 40 blocks 100 ms apart: about four seconds to watch the bar move.
block=$(($(stat -c %s "$new") / 40 + 1))
sed -e "s|@BASE@|$server/slow-100-$block|g" \
  -e "s|@CHECKSUM@|$("$work/prefix/bin/kavrel" checksum "$new")|g" \
  "$example/update.ini" >"$work/site/update.ini"

# A display of its own: Xvfb picks a free number and writes it.
Xvfb -displayfd 5 -screen 0 800x600x24 -noreset 5>"$work/display" >/dev/null 2>&1 &
started+=($!)
wait_for "Xvfb did not start" test -s "$work/display"
DISPLAY=":$(cat "$work/display")"
export DISPLAY
wait_for "the X server does not answer" xdpyinfo
if command -v openbox >/dev/null; then # a window manager, as on a desktop
  openbox >/dev/null 2>&1 &
  started+=($!)
fi

# Version 1, in an installation of its own, in its folder.
cp "$work/v1/host-app" "$app/host-app"
export TMPDIR="$work/tmp" HOME="$work/home" KAVREL_REGISTRY_DIR="$work/hives"
export HOST_APP_UPDATE_URL="$server/update.ini"
find_window() { window=$(xdotool search --name "^$1\$" | head -1) && [ -n "$window" ]; }
logged() { grep -q "$1" "$log"; }
# "Update now" is at (355, 252) in the window; clicked until the transfer starts.
click() { xdotool mousemove --window "$window" 355 252 click 1 && sleep 0.3 && logged "Download : .*host-app_NEW"; }
# Starts version 1 ($first, its window $window) and has it fetch version 2.
start_update() {
  rm -f "$log"
  (cd "$app" && exec ./host-app) >"$work/v1.out" 2>&1 &
  first=$!
  started+=("$first")
  wait_for "version 1 shows no window" find_window "Host App 1"
  wait_for "version 1 offers no update" logged "Found whatsnew instruction"
  wait_for "clicking Update now starts no transfer" click
}
# Waits for version 1 to end with a status.
ends_with() {
  local status=0
  wait "$first" || status=$?
  [ "$status" = "$1" ] || fail "version 1 ended with $status, not $1: $(cat "$work/v1.out")"
}

# Closed during the transfer: the run is cancelled and nothing is replaced.
start_update
sleep 0.5
xdotool windowfocus --sync "$window" key Escape
ends_with 3
sleep 0.5
cmp -s "$work/v1/host-app" "$app/host-app" || fail "a cancelled update replaced the program"
! logged "Upd " || fail "a cancelled update started the updater stub"

# Left to finish: a screenshot while the bar moves, then the handoff.
start_update
sleep 1.5
import -frame -window "$window" "$screenshot"
# The bar (its blue) has moved and is not full yet.
filled=$(convert "$screenshot" -fill white +opaque 'rgb(110,165,230)' -fill black -opaque 'rgb(110,165,230)' \
  -format '%[fx:int(w*h*(1-mean)+0.5)]' info:)
bar=$((410 * 26))
((filled > bar / 20 && filled < bar * 9 / 10)) ||
  fail "the screenshot shows $filled pixels of the bar filled, of $bar"
ends_with 0
# The stub replaces the program and starts version 2, which is current.
wait_for "the updater stub did not put version 2 in place" cmp -s "$new" "$app/host-app"
wait_for "version 2 did not start" find_window "Host App 2"
second=$(xdotool getwindowpid "$window")
started+=("$second")
wait_for "version 2 found an update" logged "No new version found"
xdotool windowfocus --sync "$window" key Escape
wait_for "version 2 did not end when its window was closed" bash -c "! kill -0 $second"
echo "host application: ok (screenshot $screenshot, $filled of $bar bar pixels filled)"
