#!/usr/bin/env bash
# The bash completion, driven as bash drives it (COMP_WORDS, COMP_CWORD, the function that
# `complete -p` names): every option of either usage text is offered and none is left
# without its values, and the values offered after the options that have some.
#   check_completion.sh COMPLETION HC11PROG HC11SIM
set -uo pipefail
completion=$1 prog=$2 sim=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# shellcheck source=/dev/null
source "$completion" || { echo "FAIL: $completion does not load" >&2; exit 1; }

# What a TAB after WORDS offers (the last word is the one being completed), sorted, one line.
offered() {
  local registration function
  registration=$(complete -p "$1" 2>/dev/null) || { echo "(no completion for $1)"; return; }
  function=$(sed -n 's/.* -F \([^ ]*\) .*/\1/p' <<<"$registration")
  COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMPREPLY=()
  "$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
  printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ *$//'
}

# Every option a usage text shows, at the start of a line or inside one, is offered after
# "-"; after each that takes a value, no option is (a value without completion offers
# nothing), and after each that takes none, the options are.
usage_options() { grep -oP '(^|\s)\K--?[A-Za-z][A-Za-z-]*' | LC_ALL=C sort -u; }
for program in hc11prog hc11sim; do
  [ $program = hc11prog ] && usage=$("$prog" -h 2>&1) || usage=$("$sim" -h)
  all=" $(offered $program -) "
  value_options=_${program}_value_options
  for option in $(usage_options <<<"$usage"); do
    [[ $all == *" $option "* ]] || fail "$program $option is not offered"
    after=$(offered $program "$option" -)
    if [[ " ${!value_options} " == *" $option "* ]]; then
      [ -z "$after" ] || fail "$program $option takes a value, yet options follow it: $after"
    else
      [ "$after" = "$(offered $program -)" ] || fail "$program $option is taken for a value's"
    fi
  done
done
# Files to complete: input files, another file, a folder.
cd "$work" || exit 1
mkdir boards
touch app.s19 APP2.HEX app.elf notes.txt sim-link
cases=(
  # words (the last one completed, '' for nothing typed yet) | what is offered; after an
  # option whose value is typed (-c, -e, --xram), nothing
  "hc11prog -p E2|E20"
  "hc11prog -b ''|125000 15625 31250 62500 9600"
  "hc11prog -x 1|12 16"
  "hc11prog --reset-line ''|dtr rts"
  "hc11prog --monitor-f|--monitor-for"
  "hc11prog -i ''|APP2.HEX app.elf app.s19 boards"
  "hc11prog -i n|notes.txt"
  "hc11prog -o ''|APP2.HEX app.elf app.s19 boards notes.txt sim-link"
  "hc11prog -d rfc|rfc2217://"
  "hc11prog -d sim|sim-link"
  "hc11prog -c ''|"
  "hc11prog -e f|"
  "hc11prog -i app.s19 -E -|$(offered hc11prog -)"
  "hc11prog hello|"
  "hc11sim --part A|A1 A8"
  "hc11sim --mode s|single"
  "hc11sim --reset-mode ''|bootstrap expanded single"
  "hc11sim --fault ''|corrupt: drop: noise: reset: silent stuck: unplug:"
  "hc11sim --crystal 4|4.9152"
  "hc11sim --eeprom a|app.elf app.s19"
  "hc11sim --link s|sim-link"
  "hc11sim --xram ''|"
  "hc11sim --re|--realtime --reset-after --reset-line --reset-mode"
)
for entry in "${cases[@]}"; do
  read -ra words <<<"${entry%%|*}"
  [ "${words[-1]}" = "''" ] && words[-1]=""
  got=$(offered "${words[@]}")
  [ "$got" = "${entry#*|}" ] || fail "${entry%%|*}: offered '$got', expected '${entry#*|}'"
done

[ $failures -eq 0 ] || exit 1
echo "checked ${#cases[@]} completions and every option of both usage texts"
