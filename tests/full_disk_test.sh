#!/usr/bin/env bash
# HotSyncs on a small file system filled so that the writing of one side runs
# out of room part-way: the side being written keeps its complete old file,
# the other side is whole, no temporary is left, and hotsync says it failed.
# Needs root to mount a tmpfs; skipped (77) where that is refused.
#   usage: full_disk_test.sh PATH/TO/hotsync
set -u
HS=$1
source "$(dirname "$0")/shell_check.sh"
[ "$(id -u)" = 0 ] || { echo "SKIP: mounting a small file system needs root"; exit 77; }
M=$T/disk
mkdir -p "$M"
mount -t tmpfs -o size=8m,mode=0700 qvfull "$M" 2>/dev/null \
  || { echo "SKIP: a tmpfs could not be mounted"; exit 77; }
trap 'umount "$M" 2>/dev/null; rm -rf "$T"' EXIT

# data_set COUNT: an elements.xml of COUNT elements with texts of 1000 bytes,
# so that its desktop file is only a little larger than its handheld database.
data_set() {
  { printf '<quorvia core_version="10" time_of_start="1000">\r\n<category name="c" bgcolor="4294967295"/>\r\n'
    awk -v n="$1" 'BEGIN { t = sprintf("%1000s", ""); gsub(/ /, "w", t); for (i = 0; i < n; i++) {
      printf "<item id=\"%d\" tm_t_rpt=\"1\" stm_t_rpt=\"1\" ctgr=\"c\" l_ivl=\"1\" rl_l_ivl=\"1\" ivl=\"1\" rp=\"1\" gr=\"3\">\r\n<Q>question %d %s</Q>\r\n<A>answer %d</A>\r\n</item>\r\n", 1700000000 + i, i, t, i } }'
    printf '</quorvia>'; }
}
data_set 200 > "$T/small.xml"
data_set 2000 > "$T/large.xml"

# Both sides as every case starts: the handheld holds the 200 elements, the
# desktop all 2000. The elements only one side has are newer than the last
# HotSync, so a two-way HotSync copies them over.
setup() {  # setup DIR
  rm -rf "$1" && mkdir -p "$1/desk" "$1/hh"
  cp "$T/small.xml" "$1/desk/elements.xml"
  "$HS" desktop-to-handheld --handheld "$1/hh" --desktop "$1/desk" --keep 0 --no-report >/dev/null
  cp "$T/large.xml" "$1/desk/elements.xml"
}
run() {  # run DIR COMMAND
  "$HS" "$2" --handheld "$1/hh" --desktop "$1/desk" --keep 0 --last-sync 1000 --no-report
}

# The sizes the new files take, from the same HotSyncs on a disk with room.
if ! setup "$T/room" || ! run "$T/room" sync >/dev/null; then echo "FAIL the HotSync with room"; exit 1; fi
pdb=$(stat -c %s "$T/room/hh/QVelements.pdb") xml=$(stat -c %s "$T/room/desk/elements.xml")
setup "$T/room" && run "$T/room" handheld-to-desktop >/dev/null
small_xml=$(stat -c %s "$T/room/desk/elements.xml")

free_bytes() { echo $(($(stat -f -c '%a * %S' "$M"))); }
# fill_to BYTES: leaves about BYTES free on the small file system.
fill_to() { head -c $(($(free_bytes) - $1)) /dev/zero > "$M/filler"; }

# full_disk WHAT COMMAND FREE WRITTEN: a HotSync with FREE bytes left, in which
# the side WRITTEN (handheld, desktop) cannot be written completely.
full_disk() {
  local what=$1 command=$2 room=$3 written=$4 status
  setup "$M/case" || { fail=$((fail + 1)); echo "FAIL $what: setup"; return; }
  cp "$M/case/hh/QVelements.pdb" "$T/old.pdb"
  cp "$M/case/desk/elements.xml" "$T/old.xml"
  fill_to "$room"
  run "$M/case" "$command" >"$T/run.out" 2>&1
  status=$?
  rm -f "$M/filler"
  check "$what: hotsync says the HotSync failed (status $status)" test "$status" != 0
  check "$what: the handheld is the old database byte for byte" cmp "$T/old.pdb" "$M/case/hh/QVelements.pdb"
  if [ "$written" = desktop ]; then
    check "$what: elements.xml is the old file byte for byte" cmp "$T/old.xml" "$M/case/desk/elements.xml"
  else
    check "$what: the desktop is complete" "$HS" show "$M/case/desk/elements.xml"
  fi
  # The desktop writer leaves its elements.tmp after a failed write (the next
  # save removes it first); nothing else may stay.
  check "$what: no other temporary is left" \
    test -z "$(find "$M/case" \( -name '*.tmp' -o -name '*.records' \) ! -name elements.tmp)"
}

# A new database is completed where its records were spooled: a two-way
# HotSync needs room for one new copy of each side, not two of the handheld's.
setup "$M/case" && fill_to $((xml + pdb / 2))
check "two-way with room for one new copy of each side: the HotSync completes" run "$M/case" sync
rm -f "$M/filler"
check "two-way with room for one new copy of each side: the handheld is whole" \
  "$HS" show "$M/case/hh/QVelements.pdb"
full_disk "desktop-to-handheld, the spool does not fit" desktop-to-handheld $((pdb / 2)) handheld
full_disk "two-way, the desktop's temporary does not fit" sync $((xml / 2)) desktop
full_disk "handheld-to-desktop, the desktop's temporary does not fit" handheld-to-desktop \
  $((small_xml / 2)) desktop

# A backup that does not fit, where the HotSync itself would: a large
# handheld copied over by a small desktop, the handheld's database with a
# name elsewhere too, so that the backup must copy it. It stops before the
# conduit (which reads the desktop while the backup is made) changes anything.
rm -rf "$M/case" && mkdir -p "$M/case/desk" "$M/case/hh" && cp "$T/large.xml" "$M/case/desk/elements.xml"
run "$M/case" desktop-to-handheld >/dev/null && cp "$T/small.xml" "$M/case/desk/elements.xml"
cp "$M/case/hh/QVelements.pdb" "$T/old.pdb"
ln "$M/case/hh/QVelements.pdb" "$M/case/also-named"
fill_to $((pdb / 2))
"$HS" desktop-to-handheld --handheld "$M/case/hh" --desktop "$M/case/desk" >/dev/null 2>"$T/run.err"
status=$?
rm -f "$M/filler"
check "a backup that does not fit: no HotSync, the handheld as it was, no backup left" bash -c \
  "[ $status != 0 ] && grep -q 'no HotSync without a backup' '$T/run.err' && cmp '$T/old.pdb' '$M/case/hh/QVelements.pdb' && [ -z \"\$(ls -A '$M/case/hh/backups' 2>/dev/null)\" ]"

echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
