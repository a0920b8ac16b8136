#!/usr/bin/env bash
# The DLL exports exactly its six entry points with plain names, and imports
# the HotSync Manager's calls by ordinal where the HotSync Manager has no names.
set -u
#   usage: check_exports.sh OBJDUMP DLL
dump=$("$1" -p "$2")
pass=0 fail=0
check() { if eval "$2"; then pass=$((pass+1)); else fail=$((fail+1)); echo "FAIL $1"; fi; }
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | grep -oE '^\s*\[ *[0-9]+\] [A-Za-z_]+$' | grep -oE '[A-Za-z_]+$' | sort | xargs)
check "exactly the six plain exports ($exports)" \
  '[ "$exports" = "CfgConduit ConfigureConduit GetConduitInfo GetConduitName GetConduitVersion OpenConduit" ]'
imports=$(sed -n '/DLL Name: qvsyncmgr.dll/,/^$/p' <<<"$dump")
# An import by ordinal: the ordinal flag set, no name (objdump shows the
# ordinal in decimal for 32-bit files, in hexadecimal for 64-bit ones).
by_ordinal() { grep -Eq "^\s*8[0-9a-f]{7,15}\s+($1|0*$(printf %x "$1"))\s+<none>" <<<"$2"; }
for n in 22 23 24; do
  check "Sync Manager ordinal $n imported by ordinal" 'by_ordinal $n "$imports"'
done
check "Sync Manager calls imported by name" 'grep -q SyncReadRecordByIndex <<<"$imports"'
log=$(sed -n '/DLL Name: qvhslog.dll/,/^$/p' <<<"$dump")
check "HotSync log entry imported by ordinal 52" 'by_ordinal 52 "$log"'
check "no MinGW runtime DLL needed" '! grep -Eiq "DLL Name: (libstdc|libgcc|libwinpthread)" <<<"$dump"'
echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
