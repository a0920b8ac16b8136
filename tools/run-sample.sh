#!/usr/bin/env bash
# Builds hotsync and the conduit, then runs a two-way HotSync between copies of
# the bundled sample desktop data (examples/elements.xml) and sample handheld
# (examples/handheld/), and shows what it changed on each side.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh base
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target hotsync
hs=./build/hotsync

work=out/sample
rm -rf "$work"
mkdir -p "$work/desktop"
cp examples/elements.xml "$work/desktop/"
cp -r examples/handheld "$work/handheld"

# One line per element: id, values, category, question and answer.
digest() {
  "$hs" show "$1" | awk '
    /^element /  { id = $2 }
    /^  tm_t_rpt/ { values = $0; sub(/^  /, "", values) }
    /^  category / { cat = $2 }
    /^  Q: /     { q = substr($0, 6) }
    /^  A: /     { print id " [" cat "] " q " -> " substr($0, 6) "  (" values ")" }' | sort
}
changes() {  # changes BEFORE AFTER: lines only before (-) and only after (+)
  diff "$1" "$2" | sed -n 's/^< /  - /p; s/^> /  + /p' || true
}

digest "$work/desktop/elements.xml" > "$work/desktop.before"
digest "$work/handheld/QVelements.pdb" > "$work/handheld.before"

echo "== A two-way HotSync of the sample data (last HotSync: 2004-09-12) =="
"$hs" sync --desktop "$work/desktop" --handheld "$work/handheld"

digest "$work/desktop/elements.xml" > "$work/desktop.after"
digest "$work/handheld/QVelements.pdb" > "$work/handheld.after"
echo
echo "== What changed on the desktop ($work/desktop/elements.xml) =="
changes "$work/desktop.before" "$work/desktop.after"
echo
echo "== What changed on the handheld ($work/handheld/QVelements.pdb) =="
changes "$work/handheld.before" "$work/handheld.after"
echo
echo "Both sides now hold $(wc -l < "$work/desktop.after") elements; inspect them with"
echo "  $hs show $work/desktop/elements.xml"
