; BSET, BCLR, BRSET and BRCLR in direct, ,X and ,Y forms, on memory and on a register-like
; address in the block at $1000. A branching case goes to LABEL_end and otherwise runs
; LDAB #1 first: B tells whether it branched. LABEL_data is the memory a case works on.
; Every case starts with A = B = 0, X = Y = 0, SP = $01FF and CCR = S X I.

	.section .page0
bset_direct_data:	.byte 0x10
bclr_direct_data:	.byte 0xf5
brset_direct_data:	.byte 0x83
brclr_direct_data:	.byte 0x7e
counter:		.byte 0

	.section .registers,"a"
	.org 0x2e
status:	.byte 0xc0		; like SCSR with TDRE and TC set

	.data
bset_indexed_x_data:	.byte 0x00
bset_indexed_y_data:	.byte 0x7f
bclr_indexed_x_data:	.byte 0x81
bclr_indexed_y_to_zero_data:	.byte 0xff

	.text

bset_direct:			; N and Z from the result, V cleared
	sev
	bset *bset_direct_data #0x81
bset_direct_end:

bclr_direct:
	bclr *bclr_direct_data #0xf0
bclr_direct_end:

bset_indexed_x:
	ldx #bset_indexed_x_data - 3
	bset 3,x #0x01
bset_indexed_x_end:

bset_indexed_y:
	ldy #bset_indexed_y_data
	bset 0,y #0x80
bset_indexed_y_end:

bclr_indexed_x:
	ldx #bclr_indexed_x_data
	bclr 0,x #0x01
bclr_indexed_x_end:

bclr_indexed_y_to_zero:
	ldy #bclr_indexed_y_to_zero_data
	bclr 0,y #0xff
bclr_indexed_y_to_zero_end:

brset_direct_taken:		; every mask bit set
	brset *brset_direct_data #0x81 brset_direct_taken_end
	ldab #1
brset_direct_taken_end:

brset_direct_not_taken:		; one mask bit clear
	brset *brset_direct_data #0x0c brset_direct_not_taken_end
	ldab #1
brset_direct_not_taken_end:

brclr_direct_taken:		; every mask bit clear
	brclr *brclr_direct_data #0x81 brclr_direct_taken_end
	ldab #1
brclr_direct_taken_end:

brclr_direct_not_taken:
	brclr *brclr_direct_data #0x03 brclr_direct_not_taken_end
	ldab #1
brclr_direct_not_taken_end:

brset_empty_mask:		; no bit to test: always branches
	brset *brclr_direct_data #0 brset_empty_mask_end
	ldab #1
brset_empty_mask_end:

brset_register_x_taken:		; the way a program polls TDRE
	ldx #0x1000
	brset 0x2e,x #0x80 brset_register_x_taken_end
	ldab #1
brset_register_x_taken_end:

brclr_register_x_not_taken:
	ldx #0x1000
	brclr 0x2e,x #0x40 brclr_register_x_not_taken_end
	ldab #1
brclr_register_x_not_taken_end:

brclr_register_y_taken:
	ldy #0x1000
	brclr 0x2e,y #0x20 brclr_register_y_taken_end
	ldab #1
brclr_register_y_taken_end:

brset_register_y_not_taken:
	ldy #0x1000
	brset 0x2e,y #0x21 brset_register_y_not_taken_end
	ldab #1
brset_register_y_not_taken_end:

brclr_backward:			; counts until bit 2 comes up: the offset is negative
	ldaa #0
1:	inca
	staa *counter
	brclr *counter #0x04 1b
brclr_backward_end:
