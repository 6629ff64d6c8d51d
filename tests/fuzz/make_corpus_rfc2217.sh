#!/bin/sh
# Regenerates the seeds of the network serial port's fuzzer: a server's byte streams (the
# first byte of each says where the stream is cut in two reads), and port names.
set -eu
corpus=rfc2217
. "$(dirname "$0")/corpus_seeds.sh"
# ser2net's greeting to a telnet(rfc2217) client, and its answers to the client's commands.
seed greeting '\003\377\373\003\377\375\003\377\373\001\377\376\001\377\375\000\377\373\000\377\375\054\377\372\054\153\000\377\360'
seed rate_answer '\005\377\372\054\145\000\001\350\110\377\360'
seed rate_answer_with_iac '\004\377\372\054\145\000\001\376\377\377\377\360'
seed format_answers '\007\377\372\054\146\010\377\360\377\372\054\147\001\377\360\377\372\054\150\001\377\360'
seed purge_answer '\002stale\377\372\054\160\001\377\360fresh'
seed data_with_iac '\001ab\377\377c\377\361d'
seed sub_cut_by_command '\003\377\372\054\145\000\377\375\003data'
seed long_subnegotiation "\\012\\377\\372\\054\\000$(printf '%080d' 0)\\377\\360x"
seed iac_at_end '\000data\377'
seed url_name 'rfc2217://localhost:2000'
seed url_ipv6 'rfc2217://[::1]:7000'
seed url_no_port 'rfc2217://host:'
