#!/usr/bin/env bash
# Conflicts through the process: elements both sides changed since the last
# HotSync, or one deleted while the other changed them; the versions the
# merge dropped kept in conflicts/, the report, the base they are told by.
#   usage: hotsync_conflicts_test.sh PATH/TO/hotsync
set -u
HS=$1
source "$(dirname "$0")/shell_check.sh"
source "$(dirname "$0")/hotsync_data_sets.sh"

# conflicting NAME: both sides synchronised holding 10 to 50, then
#   10 texts changed on both (the handheld's reviewed 3 times, the desktop's once),
#   20 reviewed on both (the desktop's 7 times, the handheld's 5),
#   30 deleted on the desktop and changed on the handheld,
#   40 changed the same way on both: no conflict; 50 untouched.
conflicting() {
  fresh "$1"
  xml 1000 10:1:1:ten 20:2:1:twenty 30:3:1:thirty 40:4:1:forty 50:5:1:fifty > "$D/elements.xml"
  "$HS" convert "$D/elements.xml" "$H/QVelements.pdb"
  hs sync > /dev/null
  xml 1000 10:1:1:ten-pc 20:2:7:twenty 40:4:2:forty-both 50:5:1:fifty > "$D/elements.xml"
  xml 1000 10:1:3:ten-hh 20:9:5:twenty 30:3:1:thirty-hh 40:4:2:forty-both 50:5:1:fifty > "$T/$1/h.xml"
  "$HS" convert "$T/$1/h.xml" "$H/QVelements.pdb"
}
hs() { "$HS" "$@" --handheld "$H" --desktop "$D"; }
# dropped: the versions the merge drops, desktop's before handheld's by id.
dropped() { xml 1000 10:1:1:ten-pc 20:9:5:twenty 30:3:1:thirty-hh; }
# sides NAME: both sides' files, the handheld database without its dates
# (bytes 37 to 48), which tell when it was written.
sides() { cat "$T/$1/desk/elements.xml"; head -c 36 "$T/$1/hh/QVelements.pdb"; tail -c +49 "$T/$1/hh/QVelements.pdb"; }

conflicting report
hs sync > "$T/report.txt"
file=$(cd "$H" && ls conflicts/*.xml)
check "the desktop's line counts the version it lost, with the deciding field" grep -qx "desktop   1 conflict: the handheld's version kept for 1 (reviewed 3 times against 1); the other versions are in $file" "$T/report.txt"
check "the handheld's line counts a version overwritten and one deleted" grep -qx "handheld  2 conflicts: the desktop's version kept for 1 (reviewed 7 times against 5), 1 changed element deleted; the other versions are in $file" "$T/report.txt"
check "the conflict file holds exactly the dropped versions" cmp <(tail -n +46 "$H/$file") <(dropped)
check "HotSync.log records the conflicts" grep -q '^handheld  2 conflicts: ' "$H/HotSync.log"
check "hotsync conflicts lists the file with its element count" bash -c "'$HS' conflicts --handheld '$H' | grep -Eq '^$(basename "$file" .xml) +[0-9-]+ [0-9:]+ +3  '"
hs sync --json > "$T/again.json" 2> /dev/null
check "a second HotSync finds none" grep -q '"conflicts": {"found": 0, "file": null, "elements": \[\]}}$' "$T/again.json"

conflicting verbose
hs sync --verbose > "$T/verbose.txt"
check "--verbose names each conflict, the side kept and why" grep -Eqx ' +30  conflict: changed here, deleted \(deleted on the desktop since the last HotSync\) thirty-hh' "$T/verbose.txt"
check "an element changed the same way on both sides is no conflict" bash -c "! grep -Eq '^ +40  conflict' '$T/verbose.txt'"

conflicting json
hs sync --json > "$T/report.json" 2> /dev/null
check "--json lists the conflicts" grep -qF '"conflicts": {"found": 3, "file": "'"$(cd "$H" && ls conflicts/*.xml)"'", "elements": [{"id": 10, "question": "ten-pc", "desktop": "changed", "handheld": "changed", "kept": "handheld", "why": "reviewed 3 times against 1"}, {"id": 20, "question": "twenty", "desktop": "changed", "handheld": "changed", "kept": "desktop", "why": "reviewed 7 times against 5"}, {"id": 30, "question": "thirty-hh", "desktop": "deleted", "handheld": "changed", "kept": "desktop", "why": "deleted on the desktop since the last HotSync"}]}}' "$T/report.json"

conflicting dry
hs sync --dry-run > "$T/dry.txt"
check "a dry run shows the conflicts and writes no file" bash -c "grep -q '^desktop   1 conflict: .*; a HotSync would keep the other versions in conflicts/\$' '$T/dry.txt' && test ! -e '$H/conflicts'"

check "a HotSync that cannot start leaves no conflict file" bash -c "! '$HS' sync --handheld '$H' --desktop '$D' --conduit '$T/none.so' > /dev/null 2>&1 && test -z \"\$(ls -A '$H/conflicts' 2> /dev/null)\""

conflicting nobase
rm "$H/sync_base.bin"
hs sync > "$T/nobase.txt"
check "without a base nothing is a conflict" bash -c "! grep -q conflict '$T/nobase.txt' && test ! -e '$H/conflicts'"

conflicting restored
sed -i 's/^last_sync=.*/last_sync=5000/' "$H/user.conf"
hs sync > "$T/restored.txt"
check "a base of another HotSync than user.conf's last one is no knowledge" bash -c "! grep -q conflict '$T/restored.txt'"

# The same HotSync with and without the base: the conduit writes the same.
conflicting with; conflicting without
rm "$T/without/hh/sync_base.bin"
hs sync --last-sync 6000 > /dev/null
D=$T/with/desk H=$T/with/hh hs sync --last-sync 6000 > /dev/null
check "the conduit writes the same sides with and without conflicts" cmp <(sides with) <(sides without)

conflicting keep
for i in 1 2 3; do
  xml 1000 10:1:$((i + 10)):pc-$i > "$D/elements.xml"
  xml 1000 10:1:$((i + 20)):hh-$i > "$T/keep/h.xml"
  "$HS" convert "$T/keep/h.xml" "$H/QVelements.pdb"
  hs sync --keep 2 > /dev/null
done
check "--keep N keeps the last N conflict files" test "$(ls "$H/conflicts" | wc -l)" = 2
xml 1000 10:1:14:pc-4 > "$D/elements.xml"
xml 1000 10:1:24:hh-4 > "$T/keep/h.xml"
"$HS" convert "$T/keep/h.xml" "$H/QVelements.pdb"
hs sync --keep 0 > /dev/null
check "--keep 0 removes no conflict file, as it removes no backup" test "$(ls "$H/conflicts" | wc -l)" = 3

# A dropped version whose text elements.xml would give back cut.
conflicting marks
xml 1000 10:1:9:ten-pc 20:2:1:twenty 30:3:1:thirty 40:4:1:forty 50:5:1:fifty > "$D/elements.xml"
xml 1000 10:1:8:'x</A>y' 20:2:1:twenty 30:3:1:thirty 40:4:1:forty 50:5:1:fifty > "$T/marks/h.xml"
"$HS" convert "$T/marks/h.xml" "$H/QVelements.pdb"
hs sync > /dev/null
check "a version elements.xml cannot hold whole is kept in the handheld's format" bash -c "'$HS' show '$H'/conflicts/*.pdb | grep -qF 'x</A>y'"

# A base an earlier version wrote (format 2, its own digests), left by the
# first HotSync of the sides `conflicting` starts from.
fresh older
cp -r "$(dirname "$0")/data/older_base/." "$T/older/"
xml 1000 10:1:1:ten-pc 20:2:7:twenty 40:4:2:forty-both 50:5:1:fifty > "$D/elements.xml"
# 50 changed on the handheld only: no conflict, as the base tells.
xml 1000 10:1:3:ten-hh 20:9:5:twenty 30:3:1:thirty-hh 40:4:2:forty-both 50:5:1:fifty-hh \
  > "$T/older/h.xml"
"$HS" convert "$T/older/h.xml" "$H/QVelements.pdb"
hs sync --json > "$T/older.json" 2> /dev/null
check "a base an earlier version kept tells the same conflicts" grep -qF '"conflicts": {"found": 3,' "$T/older.json"
check "the HotSync keeps its base in the present format" bash -c "head -c 8 '$H/sync_base.bin' | cmp -s - <(printf 'QVBASE\\0\\3')"

# A base damaged anywhere is no knowledge: a byte changed among the elements
# (read in blocks, digested on the way), its digest's last byte, or cut short.
for damage in 'element:60' 'digest:-1' 'cut:-1'; do
  conflicting "damaged-${damage%%:*}"
  at=${damage#*:}
  size=$(stat -c %s "$H/sync_base.bin")
  [ "$at" -lt 0 ] && at=$((size + at))
  case $damage in
    cut:*) truncate -s "$at" "$H/sync_base.bin" ;;
    # The byte's bits turned over: a set value could be the one already there.
    *) byte=$(od -An -tu1 -j "$at" -N1 "$H/sync_base.bin")
       printf "\\x$(printf %02x $((byte ^ 0xFF)))" |
         dd of="$H/sync_base.bin" bs=1 seek="$at" conv=notrunc status=none ;;
  esac
  hs sync > "$T/damaged.txt"
  check "a base damaged ($damage) is no knowledge" bash -c "! grep -q conflict '$T/damaged.txt'"
done

conflicting hugebase
truncate -s 20G "$H/sync_base.bin"
check "a base far larger than it says is no knowledge, and no HotSync is refused" hs sync

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
