// Small hand-assembled 68HC11 programs that the chip tests load at $0000, and what they need.
#pragma once

#include <cstdint>
#include <vector>

namespace hc11::test {

using Bytes = std::vector<uint8_t>;

// Answers each byte received with the byte plus one, at the SCI's rate as it finds it. Its
// poll loop at $0003 runs from cycle 3 in passes of 7; from the pass that sees RDRF, the
// reply's store starts 20 cycles later (BRCLR 7, LDAA 4, INCA 2, BRCLR 7).
inline const Bytes kPlusOne = {0xCE, 0x10, 0x00,        // $0000 LDX  #$1000
                               0x1F, 0x2E, 0x20, 0xFC,  // $0003 BRCLR $2E,X #$20 *   RDRF
                               0xA6, 0x2F,              // $0007 LDAA $2F,X
                               0x4C,                    // $0009 INCA
                               0x1F, 0x2E, 0x80, 0xFC,  // $000A BRCLR $2E,X #$80 *   TDRE
                               0xA7, 0x2F,              // $000E STAA $2F,X
                               0x20, 0xF1};             // $0010 BRA  $0003

// Switches to 9600 baud as soon as it runs, as the talker does, then answers each byte
// received with the byte plus one.
inline const Bytes kPlusOneAt9600 = {0xCE, 0x10, 0x00,        // $0000 LDX  #$1000
                                     0x1F, 0x2E, 0x80, 0xFC,  // $0003 BRCLR $2E,X #$80 *
                                     0x86, 0x30,              // $0007 LDAA #$30   /13 /1
                                     0xA7, 0x2B,              // $0009 STAA $2B,X  BAUD
                                     0x1F, 0x2E, 0x20, 0xFC,  // $000B BRCLR $2E,X #$20 *
                                     0xA6, 0x2F, 0x4C,        // $000F LDAA $2F,X; INCA
                                     0x1F, 0x2E, 0x80, 0xFC,  // $0012 BRCLR $2E,X #$80 *
                                     0xA7, 0x2F,              // $0016 STAA $2F,X
                                     0x20, 0xF1};             // $0018 BRA  $000B

// The boot ROM's download: the program, then zeros up to 256 bytes.
inline Bytes Download(const Bytes &program) {
    Bytes bytes = program;
    bytes.resize(256, 0x00);
    return bytes;
}

}  // namespace hc11::test
