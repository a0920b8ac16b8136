#!/usr/bin/env bash
# Runs a program of the Windows build under Wine, in the build's own prefix,
# on a virtual display. Exits 77 (skipped) where the Wine loader for the program's width
# cannot start: 32-bit Wine needs a machine that runs 32-bit code.
#   usage: run_under_wine.sh LOADER PREFIX PROGRAM.exe ARGS...
set -u
loader=$1 prefix=$2; shift 2
if ! "$loader" --version >/dev/null 2>&1; then
  echo "skipped: $loader cannot start here (32-bit Wine needs a machine that runs 32-bit code)"
  exit 77
fi
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Windows need a display: a virtual one, of this run only.
if command -v xvfb-run >/dev/null; then
  xvfb-run -a "$loader" "$@" > "$prefix.out" 2>&1
else
  DISPLAY= "$loader" "$@" > "$prefix.out" 2>&1
fi
status=$?
wineserver -w 2>/dev/null
cat "$prefix.out"
exit $status
