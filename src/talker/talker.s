; talker.s - the resident talker: serves the host's commands from the 68HC11's internal RAM.
;
; The bootstrap ROM stores this program at $0000 and starts it there, in special bootstrap
; mode with the register block at $1000. The talker runs its command loop until the chip is
; reset; it polls the SCI, takes no interrupts and never services the COP watchdog.
;
; The image is built for a 2 MHz E clock (8 MHz crystal). For another E clock the host patches
; three values in the image it sends, at the offsets talker_image.h states: the BAUD value
; (baud_value, one byte) and the passes of the two EEPROM delays (short_passes for 10 ms,
; long_passes for 100 ms; two bytes each, high byte first). A delay of t seconds at E Hz takes
; ceil(t * E / DELAY_PASS_CYCLES) passes: 16 bits hold 100 ms up to E = 11.1 MHz. Below
; E = 1 MHz the host sets CSEL in OPTION with "w" and gives the short delay 20 ms.
;
; Memory, the 256 bytes of RAM, as laid out for this code (talker.ld puts the variables, .bss,
; directly after .text; the generator checks the layout on every build and states the
; addresses in the image source):
;   $0000-         the code, entered at $0000, ending with poll_mask, the one variable
;                  that starts with a value: RDRF while held_byte is free, 0 while it holds
;                  a byte
;   then           scratch: the new value of an EEPROM byte, for the erase decision;
;                  held_byte: a byte taken in while an EEPROM byte programs
;   $00F8-$00FF    the stack, from $00FF down, at most STACK_BYTES (8) deep: the return
;                  into the command loop, the count pushed by a "P" block, then the returns
;                  from program_byte and eeprom_cycle
;
; While an EEPROM byte programs, its delay loop takes the next byte the host sent out of the
; SCI into held_byte, so that the SCI's receive register can hold one more: the host may keep
; two bytes ahead of the byte that programs. receive hands out held_byte first.
;
; Wire protocol, 9600 baud, 8 data bits, no parity, one stop bit:
;   The talker sends the prompt ">" whenever it is ready to read a command letter.
;   "s" alone is answered by ">" at once, and so is $FF: a host that must not disturb a
;   boot ROM still waiting at 7812 baud probes with a $FF at 9600, which the ROM takes as
;   its own $FF (only the start bit is low at either rate) and a talker as a sync.
;   Every other letter starts a five-byte frame:
;   letter, address high, address low, count high, count low.
;     "r"  answers the byte at the address
;     "w"  stores the count's low byte at the address, answers the byte read back
;     "p"  programs the count's low byte into the EEPROM byte, answers the byte read back
;     "W"  stores count data bytes from the address up, answering each with its read-back
;     "P"  programs count data bytes from the address up, answering each with its read-back
;     "R"  answers the count bytes from the address up, back to back, then the block's
;          check word, high byte first (see below)
;     "B"  bulk-erases the EEPROM and CONFIG, programs CONFIG with the count's low byte
;          (about 110 ms, no reply)
;     any other letter is answered by "?" once its four frame bytes are in.
;   A block count of 0 stands for 65536 bytes; a block's address wraps from $FFFF to $0000.
;   Then the loop sends the next ">".
;   The check word of "R" is a Fletcher sum modulo 256 over the bytes sent, b1 to bn:
;   low = (b1 + ... + bn) mod 256, high = (n*b1 + (n-1)*b2 + ... + 1*bn) mod 256, that is,
;   starting from 0, low += b and high += low for each byte. A byte changed on the line
;   changes low; two neighbouring bytes swapped change high. "R" reads each address once.
;
; Registers while a command runs: X holds the address, Y the count.

; --- Chip registers (the register block stays at $1000, its place after reset)
REGS    = 0x1000            ; the register block, for the start-up's indexed accesses
SPCR    = 0x1028            ; SPI control: port D wire-OR mode
BAUD    = 0x102B            ; SCI baud rate select
SCCR2   = 0x102D            ; SCI control 2: transmitter and receiver enables
SCSR    = 0x102E            ; SCI status
SCDR    = 0x102F            ; SCI data, both directions
PPROG   = 0x103B            ; EEPROM programming control
CONFIG  = 0x103F            ; configuration register, an EEPROM cell itself

; --- Register bits
DWOM    = 0x20              ; SPCR: port D outputs open drain
TCLR    = 0x80              ; BAUD: bit 7, test clear of the baud rate counters
SCP1    = 0x20              ; BAUD: prescaler select, SCP1:SCP0 = 11 divides by 13
SCP0    = 0x10
TE      = 0x08              ; SCCR2: transmitter enable
RE      = 0x04              ; SCCR2: receiver enable
TDRE    = 0x80              ; SCSR: transmit data register empty
TC      = 0x40              ; SCSR: transmission complete, the line is idle
RDRF    = 0x20              ; SCSR: receive data register full
BYTE    = 0x10              ; PPROG: erase one byte only
ERASE   = 0x04              ; PPROG: erase instead of program
EELAT   = 0x02              ; PPROG: EEPROM latched for programming or erasing
EPGM    = 0x01              ; PPROG: programming voltage on

; --- Values the talker writes
BAUD_9600   = TCLR | SCP1 | SCP0    ; 2 MHz / (16 * 13) = 9615 baud; SCR2-SCR0 clear: / 1
SCI_ON      = TE | RE               ; no SCI interrupts, no wake-up, no break
STACK_TOP   = 0x00FF
STACK_BYTES = 8                     ; the deepest the stack grows, checked by the generator

; Every EEPROM operation writes PPROG twice: its latch pattern, then, after the store that
; latches the address, the same pattern plus EPGM (bit 0, clear in every pattern: one INCA).
ERASE_BYTE  = BYTE | ERASE | EELAT  ; $16, then $17
PROGRAM     = EELAT                 ; $02, then $03
ERASE_BULK  = ERASE | EELAT         ; $06, then $07 (BYTE and ROW clear: the whole array)

; --- Delay loop counts for a 2 MHz E clock (0.5 us a cycle), rounded up to whole passes
DELAY_PASS_CYCLES = 17
SHORT_PASSES = (20000 + DELAY_PASS_CYCLES - 1) / DELAY_PASS_CYCLES   ; 1177 passes, 10.0 ms
LONG_PASSES  = (200000 + DELAY_PASS_CYCLES - 1) / DELAY_PASS_CYCLES  ; 11765, 100.0 ms

; --- Wire characters
PROMPT          = '>'
REPLY_UNKNOWN   = '?'
CMD_SYNC        = 's'
CMD_SYNC_FF     = 0xFF              ; a second sync: a boot ROM at 7812 baud takes it as its $FF
CMD_READ        = 'r'
CMD_WRITE       = 'w'
CMD_PROGRAM     = 'p'
CMD_BLOCK_WRITE = 'W'
CMD_BLOCK_PROG  = 'P'
CMD_BLOCK_READ  = 'R'
CMD_BULK        = 'B'

        .text

;
; Start-up, entered at $0000 by the bootstrap ROM. The ROM's last echo goes out at the ROM's
; rate before BAUD changes.
start:
        lds     #STACK_TOP
        ldx     #REGS
wait_last_echo:
        brclr   SCSR-REGS,x #TC wait_last_echo
        bclr    SPCR-REGS,x #DWOM       ; port D, TxD among its pins, drives actively
        ldaa    #BAUD_9600
baud_value = . - 1 - start              ; its offset: patched for another E clock
        staa    BAUD-REGS,x
        ldaa    #SCI_ON
        staa    SCCR2-REGS,x

; The command loop: one command a pass, each ending with the return here; never left.
command_loop:
        bsr     serve_command
        bra     command_loop

; receive: the byte held while an EEPROM byte programmed, if any, else the SCI's next once
; RDRF shows; into B. The error flags are not looked at. Preserves A, X and Y.
receive:
        ldab    *poll_mask
        beq     receive_held
receive_sci:
        ldab    SCSR
        bitb    #RDRF
        beq     receive_sci
        ldab    SCDR
        rts
receive_held:
        bset    *poll_mask #RDRF        ; held_byte is free again
        ldab    *held_byte
        rts

; receive_word: receives two bytes into D, the high byte first. Preserves X and Y.
receive_word:
        bsr     receive
        tba
        bra     receive

; serve_command: sends the prompt, reads one command and carries it out; the command's
; routine returns to the command loop.
serve_command:
        ldaa    #PROMPT
        bsr     send
        bsr     receive                 ; B = letter
        cmpb    #CMD_SYNC
        beq     served
        cmpb    #CMD_SYNC_FF            ; the probe before a load at the boot ROM's own rate
        beq     served
        pshb
        bsr     receive_word
        xgdx                            ; X = address
        bsr     receive_word
        xgdy                            ; Y = count
        pula                            ; A = letter
        cmpa    #CMD_READ
        beq     send_read_back          ; "r": replies the byte at X
        cmpa    #CMD_WRITE
        beq     cmd_write
        cmpa    #CMD_PROGRAM
        beq     cmd_program
        cmpa    #CMD_BLOCK_WRITE
        beq     cmd_block_write
        cmpa    #CMD_BLOCK_PROG
        beq     cmd_block_program
        cmpa    #CMD_BLOCK_READ
        beq     cmd_block_read
        cmpa    #CMD_BULK
        bne     cmd_unknown

; "B": bulk-erases the EEPROM array and CONFIG, then programs CONFIG with the count's low
; byte. A bulk erase latched at CONFIG's address takes in CONFIG as well as the array; the
; value stored to latch it does not matter (the CONFIG value is stored).
cmd_bulk:
        xgdy                            ; B = the CONFIG value
        ldx     #CONFIG
        ldaa    #ERASE_BULK
        ldy     #LONG_PASSES            ; 100 ms
long_passes = . - 2 - start             ; its offset: patched for another E clock
        bsr     eeprom_cycle_y
        bra     program_cycle

; "w": stores the count's low byte at X, then replies as "r" does.
cmd_write:
        xgdy                            ; B = value
        stab    0,x
        bra     send_read_back

; "W": X = first address, Y = count (0 for 65536). Stores each data byte received at X and
; sends the byte read back, advancing X (wrapping) and counting Y down.
cmd_block_write:
        bsr     receive
        stab    0,x
        bsr     send_read_back
        inx
        dey
        bne     cmd_block_write
        rts

; "P": as "W", programming each byte into the EEPROM (program_byte sends the read-back).
cmd_block_program:
        bsr     receive
        pshy                            ; the delays count in Y
        bsr     program_byte
        puly
        inx
        dey
        bne     cmd_block_program
        rts

; Any other letter: answers "?".
cmd_unknown:
        ldaa    #REPLY_UNKNOWN
; send: sends A once the transmitter is free. Preserves A, B, X and Y.
send:
        tst     SCSR                    ; TDRE is bit 7
        bpl     send
        staa    SCDR
served:
        rts

; "R": X = first address, Y = count (0 for 65536). Sends each byte from X up, then the check
; word: A = high (the sum of the running sums), B = low (the sum of the bytes), both mod 256.
; Twelve bytes of code; a CRC's loop over the bits would not fit beside the other commands.
cmd_block_read:
        clra
        clrb
block_read_next:
        psha
        bsr     send_read_back          ; A = the byte sent
        aba
        tab                             ; low += byte
        pula
        aba                             ; high += low
        inx
        dey
        bne     block_read_next
        bsr     send
        tba
        bra     send

; "p": programs the count's low byte into the EEPROM byte at X.
cmd_program:
        xgdy                            ; B = value
; program_byte: programs B into the EEPROM byte at X, erasing first only where a 0 must
; become a 1, then sends the byte read back. Preserves B and X; destroys A and Y.
; send_read_back, its last step, sends the byte at X and leaves it in A. Preserves B, X, Y.
program_byte:
        ldaa    0,x
        cba
        beq     send_read_back          ; already holds the value: no EEPROM cycle
        stab    *scratch
        coma
        anda    *scratch                ; bits that must go from 0 to 1
        beq     program_only
        ldaa    #ERASE_BYTE             ; programming only clears bits: erase first
        bsr     eeprom_cycle
program_only:
        bsr     program_cycle
send_read_back:
        ldaa    0,x
        bra     send

; program_cycle: programs B into the EEPROM byte at X. eeprom_cycle: the same with
; A = latch pattern. Each latches, stores B at X, turns on the programming voltage for
; 10 ms (eeprom_cycle_y: for Y passes of its delay), then clears PPROG. Preserves B and X;
; destroys A and Y. The delay takes in one byte the host sent meanwhile (see receive).
program_cycle:
        ldaa    #PROGRAM
eeprom_cycle:
        ldy     #SHORT_PASSES           ; 10 ms
short_passes = . - 2 - start            ; its offset: patched for another E clock
eeprom_cycle_y:
        staa    PPROG
        stab    0,x
        inca                            ; EPGM
        staa    PPROG
; Each pass: LDAA SCSR (4 cycles), ANDA (3), BEQ (3), DEY (4), BNE (3) = 17 cycles, 8.5 us at
; 2 MHz; the pass that takes a byte in adds 13. poll_mask is 0 while held_byte is full, so
; that a second byte waits in the SCI.
delay_pass:
        ldaa    SCSR
        anda    *poll_mask
        beq     delay_next
        ldaa    SCDR
        staa    *held_byte
        clr     poll_mask
delay_next:
        dey
        bne     delay_pass
        clr     PPROG
        rts

poll_mask:      .byte   RDRF            ; held_byte free: the delay takes a byte in

        .bss
scratch:        .skip 1
held_byte:      .skip 1
variables_end:
