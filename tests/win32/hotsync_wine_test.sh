#!/usr/bin/env bash
# hotsync.exe under Wine, through the conduit DLL: the HotSyncs of the sample
# data set give the same elements.xml and the same QVelements.pdb as the native
# hotsync given the same inputs (the .pdb's creation and modification dates,
# header bytes 36 to 43, and its backup date, 44 to 47, aside: they are the
# clock's), with the same exit statuses and reports; --desktop leaves the
# user's registry as it was, which a first run without it fills.
#   usage: hotsync_wine_test.sh LOADER PREFIX BIN_DIR [NATIVE_HOTSYNC]
# Without NATIVE_HOTSYNC (the native build's hotsync) the comparisons are
# skipped and the rest runs. Exits 77 where the Wine loader cannot start.
set -u
loader=$1 prefix=$2 bin=$3 native=${4:-}
if ! "$loader" --version >/dev/null 2>&1; then
  echo "skipped: $loader cannot start here (32-bit Wine needs a machine that runs 32-bit code)"
  exit 77
fi
# The dialog of configure needs a display: a virtual one, of this run only.
if [ -z "${QV_WINE_DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  QV_WINE_DISPLAY=1 exec xvfb-run -a bash "$0" "$@"
fi
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
here=$(cd "$(dirname "$0")/.." && pwd)
examples=$here/../examples
source "$here/shell_check.sh"
source "$here/hotsync_data_sets.sh"
trap 'wineserver -w 2>/dev/null; rm -rf "$T"' EXIT

win() { "$loader" "$bin/hotsync.exe" "$@"; }
reg() { "$loader" reg "$@" >/dev/null 2>&1; }
# The user's keys as the runs with --desktop must leave them (the prefix is the
# build's, other tests set the conduit's value in it).
user_keys() { "$loader" reg query HKCU; "$loader" reg query 'HKCU\Software\Quorvia' /s; } 2>/dev/null
# Wine brings the prefix up to date on its first start here, keys included:
# the keys are taken once that is done.
user_keys >/dev/null
wineserver -w 2>/dev/null
user_keys >"$T/keys.before"
[ -n "$native" ] || echo "no native hotsync given (QV_NATIVE_HOTSYNC): the comparisons are skipped"
compare() { [ -n "$native" ]; }

# pair NAME: the sample desktop and handheld, once for each hotsync: WD, WH for
# hotsync.exe, ND, NH for the native one.
pair() {
  fresh "$1/wine"; WD=$D WH=$H
  fresh "$1/native"; ND=$D NH=$H
  for d in "$WD" "$ND"; do cp "$examples/elements.xml" "$d/"; done
  for h in "$WH" "$NH"; do cp "$examples/handheld/QVelements.pdb" "$examples/handheld/user.conf" "$h/"; done
}
# both NAME COMMAND [ARGS...]: the command on each pair of sides; status, the
# report (from "Changes:" on) and what went to standard output kept by side
# in $T/NAME.{wine,native}.{status,out}.
both() {
  local name=$1; shift
  win "$@" --handheld "Z:$WH" --desktop "Z:$WD" >"$T/$name.wine.out" 2>"$T/$name.wine.err"
  echo $? >"$T/$name.wine.status"
  compare || return 0
  "$native" "$@" --handheld "$NH" --desktop "$ND" >"$T/$name.native.out" 2>"$T/$name.native.err"
  echo $? >"$T/$name.native.status"
}
# status_is NAME STATUS: hotsync.exe's, and the native one's the same.
status_is() {
  [ "$(cat "$T/$1.wine.status")" = "$2" ] && { ! compare || cmp -s "$T/$1.wine.status" "$T/$1.native.status"; }
}
same_report() { ! compare || cmp <(sed -n '/^Changes:/,$p' "$T/$1.wine.out") <(sed -n '/^Changes:/,$p' "$T/$1.native.out"); }
same_file() { ! compare || cmp "$1" "$2"; }
# A .pdb the same but for its dates.
same_pdb() {
  cmp -s <(head -c 36 "$1") <(head -c 36 "$2") && cmp -s <(tail -c +49 "$1") <(tail -c +49 "$2")
}
same_sides() {
  ! compare || { cmp "$WD/elements.xml" "$ND/elements.xml" && same_pdb "$WH/QVelements.pdb" "$NH/QVelements.pdb"; }
}
as_in_examples() { cmp "$WD/elements.xml" "$examples/elements.xml" && cmp "$WH/QVelements.pdb" "$examples/handheld/QVelements.pdb"; }

pair twoway
both twoway sync
check "a two-way HotSync of the sample is carried through" status_is twoway 0
check "it writes both sides as the native hotsync does" same_sides
check "and reports the same changes" same_report twoway
check "the log names the desktop side and both flags" grep -qx '1-1' "$T/twoway.wine.out"
id=$(win backups --handheld "Z:$WH" | awk 'NR == 2 {print $1}')
backup_kept() { cmp "$WH/backups/$id/elements.xml" "$examples/elements.xml" && cmp "$WH/backups/$id/QVelements.pdb" "$examples/handheld/QVelements.pdb"; }
check "the backup keeps both sides as they were" backup_kept
check "backups lists it with both counts" bash -c "'$loader' '$bin/hotsync.exe' backups --handheld 'Z:$WH' | grep -E '^$id .* 36 +37 +before a HotSync'"
win restore "$id" --handheld "Z:$WH" --desktop "Z:$WD" >"$T/restore.out" 2>&1
check "restore puts both sides back byte for byte" as_in_examples

for copy in desktop-to-handheld handheld-to-desktop; do
  pair "$copy"
  both "$copy" "$copy"
  check "$copy is carried through" status_is "$copy" 0
  check "$copy writes what the native hotsync writes" same_sides
  check "$copy reports the same" same_report "$copy"
  check "$copy leaves no side sharing its file with the backup, which holds both as they were" \
    bash -c "[ \$(stat -c %h '$WD/elements.xml') = 1 ] && [ \$(stat -c %h '$WH/QVelements.pdb') = 1 ] && cmp '$WH'/backups/*/elements.xml '$examples/elements.xml' && cmp '$WH'/backups/*/QVelements.pdb '$examples/handheld/QVelements.pdb'"
  check "$copy: and the backup restores" win restore "$(ls "$WH/backups")" --handheld "Z:$WH" --desktop "Z:$WD"
done

pair stored
both configure-next configure --action handheld-to-desktop
both configure-default configure --action desktop-to-handheld --default
check "configure --action answers the conduit's dialog" \
  grep -qx 'Next HotSync: desktop-to-handheld; default: desktop-to-handheld.' "$T/configure-default.wine.out"
check "and keeps the choice as the native hotsync does" same_file "$WH/hotsync.conf" "$NH/hotsync.conf"
cp "$WH/hotsync.conf" "$T/chosen.conf"
env -u DISPLAY "$loader" "$bin/hotsync.exe" configure --handheld "Z:$WH" --action nothing \
  >"$T/no-display.out" 2>&1
no_display_status=$?
check "without a desktop to show the dialog on, configure says so and chooses nothing" \
  bash -c "[ $no_display_status = 2 ] && grep -q 'could not be shown' '$T/no-display.out' && cmp '$WH/hotsync.conf' '$T/chosen.conf'"
both configure-once configure --action handheld-to-desktop
both stored run
check "run takes the action chosen for the next HotSync" status_is stored 0
check "which overwrites the desktop" grep -q '^handheld  0 added, 0 updated' "$T/stored.wine.out"
check "run writes what the native hotsync writes" same_sides
check "and reports the same" same_report stored
check "run uses the action up as the native hotsync does" same_file "$WH/hotsync.conf" "$NH/hotsync.conf"

pair info
both info info
check "info is answered by the conduit DLL" status_is info 0
check "info says what the native conduit says, the desktop's path aside" \
  same_file <(grep -v '^desktop:' "$T/info.wine.out") <(grep -v '^desktop:' "$T/info.native.out")

for side in desktop handheld; do
  pair "damaged-$side"
  if [ $side = desktop ]; then
    for d in "$WD" "$ND"; do head -c 200 "$examples/elements.xml" >"$d/elements.xml"; done
  else
    for h in "$WH" "$NH"; do printf 'garbage' >"$h/QVelements.pdb"; done
  fi
  cp "$WD/elements.xml" "$T/damaged-$side/keep.xml"
  cp "$WH/QVelements.pdb" "$T/damaged-$side/keep.pdb"
  both "damaged-$side" sync
  check "a damaged $side is refused with exit status 1, as natively" status_is "damaged-$side" 1
  check "and nothing is written" bash -c "cmp '$WD/elements.xml' '$T/damaged-$side/keep.xml' && cmp '$WH/QVelements.pdb' '$T/damaged-$side/keep.pdb' && cmp '$WH/user.conf' '$examples/handheld/user.conf'"
done

pair dry
both dry sync --dry-run
check "a dry run says that the HotSync would change something, as natively" status_is dry 1
check "and touches nothing" as_in_examples
check "its log names the user's elements.xml, not its copy" grep -qxF "Z:$WD\\elements.xml" "$T/dry.wine.out"
check "its private copy is gone" bash -c "! ls -d '$prefix'/drive_c/users/*/Temp/hotsync-dry-run-* 2>/dev/null"

check "--desktop left the user's registry as it was" cmp "$T/keys.before" <(user_keys)

# Names beyond ASCII (a profile folder in Cyrillic, say) are UTF-8 in and out, as on Linux.
pair "Москва"
both unicode sync
check "folders named beyond ASCII take a HotSync as on Linux" status_is unicode 0
check "and its log names them in UTF-8" grep -qF "Москва/wine" "$T/unicode.wine.out"
check "writing what the native hotsync writes" same_sides

pair registry
# A registry file names the folder as Windows does, backslashes escaped.
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quorvia\\SETTINGS]\r\n"pathtodatadir"="Z:%s\\\\"\r\n' \
  "$(sed 's|/|\\\\|g' <<<"$WD")" >"$T/registry.reg"
win sync --handheld "Z:$WH" --registry "Z:$T/registry.reg" >"$T/registry.out" 2>&1
check "--registry FILE is read into the process's own registry" bash -c "grep -qx '1-1' '$T/registry.out' && { [ -z '$native' ] || cmp '$WD/elements.xml' '$T/twoway/native/desk/elements.xml'; }"
# Keys a killed hotsync.exe left, under every id a process may have: none of
# their values reaches a later process of the same id.
wd_reg=$(sed 's|/|\\\\|g' <<<"$WD")
for id in $(seq 1 2048); do
  printf '\r\n[HKEY_CURRENT_USER\\Volatile Quorvia hotsync %d\\Software\\Quorvia\\SETTINGS]\r\n' "$id"
  printf '"pathtodatadir"="Z:%s\\\\"\r\n' "$wd_reg"
done | sed '1i REGEDIT4\r' >"$T/stale.reg"
printf 'REGEDIT4\r\n' >"$T/empty.reg"
reg import "Z:$T/stale.reg"
win sync --handheld "Z:$WH" --registry "Z:$T/empty.reg" >"$T/stale.out" 2>&1
stale_status=$?
check "a stale key of a killed run gives a later one none of its values" \
  bash -c "[ $stale_status = 1 ] && grep -q 'not set' '$T/stale.out'"
for id in $(seq 1 2048); do
  printf '\r\n[-HKEY_CURRENT_USER\\Volatile Quorvia hotsync %d]\r\n' "$id"
done | sed '1i REGEDIT4\r' >"$T/stale.reg"
reg import "Z:$T/stale.reg"

# The first run without --desktop sets the value in the user's registry, and
# only while it is missing; the user's keys are put back after.
reg export 'HKCU\Software\Quorvia' "Z:$T/kept.reg" /y
reg delete 'HKCU\Software\Quorvia' /f
fresh first
win sync --handheld "Z:$H" >"$T/first.out" 2>&1
check "a first run sets pathtodatadir in the user's registry" bash -c "'$loader' reg query 'HKCU\\Software\\Quorvia\\SETTINGS' /v pathtodatadir 2>/dev/null | grep -q 'quorvia-hotsync\\\\desktop\\\\'"
reg add 'HKCU\Software\Quorvia\SETTINGS' /v pathtodatadir /d "Z:$D" /f
win sync --handheld "Z:$H" >/dev/null 2>&1
check "a later one leaves the user's value alone" bash -c "'$loader' reg query 'HKCU\\Software\\Quorvia\\SETTINGS' /v pathtodatadir 2>/dev/null | grep -qF 'Z:$D'"
reg delete 'HKCU\Software\Quorvia' /f
[ -e "$T/kept.reg" ] && reg import "Z:$T/kept.reg"
rm -rf "$prefix"/drive_c/users/*/AppData/Local/quorvia-hotsync

echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
