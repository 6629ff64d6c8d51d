; Index and stack registers: INX/DEX/INY/DEY (Z only), INS/DES (no flags), TSX/TSY/TXS/TYS
; (the stack pointer is one below the last byte pushed), ABX/ABY (B unsigned), XGDX/XGDY,
; the pushes and pulls, and the condition-code instructions TAP, TPA, CLx and SEx.
; Each case runs from its label to LABEL_end.
; Every case starts with A = B = 0, X = Y = 0, SP = $01FF and CCR = S X I.

	.text

inx_to_zero:
	ldx #0xffff
	inx
inx_to_zero_end:

dex_keeps_other_flags:		; N, V and C stay as they were
	ldx #0x8001
	sec
	dex
dex_keeps_other_flags_end:

iny_to_zero:
	ldy #0xffff
	iny
iny_to_zero_end:

dey:
	ldy #2
	dey
dey_end:

ins_touches_no_flag:
	lds #0xffff
	ins
ins_touches_no_flag_end:

des:
	lds #0x0100
	des
des_end:

tsx:
	lds #0x01f0
	tsx
tsx_end:

tsy:
	lds #0x01f0
	tsy
tsy_end:

txs:
	ldx #0x0200
	txs
txs_end:

tys:
	ldy #0x0200
	tys
tys_end:

abx_b_unsigned:
	ldx #0x0001
	ldab #0xff
	abx
abx_b_unsigned_end:

aby_b_unsigned:
	ldy #0x0001
	ldab #0xff
	aby
aby_b_unsigned_end:

xgdx:
	ldd #0x1234
	ldx #0x5678
	xgdx
xgdx_end:

xgdy:
	ldd #0x1234
	ldy #0x5678
	xgdy
xgdy_end:

psha_pula:			; the pull leaves the flags of LDAA #0
	ldaa #0x42
	psha
	ldaa #0
	pula
psha_pula_end:

pshb_pulb:
	ldab #0x24
	pshb
	clrb
	pulb
pshb_pulb_end:

pshx_low_byte_first:		; the high byte ends at the lower address
	ldx #0x1234
	pshx
	pula
	pulb
pshx_low_byte_first_end:

pshy_puly:
	ldy #0xabcd
	pshy
	ldy #0
	puly
pshy_puly_end:

pulx:
	ldd #0x5678
	pshb
	psha
	pulx
pulx_end:

tap_tpa:			; S and X stay set; H, I, N, Z, V and C as A says
	ldaa #0xef
	tap
	tpa
tap_tpa_end:

tap_cannot_set_x:		; once cleared, X stays clear
	ldaa #0x10
	tap
	ldaa #0xff
	tap
	tpa
tap_cannot_set_x_end:

flag_instructions:
	sec
	sev
	cli
	clc
flag_instructions_end:

clear_v_set_i:
	cli
	sev
	clv
	sei
clear_v_set_i_end:
