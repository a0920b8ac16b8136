#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs ("base": enough to build and
# run hotsync), the tests need too (the default), or the performance report
# needs besides ("bench"), when missing.
#   usage: install-deps.sh [base|bench]
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libcli11-dev)
if [ "${1:-}" != base ]; then
  packages+=(libbenchmark-dev libxml2-utils clang-format libpalm-perl tmux clang
             libclang-rt-14-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools wine64
             xvfb libpugixml-dev help2man lintian)
fi
[ "${1:-}" != bench ] || packages+=(python3 time)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
