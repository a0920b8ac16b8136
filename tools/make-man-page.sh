#!/usr/bin/env bash
# Makes hotsync's man page from its own help: the program's help, then each
# command's.
#   usage: make-man-page.sh PATH/TO/hotsync OUT.1
set -euo pipefail
hs=$1 out=$2
# Default folders as a reader's, not as the builder's.
export HOME='~'
unset XDG_DATA_HOME XDG_CONFIG_HOME
include=$(mktemp)
trap 'rm -f "$include"' EXIT
{
  echo "[COMMANDS]"
  for command in sync desktop-to-handheld handheld-to-desktop run configure info backups conflicts \
                 restore convert show; do
    echo ".SS $command"
    echo ".nf"
    "$hs" "$command" --help | sed 's/\\/\\\\/g; s/^\./\\\&./'
    echo ".fi"
  done
  cat <<'TEXT'
[FILES]
.TP
.I ~/.local/share/quorvia-hotsync/handheld/
the default handheld folder: QVelements.pdb, user.conf, hotsync.conf, HotSync.log, backups/, sync_base.bin, conflicts/
.TP
.I ~/.config/quorvia-hotsync/registry.reg
the registry: where the Quorvia data directory (elements.xml) is; made on first use, pointing at ~/.local/share/quorvia-hotsync/desktop/
[SEE ALSO]
The README and docs/ in /usr/share/doc/quorvia-conduit/.
TEXT
} > "$include"
help2man --no-info --no-discard-stderr --section=1 --name="keep a Quorvia data set in step between elements.xml and a handheld" \
  --include="$include" --output="$out" "$hs"
