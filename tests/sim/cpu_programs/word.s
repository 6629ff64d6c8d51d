; Double-byte instructions: ADDD, SUBD, the compares CPD, CPX and CPY, loads and stores of
; D, X, Y and SP in every addressing mode, including the $1A and $CD prebyte pages
; (CPD ,X / LDY ,X / STY ,X / CPY ,X and CPD ,Y / CPX ,Y / LDX ,Y / STX ,Y).
; Each case runs from its label to LABEL_end; LABEL_data is the memory it works on.
; Every case starts with A = B = 0, X = Y = 0, SP = $01FF and CCR = S X I.

	.section .page0
w1111:	.word 0x1111
w8000:	.word 0x8000
std_direct_data:	.word 0
sts_direct_data:	.word 0
stx_direct_data:	.word 0
sty_direct_data:	.word 0
stx_indexed_x_data:	.word 0		; at $000C: X is both the place and the value
sty_indexed_y_data:	.word 0		; at $000E

	.data
words:	.word 0x1111, 0x2222, 0x3333
w1234:	.word 0x1234
std_extended_data:	.word 0
std_indexed_x_data:	.word 0
std_indexed_y_data:	.word 0
sts_extended_data:	.word 0
sts_indexed_x_data:	.word 0
sts_indexed_y_data:	.word 0
stx_extended_data:	.word 0
stx_indexed_y_data:	.word 0
sty_extended_data:	.word 0
sty_indexed_x_data:	.word 0

	.text

; --- ADDD and SUBD ---

addd_overflow:
	ldd #0x7fff
	addd #1
addd_overflow_end:

addd_carry_to_zero:
	ldd #0xffff
	addd #1
addd_carry_to_zero_end:

addd_direct:
	ldd #0x1234
	addd *w1111
addd_direct_end:

addd_extended:
	ldd #0x1234
	addd words+2
addd_extended_end:

addd_indexed_x:
	ldx #words
	ldd #0x1234
	addd 4,x
addd_indexed_x_end:

addd_indexed_y:
	ldy #words
	ldd #0x1234
	addd 0,y
addd_indexed_y_end:

subd_borrow:
	ldd #0
	subd #1
subd_borrow_end:

subd_overflow:
	ldd #0x8000
	subd #1
subd_overflow_end:

subd_direct:
	ldd #0x1111
	subd *w1111
subd_direct_end:

subd_extended:
	ldd #0x3333
	subd words
subd_extended_end:

subd_indexed_x:
	ldx #words
	ldd #0x3333
	subd 2,x
subd_indexed_x_end:

subd_indexed_y:
	ldy #words
	ldd #0x3333
	subd 4,y
subd_indexed_y_end:

; --- compares ---

cpd_immediate:
	ldd #0x1234
	cpd #0x1234
cpd_immediate_end:

cpd_direct:
	ldd #0x0000
	cpd *w8000
cpd_direct_end:

cpd_extended:
	ldd #0x2000
	cpd w1234
cpd_extended_end:

cpd_indexed_x:
	ldx #words
	ldd #0x1111
	cpd 2,x
cpd_indexed_x_end:

cpd_indexed_y:
	ldy #words
	ldd #0x3333
	cpd 4,y
cpd_indexed_y_end:

cpx_immediate_overflow:
	ldx #0x8000
	cpx #0x0001
cpx_immediate_overflow_end:

cpx_direct:
	ldx #0x1111
	cpx *w1111
cpx_direct_end:

cpx_extended:
	ldx #0x1000
	cpx w1234
cpx_extended_end:

cpx_indexed_x:			; X against the word X points at
	ldx #words
	cpx 0,x
cpx_indexed_x_end:

cpx_indexed_y:
	ldy #words
	ldx #0x2222
	cpx 2,y
cpx_indexed_y_end:

cpy_immediate:
	ldy #1
	cpy #2
cpy_immediate_end:

cpy_direct:
	ldy #0x8000
	cpy *w8000
cpy_direct_end:

cpy_extended:
	ldy #0x2000
	cpy w1234
cpy_extended_end:

cpy_indexed_x:
	ldx #words
	ldy #0x3333
	cpy 4,x
cpy_indexed_x_end:

cpy_indexed_y:			; Y against the word Y points at
	ldy #words
	cpy 0,y
cpy_indexed_y_end:

; --- loads: N and Z from the value, V cleared ---

ldd_immediate:
	sev
	ldd #0
ldd_immediate_end:

ldd_direct:
	ldd *w8000
ldd_direct_end:

ldd_extended:
	ldd w1234
ldd_extended_end:

ldd_indexed_x:
	ldx #words
	ldd 2,x
ldd_indexed_x_end:

ldd_indexed_y:
	ldy #words
	ldd 4,y
ldd_indexed_y_end:

lds_immediate:
	lds #0x0123
lds_immediate_end:

lds_direct:
	lds *w8000
lds_direct_end:

lds_extended:
	lds w1234
lds_extended_end:

lds_indexed_x:
	ldx #words
	lds 2,x
lds_indexed_x_end:

lds_indexed_y:
	ldy #words
	lds 4,y
lds_indexed_y_end:

ldx_immediate:
	ldx #0x8001
ldx_immediate_end:

ldx_direct:
	ldx *w1111
ldx_direct_end:

ldx_extended:
	ldx w1234
ldx_extended_end:

ldx_indexed_x:
	ldx #words
	ldx 2,x
ldx_indexed_x_end:

ldx_indexed_y:
	ldy #words
	ldx 4,y
ldx_indexed_y_end:

ldy_immediate:
	ldy #0
ldy_immediate_end:

ldy_direct:
	ldy *w8000
ldy_direct_end:

ldy_extended:
	ldy w1234
ldy_extended_end:

ldy_indexed_x:
	ldx #words
	ldy 2,x
ldy_indexed_x_end:

ldy_indexed_y:
	ldy #words
	ldy 4,y
ldy_indexed_y_end:

; --- stores: high byte first, flags as for loads ---

std_direct:
	ldd #0x8001
	std *std_direct_data
std_direct_end:

std_extended:
	ldd #0x1234
	std std_extended_data
std_extended_end:

std_indexed_x:
	ldx #std_indexed_x_data
	ldd #0x2345
	std 0,x
std_indexed_x_end:

std_indexed_y:
	ldy #std_indexed_y_data
	ldd #0x3456
	std 0,y
std_indexed_y_end:

sts_direct:
	sts *sts_direct_data
sts_direct_end:

sts_extended:
	sts sts_extended_data
sts_extended_end:

sts_indexed_x:
	ldx #sts_indexed_x_data
	sts 0,x
sts_indexed_x_end:

sts_indexed_y:
	ldy #sts_indexed_y_data
	sts 0,y
sts_indexed_y_end:

stx_direct:
	ldx #0xabcd
	stx *stx_direct_data
stx_direct_end:

stx_extended:
	ldx #0x0000
	stx stx_extended_data
stx_extended_end:

stx_indexed_x:			; X stored where X points
	ldx #stx_indexed_x_data
	stx 0,x
stx_indexed_x_end:

stx_indexed_y:
	ldy #stx_indexed_y_data
	ldx #0xbeef
	stx 0,y
stx_indexed_y_end:

sty_direct:
	ldy #0x4321
	sty *sty_direct_data
sty_direct_end:

sty_extended:
	ldy #0x8765
	sty sty_extended_data
sty_extended_end:

sty_indexed_x:
	ldx #sty_indexed_x_data
	ldy #0
	sty 0,x
sty_indexed_x_end:

sty_indexed_y:			; Y stored where Y points
	ldy #sty_indexed_y_data
	sty 0,y
sty_indexed_y_end:
