#!/usr/bin/env bash
# The main job: a real self-update through the launcher.
#
#   scripts/demo.sh                     window when a display exists, else headless
#   scripts/demo.sh --screenshot FILE   under Xvfb, saving a picture of the
#                                       window during the transfer
#
# Builds Kavrel, publishes the demo update site on a local HTTP server
# (127.0.0.1), lays out a demo installation in a temporary folder (the demo
# application 1.0, the launcher, its scrambled settings file pointing at the
# server and the publisher's public key, the splash picture) and runs the
# launcher there. The site is signed with a key made for the run, and the
# launcher follows nothing that key did not sign. The update brings
# new files, a cabinet, an LZ file and version 2.0 of the running application
# itself, which the updater stub puts in place once the launcher has ended and
# then starts again.
set -euo pipefail
cd "$(dirname "$0")/.."
screenshot=""
if [ "${1:-}" = "--screenshot" ]; then
  screenshot=$(realpath -m "${2:?--screenshot needs a file name}")
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build >/dev/null
kavrel="$PWD/build/tools/kavrel"
kavrel_tool() { "$kavrel" "$@"; }
# The publisher's signing key, made for this run; its public half goes into
# the launcher's settings.
demo_sign() {
  "$kavrel" keygen -W -p "$work/demo.pub" -s "$work/demo.key" >/dev/null
  "$kavrel" sign -s "$work/demo.key" "$1" >/dev/null
  public_key=$(tail -1 "$work/demo.pub")
}
# shellcheck source=scripts/demo-site.sh
source scripts/demo-site.sh

work=$(mktemp -d)
cleanup() {
  [ -n "${server:-}" ] && kill "$server" 2>/dev/null
  [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The update site.
demo_site_copy "$work"
mkdir -p "$work/package/samples"
head -c 196608 /dev/urandom > "$work/package/samples/voices.bin"   # big enough to watch
slow=""
[ -n "$screenshot" ] && slow="slow-150-8192/"
demo_site_publish "$work" "$slow" help/index.txt sounds/ding.txt samples/voices.bin

# The installation: the launcher in the application's folder, as it ships.
app="$work/Demo App"
mkdir -p "$work/home" "$work/tmp"
demo_installation "$app" "$work"
install -m 755 demo/app-1.0.sh "$app/app.exe"
cp build/launcher/kavrel-launcher "$app/"

list_app() {
  (cd "$app" && find . -type f ! -name kavrel-launcher ! -name tolvan.bmp ! -path './Data/*' \
    -printf '  %6s bytes  %P\n' | sort -k3)
}
echo "== the demo installation before the update: $("$app/app.exe" --version)"
list_app

export HOME="$work/home" TMPDIR="$work/tmp"
if [ -n "$screenshot" ]; then
  # A display of its own: Xvfb picks a free number and writes it.
  Xvfb -displayfd 5 -screen 0 1024x768x24 -noreset 5>"$work/display" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$work/display")"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  xsetroot -solid '#3b5f86'
  openbox >/dev/null 2>&1 &   # a window manager, as on a desktop
  wm=$!
fi
if [ -n "${DISPLAY:-}" ] && [ "${KAVREL_HEADLESS:-}" != "1" ]; then
  echo "== the launcher, in its window on $DISPLAY"
else
  echo "== the launcher, headless (no display): the status lines it follows"
fi
(cd "$app" && ./kavrel-launcher) &
launcher=$!
if [ -n "$screenshot" ]; then
  # Nobody sits at this display: the run's boxes are confirmed as a user would.
  confirm() {
    local title=$1 window
    for _ in $(seq 200); do
      window=$(xdotool search --name "^$title\$" 2>/dev/null | head -1 || true)
      if [ -n "$window" ]; then
        sleep 0.3
        xdotool windowactivate --sync "$window" key Return 2>/dev/null || true
        return 0
      fi
      sleep 0.1
    done
    return 1
  }
  confirm "Information"
  confirm "What's new in 2.0"
  sleep 1.5   # into the cabinet's transfer
  info=$(xwininfo -name 'Auto Update')
  x=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
  y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
  import -window root -crop "521x289+$((x - 24))+$((y - 24))" +repage "$screenshot"
  echo "== screenshot of the window during the transfer: $screenshot"
fi
wait "$launcher"
echo "== the launcher has ended; the updater stub waits for that, replaces app.exe and restarts it"
for _ in $(seq 100); do [ -s "$app/started.txt" ] && break; sleep 0.1; done
sleep 0.2
cat "$app/started.txt"
echo "== the demo installation after the update: $("$app/app.exe" --version)"
list_app

# The launcher as the application's entry point: the next start finds no
# newer version and starts the application itself.
echo "== a second start of the launcher: no update this time"
rm -f "$app/started.txt"
(cd "$app" && KAVREL_HEADLESS=1 ./kavrel-launcher | grep -E '^\[(926|930)\]')
for _ in $(seq 100); do [ -s "$app/started.txt" ] && break; sleep 0.1; done
cat "$app/started.txt"
