; talker.s - the resident talker: serves the host's commands from the 68HC11's internal RAM.
;
; The bootstrap ROM stores this program at $0000 and starts it there, in special bootstrap
; mode with the register block at $1000 and a 2 MHz E clock (8 MHz crystal). The talker
; runs its command loop until the chip is reset; it polls the SCI, takes no interrupts and
; never services the COP watchdog.
;
; Memory, the 256 bytes of RAM, as laid out for this code's 239 bytes (talker.ld puts the
; variables, .bss, directly after .text; the generator checks the layout on every build
; and states the addresses in the image source):
;   $0000-$00EE   the code, entered at $0000
;   $00EF         mode_flag: 1 while a "W" block runs, 0 while a "P" block runs
;   $00F0         scratch: the new value of an EEPROM byte, from the erase decision to
;                 the store that latches it
;   $00F1-$00F7   free
;   $00F8-$00FF   the stack, from $00FF down, at most 8 bytes deep: the count pushed by
;                 a "P" block, then the returns from program_byte, eeprom_cycle and a delay
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

; --- Delay loop counts for a 2 MHz E clock (0.5 us a cycle), 7 cycles a pass
SHORT_PASSES = 2857         ; 2857 * 7 = 19999 cycles, 10.0 ms
LONG_PASSES  = 28570        ; 28570 * 7 = 199990 cycles, 100.0 ms

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

; Start-up, entered at $0000 by the bootstrap ROM.
start:
        lds     #STACK_TOP
        bsr     wait_transmitter        ; the ROM's last echo may still be going out
        ldaa    SPCR
        anda    #~DWOM & 0xFF           ; port D, TxD among its pins, drives actively
        staa    SPCR
        ldaa    #BAUD_9600
        staa    BAUD
        ldaa    #SCI_ON
        staa    SCCR2
        bra     command_loop

; send: sends A once the transmitter is free. Preserves A, X and Y; destroys B.
send:
        bsr     wait_transmitter
        staa    SCDR
        rts

; wait_transmitter: returns once SCSR shows TDRE. Preserves A, X and Y; destroys B.
wait_transmitter:
        ldab    SCSR
        bitb    #TDRE
        beq     wait_transmitter
        rts

; receive: waits for RDRF, then reads the byte into B; the error flags are not looked at.
; Preserves A, X and Y.
receive:
        ldab    SCSR
        bitb    #RDRF
        beq     receive
        ldab    SCDR
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
        beq     cmd_block_write
        cmpa    #CMD_BLOCK_PROG
        beq     cmd_block_program
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

; "P" and "W": set the mode flag, then run the block.
cmd_block_program:
        clra                            ; mode 0: program each byte
        bra     set_block_mode
cmd_block_write:
        ldaa    #1                      ; mode 1: store each byte
set_block_mode:
        staa    *mode_flag

; block: X = first address, Y = count (0 for 65536). For each data byte received, stores
; or programs it at X, sends the byte read back, advances X (wrapping) and counts Y down.
block:
        bsr     receive                 ; B = data byte
        ldaa    *mode_flag
        beq     block_program
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
; byte. A bulk erase latched at CONFIG's address takes in CONFIG as well as the array.
cmd_bulk:
        xgdy
        stab    *scratch                ; the CONFIG value, out of the long delay's way
        ldd     #ERASE_BULK_PAIR
        staa    PPROG
        staa    CONFIG                  ; latches the address; the value does not matter
        stab    PPROG
        bsr     delay_long
        clr     PPROG
        ldx     #CONFIG
        ldd     #PROGRAM_PAIR
        bsr     eeprom_cycle
        bra     command_loop

; program_byte: programs B into the EEPROM byte at X, erasing first only where a 0 must
; become a 1, then sends the byte read back. Preserves X; destroys A, B and Y.
; send_read_back, its last step, sends the byte at X. Preserves X and Y; destroys A and B.
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
; Latches, stores the byte at X, turns on the programming voltage for 10 ms, then clears
; PPROG. Preserves X; destroys A, B and Y.
eeprom_cycle:
        staa    PPROG
        ldaa    *scratch
        staa    0,x
        stab    PPROG
        bsr     delay_short
        clr     PPROG
        rts

; The delays: each pass of delay_passes is DEY (4 cycles) + BNE (3 cycles) = 7 cycles,
; 3.5 us at 2 MHz. LDY, BRA, the call and RTS add about 20 cycles, 10 us, to each.

; delay_short: 2857 passes * 7 = 19999 cycles, 10.0 ms. Destroys Y.
delay_short:
        ldy     #SHORT_PASSES
        bra     delay_passes

; delay_long: 28570 passes * 7 = 199990 cycles, 100.0 ms. Destroys Y.
delay_long:
        ldy     #LONG_PASSES
delay_passes:
        dey
        bne     delay_passes
        rts

        .bss
mode_flag:      .skip 1
scratch:        .skip 1
