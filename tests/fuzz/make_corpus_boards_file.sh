#!/bin/sh
# Regenerates the seeds of the "--boards" file's fuzzer.
set -eu
corpus=boards_file
. "$(dirname "$0")/corpus_seeds.sh"
seed devices '/dev/ttyUSB0\n/dev/ttyUSB1\n'
seed by_id '/dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0\n/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.2:1.0-port0\n'
seed network '# bench 2\nrfc2217://10.0.0.7:3001\nrfc2217://[::1]:7000\n'
seed crlf_blanks '  # lab\r\n\r\n\t/dev/ttyUSB0  \r\n'
seed bad_url 'rfc2217://host\n'
seed port_zero 'rfc2217://h:0\n'
seed control '/dev/a\001b\n'
seed with_nul '/dev/a\000b\n'
seed hash_inside '/dev/a # not a comment\n'
seed no_line_end 'COM3'
seed long_name "$(printf '%0300d' 0)\n"
