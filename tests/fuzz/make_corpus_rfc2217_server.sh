#!/bin/sh
# Regenerates the seeds of hc11sim's RFC 2217 session fuzzer: a client's opening negotiation,
# each COM-PORT-OPTION command, data with doubled IACs, and streams cut off mid-command.
set -eu
out=$(dirname "$0")/corpus_rfc2217_server
rm -rf "$out"
mkdir -p "$out"
seed() {  # name, then the bytes as printf octal escapes
    printf "$2" > "$out/$1"
}
seed open '\377\375\001\377\373\003\377\375\003\377\375\054\377\373\054'
seed baud_1200 '\377\372\054\001\000\000\004\260\377\360'
seed baud_ask '\377\372\054\001\000\000\000\000\377\360'
seed frame_8n1 '\377\372\054\002\010\377\360\377\372\054\003\001\377\360\377\372\054\004\001\377\360'
seed dtr_rts '\377\372\054\005\010\377\360\377\372\054\005\013\377\360\377\372\054\005\011\377\360'
seed break '\377\372\054\005\005\377\360\000\377\372\054\005\006\377\360'
seed asks '\377\372\054\005\000\377\360\377\372\054\005\004\377\360\377\372\054\005\007\377\360'
seed purge '\377\372\054\014\003\377\360'
seed data_iac 'ab\377\377c\377\377\377\377'
seed cut_sub '\377\372\054\001\000\000'
seed cut_iac 'data\377'
seed stray_in_sub '\377\372\054\001\377\001\000\004\260\377\360'
seed refuse '\377\373\030\377\375\037\377\374\054\377\376\054'
seed long_sub '\377\372\054\001\001\002\003\004\005\006\007\010\011\012\013\014\015\016\017\020\021\022\377\360'
