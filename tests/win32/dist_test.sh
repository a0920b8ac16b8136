#!/usr/bin/env bash
# The release zip as a user gets it: unpacked into a folder of its own and run
# in a fresh Wine prefix, with nothing of the build around: a two-way HotSync
# of its examples, and the conduit's answers about itself.
#   usage: dist_test.sh LOADER ZIP
set -u
loader=$1 zip=$2
if ! "$loader" --version >/dev/null 2>&1; then
  echo "skipped: $loader cannot start here (32-bit Wine needs a machine that runs 32-bit code)"
  exit 77
fi
if [ ! -f "$zip" ]; then
  echo "FAIL no $zip: build the dist target first"
  exit 1
fi
work=$(mktemp -d)
trap 'WINEPREFIX=$work/prefix wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
pass=0 fail=0
check() { if eval "$2"; then pass=$((pass+1)); else fail=$((fail+1)); echo "FAIL $1"; fi; }

(cd "$work" && cmake -E tar xf "$zip") || { echo "FAIL the zip does not unpack"; exit 1; }
name=$(basename "$zip" .zip)
dir=$work/$name
for f in quorvia_conduit.dll hotsync.exe qvsyncmgr.dll qvhslog.dll README-windows.txt \
         examples/elements.xml examples/handheld/QVelements.pdb; do
  check "the zip holds $f" '[ -f "$dir/$f" ]'
done
check "README-windows.txt has Windows line ends" 'head -1 "$dir/README-windows.txt" | grep -q $'"'"'\r$'"'"''

run() { (cd "$dir" && "$loader" hotsync.exe "$@") > "$work/out" 2>&1; }
run info
check "hotsync.exe info answers from the zip's conduit ($(head -c 300 "$work/out"))" \
  'grep -q "Quorvia" "$work/out"'
run sync --handheld 'examples\handheld' --desktop examples
status=$?
check "a two-way HotSync of the examples exits 0 ($status: $(head -c 400 "$work/out"))" '[ $status = 0 ]'
check "it reports what it changed" 'grep -q "^Changes:" "$work/out"'
check "it kept a backup in the handheld folder" '[ -d "$dir/examples/handheld/backups" ]'
run run --handheld 'examples\handheld' --desktop examples
check "a second HotSync changes nothing" 'grep -q "^desktop   0 added, 0 updated" "$work/out"'
echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
