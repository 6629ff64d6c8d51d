#!/bin/sh
# Regenerates the seeds of the serial counter's fuzzer: counter files' texts and "--serial"
# values (each input is tried as both).
set -eu
corpus=serial_counter
. "$(dirname "$0")/corpus_seeds.sh"
seed plain '1000\n'
seed no_line_end '42'
seed crlf_and_notes ' 7 \r\n# batch 12, lab 3\r\n'
seed largest '18446744073709551615\n'
seed past_64_bits '18446744073709551616\n'
seed lone_cr '12\rjunk'
seed words 'next: 5\n'
seed value_two_bytes 'b600:2'
seed value_hex_prefix '0xFFF8:8'
seed value_wraps 'ffff:2'
seed value_nine 'f800:9'
