#!/usr/bin/env bash
# The benchmarks, run once at their smallest size on fresh data sets, and the
# performance table made from what they report: so that neither rots between
# the long runs that measure.
#   usage: bench_smoke_test.sh PATH/TO/conduit_bench PROJECT_DIR
set -u
BENCH=$1 PROJECT=$2
source "$(dirname "$0")/shell_check.sh"

json=$T/bench.json
check "every benchmark runs at 10,000 elements" \
  env QV_BENCH_LARGEST=10000 QV_BENCH_DIR="$T/data" QV_BENCH_DISK_DIR="$T/disk" "$BENCH" --benchmark_min_time=0.01 \
  --benchmark_out="$json" --benchmark_out_format=json
check "no benchmark reports an error" \
  python3 -c 'import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
bad = [r["name"] for r in runs if r.get("error_occurred")]
sys.exit("failed: " + ", ".join(bad) if bad or not runs else 0)' "$json"
check "the table has a row for every target" \
  bash -c 'python3 "$1/tools/performance_table.py" "$2" | grep -c "| >= \|| <= " | grep -qx 10' _ "$PROJECT" "$json"

echo "bench smoke: $pass passed, $fail failed"
[ "$fail" -eq 0 ]
