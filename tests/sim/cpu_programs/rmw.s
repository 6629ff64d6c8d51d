; One-operand instructions on A, on B and in memory: NEG, COM, the shifts and rotates with
; V = N xor C, INC and DEC with their own V and no C, TST and CLR; and the D shifts.
; Each case runs from its label to LABEL_end; LABEL_data is the memory it works on.
; Every case starts with A = B = 0, X = Y = 0, SP = $01FF and CCR = S X I.

	.data
neg_extended_data:	.byte 0x80
com_indexed_x_data:	.byte 0xff
asl_indexed_y_data:	.byte 0x81
lsr_extended_data:	.byte 0x02
ror_extended_data:	.byte 0x01
rol_indexed_x_data:	.byte 0x40
asr_indexed_y_data:	.byte 0xfe
dec_indexed_x_data:	.byte 0x01
inc_extended_data:	.byte 0x7f
tst_extended_data:	.byte 0x00
clr_indexed_y_data:	.byte 0x5a

	.text

; --- NEG and COM ---

nega_one:
	ldaa #0x01
	nega
nega_one_end:

nega_minus_128:			; the one value whose negation overflows
	ldaa #0x80
	nega
nega_minus_128_end:

negb_zero:			; only zero negates without a borrow
	negb
negb_zero_end:

neg_extended:
	neg neg_extended_data
neg_extended_end:

coma_sets_carry:
	ldaa #0x0f
	coma
coma_sets_carry_end:

com_indexed_x:
	ldx #com_indexed_x_data
	com 0,x
com_indexed_x_end:

; --- shifts and rotates: C is the bit shifted out, V = N xor C ---

asla_overflow:			; N set, C clear
	ldaa #0x40
	asla
asla_overflow_end:

asla_carry_no_overflow:		; N and C both set
	ldaa #0xc0
	asla
asla_carry_no_overflow_end:

aslb_to_zero:			; C set, N clear
	ldab #0x80
	aslb
aslb_to_zero_end:

asl_indexed_y:
	ldy #asl_indexed_y_data
	asl 0,y
asl_indexed_y_end:

asra_keeps_sign:
	ldaa #0x81
	asra
asra_keeps_sign_end:

asr_indexed_y:
	ldy #asr_indexed_y_data
	asr 0,y
asr_indexed_y_end:

lsra_to_zero:
	ldaa #0x01
	lsra
lsra_to_zero_end:

lsrb_clears_n:
	ldab #0xfe
	lsrb
lsrb_clears_n_end:

lsr_extended:
	lsr lsr_extended_data
lsr_extended_end:

rola_carry_in_and_out:
	sec
	ldaa #0x80
	rola
rola_carry_in_and_out_end:

rol_indexed_x:
	ldx #rol_indexed_x_data
	rol 0,x
rol_indexed_x_end:

rorb_carry_in_and_out:
	sec
	ldab #0x01
	rorb
rorb_carry_in_and_out_end:

ror_extended:
	ror ror_extended_data
ror_extended_end:

; --- INC and DEC: V on crossing between $7F and $80, C untouched ---

deca_overflow:
	ldaa #0x80
	deca
deca_overflow_end:

decb_keeps_carry:
	sec
	ldab #0x01
	decb
decb_keeps_carry_end:

dec_indexed_x:
	ldx #dec_indexed_x_data
	dec 0,x
dec_indexed_x_end:

inca_overflow:
	ldaa #0x7f
	inca
inca_overflow_end:

incb_wraps_without_carry:
	ldab #0xff
	incb
incb_wraps_without_carry_end:

inc_extended:
	inc inc_extended_data
inc_extended_end:

; --- TST and CLR: V and C cleared ---

tsta_clears_v_and_c:
	ldaa #0x80
	sec
	sev
	tsta
tsta_clears_v_and_c_end:

tst_extended:
	sec
	tst tst_extended_data
tst_extended_end:

clra_clears_nvc:
	ldaa #0x55
	sec
	sev
	clra
clra_clears_nvc_end:

clrb:
	ldab #0x80
	clrb
clrb_end:

clr_indexed_y:
	ldy #clr_indexed_y_data
	clr 0,y
clr_indexed_y_end:

; --- D shifts ---

asld_overflow:
	ldd #0x4001
	asld
asld_overflow_end:

asld_carry_to_zero:
	ldd #0x8000
	asld
asld_carry_to_zero_end:

lsrd_carry:
	ldd #0x0003
	lsrd
lsrd_carry_end:
