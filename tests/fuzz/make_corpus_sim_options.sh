#!/bin/sh
# Regenerates the seed argument lists of hc11sim's option fuzzer, one list per file, the
# arguments after the program name separated by zero bytes: the runs the README and the demo
# show, every option with a good value and with a refused one, and a value missing at the end.
set -eu
out=$(dirname "$0")/corpus_sim_options
rm -rf "$out"
mkdir -p "$out"
seed() {  # name argument...
    name=$1
    shift
    printf '%s\0' "$@" | head -c -1 > "$out/$name"
}
seed demo --xram 2000-7FFF --reset-mode expanded --dump chip.s19 --stats
seed readme --xram 2000-7FFF --link /tmp/hc11 --dump chip.s19
seed single_at_once --crystal 12 --mode single --eeprom prog.s19
seed crystals --crystal 4.9152 --crystal 7.3728 --crystal 16
seed crystal_refused --crystal 8MHz
seed crystal_too_fast --crystal 8000000
seed crystal_nan --crystal nan
seed xram_overlap --xram 0000-FFFF
seed xram_e9 --part E9 --xram B000-B7FF
seed xram_reversed --xram 7FFF-2000
seed faults --fault drop:3 --fault stuck:F800 --fault stuck:103F --part E9
seed fault_refused --fault melt:1
seed times --exit-after 2.5 --reset-after 1e-3 --latency inf
seed time_refused --exit-after -1
seed modes --mode expanded --reset-mode bootstrap --mode single
seed mode_refused --reset-mode normal
seed flags --realtime --trace --stats --secure -h
seed missing_value --stats --crystal
seed not_an_option -x
