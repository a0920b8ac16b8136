#!/usr/bin/env bash
# Builds hotsync and runs it on the bundled sample data set: writes it anew
# through the conduit's writer and shows it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target hotsync
mkdir -p out/sample
./build/hotsync convert examples/elements.xml out/sample/elements.xml
./build/hotsync show out/sample/elements.xml
echo
echo "written: out/sample/elements.xml"
