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
; Memory, the 256 bytes of RAM, as laid out for this code (the generator checks the layout on
; every build, works out the deepest stack from this source and states the addresses in the
; image source):
;   $0000-         the start-up code, run once; its bytes then serve as RAM: the stack
;                  from stack_top down to $0000, then poll_mask (a byte of the start-up code
;                  whose value, RDRF, is its first: RDRF while held_byte is free, 0 while it
;                  holds a byte), the other variables, and free bytes up to startup_end
;   then           the rest of the code, up to $00FF at most
;   The stack holds the return into the command loop, the count pushed by a "P" block, then
;   the returns from program_byte and eeprom_cycle: 8 bytes at the deepest.
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
;     "R"  answers the count bytes from the address up, back to back, in spans: a span ends
;          after a byte at an address whose low seven bits are all ones ($xx7F, $xxFF) and
;          after the last byte, and each span is followed by its two check bytes (below)
;     "B"  bulk-erases the EEPROM and CONFIG, programs CONFIG with the count's low byte
;          (about 110 ms, no reply)
;     any other letter is answered by "?" once its four frame bytes are in.
;   A block count of 0 stands for 65536 bytes; a block's address wraps from $FFFF to $0000.
;   Then the loop sends the next ">".
;   The check bytes of a span of "R", b1 to bn (n at most 128), are sums over GF(2^8) with the
;   polynomial x^8 + x^4 + x^3 + x^2 + 1 ($11D): starting from 0, for each byte
;   xor ^= b and sum = sum * x ^ xor (multiplying by x: a shift left, then $1D XORed in when
;   a bit fell out); xor goes first, then sum. Byte bi weighs 1 in xor and
;   1 + x + ... + x^(n-i) in sum, weights that differ for any two of up to 254 bytes, so any
;   error confined to two bytes of one span and its check bytes changes the check, and a
;   random span passes once in 65536. "R" reads each address once.
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
STACK_BYTES = 12                    ; the stack's room, from stack_top down to $0000

; Every EEPROM operation writes PPROG twice: its latch pattern, then, after the store that
; latches the address, the same pattern plus EPGM (bit 0, clear in every pattern: one INCA).
ERASE_BYTE  = BYTE | ERASE | EELAT  ; $16, then $17
PROGRAM     = EELAT                 ; $02, then $03
ERASE_BULK  = ERASE | EELAT         ; $06, then $07 (BYTE and ROW clear: the whole array)

; --- Delay loop counts for a 2 MHz E clock (0.5 us a cycle), rounded up to whole passes
DELAY_PASS_CYCLES = 17
SHORT_PASSES = (20000 + DELAY_PASS_CYCLES - 1) / DELAY_PASS_CYCLES   ; 1177 passes, 10.0 ms
LONG_PASSES  = (200000 + DELAY_PASS_CYCLES - 1) / DELAY_PASS_CYCLES  ; 11765, 100.0 ms

; --- The block read's check
SPAN_MASK   = 0x7F                  ; a span ends where the next address's low 7 bits are 0
GF_REDUCE   = 0x1D                  ; x^8 = x^4 + x^3 + x^2 + 1 in GF(2^8)

; --- Wire characters
PROMPT          = '>'
REPLY_UNKNOWN   = '?'
CMD_SYNC        = 's'
CMD_SYNC_FF     = 0xFF              ; a second sync: a boot ROM at 7812 baud takes it as its $FF
        .if     CMD_SYNC_FF - 0xFF
        .error  "serve_command finds CMD_SYNC_FF as the letter that INCB turns into 0"
        .endif
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
; rate before BAUD changes. Nothing here runs again: once the command loop starts, these bytes
; are the stack, poll_mask and the other variables.
start:
        lds     #stack_top
        ldx     #REGS
wait_last_echo:
        brclr   SCSR-REGS,x #TC wait_last_echo
        bclr    SPCR-REGS,x #DWOM       ; port D, TxD among its pins, drives actively
poll_mask = . - 1 - start               ; the mask above, DWOM: RDRF, poll_mask's first value
        .if     DWOM - RDRF
        .error  "poll_mask starts as DWOM, which must equal RDRF"
        .endif
        ldaa    #BAUD_9600
baud_value = . - 1 - start              ; its offset: patched for another E clock
        staa    BAUD-REGS,x
        ldaa    #SCI_ON
        staa    SCCR2-REGS,x
startup_end:

; The stack below poll_mask, the other variables above it, all within the start-up code.
stack_top   = poll_mask - 1
check_xor   = poll_mask + 1             ; "R": the XOR of the span's bytes so far
held_byte   = poll_mask + 2             ; a byte taken in while an EEPROM byte programs
variables_end = poll_mask + 3

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
        incb                            ; B = letter + 1: CMD_SYNC_FF, the probe before a
        beq     served                  ; load at the boot ROM's own rate, gives 0
        pshb
        bsr     receive_word
        xgdx                            ; X = address
        bsr     receive_word
        xgdy                            ; Y = count
        pula                            ; A = letter + 1
        cmpa    #CMD_READ + 1
        beq     send_read_back          ; "r": replies the byte at X
        cmpa    #CMD_BULK + 1
        beq     cmd_bulk
        cmpa    #CMD_PROGRAM + 1
        beq     cmd_program
        cmpa    #CMD_BLOCK_WRITE + 1
        beq     cmd_block_write
        cmpa    #CMD_BLOCK_PROG + 1
        beq     cmd_block_program
        cmpa    #CMD_BLOCK_READ + 1
        beq     cmd_block_read
        cmpa    #CMD_WRITE + 1
        bne     cmd_unknown

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

; "R": X = first address, Y = count (0 for 65536). Sends each byte from X up with its span's
; check after the span: A = xor (kept in check_xor too), B = sum (see the top of this file).
; XGDX puts X's low byte in B for the span test and back; it leaves the flags alone.
block_read_span_end:
        bsr     send_check
cmd_block_read:
        clrb
        stab    *check_xor
block_read_next:
        bsr     send_read_back          ; A = the byte sent
        eora    *check_xor
        staa    *check_xor              ; xor ^= byte
        lslb                            ; sum = sum * x ...
        bcc     block_read_fold
        eorb    #GF_REDUCE
block_read_fold:
        eorb    *check_xor              ; ... ^ xor
        inx
        dey
        beq     send_check              ; the last byte: its span's check ends the command
        xgdx
        bitb    #SPAN_MASK
        xgdx
        bne     block_read_next
        bra     block_read_span_end

; send_check: sends A, then B.
send_check:
        bsr     send
        tba
        bra     send

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

; "p": programs the count's low byte into the EEPROM byte at X.
cmd_program:
        xgdy                            ; B = value
; program_byte: programs B into the EEPROM byte at X, erasing first only where a 0 must
; become a 1, then sends the byte read back. Preserves B and X; destroys A and Y.
; send_read_back, its last step, sends the byte at X and leaves it in A. Preserves B, X, Y.
program_byte:
        cmpb    0,x
        beq     send_read_back          ; already holds the value: no EEPROM cycle
        tba
        oraa    0,x
        cmpa    0,x                     ; no bit must go from 0 to 1: it programs alone
        beq     program_only
        ldaa    #ERASE_BYTE             ; programming only clears bits: erase first
        bsr     eeprom_cycle
program_only:
        bsr     program_cycle
send_read_back:
        ldaa    0,x
        bra     send

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
