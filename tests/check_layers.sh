#!/usr/bin/env bash
# Fails when a source file includes a header of a layer above its own. The
# layers, bottom to top: util and platform, model, desktop and handheld, sync,
# conduit, hotsync (docs/conventions.md says why). resources/resource_ids.h
# names the dialog's controls and includes nothing of ours. Tests, fuzz targets
# and benchmarks sit on top of everything.
set -euo pipefail
cd "${1:-.}"

files=$(git ls-files '*.cpp' '*.h' 2>/dev/null ||
  find . -name '*.cpp' -o -name '*.h' | sed 's|^\./||' | grep -v '^build')

# What each folder may include, besides itself and the system's headers.
allowed() {
  case $1 in
    util) echo "util" ;;
    platform) echo "util platform" ;;
    resources) echo "resources" ;;
    model) echo "util platform/trace.h platform/thread.h platform/memory.h model" ;;  # the ground floor
    desktop) echo "util platform model desktop" ;;
    handheld) echo "util platform model handheld" ;;
    sync) echo "util platform model desktop handheld sync" ;;
    conduit) echo "util platform model desktop handheld sync resources conduit" ;;
    # The host knows the conduit by its API alone; it drives the dialog by the
    # controls' ids as a user would.
    hotsync) echo "util platform model desktop handheld resources hotsync conduit/conduit_api.h" ;;
    *) echo "*" ;;
  esac
}

# The one arrow that runs back: the merge writes the older side itself and
# asks the conduit's data-directory lookup where elements.xml lies.
exception() {
  [ "$1" = sync/merge.cpp ] && [ "$2" = conduit/data_dir.h ]
}

system_half() {
  case $1 in
    */posix/*) echo posix ;;
    */win32/*) echo win32 ;;
  esac
}

status=0
for file in $files; do
  layer=${file%%/*}
  may=$(allowed "$layer")
  [ "$may" = "*" ] && continue
  while IFS=: read -r line header; do
    target=${header%%/*}
    [ "$target" = "$header" ] && target=$layer  # a name beside the file
    ok=0
    for a in $may; do
      if [ "$a" = "$target" ] || [ "$a" = "$header" ]; then ok=1; fi
    done
    # A system's half (posix/, win32/) is included by its own half alone:
    # never by the other's, nor by what is shared, which reaches it through
    # the header both halves implement.
    [ "$(system_half "$header")" ] && [ "$(system_half "$header")" != "$(system_half "$file")" ] && ok=0
    if [ $ok = 0 ] && ! exception "$file" "$header"; then
      echo "$file:$line: includes $header, which the $layer layer may not (it may include: $may)"
      status=1
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
    sed 's/^\([0-9]*\):.*include[[:space:]]*"\([^"]*\)".*/\1:\2/')
done
exit $status
