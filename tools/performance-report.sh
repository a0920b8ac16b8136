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
  python3 - docs/performance.md "$table" <<'PY'
import sys
path, table = sys.argv[1], sys.argv[2]
text = open(path).read()
start, end = "<!-- table -->\n", "<!-- end of table -->\n"
head, rest = text.split(start, 1)
open(path, "w").write(head + start + table + "\n" + end + rest.split(end, 1)[1])
PY
  echo "docs/performance.md updated"
fi
# The whole processes, timed as a user waits for them.
bash tools/process-report.sh "$@"
