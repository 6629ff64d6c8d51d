#!/bin/sh
# Regenerates the seed files of the S19 and raw-bytes image fuzzer. The first byte of a seed
# chooses the reader: "R" (even) reads S19, "a" (odd) takes the bytes raw at $0100 as --base
# does. Seeds: srec_cat's S19 at several line lengths, a record running past $FFFF, S2 and S3
# records, lower case, a byte given two values, an S5 count, and as raw bytes a program's bytes,
# bytes that look like record starts, an S19 text and an Intel HEX text (refused).
set -eu
here=$(dirname "$0")
out=$here/corpus_s19_image
rm -rf "$out"
mkdir -p "$out"
srec() {  # first last bytes-per-line [more srec_cat options]
    first=$1 last=$2 obs=$3
    shift 3
    srec_cat -generate "$first" "$last" -repeat-data 0x12 0x34 0xAB 0xCD 0x5A 0x00 0xFF \
        -o - -obs="$obs" "$@" 2>/dev/null
}
seed() {  # name chooser; the file comes from stdin
    { printf '%s' "$2"; cat; } > "$out/$1"
}
srec 0xF800 0xF840 16 | seed s19_short_lines R
srec 0x1000 0x1100 32 -address-length=3 | seed s19_s2_records R
srec 0x2000 0x2040 32 -address-length=4 | seed s19_s3_records R
printf 'S107FFFE01020304F1\n' | seed s19_past_ffff R
srec 0xF800 0xF820 16 | tr 'A-F' 'a-f' | sed 's/^s/S/' | seed s19_lowercase R
printf 'S105F800AABB9D\nS105F80055BBF2\n' | seed s19_two_values R
printf 'S105F800AABB9D\nS5030001FB\nS9030000FC\n' | seed s19_count_record R
printf 'S105F800AABB9D\nS9030000FC\n' | seed raw_s19_text a
printf ':01F80000AA5D\n:00000001FF\n' | seed raw_intel_text a
printf '\216\000\377\316\020\000\037\056\100\374' | seed raw_program a
srec_cat -generate 0 0x100 -repeat-data 0x53 0x31 0x3A 0x0D 0x0A 0xFF 0x7F -o - -binary | seed raw_mixed a
