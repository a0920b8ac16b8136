#!/usr/bin/env bash
# Whole HotSyncs: hotsync run as a process on scratch folders, as a user runs it.
#   usage: hotsync_e2e_test.sh PATH/TO/hotsync
set -u
HS=$1
source "$(dirname "$0")/shell_check.sh"

source "$(dirname "$0")/hotsync_data_sets.sh"
sync_() { "$HS" "$@" --handheld "$H" --desktop "$D"; }

fresh first
xml 1000 100:1:1:one 200:2:1:two > "$D/elements.xml"
check "first HotSync copies the desktop to an empty handheld" bash -c "$(declare -f sync_); HS='$HS' H='$H' D='$D'; sync_ sync | grep -qx '1-0'"
check "the handheld holds the desktop's elements" bash -c "[ \"\$('$HS' show '$H/QVelements.pdb' | grep -c '^element ')\" = 2 ]"
check "the start time of the HotSync is kept as the last sync" grep -Eq '^last_sync=[1-9][0-9]{9}$' "$H/user.conf"
check "HotSync.log keeps the run with time stamps" grep -Eq '^[0-9-]{10} [0-9:]{8} HotSync started \(sync type 0\)$' "$H/HotSync.log"

fresh reverse
xml 1000 300:1:1:three > "$T/reverse/h.xml"
"$HS" convert "$T/reverse/h.xml" "$H/QVelements.pdb"
check "an empty desktop takes the handheld's data set" bash -c "'$HS' sync --handheld '$H' --desktop '$D' | grep -qx '0-1' && [ \"\$('$HS' show '$D/elements.xml' | grep -c '^element ')\" = 1 ]"

fresh merge
# Last sync at 5000: ids up to 5000 existed then.
xml 1000 10:1:3:both-pc-wins 20:2:1:both-hh-wins 30:3:2:same 4000:4:1:pc-old 6000:5:1:pc-new > "$D/elements.xml"
xml 1000 10:1:1:both-pc-loses 20:2:5:both-hh-changed 30:3:2:same 4500:6:1:hh-old 7000:7:1:hh-new > "$T/merge/h.xml"
"$HS" convert "$T/merge/h.xml" "$H/QVelements.pdb"
check "a two-way HotSync merges both sides" bash -c "'$HS' sync --handheld '$H' --desktop '$D' --last-sync 5000 | grep -qx '1-1'"
check "new elements reach both sides, deleted ones leave both" bash -c "[ \"\$('$HS' show '$D/elements.xml' | awk '/^element /{print \$2}' | sort -n | xargs)\" = '10 20 30 6000 7000' ] && [ \"\$('$HS' show '$H/QVelements.pdb' | awk '/^element /{print \$2}' | sort -n | xargs)\" = '10 20 30 6000 7000' ]"
check "the element with more reviews wins on both sides" bash -c "for f in '$D/elements.xml' '$H/QVelements.pdb'; do '$HS' show \"\$f\" | grep -q 'Q: both-pc-wins' && '$HS' show \"\$f\" | grep -q 'Q: both-hh-changed' || exit 1; done"
check "a second HotSync changes nothing" bash -c "cp '$D/elements.xml' '$T/merge/keep.xml' && '$HS' sync --handheld '$H' --desktop '$D' >/dev/null && cmp '$D/elements.xml' '$T/merge/keep.xml'"

fresh older
xml 2000 1:1:1:desk-newer-start > "$D/elements.xml"
xml 1000 2:1:1:hh-older-start > "$T/older/h.xml"
"$HS" convert "$T/older/h.xml" "$H/QVelements.pdb"
check "the data set that started earlier wins whole" bash -c "'$HS' sync --handheld '$H' --desktop '$D' --last-sync 0 >/dev/null && '$HS' show '$D/elements.xml' | grep -q 'hh-older-start' && ! '$HS' show '$D/elements.xml' | grep -q desk-newer-start"

fresh types
xml 1000 1:1:1:desk > "$D/elements.xml"
cp "$D/elements.xml" "$T/types/keep.xml"
for type in 4 6 7 4294967295; do
  check "sync type $type does nothing" bash -c "'$HS' run --sync-type $type --handheld '$H' --desktop '$D' && cmp '$D/elements.xml' '$T/types/keep.xml' && [ ! -e '$H/QVelements.pdb' ]"
done
check "sync type 1 is a two-way HotSync" bash -c "'$HS' run --sync-type 1 --handheld '$H' --desktop '$D' | grep -qx '1-0'"
check "handheld-to-desktop is sync type 2" bash -c "'$HS' handheld-to-desktop --handheld '$H' --desktop '$D' && '$HS' show '$D/elements.xml' > '$T/types/a' && '$HS' show '$T/types/keep.xml' > '$T/types/b' && cmp '$T/types/a' '$T/types/b' && ! cmp -s '$D/elements.xml' '$T/types/keep.xml'"

fresh refused
xml 1000 1:1:1:desk > "$D/elements.xml"
status=$(HOTSYNC_FAULTS=register_conduit:1:-1 "$HS" sync --handheld "$H" --desktop "$D" 2>"$T/refused.err" >/dev/null; echo $?)
check "a refused registration exits 1, says so and writes nothing" bash -c "[ $status = 1 ] && grep -q 'refused the conduit.s registration.*nothing was lost' '$T/refused.err' && [ ! -e '$H/QVelements.pdb' ] && ! grep -q last_sync=[1-9] '$H/user.conf' 2>/dev/null"

fresh damaged-xml
xml 1000 1:1:1:desk | head -c 200 > "$D/elements.xml"
xml 1000 2:1:1:hand > "$T/damaged-xml/h.xml"
"$HS" convert "$T/damaged-xml/h.xml" "$H/QVelements.pdb"
cp "$D/elements.xml" "$T/damaged-xml/keep.xml"
check "a damaged elements.xml is not overwritten and the log says why" bash -c "'$HS' sync --handheld '$H' --desktop '$D' | grep -q 'nothing was synchronised' && cmp '$D/elements.xml' '$T/damaged-xml/keep.xml'"

fresh damaged-pdb
xml 1000 1:1:1:desk > "$D/elements.xml"
printf 'garbage' > "$H/QVelements.pdb"
check "a damaged QVelements.pdb is not overwritten" bash -c "'$HS' sync --handheld '$H' --desktop '$D' | grep -q 'QVelements cannot be opened' && [ \"\$(cat '$H/QVelements.pdb')\" = garbage ]"

fresh plugin
check "a conduit that cannot be loaded exits 2" bash -c "'$HS' sync --handheld '$H' --desktop '$D' --conduit '$T/none.so'; [ \$? = 2 ]"
check "defaults live under the user's data folder" bash -c "'$HS' sync >/dev/null && [ -d '$XDG_DATA_HOME/quorvia-hotsync/handheld' ] && grep -q pathtodatadir '$XDG_CONFIG_HOME/quorvia-hotsync/registry.reg'"
check "a registry without the value is reported" bash -c "printf 'REGEDIT4\r\n' > '$T/empty.reg' && '$HS' sync --handheld '$H' --registry '$T/empty.reg' | grep -q 'is not set'"
# The host reads the value as the conduit does: one that a NUL cuts short
# but that is too long as a whole is too long for both.
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quorvia\\SETTINGS]\r\n"pathtodatadir"="%s\0%600s"\r\n' "$D" "" > "$T/nul.reg"
check "a value too long past its NUL: the dry run foresees the HotSync not completed" bash -c "'$HS' sync --dry-run --handheld '$H' --registry '$T/nul.reg' > /dev/null 2>&1; [ \$? = 2 ]"
check "--desktop with a line break is refused plainly" bash -c "'$HS' sync --handheld '$H' --desktop '$T/a
b' 2> '$T/nl.err'; [ \$? = 2 ] && grep -q 'line break' '$T/nl.err'"

fresh lock
xml 1000 1:1:1:desk > "$D/elements.xml"
check "a HotSync waits, then refuses while another holds the handheld folder" bash -c "rm -f '$T/held'; flock '$H/.hotsync.lock' sh -c 'touch $T/held; sleep 5' & until [ -e '$T/held' ]; do sleep 0.05; done; '$HS' sync --handheld '$H' --desktop '$D' 2>'$T/lock.err'; st=\$?; wait; [ \$st = 2 ] && grep -q 'another HotSync is running on $H' '$T/lock.err'"
check "and while another holds the desktop folder" bash -c "rm -f '$T/held'; flock '$D/.hotsync.lock' sh -c 'touch $T/held; sleep 5' & until [ -e '$T/held' ]; do sleep 0.05; done; '$HS' sync --handheld '$H' --desktop '$D' 2>'$T/lock.err'; st=\$?; wait; [ \$st = 2 ] && grep -q 'another HotSync is running on $D' '$T/lock.err'"
check "a lock let go within the wait is taken" bash -c "rm -f '$T/held'; flock '$H/.hotsync.lock' sh -c 'touch $T/held; sleep 1' & until [ -e '$T/held' ]; do sleep 0.05; done; '$HS' sync --handheld '$H' --desktop '$D' >/dev/null; st=\$?; wait; [ \$st = 0 ]"

echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
