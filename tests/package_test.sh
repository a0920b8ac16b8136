#!/usr/bin/env bash
# The Debian package as released: made by CPack from a Release build (BUILD_DIR
# when it is one, else BUILD_DIR/release, configured and built here from the
# same sources), held to lintian, unpacked into a scratch root and run from
# there as installed, without options that name its files.
#   usage: package_test.sh BUILD_DIR
set -u
BUILD=$1
source "$(dirname "$0")/shell_check.sh"

cached() { sed -n "s/^$1:[A-Z]*=//p" "$BUILD/CMakeCache.txt"; }
# The Release build takes warnings as the build under test does.
if [ "$(cached CMAKE_BUILD_TYPE)" != Release ]; then
  if ! { cmake -S "$(dirname "$0")/.." -B "$BUILD/release" -G "$(cached CMAKE_GENERATOR)" \
           -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCH=OFF \
           -DQV_WERROR="$(cached QV_WERROR)" &&
         cmake --build "$BUILD/release"; } >"$T/build.log" 2>&1; then
    echo "FAIL the Release build"; tail -20 "$T/build.log"; exit 1
  fi
  BUILD=$BUILD/release
fi
if ! cpack --config "$BUILD/CPackConfig.cmake" -B "$T/pkg" >"$T/cpack.log" 2>&1; then
  echo "FAIL cpack"; cat "$T/cpack.log"; exit 1
fi
deb=$(ls "$T"/pkg/*.deb)
lintian_silent() {  # lintian_silent DEB: no error, no warning, nothing said at all
  local said
  if said=$(lintian --fail-on error,warning "$1") && [ -z "$said" ]; then return 0; fi
  echo "$said"; return 1
}
check "lintian reports no error and no warning on it" lintian_silent "$deb"
check "the package is a Debian package named quorvia-conduit" bash -c "dpkg-deb --field '$deb' Package | grep -qx quorvia-conduit"
check "it depends on the C and C++ runtimes only" bash -c "dpkg-deb --field '$deb' Depends | grep -q 'libstdc++6'"
dpkg-deb -x "$deb" "$T/root"
R=$T/root/usr
check "hotsync is in bin" test -x "$R/bin/hotsync"
check "the conduit and the host's libraries are in lib/quorvia-conduit" \
  test -f "$R/lib/quorvia-conduit/libquorvia_conduit.so" -a -f "$R/lib/quorvia-conduit/libqv_syncmgr.so"
check "the sample data and the docs are in share" \
  test -f "$R/share/quorvia-conduit/examples/elements.xml" -a -f "$R/share/doc/quorvia-conduit/README.md"
check "the man page is installed gzipped" bash -c "zcat '$R/share/man/man1/hotsync.1.gz' | grep -q '^\.TH HOTSYNC'"
D=$R/share/doc/quorvia-conduit
check "the copyright names its holders and reserves all rights" bash -c \
  "grep -qx 'Copyright: .* The Quorvia Conduit developers' '$D/copyright' && grep -q 'All rights reserved' '$D/copyright'"
check "the changelog's latest entry is the package's version" bash -c \
  "zcat '$D/changelog.gz' | head -1 | grep -q '^quorvia-conduit ($(dpkg-deb --field "$deb" Version)) '"
check "the installed hotsync runs: --help" bash -c "'$R/bin/hotsync' --help | grep -q 'Subcommands'"
check "it finds its conduit without options" bash -c "'$R/bin/hotsync' info | grep -q 'Quorvia'"
mkdir -p "$T/sample/desktop"
cp "$R/share/quorvia-conduit/examples/elements.xml" "$T/sample/desktop/"
cp -r "$R/share/quorvia-conduit/examples/handheld" "$T/sample/handheld"
check "a sample HotSync runs from the installed files" bash -c \
  "'$R/bin/hotsync' sync --handheld '$T/sample/handheld' --desktop '$T/sample/desktop' | grep -q '^desktop .* added'"

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
