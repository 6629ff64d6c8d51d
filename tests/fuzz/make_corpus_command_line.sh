#!/bin/sh
# Regenerates the seed argument lists of the command-line fuzzer, one list per file, the
# arguments after the program name separated by zero bytes: the runs the README shows, every
# option with a good value and with a refused one, a value missing at the end, a long name,
# and arguments that are no option.
set -eu
out=$(dirname "$0")/corpus_command_line
rm -rf "$out"
mkdir -p "$out"
seed() {  # name argument...
    name=$1
    shift
    printf '%s\0' "$@" | head -c -1 > "$out/$name"
}
seed readme_run -c 2 -B -i myprog.s19
seed simulator_run -d /tmp/hc11 -E -B -i examples/hello.s19
seed flags -s -S -B -E -V -c 3 -c 4
seed port_values -c " 7abc" -c +3 -c x -c -V
seed config_values -C ff -C 0x3C -C 7z
seed config_refused -C 100
seed range -e 1000-1fff -e b600-b600 -e 1000-1fffjunk
seed range_reversed -e FFFF-F800
seed range_five_digits -e 10000-1fff
seed range_then_help -e 1000-1fff -h -B
seed names -i a.s19 -i b.s19 -I -d /dev/ttyUSB0
seed name_refused -i -B
seed name_too_long -i "$(printf '%0260d' 0)"
seed missing_value -B -e
seed not_an_option -H
seed bare_file_name file.s19
seed crystal_values -x 4.9152 -x 12 -x 20.5 -x 8MHz
seed crystal_then_rate -b 187500 -x 12 -b 14400
seed range_junk -e f800-ffffJUNK
seed range_five_digit_end -e b600-b7fff
seed range_list -e b600-b7ff,f800-ffff
seed read_range_junk -r f800-f80fff -o x.s19
seed config_junk -C f5JUNK
seed rate_past_32_bits -b 4294976896
seed port_zero -c 0
seed hex_prefixes -e 0xb600-0XB7FF -C 0x0f -r 0-f -o x.s19
seed confirm_config -B -C 03 -p A8 --confirm-config
seed loop_run -d rfc2217://127.0.0.1:7000 --reset-line dtr --mode-line rts --invert-lines --run -i a.s19 --monitor 9600 --monitor-for 5 --raw
seed loop_refused --reset-line cts --mode-line dtr --run --wait 0 --monitor 49 --monitor-for
seed loop_monitor_alone -d /dev/ttyUSB0 --monitor -B --wait 86400
seed boards -d /dev/ttyUSB0 -d rfc2217://lab-2:4001 -d /dev/ttyUSB0 --boards boards.txt -i a.s19
seed boards_with_com -c 2 -d a -d b
seed serial -i a.s19 --serial f800:2 --serial-file next.txt --serial 0x10000:9 --serial b7fe:
seed serial_alone --serial f800:8 --serial-file next.txt -n -i a.s19
seed line_records --log run.log --json --station --count 3 --count 0 -d a --monitor
