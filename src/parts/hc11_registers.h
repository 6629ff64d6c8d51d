// The 68HC11's own facts, the same on every part of the table: where each register sits in
// the register block (an address is the part's wRegisterStart plus the offset), the bits of
// the registers both programs use, the boot ROM's BAUD values, and the crystals the chip runs
// from. hc11prog and hc11sim both take them from here; the talker's source states the same
// numbers for the assembler, and a test holds the two together.
#pragma once

#include <stdint.h>

namespace hc11 {

// Offsets from the register block's start, named as the reference manual names them.
namespace reg {
constexpr uint8_t TCNT = 0x0E, TCNT_LOW = 0x0F, TOC1 = 0x16, TI4O5_LOW = 0x1F, TMSK2 = 0x24,
                  TFLG2 = 0x25, PACTL = 0x26, SPCR = 0x28, BAUD = 0x2B, SCCR1 = 0x2C, SCCR2 = 0x2D,
                  SCSR = 0x2E, SCDR = 0x2F, BPROT = 0x35, OPTION = 0x39, COPRST = 0x3A,
                  PPROG = 0x3B, HPRIO = 0x3C, INIT = 0x3D, TEST1 = 0x3E, CONFIG = 0x3F;
}  // namespace reg

// HPRIO: the boot ROM mapped, the special modes, the expanded bus, the priority select.
namespace hprio {
constexpr uint8_t RBOOT = 0x80, SMOD = 0x40, MDA = 0x20, IRV = 0x10, PSEL = 0x0F;
constexpr uint8_t kPselAtReset = 0x05;                            // PSEL %0101: IRQ highest
constexpr uint8_t kBootstrapReset = RBOOT | SMOD | kPselAtReset;  // $C5
constexpr uint8_t kSingleChipReset = kPselAtReset;                // $05
constexpr uint8_t kExpandedReset = MDA | kPselAtReset;            // $25
}  // namespace hprio

// BPROT: CONFIG's protection and the EEPROM's four blocks; all set out of reset.
namespace bprot {
constexpr uint8_t PTCON = 0x10, BPRT3 = 0x08, BPRT2 = 0x04, BPRT1 = 0x02, BPRT0 = 0x01;
constexpr uint8_t kResetValue = PTCON | BPRT3 | BPRT2 | BPRT1 | BPRT0;
}  // namespace bprot

// OPTION: the EEPROM's charge pump on its own RC clock, and the time-protected bits.
namespace option {
constexpr uint8_t CSEL = 0x40, IRQE = 0x20, DLY = 0x10, CR = 0x03;
constexpr uint8_t kTimeProtected = IRQE | DLY | CR;
}  // namespace option

// PPROG: what an EEPROM operation does (program, or erase a byte, a row or the whole array),
// the array latched for it, the programming voltage on.
namespace pprog {
constexpr uint8_t ODD = 0x80, EVEN = 0x40, BYTE = 0x10, ROW = 0x08, ERASE = 0x04, EELAT = 0x02,
                  EPGM = 0x01;
}

// The SCI's rate: SCP1:SCP0 divide E by 1, 3, 4 or 13, SCR2-SCR0 by 2^n; TCLR and RCKB test.
namespace baud {
constexpr uint8_t TCLR = 0x80, SCP1 = 0x20, SCP0 = 0x10, SCP = SCP1 | SCP0, RCKB = 0x08, SCR = 0x07;
}

// SCCR1: the ninth bits, 9-bit frames, wake-up by address mark.
namespace sccr1 {
constexpr uint8_t R8 = 0x80, T8 = 0x40, M = 0x10, WAKE = 0x08;
}

namespace sccr2 {
constexpr uint8_t TIE = 0x80, TCIE = 0x40, RIE = 0x20, ILIE = 0x10, TE = 0x08, RE = 0x04,
                  RWU = 0x02, SBK = 0x01;
}

namespace scsr {
constexpr uint8_t TDRE = 0x80, TC = 0x40, RDRF = 0x20, IDLE = 0x10, OR = 0x08, NF = 0x04, FE = 0x02;
constexpr uint8_t kReceiveFlags = RDRF | IDLE | OR | NF | FE;
constexpr uint8_t kTransmitFlags = TDRE | TC;
}  // namespace scsr

// SPCR: the SPI on, port D's outputs open drain.
namespace spcr {
constexpr uint8_t SPE = 0x40, DWOM = 0x20;
constexpr uint8_t kResetValue = 0x04;  // CPHA set
}  // namespace spcr

namespace tmsk2 {
constexpr uint8_t TOI = 0x80, RTII = 0x40, PR = 0x03;
}
namespace tflg2 {
constexpr uint8_t TOF = 0x80, RTIF = 0x40;
}
namespace pactl {
constexpr uint8_t RTR = 0x03;  // the real-time interrupt's rate
}

// TEST1's DISR: set out of reset in the special modes, it holds the COP's reset off.
namespace test1 {
constexpr uint8_t DISR = 0x08;
}

// The two writes to COPRST that restart the COP, in this order.
namespace coprst {
constexpr uint8_t kArm = 0x55, kClear = 0xAA;
}

// The boot ROM's BAUD values: its own rate from reset (7812.5 baud at E = 2 MHz), and the one
// it switches to on an ordinary first character (1202 baud at E = 2 MHz).
constexpr uint8_t kBootRomBaudFast = baud::TCLR | baud::SCP1 | 0x02;  // $A2: /4 /4
constexpr uint8_t kBootRomBaudSlow = baud::SCP1 | baud::SCP0 | 0x03;  // $33: /13 /8
// The rate of a ROM that takes a sync for 9600 baud at E = 2 MHz (PartInfo's bSync9600).
constexpr uint8_t kBootRomBaud9600 = baud::SCP1 | baud::SCP0;  // $30: /13 /1

// The crystals 68HC11 boards run from, about 1 MHz (E = 250 kHz) up to 20 MHz (the fastest
// parts' E = 5 MHz); the oscillator's output is divided by four into E. The boot ROM's
// documented rates are those of the usual 8 MHz crystal.
constexpr uint32_t kLowestCrystalHz = 1000000;
constexpr uint32_t kHighestCrystalHz = 20000000;
constexpr uint32_t kDefaultCrystalHz = 8000000;
constexpr uint32_t kCrystalToE = 4;

}  // namespace hc11
