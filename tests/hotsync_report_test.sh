#!/usr/bin/env bash
# What hotsync adds around a HotSync, through the process: the change report
# (text, --verbose, --json, HotSync.log), --dry-run, backups and restore.
#   usage: hotsync_report_test.sh PATH/TO/hotsync
set -u
HS=$1
source "$(dirname "$0")/shell_check.sh"

# xml START ITEM...: an elements.xml; ITEM is ID:TM_T_RPT:RP:CATEGORY:QUESTION.
xml() {
  local start=$1; shift
  { printf '<quorvia core_version="10" time_of_start="%s">\n\n<category name="c" bgcolor="4294967295"/>\n<category name="d" bgcolor="4294967295"/>\n\n\n' "$start"
    for it in "$@"; do
      IFS=: read -r id t rp c q <<<"$it"
      printf '<item id="%s" tm_t_rpt="%s" stm_t_rpt="%s" ctgr="%s" l_ivl="1" rl_l_ivl="1" ivl="1" rp="%s" gr="3">\n<Q>%s</Q>\n<A>a</A>\n</item>\n\n' "$id" "$t" "$t" "$c" "$rp" "$q"
    done
    printf '</quorvia>'; } | sed 's/$/\r/' | head -c -1
}
# setup NAME: desktop and handheld of known differences, last HotSync at 5000.
#   desktop gains 7000 (new on the handheld) and loses 4000 (deleted there);
#   10 takes the handheld's texts and schedule, 20 its schedule and category;
#   the handheld gains 6000, loses 4200, and 30 takes the desktop's schedule.
setup() {
  D=$T/$1/desk H=$T/$1/hh
  mkdir -p "$D" "$H"
  xml 1000 10:1:1:c:pc-ten 20:2:1:c:twenty 30:3:4:c:thirty 4000:4:1:c:pc-old 4500:5:1:c:both-old 6000:6:1:c:pc-new > "$D/elements.xml"
  xml 1000 10:9:3:c:hh-ten 20:2:2:d:twenty 30:7:1:c:thirty 4200:5:1:c:hh-old 4500:5:1:c:both-old 7000:8:1:c:hh-new > "$T/$1/h.xml"
  "$HS" convert "$T/$1/h.xml" "$H/QVelements.pdb"
  printf 'last_sync=5000\n' > "$H/user.conf"
}
hs() { "$HS" "$@" --handheld "$H" --desktop "$D"; }
# sums NAME: every file of both folders with its checksum.
sums() { (cd "$T/$1" && find . -type f | sort | xargs md5sum); }

setup report
hs sync > "$T/report.txt"
check "the desktop's changes are counted by kind" grep -qx 'desktop   1 added, 2 updated (texts 1, schedule 2, category 1), 1 deleted; 6 -> 6 elements' "$T/report.txt"
check "the handheld's changes are counted by kind" grep -qx 'handheld  1 added, 1 updated (texts 0, schedule 1, category 0), 1 deleted; 6 -> 6 elements' "$T/report.txt"
check "the report goes into HotSync.log" grep -q '^desktop   1 added, 2 updated' "$H/HotSync.log"
check "the conduit's log is shown under its own heading" bash -c "sed -n '/^HotSync log:\$/,/^Changes:\$/p' '$T/report.txt' | grep -qx '1-1'"

setup verbose
hs sync --verbose > "$T/verbose.txt"
check "--verbose lists each element with its question" grep -Eq '^ +7000  added +hh-new$' "$T/verbose.txt"
check "--verbose says what changed in an element" grep -Eq '^ +10  updated: texts, schedule +hh-ten$' "$T/verbose.txt"
check "--verbose lists deletions" grep -Eq '^ +4000  deleted +pc-old$' "$T/verbose.txt"

setup json
hs sync --json --verbose > "$T/report.json" 2> "$T/log.txt"
check "--json prints only JSON on standard output" bash -c "head -c 1 '$T/report.json' | grep -q '{' && [ \$(wc -l < '$T/report.json') = 1 ]"
check "--json carries the counts" grep -q '"side": "desktop", "path": "[^"]*", "elements_before": 6, "elements_after": 6, "added": 1, "updated": 2, "updated_texts": 1, "updated_schedule": 2, "updated_category": 1, "deleted": 1' "$T/report.json"
check "--json lists elements with --verbose" grep -q '{"id": 7000, "change": "added", "question": "hh-new"}' "$T/report.json"
check "--json sends the HotSync log to standard error" grep -qx '1-1' "$T/log.txt"

setup whole
"$HS" desktop-to-handheld --handheld "$H" --desktop "$D" > "$T/whole.txt"
check "a one-way copy reports the side replaced as a whole" grep -q '^handheld .*replaced as a whole (one-way copy from the desktop)' "$T/whole.txt"

# Texts elements.xml cannot hold: "</A>" in a question, "</Q>" in an answer.
setup hold
printf '<quorvia core_version="10" time_of_start="1000">\r\n\r\n<category name="c" bgcolor="4294967295"/>\r\n\r\n\r\n<item id="7500" tm_t_rpt="1" stm_t_rpt="1" ctgr="c" l_ivl="1" rl_l_ivl="1" ivl="1" rp="1" gr="3">\r\n<Q>p </A> q</Q>\r\n<A>x </Q> y</A>\r\n</item>\r\n\r\n</quorvia>' > "$T/hold/h.xml"
"$HS" convert "$T/hold/h.xml" "$H/QVelements.pdb"
hs sync --dry-run --json > "$T/hold.json" 2> /dev/null
hs sync > "$T/hold.txt"
check "texts that elements.xml cannot hold are counted in the report" grep -qx 'desktop   2 texts were written that elements.xml cannot hold: they read back changed (see HotSync.log)' "$T/hold.txt"
check "and in --json" grep -q '"side": "desktop", .*"texts_elements_xml_cannot_hold": 2' "$T/hold.json"

setup dry
before=$(sums dry)
hs sync --dry-run > "$T/dry.txt"; status=$?
check "a dry run says that something would change" test "$status" = 1
check "a dry run reports what would change" grep -qx 'desktop   1 added, 2 updated (texts 1, schedule 2, category 1), 1 deleted; 6 -> 6 elements' "$T/dry.txt"
check "a dry run leaves every file byte-identical" test "$before" = "$(sums dry)"
check "a dry run makes no backup" test ! -e "$H/backups"
hs sync > /dev/null
hs sync --dry-run > /dev/null; status=$?
check "a dry run after a HotSync finds nothing to change" test "$status" = 0

setup backup
cp "$D/elements.xml" "$T/backup/desk-before.xml"; cp "$H/QVelements.pdb" "$T/backup/hh-before.pdb"
hs sync > /dev/null
id=$(ls "$H/backups")
check "a HotSync keeps a backup of both sides first" bash -c "cmp '$H/backups/$id/elements.xml' '$T/backup/desk-before.xml' && cmp '$H/backups/$id/QVelements.pdb' '$T/backup/hh-before.pdb'"
check "hotsync backups lists it with its element counts" bash -c "'$HS' backups --handheld '$H' | grep -Eq '^$id +[0-9-]+ [0-9:]+ +6 +6  before a HotSync'"
hs restore "$id" > /dev/null
check "restore brings back the exact bytes of both sides" bash -c "cmp '$D/elements.xml' '$T/backup/desk-before.xml' && cmp '$H/QVelements.pdb' '$T/backup/hh-before.pdb'"
check "restore backs up the sides it replaces" test "$(ls "$H/backups" | wc -l)" = 2
hs sync > /dev/null
cp "$H/QVelements.pdb" "$T/backup/hh-after.pdb"
hs restore "$id" --side desktop > /dev/null
check "restore --side desktop leaves the handheld alone" bash -c "cmp '$D/elements.xml' '$T/backup/desk-before.xml' && cmp '$H/QVelements.pdb' '$T/backup/hh-after.pdb'"
# Backups keep sides under second names; none may still be a live side then.
kept() { cat "$H"/backups/*/elements.xml "$H"/backups/*/QVelements.pdb | md5sum; }
sums=$(kept); cp "$D/elements.xml" "$H/QVelements.pdb" "$T/backup/"
printf x >> "$D/elements.xml"; printf x >> "$H/QVelements.pdb"
check "a side written in place after a HotSync and a restore changes no backup" test "$(kept)" = "$sums"
cp "$T/backup/elements.xml" "$D/"; cp "$T/backup/QVelements.pdb" "$H/"
check "an unknown backup is refused" bash -c "! '$HS' restore 19990101-000000 --handheld '$H' --desktop '$D' 2>&1 | grep -q '^Restored'"
for i in 1 2 3; do hs sync --keep 2 > /dev/null; done
check "--keep N keeps the last N backups" test "$(ls "$H/backups" | wc -l)" = 2
hs sync --keep 0 > /dev/null
check "--keep 0 makes none" test "$(ls "$H/backups" | wc -l)" = 2

setup pipe
hs sync --verbose | head -c 1 > /dev/null
check "a reader that stops early does not cost the record of the HotSync" grep -Eq '^last_sync=[1-9][0-9]{9}$' "$H/user.conf"

setup progress
hs sync --keep 0 > /dev/null 2> "$T/quiet.err"
check "no progress when standard error is not a terminal" bash -c "! grep -q \$'\\r' '$T/quiet.err'"
HOTSYNC_PROGRESS=1 hs sync --keep 0 > /dev/null 2> "$T/progress.err"
check "progress lines when asked for" grep -q 'reading the desktop' "$T/progress.err"

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
