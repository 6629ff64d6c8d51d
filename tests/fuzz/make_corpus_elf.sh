#!/bin/sh
# Regenerates the seed files of the ELF reader's fuzzer from the image fixture program, as the
# 68HC11 toolchain writes it: linked at $F800 (its first segment starting with the file's
# headers, .data loaded after the code), at $2000 with a script, with -N (no headers in a
# segment), stripped, as the unlinked object, and in pieces (cut inside the section headers,
# inside the contents) and with its machine or byte order changed.
set -eu
here=$(dirname "$0")
out=$here/corpus_elf
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fixtures=$here/../host/image_fixtures
m68hc11-as -o "$work/p.o" "$fixtures/two_sections.s"
link() {  # name ld-options...
    name=$1
    shift
    m68hc11-ld --no-warn-rwx-segments "$@" -o "$out/$name" "$work/p.o"
}
link at_f800 -Ttext 0xF800 -Tdata 0x1100
link at_2000 -T "$fixtures/at_2000.ld"
link no_headers -N -Ttext 0xF800 -Tdata 0x1100
link stripped -s -Ttext 0xB600 -Tdata 0x1100
cp "$work/p.o" "$out/object"
size=$(wc -c < "$out/at_f800")
head -c $((size - 100)) "$out/at_f800" > "$out/cut_in_section_headers"
head -c 2100 "$out/at_f800" > "$out/cut_in_contents"
head -c 52 "$out/at_f800" > "$out/header_alone"
# Byte 19 is the machine's low byte (70, the 68HC11); byte 5 the byte order (2, big-endian).
cp "$out/at_2000" "$out/other_machine"
printf '\065' | dd of="$out/other_machine" bs=1 seek=19 conv=notrunc status=none
cp "$out/at_2000" "$out/little_endian"
printf '\001' | dd of="$out/little_endian" bs=1 seek=5 conv=notrunc status=none
