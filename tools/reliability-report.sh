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
  echo "$crash_failed found a side partial or a following HotSync failing."
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
