; Branches, jumps and subroutines. A branch case loads the CCR with TAP, branches to its
; LABEL_end and otherwise runs LDAB #1 first: B tells whether it branched.
; Every case starts with A = B = 0, X = Y = 0, SP = $01FF and CCR = S X I.

	C = 0x01
	V = 0x02
	Z = 0x04
	N = 0x08
	SXI = 0xd0		; the bits TAP keeps as they start

	.macro branch_case name, branch, flags
\name:
	ldaa #(SXI | \flags)
	tap
	\branch \name\()_end
	ldab #1
\name\()_end:
	.endm

	.section .page0
add_one_direct:			; a subroutine JSR can reach in direct mode
	inca
	rts

	.text

	branch_case bra_taken, bra, 0
	branch_case brn_not_taken, brn, 0
	branch_case bhi_taken, bhi, 0
	branch_case bhi_not_taken_on_c, bhi, C
	branch_case bhi_not_taken_on_z, bhi, Z
	branch_case bls_taken_on_c, bls, C
	branch_case bls_taken_on_z, bls, Z
	branch_case bls_not_taken, bls, 0
	branch_case bcc_taken, bcc, 0
	branch_case bcc_not_taken, bcc, C
	branch_case bcs_taken, bcs, C
	branch_case bcs_not_taken, bcs, 0
	branch_case bne_taken, bne, 0
	branch_case bne_not_taken, bne, Z
	branch_case beq_taken, beq, Z
	branch_case beq_not_taken, beq, 0
	branch_case bvc_taken, bvc, 0
	branch_case bvc_not_taken, bvc, V
	branch_case bvs_taken, bvs, V
	branch_case bvs_not_taken, bvs, 0
	branch_case bpl_taken, bpl, 0
	branch_case bpl_not_taken, bpl, N
	branch_case bmi_taken, bmi, N
	branch_case bmi_not_taken, bmi, 0
	branch_case bge_taken_on_n_and_v, bge, N|V
	branch_case bge_not_taken, bge, N
	branch_case blt_taken, blt, V
	branch_case blt_not_taken, blt, N|V
	branch_case bgt_taken, bgt, 0
	branch_case bgt_not_taken_on_z, bgt, Z
	branch_case bgt_not_taken_on_n, bgt, N
	branch_case ble_taken_on_z, ble, Z
	branch_case ble_taken_on_n_xor_v, ble, N
	branch_case ble_not_taken, ble, N|V

backward_branch_loop:		; three times round: the offset is negative
	ldab #3
1:	decb
	bne 1b
backward_branch_loop_end:

long_forward_branch:		; the largest forward offset, +127
	bra 2f
	.skip 127
2:
long_forward_branch_end:

bsr_rts:
	bsr add_one
	bsr add_one
bsr_rts_end:

jsr_direct:
	jsr *add_one_direct
jsr_direct_end:

jsr_extended:
	jsr add_one
jsr_extended_end:

jsr_indexed_x:
	ldx #add_one
	jsr 0,x
jsr_indexed_x_end:

jsr_indexed_y:
	ldy #add_one - 4
	jsr 4,y
jsr_indexed_y_end:

bsr_stacks_return:		; the subroutine is never left: the return address stays stacked
	bsr bsr_stacks_return_end
bsr_stacks_return_address:
bsr_stacks_return_end:

jmp_extended:
	jmp jmp_extended_end
	ldab #1
jmp_extended_end:

jmp_indexed_x:
	ldx #jmp_indexed_x_end
	jmp 0,x
	ldab #1
jmp_indexed_x_end:

jmp_indexed_y:
	ldy #jmp_indexed_y_end - 2
	jmp 2,y
	ldab #1
jmp_indexed_y_end:

add_one:
	inca
	rts
