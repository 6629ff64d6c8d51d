#!/bin/sh
# Regenerates the seeds of the block read's fuzzer: a mode byte (even: the true answer with two
# changes; odd: the rest is the first answer), address, length - 1, two changes (offset, bits),
# then the chip's bytes.
set -eu
corpus=block_read
. "$(dirname "$0")/corpus_seeds.sh"
seed clean_eeprom '\000\370\000\007\377\000\000\000\000\000\000\001\002\003\004'
seed two_in_one_span '\000\370\000\000\177\000\050\200\000\052\200\377\000'
seed pages_apart '\000\370\000\007\377\000\050\377\001\044\377\377\377\000\000'
seed unaligned_start '\000\370\175\001\000\000\002\001\000\003\001\125\252'
seed check_bytes '\000\370\000\000\011\000\012\377\000\013\377\041\042\043'
seed prompt_changed '\000\377\370\000\017\000\022\001\000\000\000\060'
seed one_byte '\000\020\071\000\000\000\000\020\000\002\020\200'
seed wraps '\000\377\360\000\077\000\005\004\000\070\010\011\022\033'
seed raw_short '\001\370\000\000\003\000\000\000\000\000\000\001\002'
seed raw_valid '\001\370\000\000\001\000\000\000\000\000\000\005\006\003\005\076'
seed raw_garbage '\001\370\000\000\177\000\000\000\000\000\000\377\377\377\376\375\074'
seed whole_block '\002\360\000\007\377\001\000\100\006\000\100\146\231'
