#!/usr/bin/env bash
# The main job: builds Kavrel and shows what the command-line program offers.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
./build/tools/kavrel --help
