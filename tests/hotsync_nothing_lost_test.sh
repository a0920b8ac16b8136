#!/usr/bin/env bash
# No HotSync loses an element: what hotsync records, refuses and says when a
# HotSync is not carried through, through the process on scratch folders.
#   usage: hotsync_nothing_lost_test.sh PATH/TO/hotsync PROJECT_DIR
set -u
HS=$1
SRC=$2
source "$(dirname "$0")/shell_check.sh"
# Temporary folders hotsync makes land here, to be counted.
export TMPDIR=$T/tmp
mkdir -p "$TMPDIR"

source "$(dirname "$0")/hotsync_data_sets.sh"
# pair NAME: both sides hold 10 and 20; the desktop also 6000, the handheld
# 7000, both new since the last HotSync at 5000.
pair() {
  fresh "$1"
  xml 1000 10:1:1:ten 20:1:1:twenty 6000:1:1:desk-new > "$D/elements.xml"
  xml 1000 10:1:1:ten 20:1:1:twenty 7000:1:1:hh-new > "$T/$1/h.xml"
  "$HS" convert "$T/$1/h.xml" "$H/QVelements.pdb"
  printf 'last_sync=5000\n' > "$H/user.conf"
}
hs() { "$HS" "$@" --handheld "$H" --desktop "$D"; }
# ids FILE: the element ids of a data set, in order, on one line.
ids() { "$HS" show "$1" | awk '/^element /{print $2}' | sort -n | xargs; }
export HS
export -f ids
not_completed='hotsync: the HotSync was not completed (see the log above); nothing was lost, and the next HotSync will merge both sides again.'

pair nothing
xml 1000 10:1:1:ten 20:1:1:twenty 6000:1:1:desk-new 6500:1:1:added-before > "$D/elements.xml"
hs configure --action nothing > /dev/null
cp "$H/user.conf" "$T/nothing/user.conf"
hs run > /dev/null
check "a Do nothing HotSync does not count as the last HotSync" cmp "$H/user.conf" "$T/nothing/user.conf"
hs sync > /dev/null
check "an element added before a Do nothing HotSync survives the next two-way one" bash -c "[ \"\$(ids '$D/elements.xml')\" = '10 20 6000 6500 7000' ] && [ \"\$(ids '$H/QVelements.pdb')\" = '10 20 6000 6500 7000' ]"

pair damaged
cp "$H/QVelements.pdb" "$T/damaged/good.pdb"
head -c -5 "$T/damaged/good.pdb" > "$H/QVelements.pdb"
cp "$D/elements.xml" "$T/damaged/desk.xml"
hs configure --action sync > /dev/null
hs run > /dev/null 2> "$T/damaged/err"; status=$?
check "a damaged QVelements.pdb: exit 1, said in one sentence, nothing recorded or written" bash -c "[ $status = 1 ] && grep -qxF '$not_completed' '$T/damaged/err' && grep -qx 'last_sync=5000' '$H/user.conf' && cmp '$D/elements.xml' '$T/damaged/desk.xml'"
check "the one-time action stays for the HotSync after one not completed" grep -qx 'next_action=0' "$H/hotsync.conf"
cp "$T/damaged/good.pdb" "$H/QVelements.pdb"
xml 1000 10:1:1:ten 20:1:1:twenty 6000:1:1:desk-new 8000:1:1:added-between > "$D/elements.xml"
hs sync > /dev/null
check "with the handheld repaired, the next HotSync loses nothing" bash -c "[ \"\$(ids '$D/elements.xml')\" = '10 20 6000 7000 8000' ] && [ \"\$(ids '$H/QVelements.pdb')\" = '10 20 6000 7000 8000' ]"

# The sample data, synchronised once without a fault for comparison.
fresh write
mkdir -p "$T/write/clean-desk" "$T/write/clean-hh"
for d in "$D" "$T/write/clean-desk"; do cp "$SRC/examples/elements.xml" "$d/"; done
for h in "$H" "$T/write/clean-hh"; do cp "$SRC/examples/handheld/"* "$h/"; done
"$HS" sync --handheld "$T/write/clean-hh" --desktop "$T/write/clean-desk" > /dev/null
cp "$H/QVelements.pdb" "$T/write/hh.pdb"; cp "$H/user.conf" "$T/write/user.conf"
mkdir "$D/elements.tmp"
hs sync > /dev/null 2>&1; status=$?
check "a desktop write that fails: exit 1, the handheld and user.conf byte-identical" bash -c "[ $status = 1 ] && cmp '$H/QVelements.pdb' '$T/write/hh.pdb' && cmp '$H/user.conf' '$T/write/user.conf'"
rmdir "$D/elements.tmp"
hs sync > /dev/null
check "the next HotSync leaves both sides as one without the failure does" bash -c "'$HS' show '$D/elements.xml' > '$T/write/a' && '$HS' show '$T/write/clean-desk/elements.xml' > '$T/write/b' && cmp '$T/write/a' '$T/write/b' && '$HS' show '$H/QVelements.pdb' > '$T/write/a' && '$HS' show '$T/write/clean-hh/QVelements.pdb' > '$T/write/b' && cmp '$T/write/a' '$T/write/b' && [ \"\$(ids '$D/elements.xml' | wc -w)\" = 37 ]"

# A last sync time later than the conduit's own record: the conduit trusts
# its record, and so must the dry run's copy, or it would predict a deletion.
pair dry
hs sync > /dev/null
new=$(( $(date +%s) + 1000 ))
xml 1000 10:1:1:ten 20:1:1:twenty 6000:1:1:desk-new 7000:1:1:hh-new $new:1:1:after > "$D/elements.xml"
hs sync --dry-run --last-sync $((new + 1000)) > "$T/dry/out"
grep -E '^(desktop|handheld) ' "$T/dry/out" > "$T/dry/predicted"
hs sync --last-sync $((new + 1000)) | grep -E '^(desktop|handheld) ' > "$T/dry/happened"
check "a dry run predicts the HotSync, by the conduit's record of its last complete one" bash -c "cmp '$T/dry/predicted' '$T/dry/happened' && grep -q '^handheld  1 added' '$T/dry/happened'"
check "a dry run's log names the user's elements.xml, not its copy" grep -qxF "$D/elements.xml" "$T/dry/out"

# A data directory a HotSync cannot use: the dry run reaches the HotSync's
# verdict. Not set or too long, the conduit says so (exit 1, a dry run 2); no
# existing folder, hotsync refuses it (2).
pair datadir
for reg in "unset|" "long|$(printf 'x%.0s' {1..600})" "missing|$T/datadir/none"; do
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quorvia\\SETTINGS]\n"pathtodatadir"="%s"\n' "${reg#*|}" > "$T/datadir/${reg%%|*}.reg"
done
for case in "not set|--registry $T/datadir/unset.reg|1" "too long|--registry $T/datadir/long.reg|1" \
            "named by the registry, missing|--registry $T/datadir/missing.reg|2" \
            "given, missing|--desktop $T/datadir/none|2" "given, a file|--desktop $D/elements.xml|2"; do
  IFS='|' read -r what args status <<<"$case"
  check "a data directory $what: exit $status, a dry run 2" bash -c "'$HS' sync --dry-run --handheld '$H' $args > /dev/null 2>&1; [ \$? = 2 ] || exit 1; '$HS' sync --handheld '$H' $args > /dev/null 2> '$T/datadir/err'; [ \$? = $status ] && { [ $status = 1 ] || grep -q '^hotsync: the data directory .* \\(does not exist\\|is not a folder\\)' '$T/datadir/err'; }"
done
check "the default data directory, removed, is made again" bash -c "'$HS' sync --handheld '$H' > /dev/null && rm -r '$XDG_DATA_HOME/quorvia-hotsync/desktop' && '$HS' sync --handheld '$H' > /dev/null && [ -s '$XDG_DATA_HOME/quorvia-hotsync/desktop/elements.xml' ]"

# refused WHAT PATTERN [COMMAND]: a sync (or COMMAND) of the pair exits 2 with
# PATTERN on standard error, in time, without a backup.
refused() {
  check "$1 is refused before anything is read" bash -c "timeout 20 '$HS' ${3:-sync} --handheld '$H' --desktop '$D' > /dev/null 2> '$T/refused.err'; [ \$? = 2 ] && grep -q '$2' '$T/refused.err' && [ -z \"\$(ls -A '$H/backups/' 2> /dev/null)\" ]"
}
pair fifo; rm "$D/elements.xml"; mkfifo "$D/elements.xml"
refused "a FIFO as elements.xml" 'elements.xml is a FIFO, not a regular file'
pair folder; rm "$H/QVelements.pdb"; mkdir "$H/QVelements.pdb"
refused "a folder as QVelements.pdb" 'QVelements.pdb is a folder, not a regular file'
pair log-link; ln -s "$T/log-link/elsewhere" "$H/HotSync.log"
refused "a symbolic link as HotSync.log" 'HotSync.log is a symbolic link, not a regular file'
pair backups-link; mkdir "$T/backups-link/outside"; ln -s "$T/backups-link/outside" "$H/backups"
refused "a symbolic link as the backups folder" 'backups is a symbolic link, not a folder'
pair next-action; printf 'next_action=99\n' > "$H/hotsync.conf"
refused "an unknown next_action" 'next_action is not a sync type' run
pair linked; mv "$D/elements.xml" "$T/linked/real.xml"; ln -s "$T/linked/real.xml" "$D/elements.xml"
check "a symbolic link to a regular elements.xml is read" bash -c "'$HS' sync --handheld '$H' --desktop '$D' > /dev/null && [ \"\$(ids '$H/QVelements.pdb')\" = '10 20 6000 7000' ]"

# A folder that cannot be used: a message, exit 2, no temporary folder left,
# for a HotSync and for a dry run.
pair unusable
ln -s loop "$T/loop"
long=$T/$(printf 'x%.0s' {1..300})
for case in "a symbolic link loop as the handheld folder|--handheld $T/loop --desktop $D" \
            "a symbolic link loop as the data directory|--handheld $H --desktop $T/loop" \
            "an over-long handheld folder name|--handheld $long --desktop $D" \
            "an over-long data directory name|--handheld $H --desktop $long/desk"; do
  IFS='|' read -r what args <<<"$case"
  check "$what: a message and exit 2" bash -c "for dry in '' --dry-run; do '$HS' sync $args \$dry > /dev/null 2> '$T/unusable.err'; [ \$? = 2 ] && grep -q '^hotsync: ' '$T/unusable.err' && [ -z \"\$(ls -A '$TMPDIR')\" ] || exit 1; done"
done

check "backups of a symbolic link loop: the error, exit 2" bash -c "'$HS' backups --handheld '$T/loop' 2> '$T/loop.err'; [ \$? = 2 ] && grep -q 'Too many levels of symbolic links' '$T/loop.err'"

# An empty value is no default, and a bad number gets a short message.
for args in "--handheld ''" "--desktop ''" "--registry ''" "--conduit ''" "--last-sync ''" "--keep -1"; do
  check "sync $args: a usage error in one short line" bash -c "'$HS' sync $args 2> '$T/usage.err'; [ \$? = 2 ] && head -1 '$T/usage.err' | grep -Eqx -- '--[a-z-]+: .{1,60}'"
done

# convert replaces only a file, and one that fails leaves no temporary.
mkdir -p "$T/convert/folder" && mkfifo "$T/convert/fifo"
cp "$SRC/examples/elements.xml" "$T/convert.xml"
for case in "a FIFO|fifo|1" "a folder|folder|1" "an empty name||2"; do
  IFS='|' read -r what dest status <<<"$case"
  check "convert to $what: exit $status, nothing replaced or left" bash -c "cd '$T/convert' && '$HS' convert '$T/convert.xml' '$dest' 2> /dev/null; [ \$? = $status ] && [ -p fifo ] && [ \"\$(ls -A | xargs)\" = 'fifo folder' ]"
done

pair same
check "one folder for both sides is locked once" timeout 20 "$HS" sync --handheld "$H" --desktop "$H"

pair record; mkdir "$H/user.conf.tmp"
hs sync > "$T/record/out" 2> "$T/record/err"; status=$?
check "a HotSync whose time cannot be kept: its report, exit 1, said; user.conf as it was" bash -c "[ $status = 1 ] && grep -q '^Changes:' '$T/record/out' && grep -q '^hotsync: the HotSync was done, but its time could not be kept' '$T/record/err' && grep -qx 'last_sync=5000' '$H/user.conf'"

# An interrupted dry run leaves no copy of the user's data behind.
fresh signal
{ printf '<quorvia core_version="10" time_of_start="1000">\r\n<category name="c" bgcolor="4294967295"/>\r\n'
  awk 'BEGIN { for (i = 0; i < 50000; i++) printf "<item id=\"%d\" tm_t_rpt=\"1\" stm_t_rpt=\"1\" ctgr=\"c\" l_ivl=\"1\" rl_l_ivl=\"1\" ivl=\"1\" rp=\"1\" gr=\"3\">\r\n<Q>question %d</Q>\r\n<A>answer</A>\r\n</item>\r\n", 1000 + i, i }'
  printf '</quorvia>'; } > "$D/elements.xml"
"$HS" sync --dry-run --handheld "$H" --desktop "$D" > /dev/null 2>&1 & pid=$!
until compgen -G "$TMPDIR/hotsync-dry-run-*/desktop/.hotsync.lock" > /dev/null || ! kill -0 $pid 2> /dev/null; do sleep 0.01; done
kill -TERM $pid; wait $pid; status=$?
check "a dry run ended by SIGTERM leaves no private folder" bash -c "[ $status = 143 ] && [ -z \"\$(ls -A '$TMPDIR')\" ]"
# Out of room, the desktop writer leaves its temporary on purpose; a convert
# does not (root mounts a small file system for it).
if [ "$(id -u)" = 0 ] && mkdir "$T/full" && mount -t tmpfs -o size=64k qvconvert "$T/full" 2> /dev/null; then
  check "a convert that runs out of room leaves no temporary" bash -c "! '$HS' convert '$D/elements.xml' '$T/full/out.xml' 2> /dev/null && [ -z \"\$(ls -A '$T/full')\" ]"
  umount "$T/full"
fi

fresh json
xml 1000 "10:1:1:bad $(printf '\377') byte" "20:1:1:der Schlüssel" > "$D/elements.xml"
hs sync --json --verbose > "$T/json/out.json" 2> /dev/null
check "--json keeps UTF-8 and escapes the bytes of anything else" bash -c "grep -q 'bad \\\\u00ff byte' '$T/json/out.json' && grep -q 'der Schlüssel' '$T/json/out.json'"
if command -v python3 > /dev/null; then
  check "--json with a text that is not UTF-8 is valid JSON" python3 -c 'import json, sys; json.load(open(sys.argv[1], encoding="utf-8"))' "$T/json/out.json"
fi

check "--version exits 0" bash -c "'$HS' --version | grep -q '^hotsync '"

# A backup keeps the sides under second names while the HotSync replaces
# them; once it is over, however it went, no side shares its file with the
# backup, which holds each side as it was before; without the report too.
for how in sync desktop-to-handheld handheld-to-desktop failing sync-no-report failing-no-report; do
  pair "unshared-$how"
  cp "$D/elements.xml" "$H/QVelements.pdb" "$T/unshared-$how/"
  report=
  case $how in *-no-report) report=--no-report ;; esac
  case $how in
    failing*) HOTSYNC_FAULTS=read_record:1:5 hs sync $report > /dev/null 2>&1 ;;
    *) hs "${how%-no-report}" $report > /dev/null ;;
  esac
  backup=$(ls -d "$H"/backups/*)
  check "$how: the backup shares no file with a side and holds both as they were" bash -c \
    "[ \$(stat -c %h '$D/elements.xml') = 1 ] && [ \$(stat -c %h '$H/QVelements.pdb') = 1 ] && cmp -s '$backup/elements.xml' '$T/unshared-$how/elements.xml' && cmp -s '$backup/QVelements.pdb' '$T/unshared-$how/QVelements.pdb'"
  check "$how: and the backup restores" hs restore "$(basename "$backup")"
done

# A backup left sharing the sides' files (a HotSync killed once the backup was
# complete, before it replaced them) shares them no longer after the next
# HotSync, even one that never starts; nor does a HotSync that fails cost the
# backups made before.
pair left-shared
hs sync --keep 1 > /dev/null
old=$(ls "$H/backups")
ln -f "$D/elements.xml" "$H/backups/$old/elements.xml"
ln -f "$H/QVelements.pdb" "$H/backups/$old/QVelements.pdb"
hs sync --keep 1 --conduit "$T/no-such-conduit.so" > /dev/null 2>&1
check "a HotSync that cannot start keeps the backups, none of them sharing a side's file" bash -c \
  "'$HS' backups --handheld '$H' | grep -q '^$old ' && [ \$(stat -c %h '$D/elements.xml') = 1 ] && [ \$(stat -c %h '$H/QVelements.pdb') = 1 ]"
HOTSYNC_FAULTS=read_record:1:5 hs sync --keep 1 > /dev/null 2>&1
check "a HotSync that fails keeps the backups made before it" bash -c "'$HS' backups --handheld '$H' | grep -q '^$old '"

# A program that kept a side open writes into the backup once the HotSync
# replaced the side: restore refuses what the backup no longer holds.
pair written-into
hs sync > /dev/null
id=$(ls "$H/backups")
printf 'written in place' 1<> "$H/backups/$id/elements.xml"
cp "$D/elements.xml" "$T/written-into/now.xml"
check "restore refuses a backup written into since, and puts nothing back; the list says so" bash -c \
  "! '$HS' restore '$id' --handheld '$H' --desktop '$D' 2> '$T/written-into/err' && grep -q 'was written into since it was made' '$T/written-into/err' && cmp -s '$D/elements.xml' '$T/written-into/now.xml' && '$HS' backups --handheld '$H' | grep -q '^$id .*; written into since: desktop\$'"
# A side the backup kept and lost since is not put back as one it never had.
pair kept-side-gone
hs sync > /dev/null
id=$(ls "$H/backups")
rm "$H/backups/$id/elements.xml"
check "restore refuses a backup whose side is gone, and the list says so" bash -c \
  "! '$HS' restore '$id' --handheld '$H' --desktop '$D' 2> /dev/null && [ -f '$D/elements.xml' ] && '$HS' backups --handheld '$H' | grep -q '^$id .*; gone since: desktop\$'"
# One letter of a question, as many elements as before.
pair written-into-text
hs sync > /dev/null
id=$(ls "$H/backups")
at=$(grep -abo '<Q>' "$H/backups/$id/elements.xml" | head -1 | cut -d: -f1)
printf 'Z' | dd of="$H/backups/$id/elements.xml" bs=1 seek=$((at + 3)) conv=notrunc status=none
check "restore refuses a backup whose text was written into since" bash -c \
  "! '$HS' restore '$id' --handheld '$H' --desktop '$D' 2> /dev/null"

pair backups
mkdir -p "$H/backups/20000101-000000" "$H/backups/20991231-000000" "$H/backups/20991231-000001"
cp "$D/elements.xml" "$H/backups/20000101-000000/"  # interrupted: no backup.conf
touch -d 2000-01-01 "$H/backups/20000101-000000"
# Made with a clock set ahead, so that the next backup looks the oldest.
for id in 20991231-000000 20991231-000001; do
  printf 'time=4102358400\nreason=a clock set ahead\n' > "$H/backups/$id/backup.conf"
done
check "an interrupted backup is listed as incomplete" bash -c "'$HS' backups --handheld '$H' | grep -Eq '^20000101-000000 .*incomplete'"
check "an interrupted backup is not restored" bash -c "! '$HS' restore 20000101-000000 --handheld '$H' --desktop '$D' 2> '$T/restore.err' && grep -q incomplete '$T/restore.err' && [ \"\$(ids '$D/elements.xml')\" = '10 20 6000' ]"
hs sync --keep 2 > /dev/null
check "the backup made before a HotSync is kept, whatever the clock; the oldest others go" bash -c "[ \"\$(ls '$H/backups' | grep -v ^2099 | wc -l)\" = 1 ] && grep -q 'reason=before a HotSync' \"\$(ls -d '$H'/backups/* | grep -v /2099)/backup.conf\" && [ -e '$H/backups/20991231-000001' ] && [ \$(ls '$H/backups' | wc -l) = 2 ]"

# A restore puts back sides that were last the same at the backup's last
# HotSync: the next HotSync must not take what was new then for deleted. A
# backup that does not say when restores to "never".
# One whose handheld side fails half-way keeps the backup asked for.
for side in both desktop handheld undated failed; do
  pair "restore-$side"
  hs sync > /dev/null
  backup=$(ls "$H/backups" | head -1)
  [ $side = undated ] && sed -i '/^last_sync=/d' "$H/backups/$backup/backup.conf"
  [ $side = failed ] && mkdir -p "$H/QVelements.pdb.tmp/in-the-way"
  case $side in undated | failed) which=both ;; *) which=$side ;; esac
  hs restore "$backup" --keep 1 --side "$which" > /dev/null 2> "$T/restore.err"
  if [ $side = failed ]; then
    check "a restore that fails half-way keeps its backup" bash -c "grep -q 'backup $backup is kept' '$T/restore.err' && '$HS' backups --handheld '$H' | grep -q '^$backup '"
    rm -r "$H/QVelements.pdb.tmp"
  fi
  hs sync > /dev/null
  check "a restore ($side), then a HotSync: nothing restored is deleted" bash -c "[ \"\$(ids '$D/elements.xml')\" = '10 20 6000 7000' ] && [ \"\$(ids '$H/QVelements.pdb')\" = '10 20 6000 7000' ]"
done

pair inside-backups
hs sync > /dev/null
backup=$(ls "$H/backups" | head -1)
for command in "sync" "sync --dry-run" "restore $backup --side handheld"; do
  check "a data directory among the backups is refused, not pruned ($command)" bash -c "'$HS' $command --keep 1 --handheld '$H' --desktop '$H/backups/$backup' > /dev/null 2>&1; [ \$? != 0 ] && [ -d '$H/backups/$backup' ]"
done

# A reader that cannot take the output is told by the exit status.
if [ -c /dev/full ]; then
  check "output that cannot be written fails the command" bash -c "! '$HS' backups --handheld '$H' > /dev/full 2> /dev/null"
fi

echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
