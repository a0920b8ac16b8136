#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs ("base": enough to build and
# run hotsync), the tests need too (the default), or the performance report
# needs besides ("bench"), when missing.
#   usage: install-deps.sh [base|bench]
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libcli11-dev libxxhash-dev)
if [ "${1:-}" != base ]; then
  packages+=(libbenchmark-dev libxml2-utils clang-format libpalm-perl tmux clang
             libclang-rt-14-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools wine64
             xvfb libpugixml-dev help2man lintian strace)
fi
[ "${1:-}" != bench ] || packages+=(python3 time)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
install() {
  echo "installing: $*"
  # A mirror caught mid-sync fails one index or another; what the other lists
  # hold may still be enough, and the install says plainly when it is not.
  "${sudo_cmd[@]}" apt-get update -qq ||
    echo "some package lists could not be refreshed: installing from those at hand"
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "$@" >/dev/null
}
[ ${#missing[@]} -eq 0 ] || install "${missing[@]}"

# 32-bit Wine, the Windows build's own width, where this machine runs i386 code:
# whether it does is a property of the host, so ask it with a program that only
# exits. Where it cannot, the 32-bit Windows tests skip and 64-bit Wine checks
# the same sources.
runs_i386() {
  local dir status
  dir=$(mktemp -d)
  printf '.globl _start\n_start:\n movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' > "$dir/exit.s"
  as --32 "$dir/exit.s" -o "$dir/exit.o" 2>/dev/null &&
    ld -m elf_i386 "$dir/exit.o" -o "$dir/exit" 2>/dev/null && "$dir/exit" 2>/dev/null
  status=$?
  rm -rf "$dir"
  return $status
}
if [ "${1:-}" = "" ] || [ "${1:-}" = tests ]; then
  if ! runs_i386; then
    echo "this machine does not run i386 code: the 32-bit Windows tests skip, 64-bit Wine runs them"
  elif ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
    dpkg --print-foreign-architectures | grep -qx i386 || "${sudo_cmd[@]}" dpkg --add-architecture i386
    # 32-bit Wine needs i386 libraries at the very versions the machine's own
    # are; a mirror that cannot give them leaves the 64-bit Wine tests standing.
    install wine32:i386 ||
      echo "32-bit Wine could not be installed: the 32-bit Windows tests skip, 64-bit Wine runs them"
  fi
fi
