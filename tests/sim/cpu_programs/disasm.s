; One instruction of each addressing mode and prebyte page, for the disassembler.

	.text
d_inherent:		nop
d_immediate8:		ldaa #0x3e
d_immediate16:		ldx #0x1234
d_direct:		ldaa *0x2e
d_extended:		ldaa 0x1234
d_indexed_x:		staa 0x2e,x
d_indexed_y:		ldaa 0x2e,y
d_page_18_immediate:	ldy #0xbeef
d_page_1a:		ldy 5,x
d_page_cd:		cpd 4,y
d_relative:		bne d_relative
d_bsr:			bsr d_inherent
d_bset_direct:		bset *0x2e #0x20
d_bclr_y:		bclr 0x2e,y #0x81
d_brset_x:		brset 0x2e,x #0x20 d_brset_x_target
d_brclr_direct:		brclr *0x2e #0x01 d_relative
d_brset_x_target:
d_jsr_direct:		jsr *0x80
d_illegal:		.byte 0x41
d_illegal_prebyte:	.byte 0x18, 0x41
