# For the command-line tests: a scratch folder T (removed at exit) with the
# default folders moved into it, and `check WHAT COMMAND...`, which counts the
# command's success and shows what a failing one printed. Sourced.
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
export XDG_DATA_HOME=$T/xdg-data XDG_CONFIG_HOME=$T/xdg-config
pass=0 fail=0
check() {  # check WHAT COMMAND...
  local what=$1; shift
  if "$@" >"$T/out" 2>"$T/err"; then pass=$((pass+1)); else fail=$((fail+1)); echo "FAIL $what"; head -5 "$T/err" "$T/out"; fi
}
