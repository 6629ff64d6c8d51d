; MUL, IDIV and FDIV, division by zero and FDIV's overflow included.
; Each case runs from its label to LABEL_end.
; Every case starts with A = B = 0, X = Y = 0, SP = $01FF and CCR = S X I.

	.text

mul_largest:			; $FF * $FF = $FE01; C is bit 7 of B
	ldaa #0xff
	ldab #0xff
	mul
mul_largest_end:

mul_rounding_carry:		; $10 * $08 = $0080: C set so that ADCA #0 rounds A
	ldaa #0x10
	ldab #0x08
	mul
mul_rounding_carry_end:

mul_keeps_other_flags:		; only C changes
	ldaa #0x00
	ldab #0x00
	sev
	sec
	mul
mul_keeps_other_flags_end:

idiv_quotient_and_remainder:	; 1000 / 7 = 142 remainder 6
	ldd #1000
	ldx #7
	idiv
idiv_quotient_and_remainder_end:

idiv_zero_quotient:		; 5 / 10 = 0 remainder 5
	ldd #5
	ldx #10
	idiv
idiv_zero_quotient_end:

idiv_by_zero:
	ldd #0x1234
	ldx #0
	idiv
idiv_by_zero_end:

fdiv_half:			; $4000 / $8000 = 0.5 = $8000
	ldd #0x4000
	ldx #0x8000
	fdiv
fdiv_half_end:

fdiv_third:			; 1 / 3 = $5555 remainder 1
	ldd #1
	ldx #3
	fdiv
fdiv_third_end:

fdiv_zero_numerator:
	ldd #0
	ldx #5
	fdiv
fdiv_zero_numerator_end:

fdiv_equal_overflows:		; the denominator must be above the numerator
	ldd #0x8000
	ldx #0x8000
	fdiv
fdiv_equal_overflows_end:

fdiv_by_zero:
	ldd #1
	ldx #0
	fdiv
fdiv_by_zero_end:
