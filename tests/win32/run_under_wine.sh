#!/usr/bin/env bash
# Runs a program of the 32-bit Windows build under Wine, in the build's own
# prefix, headless. Exits 77 (skipped) where this machine cannot run 32-bit
# code at all, which Wine needs for a 32-bit program.
#   usage: run_under_wine.sh PREFIX PROGRAM.exe ARGS...
set -u
prefix=$1; shift
loader=$(ls /usr/lib/wine/wine /usr/lib/i386-linux-gnu/wine/wine 2>/dev/null | head -1)
if [ -z "$loader" ] || ! "$loader" --version >/dev/null 2>&1; then
  echo "skipped: this machine cannot run 32-bit programs, so 32-bit Wine cannot start"
  exit 77
fi
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
wine "$@" > "$prefix.out" 2>&1
status=$?
wineserver -w 2>/dev/null
cat "$prefix.out"
exit $status
