#!/usr/bin/env bash
# The main job: builds Kavrel, publishes the demo update site on a local HTTP
# server and runs one real update against it with `kavrel run`, the user's
# answers given on the command line. The site holds plain files, a cabinet
# with subfolders (made here with gcab) and an LZ-compressed file (made here
# with `kavrel compress`) and a new version of the running application
# itself, which the updater stub puts in place once kavrel has ended, and then
# starts. The installed files are listed before and after.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build >/dev/null
kavrel="$PWD/build/tools/kavrel"

work=$(mktemp -d)
cleanup() { [ -n "${server:-}" ] && kill "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
cp -r demo/site "$work/site"
(cd demo/packages/cabinet && gcab -c -z "$work/site/files/extras.cab" help/index.txt sounds/ding.txt)
"$kavrel" compress demo/packages/notes.txt "$work/site/files/notes.tx_" >/dev/null
app="$work/Demo App"
mkdir -p "$app/installed" "$work/tmp"
printf 'Kavrel demo tool, version 1.0' > "$app/installed/tool.dat"   # older and smaller
printf '#!/bin/sh\necho "Demo application 1.0 started with: $*" >> started.txt\n' > "$app/app.exe"
chmod 755 "$app/app.exe"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
base="http://127.0.0.1:$port"
sed "s|@BASE@|$base|g" demo/site/update.ini.in > "$work/site/update.ini"
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/site" >/dev/null 2>&1 &
server=$!
for _ in $(seq 50); do curl -sf "$base/update.ini" >/dev/null && break; sleep 0.1; done

list_app() { (cd "$app" && find . -type f ! -name KAVREL.LOG -printf '  %TY-%Tm-%Td %TH:%TM  %6s bytes  %P\n' | sort -k4); }
echo "== the application's files before the update"
list_app
echo "== kavrel run against $base/update.ini (answers: yes to the question, ok to what's new,"
echo "   accept the licence, yes to closing the application for the restart)"
(cd "$app" && TMPDIR="$work/tmp" HOME="$work" "$kavrel" run \
    -p "URL=$base/update.ini" -p SignatureCheck=True -p UpdateUpdate=kvuSilent -p VersionCheck=vcAlways \
    -p ExtractCAB=True -p Logging=True -p "LogFileName=$app/KAVREL.LOG" \
    --answers yes,ok,accept,yes --list-files)
echo "== kavrel has ended; the updater stub waits for that, replaces app.exe and restarts it"
for _ in $(seq 100); do [ -s "$app/started.txt" ] && break; sleep 0.1; done
sleep 0.2
cat "$app/started.txt"
echo "== the application's files after the update"
list_app
echo "== in the temporary folder: $(cd "$work/tmp" && find . -type f -printf '%P ' | sort)"
echo "== the update log, the updater stub's lines at its end"
cat "$app/KAVREL.LOG"
