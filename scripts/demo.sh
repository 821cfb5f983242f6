#!/usr/bin/env bash
# The main job: builds Kavrel, publishes the demo update site on a local HTTP
# server and runs one real update check against it with `kavrel run`, the
# user's answers given on the command line.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build >/dev/null

work=$(mktemp -d)
cleanup() { [ -n "${server:-}" ] && kill "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
cp -r demo/site "$work/site"
mkdir -p "$work/app/installed"
printf 'Kavrel demo tool, version 1.0' > "$work/app/installed/tool.dat"   # older and smaller

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
base="http://127.0.0.1:$port"
sed "s|@BASE@|$base|g" demo/site/update.ini.in > "$work/site/update.ini"
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/site" >/dev/null 2>&1 &
server=$!
for _ in $(seq 50); do curl -sf "$base/update.ini" >/dev/null && break; sleep 0.1; done

echo "== kavrel run against $base/update.ini (answers: yes to the question, ok to what's new, accept the licence)"
(cd "$work/app" && "$OLDPWD/build/tools/kavrel" run \
    -p "URL=$base/update.ini" -p SignatureCheck=True -p UpdateUpdate=kvuSilent -p VersionCheck=vcAlways \
    -p Logging=True -p "LogFileName=$work/app/KAVREL.LOG" \
    --answers yes,ok,accept --list-files)
echo "== the update log"
cat "$work/app/KAVREL.LOG"
