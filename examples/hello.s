; hello.s - a small program for a 68HC811E2 board (8 MHz crystal, 2 MHz E clock):
; it sends a greeting on the serial line, over and over.
;
; The code and the reset vector live in EEPROM ($F800-$FFFF); the greeting lives in
; external RAM at $2000, so the board must run on its expanded bus: program it with
;     hc11prog -E -B -i hello.s19
; which bulk-erases the EEPROM, programs the code and writes the greeting into the RAM.

REGS    = 0x1000                ; register block after reset
BAUD    = 0x2B                  ; SCI baud rate control
SCCR2   = 0x2D                  ; SCI control 2
SCSR    = 0x2E                  ; SCI status
SCDR    = 0x2F                  ; SCI data
TDRE    = 0x80                  ; SCSR: transmit data register empty
BAUD_9600 = 0x30                ; prescaler /13, rate /1: 2 MHz / (16 * 13) = 9615 baud
TE_RE   = 0x0C                  ; SCCR2: transmitter and receiver on
STACK_TOP = 0x00FF

        .sect .text
start:  lds     #STACK_TOP
        ldx     #REGS
        ldaa    #BAUD_9600
        staa    BAUD,x
        ldaa    #TE_RE
        staa    SCCR2,x
again:  ldy     #greeting
next:   ldaa    0,y             ; the greeting ends with a zero byte
        beq     again
wait:   brclr   SCSR,x #TDRE wait
        staa    SCDR,x
        iny
        bra     next

        .sect .data
greeting:
        .ascii  "Hello from the 68HC11\r\n"
        .byte   0

        .sect .vectors
        .word   start           ; reset
