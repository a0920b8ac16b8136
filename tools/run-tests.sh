#!/usr/bin/env bash
# Builds everything, warnings as errors, and runs every test three times: plain,
# as a Release build, and under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
# Release, as users build it: some of GCC's warnings come at -O3 only.
cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_WERROR=ON >/dev/null
cmake --build build-rel -j "$jobs"
ctest --test-dir build-rel --output-on-failure -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON -DQV_BUILD_BENCH=OFF \
  -DQV_WERROR=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

# The 32-bit Windows build: the conduit DLL and our HotSync Manager's DLLs,
# their exports and imports, their tests under Wine where it can run, and the
# release zip.
cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_WERROR=ON -DQV_NATIVE_HOTSYNC="$PWD/build/hotsync" >/dev/null
cmake --build build-win32 -j "$jobs" --target all dist
ctest --test-dir build-win32 --output-on-failure
# The same sources as a 64-bit DLL under 64-bit Wine, which runs on any x86-64
# machine: the Win32 platform layer and the entry points exercised for real.
cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_WERROR=ON -DQV_NATIVE_HOTSYNC="$PWD/build/hotsync" >/dev/null
cmake --build build-win64 -j "$jobs" --target all dist
ctest --test-dir build-win64 --output-on-failure

# Every fuzz target for a bounded time (about a minute in all).
bash tools/run-fuzzers.sh 12

# Which Wine ran the Windows tests: the 32-bit tests skip where 32-bit Wine cannot start.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "Windows tests: 32-bit build under 32-bit Wine, 64-bit build under 64-bit Wine"
else
  echo "Windows tests: 32-bit build skipped (no 32-bit Wine here: this machine runs no i386 code, or its mirror could not give it); 64-bit build under 64-bit Wine"
fi
