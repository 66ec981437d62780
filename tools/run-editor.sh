#!/usr/bin/env bash
# Installs what is missing, builds the editor and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target narcedit narctext
echo "Try it: File > Open Narc, then choose $(pwd)/samples/demo.narc"
exec build/app/narcedit
