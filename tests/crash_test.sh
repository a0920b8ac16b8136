#!/usr/bin/env bash
# Kills hotsync with SIGKILL at random moments of HotSyncs of a large data set.
# After every kill each side must be its complete old or complete new self
# (QVelements.pdb may be absent, between its delete and its re-creation), and
# the next HotSync must succeed.
#   usage: crash_test.sh PATH/TO/hotsync [SECONDS]
set -u
HS=$1
BUDGET=${2:-30}
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
D=$T/desk H=$T/hh
mkdir -p "$D" "$H"
export XDG_DATA_HOME=$T/data XDG_CONFIG_HOME=$T/config

# Two large data sets of one learner (same start): each run moves one over the other.
make_xml() {  # make_xml FIRST_ID RP
  { printf '<quorvia core_version="10" time_of_start="1000">\r\n<category name="c" bgcolor="4294967295"/>\r\n'
    awk -v first="$1" -v rp="$2" 'BEGIN { for (i = 0; i < 20000; i++) {
      printf "<item id=\"%d\" tm_t_rpt=\"%d\" stm_t_rpt=\"1\" ctgr=\"c\" l_ivl=\"1\" rl_l_ivl=\"1\" ivl=\"1\" rp=\"%d\" gr=\"3\">\r\n<Q>question %d with some words to make it longer</Q>\r\n<A>answer %d</A>\r\n</item>\r\n", first + i, i % 300, rp, i, i } }'
    printf '</quorvia>'; } > "$1.xml.$2"
}
cd "$T" && make_xml 100000 1 && make_xml 120000 2 && cd - >/dev/null
cp "$T/100000.xml.1" "$D/elements.xml"
"$HS" sync --handheld "$H" --desktop "$D" >/dev/null || { echo "FAIL the first HotSync"; exit 1; }

complete_xml() { "$HS" show "$D/elements.xml" >/dev/null 2>&1; }
complete_pdb() { [ ! -e "$H/QVelements.pdb" ] || "$HS" show "$H/QVelements.pdb" >/dev/null 2>&1; }

runs=0 kills=0 fail=0 pass=0
end=$((SECONDS + BUDGET))
commands=(sync desktop-to-handheld handheld-to-desktop)
while [ $SECONDS -lt $end ]; do
  runs=$((runs + 1))
  # Now and then the desktop changes, so that the HotSync has work to do.
  if [ $((runs % 3)) = 0 ]; then if [ $((runs % 2)) = 0 ]; then cp "$T/100000.xml.1" "$D/elements.xml"; else cp "$T/120000.xml.2" "$D/elements.xml"; fi; fi
  cmd=${commands[$((RANDOM % 3))]}
  "$HS" "$cmd" --handheld "$H" --desktop "$D" >/dev/null 2>&1 &
  pid=$!
  sleep "0.$(printf "%03d" $((RANDOM % 120)))"
  if kill -9 "$pid" 2>/dev/null; then kills=$((kills + 1)); fi
  wait "$pid" 2>/dev/null
  if complete_xml && complete_pdb; then pass=$((pass + 1)); else
    fail=$((fail + 1)); echo "FAIL run $runs ($cmd): a side is partial"
    "$HS" show "$D/elements.xml" 2>&1 | tail -1; "$HS" show "$H/QVelements.pdb" 2>&1 | tail -1
    cp "$T/100000.xml.1" "$D/elements.xml"; rm -f "$H/QVelements.pdb"
  fi
  if "$HS" sync --handheld "$H" --desktop "$D" >/dev/null 2>&1 && complete_xml && complete_pdb; then
    pass=$((pass + 1)); else fail=$((fail + 1)); echo "FAIL run $runs: the HotSync after the kill"; fi
done
echo "crash runs: $runs, killed mid-run: $kills"
[ -n "${QV_RELIABILITY_DIR:-}" ] && echo "$runs $kills $fail $BUDGET" > "$QV_RELIABILITY_DIR/crash.txt"
echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
