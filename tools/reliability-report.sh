#!/usr/bin/env bash
# Runs the reliability tests with their figures recorded and writes
# docs/reliability.md from them.
#   usage: reliability-report.sh [FUZZ_SECONDS_EACH] [CRASH_SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds=${1:-60}
crash_seconds=${2:-120}
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
figures=$(mktemp -d)
trap 'rm -rf "$figures"' EXIT
export QV_RELIABILITY_DIR=$figures
./build/tests/conduit_tests --gtest_filter='FaultInjection*:AllocationFailure*:*Thousand*' >/dev/null
QV_RELIABILITY_DIR=$figures bash tests/crash_test.sh build/hotsync "$crash_seconds" >/dev/null
bash tools/run-fuzzers.sh "$fuzz_seconds" "$figures" >/dev/null

figure() { awk -v k="$1" '$1 == k' "$figures/figures.txt"; }
sum_faults=$(awk '$1 == "faults" { s += $3 } END { print s }' "$figures/figures.txt")
sum_allocs=$(awk '$1 == "allocations" { s += $3 } END { print s }' "$figures/figures.txt")
read -r crash_runs crash_kills crash_failed crash_budget < "$figures/crash.txt"
{
  echo "# Reliability"
  echo
  echo "What the tests do to the conduit and to \`hotsync\`, and the figures of the last run of"
  echo "\`tools/reliability-report.sh\` ($(date -u +%Y-%m-%d), $(nproc) cores). The test command runs the"
  echo "same tests with shorter budgets."
  echo
  echo "## Fuzzing"
  echo
  echo "libFuzzer under AddressSanitizer and UBSan; seed corpora in \`fuzz/corpus/\`, replayed as"
  echo "ordinary tests in every build."
  echo
  echo "| target | what it gets | inputs run | seconds |"
  echo "|---|---|---|---|"
  while read -r t runs secs; do
    case $t in
      xml_reader) what="any bytes as elements.xml";;
      hh_stream) what="any records as QVelements";;
      pdb_file) what="any bytes as a .pdb file";;
      conduit_args) what="any arguments to the information and dialog entry points, any keys";;
      merge) what="two data sets and a last sync time from the bytes";;
    esac
    echo "| $t | $what | $runs | $secs |"
  done < "$figures/fuzz.txt"
  echo
  echo "## Faults injected"
  echo
  echo "Each Sync Manager call, each file operation and each heap allocation made to fail in turn;"
  echo "after every one: no crash, no leak, the expected result, each side whole."
  echo
  echo "| where | calls failed in turn |"
  echo "|---|---|"
  figure faults | awk '{ print "| " $2 " | " $3 " |" }'
  figure allocations | awk '{ print "| allocations: " $2 " | " $3 " |" }'
  echo "| **in all** | $((sum_faults + sum_allocs)) |"
  echo
  echo "## Crashes"
  echo
  echo "\`hotsync\` killed with SIGKILL at random moments of HotSyncs of 20,000 elements for"
  echo "$crash_budget s: $crash_runs HotSyncs started, $crash_kills killed before they ended,"
  echo "$crash_failed found a side partial or absent, or a following HotSync failing."
  cat <<'EOT'

## Nothing lost

Ordinary mishaps, each tried through the `hotsync` process, and for the conduit's part through
`OpenConduit` as well. In every case no element is lost, and a HotSync that was not carried
through leaves the handheld's last sync time and the conduit's record of its last complete
HotSync as they were, so that the next HotSync merges both sides again.

| mishap | outcome | tests |
|---|---|---|
| "Do nothing" chosen for one HotSync, an element added on the desktop just before | the run records no HotSync; the next two-way one copies the element | hotsync_nothing_lost |
| a damaged `QVelements.pdb`, an unreadable `elements.xml`, no data directory in the registry | nothing written, exit 1 and one sentence, the log says which side and why; after the repair nothing added meanwhile is lost | hotsync_nothing_lost, OpenConduitTest, CompleteHotSync |
| the desktop write fails (disk full, a folder at `elements.tmp`, permissions) | the handheld is left byte for byte, exit 1; the next HotSync gives both sides as one without the failure would | hotsync_nothing_lost, full_disk_hotsync, CompleteHotSync |
| the disk fills during the handheld write | the old `QVelements.pdb` stays byte for byte, no temporary, exit 1 | full_disk_hotsync, SyncManager, HhLayout, AllocationFailure |
| `hotsync` killed between the deletion of `QVelements.pdb` and the rename of its replacement | impossible now: the deletion is held until the replacement is complete; the crash test kills at that moment and finds the old or the new file, never none | crash_kill_during_hotsync |
| the Sync Manager's last sync time later than the last complete HotSync | the merge uses the conduit's earlier record: new elements stay new | CompleteHotSync, hotsync_nothing_lost (dry run too) |
| a symbolic link, a stale file or a folder where a temporary goes | a link or stale file is removed, never followed; a folder is an error | SyncManager, hotsync_nothing_lost |
| a side that is a FIFO, a device or a folder; a symbolic link loop; an over-long name | refused with a message before any reading or backup, exit 2, no temporary folder left | hotsync_nothing_lost |
| `pathtodatadir` without its trailing separator, or empty | names the folder; empty counts as not set (exit 1) | OpenConduitTest, win32_conduit_info |
| a text holding `</Q>`, `</A>` or `]]>` written to `elements.xml` | written, one log entry per element and field, counted in the change report | OpenConduitTest, hotsync_report |
| a handheld text too long for `elements.xml` to read back | the desktop is not written (nor, after it, the handheld), exit 1, the element named | XmlRoundTrip, OpenConduitTest |
| a `QVelements.pdb` cut inside an element's id | damaged, not a shorter data set: nothing written, exit 1 | LoadDbFromHh |
| a registry or record file that is a FIFO, or too large to read whole | not waited on; the record of other users kept | OpenConduitTest, CompleteHotSync |
| a merge that would need a 65,537th category | reported as such, nothing written | SyncDbs |
| a text that is not UTF-8 in `--json`; an interrupted backup; a clock set back | valid JSON (bytes escaped); the backup listed as incomplete and pruned; the backup just made never pruned | hotsync_nothing_lost |
EOT
  echo
  echo "## Long runs"
  echo
  figure long-run | awk '{ print $2 " HotSyncs in one loaded plug-in, alternating directions and data sets: heap in use " $3 " bytes after them against " $4 " after the first hundred." }'
  echo
  echo "## One HotSync at a time"
  echo
  echo "A second \`hotsync\` on the same handheld or desktop folder waits 3 s for the lock, then"
  echo "refuses with a message (tests/hotsync_e2e_test.sh)."
} > docs/reliability.md
echo "written: docs/reliability.md"
