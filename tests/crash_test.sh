#!/usr/bin/env bash
# Kills hotsync with SIGKILL during HotSyncs of a large data set. After every
# kill each side must be its complete old or complete new self (QVelements.pdb
# is never absent: a deleted database keeps its file until its replacement is
# in place), and the next HotSync must succeed.
#   Two thirds of the time kills land at random moments; the rest of the time
#   desktop-to-handheld HotSyncs are watched in a tight loop and killed the
#   moment QVelements.pdb is absent (which must never be seen), or while its
#   replacement is being written (its spool or its temporary exists).
#   usage: crash_test.sh PATH/TO/hotsync [SECONDS]
set -u
HS=$1
BUDGET=${2:-30}
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
D=$T/desk H=$T/hh
PDB=$H/QVelements.pdb
mkdir -p "$D" "$H"
export XDG_DATA_HOME=$T/data XDG_CONFIG_HOME=$T/config

# Two large data sets of one learner (same start): each run moves one over the other.
make_xml() {  # make_xml FIRST_ID RP
  { printf '<quorvia core_version="10" time_of_start="1000">\r\n<category name="c" bgcolor="4294967295"/>\r\n'
    awk -v first="$1" -v rp="$2" 'BEGIN { for (i = 0; i < 20000; i++) {
      printf "<item id=\"%d\" tm_t_rpt=\"%d\" stm_t_rpt=\"1\" ctgr=\"c\" l_ivl=\"1\" rl_l_ivl=\"1\" ivl=\"1\" rp=\"%d\" gr=\"3\">\r\n<Q>question %d with some words to make it longer</Q>\r\n<A>answer %d</A>\r\n</item>\r\n", first + i, i % 300, rp, i, i } }'
    printf '</quorvia>'; } > "$1.xml.$2"
}
(cd "$T" && make_xml 100000 1 && make_xml 120000 2) || exit 1
cp "$T/100000.xml.1" "$D/elements.xml"
"$HS" sync --handheld "$H" --desktop "$D" >/dev/null || { echo "FAIL the first HotSync"; exit 1; }

complete_xml() { "$HS" show "$D/elements.xml" >/dev/null 2>&1; }
complete_pdb() { [ -f "$PDB" ] && "$HS" show "$PDB" >/dev/null 2>&1; }

runs=0 kills=0 fail=0 pass=0
absent=0 in_replacement=0 finished=0

# After a kill: both sides complete, then an undisturbed HotSync that succeeds.
check_after() {  # check_after WHAT
  if complete_xml && complete_pdb; then pass=$((pass + 1)); else
    fail=$((fail + 1)); echo "FAIL run $runs ($1): a side is partial or absent"
    "$HS" show "$D/elements.xml" 2>&1 | tail -1; "$HS" show "$PDB" 2>&1 | tail -1
    cp "$T/100000.xml.1" "$D/elements.xml"; rm -f "$PDB"
  fi
  if "$HS" sync --handheld "$H" --desktop "$D" >/dev/null 2>&1 && complete_xml && complete_pdb; then
    pass=$((pass + 1)); else fail=$((fail + 1)); echo "FAIL run $runs: the HotSync after the kill"; fi
}

# Now and then the desktop changes, so that the HotSync has work to do.
vary_desktop() {
  if [ $((runs % 3)) = 0 ]; then
    if [ $((runs % 2)) = 0 ]; then cp "$T/100000.xml.1" "$D/elements.xml"
    else cp "$T/120000.xml.2" "$D/elements.xml"; fi
  fi
}

start=$SECONDS
random_end=$((start + BUDGET * 2 / 3))
end=$((start + BUDGET))
commands=(sync desktop-to-handheld handheld-to-desktop)
while [ $SECONDS -lt $random_end ]; do
  runs=$((runs + 1))
  vary_desktop
  cmd=${commands[$((RANDOM % 3))]}
  "$HS" "$cmd" --handheld "$H" --desktop "$D" >/dev/null 2>&1 &
  pid=$!
  sleep "0.$(printf "%03d" $((RANDOM % 120)))"
  if kill -9 "$pid" 2>/dev/null; then kills=$((kills + 1)); fi
  wait "$pid" 2>/dev/null
  check_after "$cmd"
done

# The watched phase: each run waits for one moment (its spool, its temporary,
# or only an absence of the database) and kills hotsync there.
while [ $SECONDS -lt $end ]; do
  runs=$((runs + 1))
  vary_desktop
  # A temporary a kill left would be taken for this run's.
  rm -f "$PDB.records" "$PDB.tmp"
  case $((RANDOM % 3)) in
    0) moment=$PDB.records ;;
    1) moment=$PDB.tmp ;;
    *) moment= ;;
  esac
  "$HS" desktop-to-handheld --handheld "$H" --desktop "$D" --keep 0 --no-report >/dev/null 2>&1 &
  pid=$!
  seen=
  while kill -0 "$pid" 2>/dev/null; do
    if [ ! -e "$PDB" ]; then kill -9 "$pid" 2>/dev/null; seen=absent; break; fi
    if [ -n "$moment" ] && [ -e "$moment" ]; then kill -9 "$pid" 2>/dev/null && seen=replacing; break; fi
  done
  wait "$pid" 2>/dev/null
  case $seen in
    absent) absent=$((absent + 1)); kills=$((kills + 1))
            echo "FAIL run $runs: QVelements.pdb was absent during a desktop-to-handheld HotSync" ;;
    replacing) in_replacement=$((in_replacement + 1)); kills=$((kills + 1)) ;;
    *) finished=$((finished + 1)) ;;
  esac
  check_after desktop-to-handheld
done
fail=$((fail + absent))

echo "crash runs: $runs, killed mid-run: $kills"
echo "watched runs: killed while the replacement was written $in_replacement," \
     "found QVelements.pdb absent $absent, ran to the end $finished"
[ -n "${QV_RELIABILITY_DIR:-}" ] && echo "$runs $kills $fail $BUDGET" > "$QV_RELIABILITY_DIR/crash.txt"
echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
