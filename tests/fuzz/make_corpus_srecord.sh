#!/bin/sh
# Regenerates the seed lines of the parser's fuzzer, one line per file, from srec_cat's output:
# S0, S1 lines of several lengths, S9, and the variants a user's file may bring (lowercase,
# CR LF, cut short, a record type the parser refuses).
set -eu
out=$(dirname "$0")/corpus_srecord
rm -rf "$out"
mkdir -p "$out"
records() {  # first last bytes-per-line [more srec_cat options]
    first=$1 last=$2 obs=$3
    shift 3
    srec_cat -generate "$first" "$last" -repeat-data 0x12 0x34 0xAB 0xCD 0x5A 0x00 0xFF \
        -header "hc11prog fuzz seed" \
        -o - -address-length=2 -obs="$obs" -execution-start-address=0xF800 "$@" 2>/dev/null
}
seed() {  # name; the line comes from stdin
    cat > "$out/$1"
}
records 0xF800 0xF801 1 | sed -n 1p | seed header  # S0 header
records 0xF800 0xF801 1 -disable=header | sed -n 1p | seed one_byte  # one data byte
records 0x0000 0x0010 16 -disable=header | sed -n 1p | seed sixteen_bytes  # sixteen bytes
records 0x001E 0x003C 30 -disable=header | sed -n 1p | seed image_line  # a 70-character image line
records 0xFFBE 0x10000 66 -disable=header | sed -n 1p | seed count_69  # the largest count, 69
records 0xF800 0xF801 1 -disable=header -disable=data-count | tail -n 1 | seed end_record  # S9
records 0x1000 0x1010 16 -disable=header | sed -n 1p | tr 'A-Z' 'a-z' | seed lowercase  # lowercase
records 0x1000 0x1010 16 -disable=header -line-termination=crlf | sed -n 1p | seed crlf
records 0x1000 0x1010 16 -disable=header | sed -n 1p | cut -c1-20 | seed cut_short  # cut short
records 0x1000 0x1010 16 -disable=header | grep '^S5' | seed record_count  # refused type
