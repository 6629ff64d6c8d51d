#!/usr/bin/env bash
# Writes the bash completion of hc11prog and hc11sim from TEMPLATE into OUT, its lists read
# from the programs' usage texts: an option added to either program is completed once built.
#   make_completion.sh HC11PROG HC11SIM TEMPLATE OUT
# An option takes a value when its usage line names one after it: <name>, NAME, a|b, or the
# single letter of "-c n", [HOST:]PORT. "--monitor [rate]" may stand alone: completed as a flag.
set -euo pipefail
prog=$1 sim=$2 template=$3 out=$4

prog_usage=$("$prog" -h 2>&1 >/dev/null || true)
sim_usage=$("$sim" -h)

# "OPTION VALUE" pairs of the lines that start with one (a tab before hc11prog's, two
# spaces before hc11sim's: its deeper lines go on from the line above).
prog_lines=$(awk -F'[ \t]+' '/^\t-/ { print $2, $3 }' <<<"$prog_usage")
sim_lines=$(awk '/^  -/ { print $1, $2 }' <<<"$sim_usage")

options() { awk '{ print $1 }' | sort -u | tr '\n' ' ' | sed 's/ $//'; }
value_options() {
  awk '$2 ~ /^</ || $2 ~ /\|/ || $2 ~ /^[a-z]$/ || $2 ~ /^[A-Z][A-Z:_-]*(\[.*)?$/ ||
       $2 ~ /^\[.*\][^ ]/ { print $1 }' | options
}
# The values listed after "LABEL:" on hc11prog's line for OPTION, as words.
listed_after() {
  grep -m1 -P "^\t$1 " <<<"$prog_usage" | sed "s/.*$2://; s/(default)//; s/,/ /g; s/ or / /" |
    xargs
}

parts=$(listed_after -p 'part')
rates=$(listed_after -b 'rate')
# hc11sim's fault kinds, each on its own line under --fault: "drop:N" is completed as "drop:".
faults=$(awk '/^      [a-z]+(:[A-Z]+)?  / { sub(/:.*/, ":", $1); print $1 }' <<<"$sim_usage" |
  tr '\n' ' ' | sed 's/ $//')

for list in parts rates faults; do
  [ -n "${!list}" ] || { echo "make_completion.sh: no $list found in the usage texts" >&2; exit 1; }
done

sed -e "s|@PROG_OPTIONS@|$(options <<<"$prog_lines")|" \
  -e "s|@PROG_VALUE_OPTIONS@|$(value_options <<<"$prog_lines")|" \
  -e "s|@SIM_OPTIONS@|$(options <<<"$sim_lines")|" \
  -e "s|@SIM_VALUE_OPTIONS@|$(value_options <<<"$sim_lines")|" \
  -e "s|@PARTS@|$parts|" -e "s|@RATES@|$rates|" -e "s|@FAULT_KINDS@|$faults|" \
  "$template" >"$out.tmp"
mv "$out.tmp" "$out"
