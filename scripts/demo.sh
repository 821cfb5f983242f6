#!/usr/bin/env bash
# The main job: builds Kavrel, publishes the demo update site on a local HTTP
# server and runs one real update against it with `kavrel run`, the user's
# answers given on the command line. The site holds plain files, a cabinet
# with subfolders (made here with gcab) and an LZ-compressed file (made here
# with `kavrel compress`); the installed files are listed before and after.
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
mkdir -p "$work/app/installed" "$work/tmp"
printf 'Kavrel demo tool, version 1.0' > "$work/app/installed/tool.dat"   # older and smaller

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
base="http://127.0.0.1:$port"
sed "s|@BASE@|$base|g" demo/site/update.ini.in > "$work/site/update.ini"
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/site" >/dev/null 2>&1 &
server=$!
for _ in $(seq 50); do curl -sf "$base/update.ini" >/dev/null && break; sleep 0.1; done

list_app() { (cd "$work/app" && find . -type f ! -name KAVREL.LOG -printf '  %TY-%Tm-%Td %TH:%TM  %6s bytes  %P\n' | sort -k4); }
echo "== the application's files before the update"
list_app
echo "== kavrel run against $base/update.ini (answers: yes to the question, ok to what's new, accept the licence)"
(cd "$work/app" && TMPDIR="$work/tmp" "$kavrel" run \
    -p "URL=$base/update.ini" -p SignatureCheck=True -p UpdateUpdate=kvuSilent -p VersionCheck=vcAlways \
    -p ExtractCAB=True -p Logging=True -p "LogFileName=$work/app/KAVREL.LOG" \
    --answers yes,ok,accept --list-files)
echo "== the application's files after the update"
list_app
echo "== left in the temporary folder: $(find "$work/tmp" -type f | wc -l) files"
echo "== the update log"
cat "$work/app/KAVREL.LOG"
