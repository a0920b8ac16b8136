# For the command-line tests: small data sets written by hand. Sourced after
# shell_check.sh (it uses T).
# xml START ITEM...: an elements.xml with CR LF line ends; ITEM is ID:TM_T_RPT:RP:QUESTION.
xml() {
  local start=$1; shift
  { printf '<quorvia core_version="10" time_of_start="%s">\n\n<category name="c" bgcolor="4294967295"/>\n\n\n' "$start"
    for it in "$@"; do
      IFS=: read -r id t rp q <<<"$it"
      printf '<item id="%s" tm_t_rpt="%s" stm_t_rpt="%s" ctgr="c" l_ivl="1" rl_l_ivl="1" ivl="1" rp="%s" gr="3">\n<Q>%s</Q>\n<A>a</A>\n</item>\n\n' "$id" "$t" "$t" "$rp" "$q"
    done
    printf '</quorvia>'; } | sed 's/$/\r/' | head -c -1
}
# fresh NAME: empty desktop and handheld folders.
fresh() { D=$T/$1/desk H=$T/$1/hh; mkdir -p "$D" "$H"; }
