#!/usr/bin/env bash
# The Debian package: made by CPack from the build, unpacked into a scratch
# root, and run from there as installed, without options that name its files.
#   usage: package_test.sh BUILD_DIR
set -u
BUILD=$1
source "$(dirname "$0")/shell_check.sh"

if ! cpack --config "$BUILD/CPackConfig.cmake" -B "$T/pkg" >"$T/cpack.log" 2>&1; then
  echo "FAIL cpack"; cat "$T/cpack.log"; exit 1
fi
deb=$(ls "$T"/pkg/*.deb)
check "the package is a Debian package named quorvia-conduit" bash -c "dpkg-deb --field '$deb' Package | grep -qx quorvia-conduit"
check "it depends on the C and C++ runtimes only" bash -c "dpkg-deb --field '$deb' Depends | grep -q 'libstdc++6'"
dpkg-deb -x "$deb" "$T/root"
R=$T/root/usr
check "hotsync is in bin" test -x "$R/bin/hotsync"
check "the conduit and the host's libraries are in lib/quorvia-conduit" \
  test -f "$R/lib/quorvia-conduit/libquorvia_conduit.so" -a -f "$R/lib/quorvia-conduit/libqv_syncmgr.so"
check "the sample data and the docs are in share" \
  test -f "$R/share/quorvia-conduit/examples/elements.xml" -a -f "$R/share/doc/quorvia-conduit/README.md"
check "the man page is installed" bash -c "zcat -f '$R/share/man/man1/hotsync.1'* | grep -q '^\.TH HOTSYNC'"
check "the installed hotsync runs: --help" bash -c "'$R/bin/hotsync' --help | grep -q 'Subcommands'"
check "it finds its conduit without options" bash -c "'$R/bin/hotsync' info | grep -q 'Quorvia'"
mkdir -p "$T/sample/desktop"
cp "$R/share/quorvia-conduit/examples/elements.xml" "$T/sample/desktop/"
cp -r "$R/share/quorvia-conduit/examples/handheld" "$T/sample/handheld"
check "a sample HotSync runs from the installed files" bash -c \
  "'$R/bin/hotsync' sync --handheld '$T/sample/handheld' --desktop '$T/sample/desktop' | grep -q '^desktop .* added'"

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
