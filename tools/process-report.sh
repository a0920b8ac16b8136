#!/usr/bin/env bash
# Times whole processes as a user waits for them (hotsync convert and a whole
# two-way hotsync sync, against processes that only parse the file with
# pugixml or only read and write both files) and writes the "Whole processes"
# table into docs/performance.md. Data sets are made once in QV_BENCH_DIR
# (default /dev/shm/qv-bench); QV_PROCESS_RUNS runs each (default 5), each
# after QV_PROCESS_SETTLE seconds of rest (default 5).
#   usage: tools/process-report.sh [--no-docs]
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh bench
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target hotsync make_dataset parse_walk_process read_write_floor conduit_bench
table=$(python3 tools/process_table.py build-bench "${QV_BENCH_DIR:-/dev/shm/qv-bench}" \
  "${QV_PROCESS_RUNS:-5}")
echo "$table"
if [ "${1:-}" != --no-docs ]; then
  python3 tools/put_table.py docs/performance.md processes "$table"
  echo "docs/performance.md updated"
fi
