#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (under AddressSanitizer and
# UBSan) and runs each for a bounded time from its seed corpus. Fails on any
# finding and says where the input that found it is.
#   usage: run-fuzzers.sh [SECONDS_EACH] [REPORT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-12}
report=${2:-}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQV_FUZZ=ON -DQV_SANITIZE=ON -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCH=OFF -DQV_WERROR=ON >/dev/null
targets=(xml_reader hh_stream pdb_file conduit_args merge)
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
found=0
for t in "${targets[@]}"; do
  mkdir -p "$work/$t"
  status=0
  (cd "$work" && build_dir=$OLDPWD && "$build_dir/build-fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" \
      -print_final_stats=1 -artifact_prefix="$work/finding-$t-" "$work/$t" "$build_dir/fuzz/corpus/$t" \
      > "$work/$t.log" 2>&1) || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$t.log")
  echo "fuzz $t: ${runs:-0} inputs in ${seconds} s, exit $status"
  [ -n "$report" ] && echo "$t ${runs:-0} $seconds" >> "$report/fuzz.txt"
  if [ "$status" != 0 ]; then
    found=1
    mkdir -p fuzz/findings
    cp "$work"/finding-"$t"-* fuzz/findings/ 2>/dev/null || true
    grep -E "ERROR|SUMMARY|invariant" "$work/$t.log" | grep -v "^ERROR:$" | head -5
    echo "  the input is in fuzz/findings/; add it to fuzz/corpus/$t/ once fixed"
  fi
done
[ "$found" = 0 ] && echo "${#targets[@]} passed, 0 failed" || echo "0 passed, 1 failed"
exit "$found"
