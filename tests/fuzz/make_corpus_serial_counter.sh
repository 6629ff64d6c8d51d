#!/bin/sh
# Regenerates the seeds of the serial counter's fuzzer: counter files' texts and "--serial"
# values (each input is tried as both).
set -eu
out=$(dirname "$0")/corpus_serial_counter
rm -rf "$out"
mkdir -p "$out"
seed() {  # name, then printf's format of the bytes
    name=$1
    shift
    printf "$@" > "$out/$name"
}
seed plain '1000\n'
seed no_line_end '42'
seed crlf_and_notes ' 7 \r\n# batch 12, lab 3\r\n'
seed largest '18446744073709551615\n'
seed past_64_bits '18446744073709551616\n'
seed lone_cr '12\rjunk'
seed words 'next: 5\n'
seed spec_two_bytes 'b600:2'
seed spec_hex_prefix '0xFFF8:8'
seed spec_wraps 'ffff:2'
seed spec_nine 'f800:9'
