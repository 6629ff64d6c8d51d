; The speed benchmark's CPU-bound loop: copies a 256-byte block while summing it, polls a
; status bit, multiplies and calls a subroutine, forever. An even mix of the addressing
; modes, about 3.5 E cycles per instruction.

	.section .page0
sum:	.byte 0
status:	.byte 0x80

	.data
source:	.skip 256
dest:	.skip 256

	.text
start:
	lds #0x01ff
outer:
	ldx #source
	ldy #dest
copy:
	ldaa 0,x
	staa 0,y
	adda *sum
	staa *sum
	inx
	iny
	cpx #source + 256
	bne copy
	brset *status #0x80 1f
1:	ldab sum
	mul
	jsr mix
	bra outer

mix:
	pshx
	xgdx
	pulx
	rts

	.section .vectors,"a"
	.org 0x3e
	.word start
