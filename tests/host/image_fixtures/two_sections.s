; A small program in two sections, linked at two places by image_fixtures.cmake: its code
; and a table in .text, initial values in .data (loaded after the code, copied at start).
	.sect .text
	.globl _start
_start:	lds #0x00FF
	ldx #table
	ldy #counter
copy:	ldaa 0,x
	staa 0,y
	inx
	iny
	cpx #table_end
	bne copy
	bra _start
table:	.ascii "two sections, one image: S19, Intel HEX and ELF agree"
	.byte 0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF
table_end:

	.sect .data
counter:	.word 0x1234
flags:	.byte 0xA5, 0x5A, 0xC3
