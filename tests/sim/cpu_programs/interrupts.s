; SWI, RTI, the illegal-opcode trap, IRQ and XIRQ entry, WAI and STOP. The tests run these
; pieces to a label and look at the stack, the registers and the CPU's state there; the
; handlers' labels are where the vectors lead.
; Every case starts with A = B = 0, X = Y = 0, SP = $01FF and CCR = S X I.

	S = 0x80
	X = 0x40
	I = 0x10

	.section .vectors,"a"
	.org 0x16
	.word sci_handler	; $FFD6
	.org 0x32
	.word irq_handler	; $FFF2
	.word xirq_handler	; $FFF4
	.word swi_handler	; $FFF6
	.word illegal_handler	; $FFF8
	.org 0x3e
	.word reset_entry	; $FFFE

	.section .page0
swi_round_trip_data:
	.byte 0
; Frames as an interrupt stacks them: CCR, B, A, X, Y, PC from the lowest address.
rti_frame:
	.byte 0xe9, 0x22, 0x11
	.word 0x3344, 0x5566, rti_restores_registers_end
rti_frame_x_set:
	.byte 0xff, 0, 0
	.word 0, 0, rti_keeps_x_clear_end

	.text

swi_frame:
	ldaa #0x11
	ldab #0x22
	ldx #0x3344
	ldy #0x5566
	swi
swi_frame_return:

swi_round_trip:			; the handler counts the call and returns with I as it was
	cli
	ldaa #1
	swi
swi_round_trip_end:

rti_restores_registers:
	lds #rti_frame - 1
	rti
rti_restores_registers_end:

rti_keeps_x_clear:		; the stacked CCR has X set, but X was cleared
	ldaa #S | I
	tap
	lds #rti_frame_x_set - 1
	rti
rti_keeps_x_clear_end:

illegal_base_page:
	nop
illegal_base_page_opcode:
	.byte 0x41

illegal_prebyte_page:
	nop
illegal_prebyte_page_opcode:
	.byte 0x18, 0x41

illegal_1a_page:
	.byte 0x1a, 0x00

illegal_cd_page:
	.byte 0xcd, 0xee - 1

illegal_test_opcode:		; TEST is for the factory's test mode only
	.byte 0x00

irq_after_cli:			; the instruction after CLI always runs
	cli
	ldaa #1
irq_after_cli_next:
	ldaa #2
	bra .

irq_masked:
	ldaa #1
	ldaa #2
irq_masked_end:

xirq_entry:
	ldaa #S			; clears X and I
	tap
	nop
xirq_entry_ready:
	nop
	bra .

wai_for_irq:
	ldaa #0x55
	cli
	wai
wai_for_irq_return:
	bra .

wai_with_irq_masked:
	ldaa #S | I
	tap
	wai
wai_with_irq_masked_return:
	bra .

stop_disabled:			; S set: STOP does nothing
	stop
stop_disabled_end:

stop_enabled:
	ldaa #X | I
	tap
	stop
stop_enabled_return:
	nop
	bra .

stop_irq_enabled:
	ldaa #X
	tap
	stop
stop_irq_enabled_return:
	bra .

sci_handler:
	rti
irq_handler:
	rti
xirq_handler:
	rti
swi_handler:
	inc swi_round_trip_data
	rti
illegal_handler:
	rti
reset_entry:
	bra .
