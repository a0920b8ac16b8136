#!/usr/bin/env bash
# hotsync as a user runs it: the commands, their messages and exit codes.
#   usage: hotsync_cli_test.sh PATH/TO/hotsync PROJECT_DIR
set -u
HS=$1
SRC=$2
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
pass=0 fail=0
expect() {  # expect WHAT COMMAND...: the command must succeed
  local what=$1; shift
  if "$@" >"$T/out" 2>"$T/err"; then pass=$((pass+1)); else fail=$((fail+1)); echo "FAIL $what"; cat "$T/err"; fi
}
status_of() { "$@" >"$T/out" 2>"$T/err"; echo $?; }

sample=$SRC/examples/elements.xml
expect "the sample converts" "$HS" convert "$sample" "$T/s.xml"
expect "the sample is the writer's own output" cmp "$sample" "$T/s.xml"
expect "no temporary file is left" test ! -e "$T/s.xml.tmp"
if command -v xmllint >/dev/null; then
  expect "xmllint accepts the written sample" xmllint --noout "$T/s.xml"
fi
expect "show lists every element" bash -c "[ \$('$HS' show '$sample' | grep -c '^element ') = 36 ]"
expect "show prints UTF-8 texts unchanged" bash -c "'$HS' show '$sample' | grep -q 'der Schlüssel'"
expect "show prints CDATA texts unwrapped" bash -c "'$HS' show '$sample' | grep -q 'Q: HTML for a line break'"

for cmd in "" convert show; do
  expect "--help for '$cmd'" "$HS" $cmd --help
done
# hotsync starts itself again for its memory where huge pages pay (forced
# here either way): once, through a link too; started by the dynamic loader
# by hand it must not start the loader instead; and a tunable that only
# mentions malloc's huge pages does not settle them. Where strace can trace,
# the starts are counted, else only the output is checked.
loader=$(readelf -l "$HS" 2>/dev/null | sed -n 's/.*interpreter: \(.*\)]/\1/p')
[ -x "$loader" ] || loader=
ln -s "$(readlink -f "$HS")" "$T/hotsync-link"
can_trace=false
strace -f -o /dev/null true >/dev/null 2>&1 && can_trace=true
# The sanitizer build never starts itself again, and its leak check will not
# run traced.
readelf -d "$HS" 2>/dev/null | grep -q libasan && can_trace=false
starts_once_more() {  # starts_once_more PAYS TUNABLES EXPECTED_STARTS COMMAND...
  local pays=$1 tunables=$2 expected=$3; shift 3
  local trace=()
  $can_trace && trace=(strace -f -qq -e trace=execve -o "$T/trace")
  GLIBC_TUNABLES=$tunables QV_HUGE_PAGES=$pays timeout 20 "${trace[@]}" "$@" show "$sample" \
    >"$T/out" 2>"$T/err" || return 1
  [ "$(grep -c '^element ' "$T/out")" = 36 ] || return 1
  $can_trace || return 0
  local n
  n=$(grep -c 'execve(' "$T/trace")
  [ "$n" = "$expected" ] || { echo "started $n times, not $expected" >&2; return 1; }
}
for pays in 0 1; do
  expect "started plainly, huge pages paying: $pays" starts_once_more $pays "" $((1 + pays)) "$HS"
  expect "started through a link, paying: $pays" starts_once_more $pays "" $((1 + pays)) \
    "$T/hotsync-link"
  if [ -n "$loader" ]; then
    expect "started by the dynamic loader, paying: $pays" starts_once_more $pays "" 1 "$loader" "$HS"
  fi
done
expect "started with a tunable that only mentions malloc's huge pages" \
  starts_once_more 1 x=glibc.malloc.hugetlb 2 "$HS"
expect "started with malloc's huge pages settled by the user" \
  starts_once_more 1 glibc.malloc.hugetlb=0 1 "$HS"
[ "$(status_of "$HS")" = 2 ] && pass=$((pass+1)) || { fail=$((fail+1)); echo "FAIL no command exits 2"; }
[ "$(status_of "$HS" convert only-one)" = 2 ] && pass=$((pass+1)) || { fail=$((fail+1)); echo "FAIL missing DEST exits 2"; }

printf '<quorvia time_of_start="1">\r\n<item id="1" ctgr="open\r\n</item>\r\n</quorvia>' > "$T/bad.xml"
cp "$T/s.xml" "$T/keep.xml"
st=$(status_of "$HS" convert "$T/bad.xml" "$T/keep.xml")
msg=$(cat "$T/err")
if [ "$st" = 1 ] && [ "$(wc -l < "$T/err")" = 1 ] && [[ $msg == *"bad.xml, line 2"* ]] && cmp -s "$T/s.xml" "$T/keep.xml"; then
  pass=$((pass+1))
else
  fail=$((fail+1)); echo "FAIL a damaged file: one line naming file and line, target untouched ($st: $msg)"
fi
st=$(status_of "$HS" show "$T/missing.xml")
if [ "$st" = 1 ] && grep -q 'missing.xml: does not exist (No such file or directory)' "$T/err"; then
  pass=$((pass+1)); else fail=$((fail+1)); echo "FAIL a missing file ($st)"; cat "$T/err"; fi
st=$(status_of "$HS" convert "$sample" "$T/no/such/dir/out.xml")
if [ "$st" = 1 ] && grep -q 'out.xml: the temporary file cannot be created' "$T/err"; then
  pass=$((pass+1)); else fail=$((fail+1)); echo "FAIL an unwritable target ($st)"; cat "$T/err"; fi

expect "the sample converts to a .pdb" "$HS" convert "$sample" "$T/s.pdb"
expect "show reads a .pdb" bash -c "[ \$('$HS' show '$T/s.pdb' | grep -c '^element ') = 36 ]"
printf 'too short' > "$T/bad.pdb"
st=$(status_of "$HS" show "$T/bad.pdb")
if [ "$st" = 1 ] && grep -q 'bad.pdb: cannot be opened (.*shorter than a database header' "$T/err"; then
  pass=$((pass+1)); else fail=$((fail+1)); echo "FAIL a damaged .pdb ($st)"; cat "$T/err"; fi
# Only a handheld-side writer can store a text this long: one record of 65032 bytes.
long_hex=$(perl -e 'print unpack("H*", pack("nNn", 11, 1, 0) . pack("Nn8nn", 77, (0) x 8, 65000, 0) . ("x" x 65000))')
perl "$SRC/tests/palm_pdb_peer.pl" make "$T/long.pdb" "$long_hex"
cp "$T/s.pdb" "$T/keep.pdb"
st=$(status_of "$HS" convert "$T/long.pdb" "$T/keep.pdb")
if [ "$st" = 1 ] && grep -q 'keep.pdb: .*64720 bytes or more.*element 77' "$T/err" && cmp -s "$T/s.pdb" "$T/keep.pdb"; then
  pass=$((pass+1)); else fail=$((fail+1)); echo "FAIL a text too long for the handheld ($st)"; cat "$T/err"; fi

echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
