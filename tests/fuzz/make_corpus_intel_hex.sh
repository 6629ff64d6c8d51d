#!/bin/sh
# Regenerates the seed files of the Intel HEX reader's fuzzer: srec_cat's Intel output (linear
# and segment bases, several line lengths, CR LF, lower case), objcopy's output of the image
# fixture program, and the variants a user's file may bring (cut short, a wrong checksum, a
# base beyond 16 bits, a record after the end, one byte given two values).
set -eu
here=$(dirname "$0")
out=$here/corpus_intel_hex
rm -rf "$out"
mkdir -p "$out"
intel() {  # first last bytes-per-line [more srec_cat options]
    first=$1 last=$2 obs=$3
    shift 3
    srec_cat -generate "$first" "$last" -repeat-data 0x12 0x34 0xAB 0xCD 0x5A 0x00 0xFF \
        -o - -intel -obs="$obs" "$@" 2>/dev/null
}
seed() {  # name; the text comes from stdin
    cat > "$out/$1"
}
intel 0xF800 0xF840 16 | seed linear_base
intel 0xF800 0xF840 32 -execution-start-address=0xF800 | seed start_address
intel 0x1000 0x1100 255 | seed longest_lines
printf ':020000020F00ED\n:01080000AA4D\n:00000001FF\n' | seed segment_base
intel 0x2000 0x2020 16 -line-termination=crlf | seed crlf
intel 0x2000 0x2020 16 | tr 'A-F' 'a-f' | seed lowercase
intel 0xF800 0xF840 16 | head -c 40 | seed cut_short
intel 0xF800 0xF810 16 | sed '2s/..$/00/' | seed wrong_checksum
printf ':020000040001F9\n:0100000055AA\n:00000001FF\n' | seed beyond_16_bits
printf ':01080000AA4D\n:00000001FF\n:01080000AA4D\n' | seed after_the_end
printf ':01F80000AA5D\n:01F8000055B2\n' | seed two_values
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
m68hc11-as -o "$work/p.o" "$here/../host/image_fixtures/two_sections.s"
m68hc11-ld -Ttext 0xF800 -Tdata 0x1100 -o "$work/p.elf" "$work/p.o"
m68hc11-objcopy -O ihex "$work/p.elf" "$out/objcopy_program"
