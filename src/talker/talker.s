; talker.s - the resident talker: serves the host's commands from the 68HC11's internal RAM.
;
; The bootstrap ROM stores this program at $0000 and starts it there, in special bootstrap
; mode with the register block at $1000 and a 2 MHz E clock (8 MHz crystal). The talker
; runs its command loop until the chip is reset; it polls the SCI, takes no interrupts and
; never services the COP watchdog.
;
;
; Memory, the 256 bytes of RAM, as laid out for this code (talker.ld puts the variables, .bss,
; directly after .text; the generator checks the layout on every build and states the
; addresses in the image source):
;   $0000-         the code, entered at $0000, ending with poll_mask, the one variable
;                  that starts with a value: RDRF while held_byte is free, 0 while it holds
;                  a byte
;   then           mode_flag: the letter of the block that runs, "W" (store each byte) or
;                  "P" (program each byte); scratch: the new value of an EEPROM byte, from
;                  the erase decision to the store that latches it; held_byte: a byte taken
;                  in while an EEPROM byte programs
;   $00FA-$00FF   the stack, from $00FF down, at most 6 bytes deep: the count pushed by a
;                 "P" block, then the returns from program_byte and eeprom_cycle
;
; While an EEPROM byte programs, its delay loop takes the next byte the host sent out of the
; SCI into held_byte, so that the SCI's receive register can hold one more: the host may keep
; two bytes ahead of the byte that programs. receive hands out held_byte first.
;
; Wire protocol, 9600 baud, 8 data bits, no parity, one stop bit:
;   The talker sends the prompt ">" whenever it is ready to read a command letter.
;   "s" alone is answered by ">" at once. Every other letter starts a five-byte frame:
;   letter, address high, address low, count high, count low.
;     "r"  answers the byte at the address
;     "w"  stores the count's low byte at the address, answers the byte read back
;     "p"  programs the count's low byte into the EEPROM byte, answers the byte read back
;     "W"  stores count data bytes from the address up, answering each with its read-back
;     "P"  programs count data bytes from the address up, answering each with its read-back
;     "B"  bulk-erases the EEPROM and CONFIG, programs CONFIG with the count's low byte
;          (about 110 ms, no reply)
;     any other letter is answered by "?" once its four frame bytes are in.
;   A block count of 0 stands for 65536 bytes. Then the loop sends the next ">".
;
; Registers while a command runs: X holds the address, Y the count.

; --- Chip registers (the register block stays at $1000, its place after reset)
REGS    = 0x1000            ; the register block, for the start-up's indexed stores
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
RDRF    = 0x20              ; SCSR: receive data register full
BYTE    = 0x10              ; PPROG: erase one byte only
ERASE   = 0x04              ; PPROG: erase instead of program
EELAT   = 0x02              ; PPROG: EEPROM latched for programming or erasing
EPGM    = 0x01              ; PPROG: programming voltage on

; --- Values the talker writes
BAUD_9600   = TCLR | SCP1 | SCP0    ; 2 MHz / (16 * 13) = 9615 baud; SCR2-SCR0 clear: / 1
SCI_ON      = TE | RE               ; no SCI interrupts, no wake-up, no break
STACK_TOP   = 0x00FF

; Every EEPROM operation writes PPROG twice: its latch pattern, then, after the store that
; latches the address, the same pattern with EPGM. The pairs are loaded into D at once:
; A gets the latch pattern, B the pattern with the programming voltage on.
ERASE_BYTE  = BYTE | ERASE | EELAT  ; $16, then $17
PROGRAM     = EELAT                 ; $02, then $03
ERASE_BULK  = ERASE | EELAT         ; $06, then $07 (BYTE and ROW clear: the whole array)
ERASE_BYTE_PAIR = ERASE_BYTE << 8 | ERASE_BYTE | EPGM
PROGRAM_PAIR    = PROGRAM << 8 | PROGRAM | EPGM
ERASE_BULK_PAIR = ERASE_BULK << 8 | ERASE_BULK | EPGM

; --- Delay loop counts for a 2 MHz E clock (0.5 us a cycle), 17 cycles a pass
SHORT_PASSES = 1177         ; 1177 * 17 = 20009 cycles, 10.0 ms
LONG_PASSES  = 11765        ; 11765 * 17 = 200005 cycles, 100.0 ms

; --- Wire characters
PROMPT          = '>'
REPLY_UNKNOWN   = '?'
CMD_SYNC        = 's'
CMD_READ        = 'r'
CMD_WRITE       = 'w'
CMD_PROGRAM     = 'p'
CMD_BLOCK_WRITE = 'W'
CMD_BLOCK_PROG  = 'P'
CMD_BULK        = 'B'

        .text

;
; Start-up, entered at $0000 by the bootstrap ROM.
start:
        lds     #STACK_TOP
        bsr     wait_transmitter        ; the ROM's last echo may still be going out
        ldx     #REGS
        bclr    SPCR-REGS,x #DWOM       ; port D, TxD among its pins, drives actively
        ldaa    #BAUD_9600
        staa    BAUD-REGS,x
        ldaa    #SCI_ON
        staa    SCCR2-REGS,x
        bra     command_loop

; send: sends A once the transmitter is free. Preserves A, B, X and Y.
send:
        bsr     wait_transmitter
        staa    SCDR
        rts

; wait_transmitter: returns once SCSR shows TDRE (its bit 7). Preserves A, B, X and Y.
wait_transmitter:
        tst     SCSR
        bpl     wait_transmitter
        rts

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
        ldab    #RDRF                   ; held_byte is free again
        stab    *poll_mask
        ldab    *held_byte
        rts

; receive_word: receives two bytes into D, the high byte first. Preserves X and Y.
receive_word:
        bsr     receive
        tba
        bra     receive

; reply: sends A, then falls into the command loop, which sends the prompt.
reply:
        bsr     send

; The command loop: one pass per command, never left.
command_loop:
        ldaa    #PROMPT
        bsr     send
        bsr     receive                 ; B = letter
        cmpb    #CMD_SYNC
        beq     command_loop
        pshb
        bsr     receive_word
        xgdx                            ; X = address
        bsr     receive_word
        xgdy                            ; Y = count
        pula                            ; A = letter
        cmpa    #CMD_READ
        beq     cmd_read
        cmpa    #CMD_WRITE
        beq     cmd_write
        cmpa    #CMD_PROGRAM
        beq     cmd_program
        cmpa    #CMD_BLOCK_WRITE
        beq     cmd_block
        cmpa    #CMD_BLOCK_PROG
        beq     cmd_block
        cmpa    #CMD_BULK
        beq     cmd_bulk
        ldaa    #REPLY_UNKNOWN
        bra     reply

; "w": stores the count's low byte at X, then replies as "r" does.
cmd_write:
        xgdy                            ; B = value
        stab    0,x
; "r": replies the byte at X.
cmd_read:
        ldaa    0,x
        bra     reply

; "p": programs the count's low byte into the EEPROM byte at X.
cmd_program:
        xgdy                            ; B = value
        bsr     program_byte
        bra     command_loop

; "W" and "P": block, with the letter kept as the mode ("W" has bit 0 set, "P" clear).
; X = first address, Y = count (0 for 65536). For each data byte received, stores or
; programs it at X, sends the byte read back, advances X (wrapping) and counts Y down.
cmd_block:
        staa    *mode_flag
block:
        bsr     receive                 ; B = data byte
        brclr   *mode_flag #1 block_program
        stab    0,x
        bsr     send_read_back
        bra     block_advance
block_program:
        pshy                            ; the delays count in Y
        bsr     program_byte
        puly
block_advance:
        inx
        dey
        bne     block
        bra     command_loop

; "B": bulk-erases the EEPROM array and CONFIG, then programs CONFIG with the count's low
; byte. A bulk erase latched at CONFIG's address takes in CONFIG as well as the array; the
; value stored to latch it does not matter (the CONFIG value is stored).
cmd_bulk:
        xgdy
        stab    *scratch                ; the CONFIG value
        ldx     #CONFIG
        ldd     #ERASE_BULK_PAIR
        ldy     #LONG_PASSES            ; 100 ms
        bsr     eeprom_cycle_y
        ldd     #PROGRAM_PAIR
        bsr     eeprom_cycle
        bra     command_loop

; program_byte: programs B into the EEPROM byte at X, erasing first only where a 0 must
; become a 1, then sends the byte read back. Preserves X; destroys A, B and Y.
; send_read_back, its last step, sends the byte at X. Preserves X and Y; destroys A.
program_byte:
        ldaa    0,x
        cba
        beq     send_read_back          ; already holds the value: no EEPROM cycle
        stab    *scratch
        coma
        anda    *scratch                ; bits that must go from 0 to 1
        beq     program_only
        ldd     #ERASE_BYTE_PAIR        ; programming only clears bits: erase first
        bsr     eeprom_cycle
program_only:
        ldd     #PROGRAM_PAIR
        bsr     eeprom_cycle
send_read_back:
        ldaa    0,x
        jmp     send                    ; beyond a branch's reach

; eeprom_cycle: A = latch pattern, B = the same with EPGM, X = address, scratch = the byte.
; Latches, stores the byte at X, turns on the programming voltage for 10 ms (eeprom_cycle_y:
; for Y passes of its delay), then clears PPROG. Preserves X; destroys A, B and Y.
; The delay takes in one byte the host sent meanwhile (see receive).
eeprom_cycle:
        ldy     #SHORT_PASSES           ; 10 ms
eeprom_cycle_y:
        staa    PPROG
        ldaa    *scratch
        staa    0,x
        stab    PPROG
; Each pass: LDAB SCSR (4 cycles), ANDB (3), BNE (3), DEY (4), BNE (3) = 17 cycles, 8.5 us at
; 2 MHz; the pass that takes a byte in adds 16. poll_mask is 0 while held_byte is full, so
; that a second byte waits in the SCI.
delay_pass:
        ldab    SCSR
        andb    *poll_mask
        bne     delay_take
delay_next:
        dey
        bne     delay_pass
        clr     PPROG
        rts
delay_take:
        ldab    SCDR
        stab    *held_byte
        clr     poll_mask
        bra     delay_next

poll_mask:      .byte   RDRF            ; held_byte free: the delay takes a byte in

        .bss
mode_flag:      .skip 1
scratch:        .skip 1
held_byte:      .skip 1
