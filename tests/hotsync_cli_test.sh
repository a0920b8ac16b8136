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
# here either way): once, through a link too, and started by the dynamic
# loader by hand it must not start the loader instead.
loader=$(readelf -l "$HS" 2>/dev/null | sed -n 's/.*interpreter: \(.*\)]/\1/p')
[ -x "$loader" ] || loader=
ln -s "$(readlink -f "$HS")" "$T/hotsync-link"
for pays in 0 1; do
  for start in "$HS" "$T/hotsync-link" ${loader:+"$loader $HS"}; do
    expect "started as '$start', huge pages paying: $pays" bash -c \
      "QV_HUGE_PAGES=$pays timeout 20 $start show '$sample' | grep -c '^element ' | grep -qx 36"
  done
done
expect "started with a tunable that only mentions malloc's huge pages" bash -c \
  "GLIBC_TUNABLES=x=glibc.malloc.hugetlb QV_HUGE_PAGES=1 timeout 20 '$HS' show '$sample' | grep -qc '^element '"
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
