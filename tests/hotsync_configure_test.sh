#!/usr/bin/env bash
# hotsync configure as a person uses it: the dialog in a real terminal (tmux),
# operated with keys and read off the screen; and --action for scripts.
#   usage: hotsync_configure_test.sh PATH/TO/hotsync
set -u
HS=$1
T=$(mktemp -d)
SOCK=$T/tmux.sock
tm() { tmux -S "$SOCK" "$@"; }
trap 'tm kill-server 2>/dev/null; rm -rf "$T"' EXIT
export XDG_DATA_HOME=$T/data XDG_CONFIG_HOME=$T/config
pass=0 fail=0
check() {
  local what=$1; shift
  if "$@" >"$T/out" 2>&1; then pass=$((pass+1)); else fail=$((fail+1)); echo "FAIL $what"; head -30 "$T/out"; fi
}
H=$T/hh
mkdir -p "$H"
printf 'name=Ada\nid=7\nlast_sync=0\n' > "$H/user.conf"

S=dlg0
screen() { tm capture-pane -t "$S" -p; }
# wait_for TEXT: until the screen shows it (at most 5 s).
wait_for() { for _ in $(seq 50); do screen | grep -qF -- "$1" && return 0; sleep 0.1; done; screen; return 1; }
# start ARGS: hotsync configure in a new session of its own (a new session,
# rather than a new server, as a server just killed may still be going).
start() {
  S=dlg$((${S#dlg} + 1))
  tm new-session -d -s "$S" -x 100 -y 30 "'$HS' configure --handheld '$H' $*; echo EXIT=\$?; sleep 30"
}

start
check "the dialog shows its title" wait_for "Quorvia Conduit"
check "the current settings name the user" wait_for "Ada's Current Settings:"
check "the current settings show both actions" bash -c "$(declare -f screen tm); SOCK='$SOCK'; S='$S'; screen | grep -q 'Default HotSync Action:  Synchronize the files.' && screen | grep -q 'Next HotSync Action:     Synchronize the files.'"
check "the four actions with their radio marks" bash -c "$(declare -f screen tm); SOCK='$SOCK'; S='$S'; s=\$(screen); for t in '(*) Synchronize the files' '( ) Desktop overwrites handheld' '( ) Handheld overwrites Desktop' '( ) Do nothing' '[ ] Set as default' 'Vantry Action' '<     OK     >' 'Cancel' 'Help'; do grep -qF -- \"\$t\" <<<\"\$s\" || { echo \"missing: \$t\"; exit 1; }; done"
tm send-keys -t "$S" '?'
check "? says where the help file would be" wait_for "hotsync.hlp, context 131471"
tm send-keys -t "$S" d
check "the accelerator D checks its action" wait_for "(*) Desktop overwrites handheld"
tm send-keys -t "$S" Down
check "the arrow moves to the next action" wait_for "(*) Handheld overwrites Desktop"
tm send-keys -t "$S" a
check "A ticks Set as default" wait_for "[x] Set as default"
tm send-keys -t "$S" Enter
check "Enter confirms" wait_for "EXIT=0"
check "the choice is kept as the default" grep -qx 'default_action=2' "$H/hotsync.conf"

start
check "the dialog opens on the kept choice" wait_for "(*) Handheld overwrites Desktop"
tm send-keys -t "$S" n Escape
check "Escape cancels" wait_for "Cancelled"
check "a cancelled dialog keeps the choice" bash -c "grep -qx 'default_action=2' '$H/hotsync.conf' && ! grep -q next_action '$H/hotsync.conf'"

start --legacy
check "the older entry point shows its dialog without current settings" bash -c "$(declare -f wait_for screen tm); SOCK='$SOCK'; S='$S'; wait_for 'Vantry Action' && ! screen | grep -q 'Current Settings'"
tm send-keys -t "$S" s Enter
check "and its choice holds for the next HotSync only" bash -c "$(declare -f wait_for screen tm); SOCK='$SOCK'; S='$S'; wait_for EXIT=0 && grep -qx 'next_action=0' '$H/hotsync.conf' && grep -qx 'default_action=2' '$H/hotsync.conf'"

check "--action chooses without a terminal" bash -c "'$HS' configure --handheld '$H' --action nothing </dev/null | grep -q 'Next HotSync: nothing (this once); default: handheld-to-desktop'"
check "--action --default makes it the default" bash -c "'$HS' configure --handheld '$H' --action desktop-to-handheld --default </dev/null && grep -qx 'default_action=3' '$H/hotsync.conf' && ! grep -q next_action '$H/hotsync.conf'"
check "--legacy --action goes through the older entry point" bash -c "'$HS' configure --handheld '$H' --legacy --action sync --default </dev/null && grep -qx 'default_action=0' '$H/hotsync.conf'"
check "without a terminal or --action it says what to do" bash -c "'$HS' configure --handheld '$H' </dev/null >/dev/null 2>'$T/err'; [ \$? = 2 ] && grep -q -- '--action' '$T/err'"
check "an unknown action is refused" bash -c "'$HS' configure --handheld '$H' --action sometimes; [ \$? = 2 ]"

# run: the next action once, then the default.
D=$T/desk
mkdir -p "$D"
printf '<quorvia time_of_start="1">\r\n<item id="5">\r\n<Q>q</Q>\r\n</item>\r\n</quorvia>' > "$D/elements.xml"
"$HS" configure --handheld "$H" --action nothing </dev/null >/dev/null
check "run does nothing when nothing was chosen for the next HotSync" bash -c "'$HS' run --handheld '$H' --desktop '$D' && [ ! -e '$H/QVelements.pdb' ]"
check "the next run falls back to the default action" bash -c "'$HS' run --handheld '$H' --desktop '$D' | grep -qx '1-0' && [ -e '$H/QVelements.pdb' ]"

echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
