#!/usr/bin/env bash
# Measures the conduit against its peers and floors and writes the table into
# docs/performance.md. Takes some minutes: data sets of up to 1,000,000
# elements are made once and kept in QV_BENCH_DIR (default /dev/shm/qv-bench).
#   usage: tools/performance-report.sh [--no-docs]   (QV_BENCH_LARGEST caps the sizes)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh bench
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target conduit_bench hotsync
json=build-bench/performance.json
build-bench/bench/conduit_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$json" --benchmark_out_format=json
table=$(python3 tools/performance_table.py "$json")
echo "$table"
if [ "${1:-}" != --no-docs ]; then
  python3 tools/put_table.py docs/performance.md table "$table"
  echo "docs/performance.md updated"
fi
# The whole processes, timed as a user waits for them.
bash tools/process-report.sh "$@"
