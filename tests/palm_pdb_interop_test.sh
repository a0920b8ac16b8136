#!/usr/bin/env bash
# Our .pdb files against Palm::PDB (Debian's libpalm-perl), both ways.
#   usage: palm_pdb_interop_test.sh PATH/TO/hotsync PROJECT_DIR
set -u
HS=$1
SRC=$2
PEER="perl $SRC/tests/palm_pdb_peer.pl"
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
pass=0 fail=0
check() {
  local what=$1; shift
  if "$@" >"$T/out" 2>"$T/err"; then pass=$((pass+1)); else fail=$((fail+1)); echo "FAIL $what"; cat "$T/err" "$T/out" | head -5; fi
}

check "we write the sample as a .pdb" "$HS" convert "$SRC/examples/elements.xml" "$T/ours.pdb"
check "Palm::PDB reads its name, type, creator and one record" \
  bash -c "$PEER describe '$T/ours.pdb' | head -1 | grep -qx 'QVelements DATA NDVE 1'"
check "Palm::PDB sees the record bytes we wrote" \
  bash -c "$PEER describe '$T/ours.pdb' | sed -n 2p | grep -q '^000b3e122f800006'"
check "Palm::PDB writes them anew" $PEER copy "$T/ours.pdb" "$T/theirs.pdb"
check "we read its file back to the same elements.xml" \
  bash -c "'$HS' convert '$T/theirs.pdb' '$T/back.xml' && cmp '$SRC/examples/elements.xml' '$T/back.xml'"

# A data set large enough for several records, through Palm::PDB and back.
{
  printf '<quorvia core_version="10" time_of_start="1">\r\n<category name="c" bgcolor="4294967295"/>\r\n'
  for i in $(seq 1 1500); do
    printf '<item id="%d" tm_t_rpt="%d" stm_t_rpt="1" ctgr="c" l_ivl="1" rl_l_ivl="1" ivl="1" rp="1" gr="1">\r\n<Q>question %d %0100d</Q>\r\n<A>answer</A>\r\n</item>\r\n' "$i" "$i" "$i" 0
  done
  printf '</quorvia>'
} > "$T/big.xml"
check "a large data set makes several records" \
  bash -c "'$HS' convert '$T/big.xml' '$T/big.pdb' && $PEER describe '$T/big.pdb' | head -1 | grep -q 'QVelements DATA NDVE [2-9]'"
check "several records through Palm::PDB and back" \
  bash -c "$PEER copy '$T/big.pdb' '$T/big2.pdb' && '$HS' convert '$T/big.xml' '$T/big1.xml' && '$HS' convert '$T/big2.pdb' '$T/big2.xml' && cmp '$T/big1.xml' '$T/big2.xml'"

# A database made by Palm::PDB alone: the 41 bytes of the layout's example, in
# one record and cut after the header and the category.
check "Palm::PDB makes a database from bytes" $PEER make "$T/made.pdb" \
  000b3b9aca000001 000261627856 469a4b800064006400000003000300050002000400020001513f41
check "we read it" bash -c "'$HS' show '$T/made.pdb' > '$T/made.txt'"
check "with its category, colour and texts" bash -c "grep -q 'ab .*0xFFFF5678' '$T/made.txt' && grep -q 'Q: Q?' '$T/made.txt' && grep -q 'A: A' '$T/made.txt' && grep -q 'element 1184516992' '$T/made.txt'"

echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
