; Byte arithmetic and logic on A and B: adds and subtracts with their H, V and C, compares,
; logic, loads and stores in every addressing mode, the accumulator-to-accumulator forms and
; DAA. Each case runs from its label to LABEL_end; LABEL_data is the memory it works on.
; Every case starts with A = B = 0, X = Y = 0, SP = $01FF and CCR = S X I.

	.section .page0
seven_f:	.byte 0x7f
staa_direct_data:	.byte 0

	.data
operands:	.byte 0x11, 0x22, 0x33
staa_extended_data:	.byte 0
stab_indexed_y_data:	.byte 0x5a
staa_indexed_x_data:	.byte 0x5a

	.text

; --- adds: H from bit 3, V for a signed overflow, C out of bit 7 ---

add_half_carry:			; $0F + $01: carry out of the low digit only
	ldaa #0x0f
	adda #0x01
add_half_carry_end:

add_carry_and_overflow:		; -128 + -128 = 0 with a carry out
	ldaa #0x80
	adda #0x80
add_carry_and_overflow_end:

add_positive_overflow:		; 127 + 1 turns negative
	ldaa #0x7f
	adda #0x01
add_positive_overflow_end:

adc_takes_carry:
	sec
	ldaa #0x10
	adca #0x20
adc_takes_carry_end:

addb_no_carry:
	ldab #0x55
	addb #0xaa
addb_no_carry_end:

adcb_carry_through:		; $FF + $00 + carry wraps to zero
	sec
	ldab #0xff
	adcb #0x00
adcb_carry_through_end:

adda_direct:
	ldaa #0x01
	adda *seven_f
adda_direct_end:

adda_extended:
	ldaa #0x01
	adda operands
adda_extended_end:

adda_indexed_x:
	ldx #operands
	ldaa #0x01
	adda 1,x
adda_indexed_x_end:

adda_indexed_y:
	ldy #operands
	ldaa #0x01
	adda 2,y
adda_indexed_y_end:

; --- subtracts and compares: C is the borrow ---

sub_borrow:
	ldaa #0x00
	suba #0x01
sub_borrow_end:

sub_overflow:			; -128 - 1 turns positive
	ldaa #0x80
	suba #0x01
sub_overflow_end:

sbc_takes_borrow:		; 0 - 0 - borrow
	sec
	ldaa #0x00
	sbca #0x00
sbc_takes_borrow_end:

sbc_overflow:			; -128 - 0 - borrow overflows
	sec
	ldaa #0x80
	sbca #0x00
sbc_overflow_end:

sbcb_indexed_y:			; $33 - $22 - borrow
	sec
	ldy #operands
	ldab #0x33
	sbcb 1,y
sbcb_indexed_y_end:

subb_extended:
	ldab #0x11
	subb operands
subb_extended_end:

cmpa_equal:
	ldaa #0x42
	cmpa #0x42
cmpa_equal_end:

cmpb_lower:
	ldab #0x10
	cmpb #0x20
cmpb_lower_end:

cmpa_signed_overflow:		; 1 - (-128): positive minus negative overflows
	ldaa #0x01
	cmpa #0x80
cmpa_signed_overflow_end:

; --- logic: N and Z from the result, V cleared, C kept ---

anda_keeps_carry:
	sev
	sec
	anda #0x0f
anda_keeps_carry_end:

oraa_negative:
	ldaa #0x81
	oraa #0x02
oraa_negative_end:

eorb_zero:
	ldab #0xff
	eorb #0xff
eorb_zero_end:

bita_leaves_a:
	ldaa #0x0f
	bita #0xf0
bita_leaves_a_end:

bitb_direct:
	ldab #0x40
	bitb *seven_f
bitb_direct_end:

ldaa_clears_v_keeps_c:
	sev
	sec
	ldaa #0
ldaa_clears_v_keeps_c_end:

ldab_indexed_x:
	ldx #operands
	ldab 2,x
ldab_indexed_x_end:

; --- stores ---

staa_direct:
	ldaa #0x99
	staa *staa_direct_data
staa_direct_end:

staa_extended:
	ldaa #0x80
	staa staa_extended_data
staa_extended_end:

staa_indexed_x:
	ldx #staa_indexed_x_data
	ldaa #0x01
	staa 0,x
staa_indexed_x_end:

stab_indexed_y:
	ldy #stab_indexed_y_data
	sev
	stab 0,y
stab_indexed_y_end:

; --- between the accumulators ---

aba_half_carry:
	ldaa #0x08
	ldab #0x08
	aba
aba_half_carry_end:

sba_borrow:
	ldaa #0x10
	ldab #0x20
	sba
sba_borrow_end:

cba_equal:
	ldaa #0x20
	ldab #0x20
	cba
cba_equal_end:

tab_negative:
	ldaa #0x80
	tab
tab_negative_end:

tba_zero:
	ldaa #0x01
	tba
tba_zero_end:

; --- DAA after adding two BCD bytes ---

daa_no_correction:		; 12 + 34 = 46
	ldaa #0x12
	adda #0x34
	daa
daa_no_correction_end:

daa_low_digit_half_carry:	; 19 + 28 = 47: the binary sum $41 carried out of the low digit
	ldaa #0x19
	adda #0x28
	daa
daa_low_digit_half_carry_end:

daa_low_digit_over_nine:	; 15 + 27 = 42: binary $3C
	ldaa #0x15
	adda #0x27
	daa
daa_low_digit_over_nine_end:

daa_high_digit:			; 52 + 61 = 113: binary $B3
	ldaa #0x52
	adda #0x61
	daa
daa_high_digit_end:

daa_both_digits_carry:		; 99 + 99 = 198: binary $132
	ldaa #0x99
	adda #0x99
	daa
daa_both_digits_carry_end:

daa_to_zero:			; 50 + 50 = 100: binary $A0
	ldaa #0x50
	adda #0x50
	daa
daa_to_zero_end:

daa_nine_and_over_nine:		; 48 + 54 = 102: binary $9C
	ldaa #0x48
	adda #0x54
	daa
daa_nine_and_over_nine_end:

daa_carry_in:			; 1 + 99 + carry = 101, through ADCA
	sec
	ldaa #0x01
	adca #0x99
	daa
daa_carry_in_end:
