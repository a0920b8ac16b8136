#!/usr/bin/env bash
# Writes the README's Windows section as a Windows text file: from its heading
# to the next heading (what follows is for those who build it), lines ended
# CR LF.
#   usage: windows-readme.sh README.md OUT.txt
set -euo pipefail
awk '
  /^##+ / { if (inside) exit; if ($0 == "## Windows") { inside = 1; printf "Quorvia Conduit for Windows\r\n"; next } }
  inside && !/^!\[/ { printf "%s\r\n", $0 }
' "$1" > "$2.tmp"
if [ ! -s "$2.tmp" ]; then
  rm -f "$2.tmp"
  echo "$1 has no section \"## Windows\"" >&2
  exit 1
fi
mv "$2.tmp" "$2"
