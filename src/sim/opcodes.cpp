// The decode table, built from one row per opcode: mnemonic, addressing mode, E cycles and
// handler. The length follows from the mode and the prebyte.
#include <array>

#include "cpu_ops.h"
#include "cpu_table.h"

namespace hc11 {

namespace {
constexpr Mode INH = Mode::Inherent, IMM8 = Mode::Immediate8, IMM16 = Mode::Immediate16,
               DIR = Mode::Direct, EXT = Mode::Extended, INDX = Mode::IndexedX,
               INDY = Mode::IndexedY, REL = Mode::Relative, BIT_DIR = Mode::BitDirect,
               BIT_X = Mode::BitX, BIT_Y = Mode::BitY, BRBIT_DIR = Mode::BitBranchDirect,
               BRBIT_X = Mode::BitBranchX, BRBIT_Y = Mode::BitBranchY;
}  // namespace

// One row per opcode: code (prebyte in the high byte), mnemonic, mode, E cycles, handler.
// clang-format off
constexpr CpuOps::Row CpuOps::kRows[] = {
    // Accumulator A: immediate, direct, extended, ,X and ,Y.
    {0x80,   "SUBA",  IMM8,      2, operate8<A, alu::subtract>},
    {0x90,   "SUBA",  DIR,       3, operate8<A, alu::subtract>},
    {0xB0,   "SUBA",  EXT,       4, operate8<A, alu::subtract>},
    {0xA0,   "SUBA",  INDX,      4, operate8<A, alu::subtract>},
    {0x18A0, "SUBA",  INDY,      5, operate8<A, alu::subtract>},
    {0x81,   "CMPA",  IMM8,      2, compare8<A, alu::subtract>},
    {0x91,   "CMPA",  DIR,       3, compare8<A, alu::subtract>},
    {0xB1,   "CMPA",  EXT,       4, compare8<A, alu::subtract>},
    {0xA1,   "CMPA",  INDX,      4, compare8<A, alu::subtract>},
    {0x18A1, "CMPA",  INDY,      5, compare8<A, alu::subtract>},
    {0x82,   "SBCA",  IMM8,      2, operate8<A, alu::subtractWithCarry>},
    {0x92,   "SBCA",  DIR,       3, operate8<A, alu::subtractWithCarry>},
    {0xB2,   "SBCA",  EXT,       4, operate8<A, alu::subtractWithCarry>},
    {0xA2,   "SBCA",  INDX,      4, operate8<A, alu::subtractWithCarry>},
    {0x18A2, "SBCA",  INDY,      5, operate8<A, alu::subtractWithCarry>},
    {0x84,   "ANDA",  IMM8,      2, operate8<A, alu::bitAnd>},
    {0x94,   "ANDA",  DIR,       3, operate8<A, alu::bitAnd>},
    {0xB4,   "ANDA",  EXT,       4, operate8<A, alu::bitAnd>},
    {0xA4,   "ANDA",  INDX,      4, operate8<A, alu::bitAnd>},
    {0x18A4, "ANDA",  INDY,      5, operate8<A, alu::bitAnd>},
    {0x85,   "BITA",  IMM8,      2, compare8<A, alu::bitAnd>},
    {0x95,   "BITA",  DIR,       3, compare8<A, alu::bitAnd>},
    {0xB5,   "BITA",  EXT,       4, compare8<A, alu::bitAnd>},
    {0xA5,   "BITA",  INDX,      4, compare8<A, alu::bitAnd>},
    {0x18A5, "BITA",  INDY,      5, compare8<A, alu::bitAnd>},
    {0x86,   "LDAA",  IMM8,      2, operate8<A, alu::load>},
    {0x96,   "LDAA",  DIR,       3, operate8<A, alu::load>},
    {0xB6,   "LDAA",  EXT,       4, operate8<A, alu::load>},
    {0xA6,   "LDAA",  INDX,      4, operate8<A, alu::load>},
    {0x18A6, "LDAA",  INDY,      5, operate8<A, alu::load>},
    {0x88,   "EORA",  IMM8,      2, operate8<A, alu::bitXor>},
    {0x98,   "EORA",  DIR,       3, operate8<A, alu::bitXor>},
    {0xB8,   "EORA",  EXT,       4, operate8<A, alu::bitXor>},
    {0xA8,   "EORA",  INDX,      4, operate8<A, alu::bitXor>},
    {0x18A8, "EORA",  INDY,      5, operate8<A, alu::bitXor>},
    {0x89,   "ADCA",  IMM8,      2, operate8<A, alu::addWithCarry>},
    {0x99,   "ADCA",  DIR,       3, operate8<A, alu::addWithCarry>},
    {0xB9,   "ADCA",  EXT,       4, operate8<A, alu::addWithCarry>},
    {0xA9,   "ADCA",  INDX,      4, operate8<A, alu::addWithCarry>},
    {0x18A9, "ADCA",  INDY,      5, operate8<A, alu::addWithCarry>},
    {0x8A,   "ORAA",  IMM8,      2, operate8<A, alu::bitOr>},
    {0x9A,   "ORAA",  DIR,       3, operate8<A, alu::bitOr>},
    {0xBA,   "ORAA",  EXT,       4, operate8<A, alu::bitOr>},
    {0xAA,   "ORAA",  INDX,      4, operate8<A, alu::bitOr>},
    {0x18AA, "ORAA",  INDY,      5, operate8<A, alu::bitOr>},
    {0x8B,   "ADDA",  IMM8,      2, operate8<A, alu::add>},
    {0x9B,   "ADDA",  DIR,       3, operate8<A, alu::add>},
    {0xBB,   "ADDA",  EXT,       4, operate8<A, alu::add>},
    {0xAB,   "ADDA",  INDX,      4, operate8<A, alu::add>},
    {0x18AB, "ADDA",  INDY,      5, operate8<A, alu::add>},
    {0x97,   "STAA",  DIR,       3, store8<A>},
    {0xB7,   "STAA",  EXT,       4, store8<A>},
    {0xA7,   "STAA",  INDX,      4, store8<A>},
    {0x18A7, "STAA",  INDY,      5, store8<A>},

    // Accumulator B: immediate, direct, extended, ,X and ,Y.
    {0xC0,   "SUBB",  IMM8,      2, operate8<B, alu::subtract>},
    {0xD0,   "SUBB",  DIR,       3, operate8<B, alu::subtract>},
    {0xF0,   "SUBB",  EXT,       4, operate8<B, alu::subtract>},
    {0xE0,   "SUBB",  INDX,      4, operate8<B, alu::subtract>},
    {0x18E0, "SUBB",  INDY,      5, operate8<B, alu::subtract>},
    {0xC1,   "CMPB",  IMM8,      2, compare8<B, alu::subtract>},
    {0xD1,   "CMPB",  DIR,       3, compare8<B, alu::subtract>},
    {0xF1,   "CMPB",  EXT,       4, compare8<B, alu::subtract>},
    {0xE1,   "CMPB",  INDX,      4, compare8<B, alu::subtract>},
    {0x18E1, "CMPB",  INDY,      5, compare8<B, alu::subtract>},
    {0xC2,   "SBCB",  IMM8,      2, operate8<B, alu::subtractWithCarry>},
    {0xD2,   "SBCB",  DIR,       3, operate8<B, alu::subtractWithCarry>},
    {0xF2,   "SBCB",  EXT,       4, operate8<B, alu::subtractWithCarry>},
    {0xE2,   "SBCB",  INDX,      4, operate8<B, alu::subtractWithCarry>},
    {0x18E2, "SBCB",  INDY,      5, operate8<B, alu::subtractWithCarry>},
    {0xC4,   "ANDB",  IMM8,      2, operate8<B, alu::bitAnd>},
    {0xD4,   "ANDB",  DIR,       3, operate8<B, alu::bitAnd>},
    {0xF4,   "ANDB",  EXT,       4, operate8<B, alu::bitAnd>},
    {0xE4,   "ANDB",  INDX,      4, operate8<B, alu::bitAnd>},
    {0x18E4, "ANDB",  INDY,      5, operate8<B, alu::bitAnd>},
    {0xC5,   "BITB",  IMM8,      2, compare8<B, alu::bitAnd>},
    {0xD5,   "BITB",  DIR,       3, compare8<B, alu::bitAnd>},
    {0xF5,   "BITB",  EXT,       4, compare8<B, alu::bitAnd>},
    {0xE5,   "BITB",  INDX,      4, compare8<B, alu::bitAnd>},
    {0x18E5, "BITB",  INDY,      5, compare8<B, alu::bitAnd>},
    {0xC6,   "LDAB",  IMM8,      2, operate8<B, alu::load>},
    {0xD6,   "LDAB",  DIR,       3, operate8<B, alu::load>},
    {0xF6,   "LDAB",  EXT,       4, operate8<B, alu::load>},
    {0xE6,   "LDAB",  INDX,      4, operate8<B, alu::load>},
    {0x18E6, "LDAB",  INDY,      5, operate8<B, alu::load>},
    {0xC8,   "EORB",  IMM8,      2, operate8<B, alu::bitXor>},
    {0xD8,   "EORB",  DIR,       3, operate8<B, alu::bitXor>},
    {0xF8,   "EORB",  EXT,       4, operate8<B, alu::bitXor>},
    {0xE8,   "EORB",  INDX,      4, operate8<B, alu::bitXor>},
    {0x18E8, "EORB",  INDY,      5, operate8<B, alu::bitXor>},
    {0xC9,   "ADCB",  IMM8,      2, operate8<B, alu::addWithCarry>},
    {0xD9,   "ADCB",  DIR,       3, operate8<B, alu::addWithCarry>},
    {0xF9,   "ADCB",  EXT,       4, operate8<B, alu::addWithCarry>},
    {0xE9,   "ADCB",  INDX,      4, operate8<B, alu::addWithCarry>},
    {0x18E9, "ADCB",  INDY,      5, operate8<B, alu::addWithCarry>},
    {0xCA,   "ORAB",  IMM8,      2, operate8<B, alu::bitOr>},
    {0xDA,   "ORAB",  DIR,       3, operate8<B, alu::bitOr>},
    {0xFA,   "ORAB",  EXT,       4, operate8<B, alu::bitOr>},
    {0xEA,   "ORAB",  INDX,      4, operate8<B, alu::bitOr>},
    {0x18EA, "ORAB",  INDY,      5, operate8<B, alu::bitOr>},
    {0xCB,   "ADDB",  IMM8,      2, operate8<B, alu::add>},
    {0xDB,   "ADDB",  DIR,       3, operate8<B, alu::add>},
    {0xFB,   "ADDB",  EXT,       4, operate8<B, alu::add>},
    {0xEB,   "ADDB",  INDX,      4, operate8<B, alu::add>},
    {0x18EB, "ADDB",  INDY,      5, operate8<B, alu::add>},
    {0xD7,   "STAB",  DIR,       3, store8<B>},
    {0xF7,   "STAB",  EXT,       4, store8<B>},
    {0xE7,   "STAB",  INDX,      4, store8<B>},
    {0x18E7, "STAB",  INDY,      5, store8<B>},

    // Double-byte arithmetic, compares, loads and stores.
    {0xC3,   "ADDD",  IMM16,     4, operate16<D, alu::add16>},
    {0xD3,   "ADDD",  DIR,       5, operate16<D, alu::add16>},
    {0xF3,   "ADDD",  EXT,       6, operate16<D, alu::add16>},
    {0xE3,   "ADDD",  INDX,      6, operate16<D, alu::add16>},
    {0x18E3, "ADDD",  INDY,      7, operate16<D, alu::add16>},
    {0x83,   "SUBD",  IMM16,     4, operate16<D, alu::sub16>},
    {0x93,   "SUBD",  DIR,       5, operate16<D, alu::sub16>},
    {0xB3,   "SUBD",  EXT,       6, operate16<D, alu::sub16>},
    {0xA3,   "SUBD",  INDX,      6, operate16<D, alu::sub16>},
    {0x18A3, "SUBD",  INDY,      7, operate16<D, alu::sub16>},
    {0x1A83, "CPD",   IMM16,     5, compare16<D>},
    {0x1A93, "CPD",   DIR,       6, compare16<D>},
    {0x1AB3, "CPD",   EXT,       7, compare16<D>},
    {0x1AA3, "CPD",   INDX,      7, compare16<D>},
    {0xCDA3, "CPD",   INDY,      7, compare16<D>},
    {0x8C,   "CPX",   IMM16,     4, compare16<IX>},
    {0x9C,   "CPX",   DIR,       5, compare16<IX>},
    {0xBC,   "CPX",   EXT,       6, compare16<IX>},
    {0xAC,   "CPX",   INDX,      6, compare16<IX>},
    {0xCDAC, "CPX",   INDY,      7, compare16<IX>},
    {0x188C, "CPY",   IMM16,     5, compare16<IY>},
    {0x189C, "CPY",   DIR,       6, compare16<IY>},
    {0x18BC, "CPY",   EXT,       7, compare16<IY>},
    {0x1AAC, "CPY",   INDX,      7, compare16<IY>},
    {0x18AC, "CPY",   INDY,      7, compare16<IY>},
    {0xCC,   "LDD",   IMM16,     3, operate16<D, alu::load16>},
    {0xDC,   "LDD",   DIR,       4, operate16<D, alu::load16>},
    {0xFC,   "LDD",   EXT,       5, operate16<D, alu::load16>},
    {0xEC,   "LDD",   INDX,      5, operate16<D, alu::load16>},
    {0x18EC, "LDD",   INDY,      6, operate16<D, alu::load16>},
    {0x8E,   "LDS",   IMM16,     3, operate16<SP, alu::load16>},
    {0x9E,   "LDS",   DIR,       4, operate16<SP, alu::load16>},
    {0xBE,   "LDS",   EXT,       5, operate16<SP, alu::load16>},
    {0xAE,   "LDS",   INDX,      5, operate16<SP, alu::load16>},
    {0x18AE, "LDS",   INDY,      6, operate16<SP, alu::load16>},
    {0xCE,   "LDX",   IMM16,     3, operate16<IX, alu::load16>},
    {0xDE,   "LDX",   DIR,       4, operate16<IX, alu::load16>},
    {0xFE,   "LDX",   EXT,       5, operate16<IX, alu::load16>},
    {0xEE,   "LDX",   INDX,      5, operate16<IX, alu::load16>},
    {0xCDEE, "LDX",   INDY,      6, operate16<IX, alu::load16>},
    {0x18CE, "LDY",   IMM16,     4, operate16<IY, alu::load16>},
    {0x18DE, "LDY",   DIR,       5, operate16<IY, alu::load16>},
    {0x18FE, "LDY",   EXT,       6, operate16<IY, alu::load16>},
    {0x1AEE, "LDY",   INDX,      6, operate16<IY, alu::load16>},
    {0x18EE, "LDY",   INDY,      6, operate16<IY, alu::load16>},
    {0xDD,   "STD",   DIR,       4, store16<D>},
    {0xFD,   "STD",   EXT,       5, store16<D>},
    {0xED,   "STD",   INDX,      5, store16<D>},
    {0x18ED, "STD",   INDY,      6, store16<D>},
    {0x9F,   "STS",   DIR,       4, store16<SP>},
    {0xBF,   "STS",   EXT,       5, store16<SP>},
    {0xAF,   "STS",   INDX,      5, store16<SP>},
    {0x18AF, "STS",   INDY,      6, store16<SP>},
    {0xDF,   "STX",   DIR,       4, store16<IX>},
    {0xFF,   "STX",   EXT,       5, store16<IX>},
    {0xEF,   "STX",   INDX,      5, store16<IX>},
    {0xCDEF, "STX",   INDY,      6, store16<IX>},
    {0x18DF, "STY",   DIR,       5, store16<IY>},
    {0x18FF, "STY",   EXT,       6, store16<IY>},
    {0x1AEF, "STY",   INDX,      6, store16<IY>},
    {0x18EF, "STY",   INDY,      6, store16<IY>},

    // Read-modify-write on A, on B, and in memory: ,X, extended and ,Y.
    {0x40,   "NEGA",  INH,       2, modifyAccumulator<A, alu::negate>},
    {0x50,   "NEGB",  INH,       2, modifyAccumulator<B, alu::negate>},
    {0x60,   "NEG",   INDX,      6, modifyMemory<alu::negate>},
    {0x70,   "NEG",   EXT,       6, modifyMemory<alu::negate>},
    {0x1860, "NEG",   INDY,      7, modifyMemory<alu::negate>},
    {0x43,   "COMA",  INH,       2, modifyAccumulator<A, alu::complement>},
    {0x53,   "COMB",  INH,       2, modifyAccumulator<B, alu::complement>},
    {0x63,   "COM",   INDX,      6, modifyMemory<alu::complement>},
    {0x73,   "COM",   EXT,       6, modifyMemory<alu::complement>},
    {0x1863, "COM",   INDY,      7, modifyMemory<alu::complement>},
    {0x44,   "LSRA",  INH,       2, modifyAccumulator<A, alu::shiftRightLogical>},
    {0x54,   "LSRB",  INH,       2, modifyAccumulator<B, alu::shiftRightLogical>},
    {0x64,   "LSR",   INDX,      6, modifyMemory<alu::shiftRightLogical>},
    {0x74,   "LSR",   EXT,       6, modifyMemory<alu::shiftRightLogical>},
    {0x1864, "LSR",   INDY,      7, modifyMemory<alu::shiftRightLogical>},
    {0x46,   "RORA",  INH,       2, modifyAccumulator<A, alu::rotateRight>},
    {0x56,   "RORB",  INH,       2, modifyAccumulator<B, alu::rotateRight>},
    {0x66,   "ROR",   INDX,      6, modifyMemory<alu::rotateRight>},
    {0x76,   "ROR",   EXT,       6, modifyMemory<alu::rotateRight>},
    {0x1866, "ROR",   INDY,      7, modifyMemory<alu::rotateRight>},
    {0x47,   "ASRA",  INH,       2, modifyAccumulator<A, alu::shiftRightArithmetic>},
    {0x57,   "ASRB",  INH,       2, modifyAccumulator<B, alu::shiftRightArithmetic>},
    {0x67,   "ASR",   INDX,      6, modifyMemory<alu::shiftRightArithmetic>},
    {0x77,   "ASR",   EXT,       6, modifyMemory<alu::shiftRightArithmetic>},
    {0x1867, "ASR",   INDY,      7, modifyMemory<alu::shiftRightArithmetic>},
    {0x48,   "ASLA",  INH,       2, modifyAccumulator<A, alu::shiftLeft>},
    {0x58,   "ASLB",  INH,       2, modifyAccumulator<B, alu::shiftLeft>},
    {0x68,   "ASL",   INDX,      6, modifyMemory<alu::shiftLeft>},
    {0x78,   "ASL",   EXT,       6, modifyMemory<alu::shiftLeft>},
    {0x1868, "ASL",   INDY,      7, modifyMemory<alu::shiftLeft>},
    {0x49,   "ROLA",  INH,       2, modifyAccumulator<A, alu::rotateLeft>},
    {0x59,   "ROLB",  INH,       2, modifyAccumulator<B, alu::rotateLeft>},
    {0x69,   "ROL",   INDX,      6, modifyMemory<alu::rotateLeft>},
    {0x79,   "ROL",   EXT,       6, modifyMemory<alu::rotateLeft>},
    {0x1869, "ROL",   INDY,      7, modifyMemory<alu::rotateLeft>},
    {0x4A,   "DECA",  INH,       2, modifyAccumulator<A, alu::decrement>},
    {0x5A,   "DECB",  INH,       2, modifyAccumulator<B, alu::decrement>},
    {0x6A,   "DEC",   INDX,      6, modifyMemory<alu::decrement>},
    {0x7A,   "DEC",   EXT,       6, modifyMemory<alu::decrement>},
    {0x186A, "DEC",   INDY,      7, modifyMemory<alu::decrement>},
    {0x4C,   "INCA",  INH,       2, modifyAccumulator<A, alu::increment>},
    {0x5C,   "INCB",  INH,       2, modifyAccumulator<B, alu::increment>},
    {0x6C,   "INC",   INDX,      6, modifyMemory<alu::increment>},
    {0x7C,   "INC",   EXT,       6, modifyMemory<alu::increment>},
    {0x186C, "INC",   INDY,      7, modifyMemory<alu::increment>},
    {0x4D,   "TSTA",  INH,       2, modifyAccumulator<A, alu::test>},
    {0x5D,   "TSTB",  INH,       2, modifyAccumulator<B, alu::test>},
    {0x6D,   "TST",   INDX,      6, testMemory},
    {0x7D,   "TST",   EXT,       6, testMemory},
    {0x186D, "TST",   INDY,      7, testMemory},
    {0x4F,   "CLRA",  INH,       2, modifyAccumulator<A, alu::clear>},
    {0x5F,   "CLRB",  INH,       2, modifyAccumulator<B, alu::clear>},
    {0x6F,   "CLR",   INDX,      6, modifyMemory<alu::clear>},
    {0x7F,   "CLR",   EXT,       6, modifyMemory<alu::clear>},
    {0x186F, "CLR",   INDY,      7, modifyMemory<alu::clear>},

    // Bit manipulation.
    {0x14,   "BSET",  BIT_DIR,   6, setBits},
    {0x1C,   "BSET",  BIT_X,     7, setBits},
    {0x181C, "BSET",  BIT_Y,     8, setBits},
    {0x15,   "BCLR",  BIT_DIR,   6, clearBits},
    {0x1D,   "BCLR",  BIT_X,     7, clearBits},
    {0x181D, "BCLR",  BIT_Y,     8, clearBits},
    {0x12,   "BRSET", BRBIT_DIR,  6, branchIfBitsSet},
    {0x1E,   "BRSET", BRBIT_X,   7, branchIfBitsSet},
    {0x181E, "BRSET", BRBIT_Y,   8, branchIfBitsSet},
    {0x13,   "BRCLR", BRBIT_DIR,  6, branchIfBitsClear},
    {0x1F,   "BRCLR", BRBIT_X,   7, branchIfBitsClear},
    {0x181F, "BRCLR", BRBIT_Y,   8, branchIfBitsClear},

    // Branches: three cycles whether taken or not.
    {0x20,   "BRA",   REL,       3, branch<always>},
    {0x21,   "BRN",   REL,       3, branch<never>},
    {0x22,   "BHI",   REL,       3, branch<higher>},
    {0x23,   "BLS",   REL,       3, branch<lowerOrSame>},
    {0x24,   "BCC",   REL,       3, branch<carryClear>},
    {0x25,   "BCS",   REL,       3, branch<carrySet>},
    {0x26,   "BNE",   REL,       3, branch<notEqual>},
    {0x27,   "BEQ",   REL,       3, branch<equal>},
    {0x28,   "BVC",   REL,       3, branch<overflowClear>},
    {0x29,   "BVS",   REL,       3, branch<overflowSet>},
    {0x2A,   "BPL",   REL,       3, branch<plus>},
    {0x2B,   "BMI",   REL,       3, branch<minus>},
    {0x2C,   "BGE",   REL,       3, branch<greaterOrEqual>},
    {0x2D,   "BLT",   REL,       3, branch<less>},
    {0x2E,   "BGT",   REL,       3, branch<greater>},
    {0x2F,   "BLE",   REL,       3, branch<lessOrEqual>},

    // Jumps, subroutines and interrupts.
    {0x6E,   "JMP",   INDX,      3, jump},
    {0x7E,   "JMP",   EXT,       3, jump},
    {0x186E, "JMP",   INDY,      4, jump},
    {0x9D,   "JSR",   DIR,       5, jumpToSubroutine},
    {0xBD,   "JSR",   EXT,       6, jumpToSubroutine},
    {0xAD,   "JSR",   INDX,      6, jumpToSubroutine},
    {0x18AD, "JSR",   INDY,      7, jumpToSubroutine},
    {0x8D,   "BSR",   REL,       6, branchToSubroutine},
    {0x39,   "RTS",   INH,       5, returnFromSubroutine},
    {0x3B,   "RTI",   INH,      12, returnFromInterrupt},
    {0x3F,   "SWI",   INH,      14, softwareInterrupt},
    {0x3E,   "WAI",   INH,      14, waitForInterrupt},
    {0xCF,   "STOP",  INH,       2, stop},

    // Inherent: arithmetic on the accumulators and D.
    {0x01,   "NOP",   INH,       2, noOperation},
    {0x02,   "IDIV",  INH,      41, integerDivide},
    {0x03,   "FDIV",  INH,      41, fractionalDivide},
    {0x3D,   "MUL",   INH,      10, multiply},
    {0x19,   "DAA",   INH,       2, decimalAdjust},
    {0x04,   "LSRD",  INH,       3, shiftDRight},
    {0x05,   "ASLD",  INH,       3, shiftDLeft},
    {0x10,   "SBA",   INH,       2, subtractBFromA},
    {0x11,   "CBA",   INH,       2, compareAWithB},
    {0x1B,   "ABA",   INH,       2, addBToA},
    {0x16,   "TAB",   INH,       2, transfer8<A, B>},
    {0x17,   "TBA",   INH,       2, transfer8<B, A>},

    // Inherent: condition codes.
    {0x06,   "TAP",   INH,       2, transferAToCcr},
    {0x07,   "TPA",   INH,       2, transferCcrToA},
    {0x0A,   "CLV",   INH,       2, clearFlag<V>},
    {0x0B,   "SEV",   INH,       2, setFlag<V>},
    {0x0C,   "CLC",   INH,       2, clearFlag<C>},
    {0x0D,   "SEC",   INH,       2, setFlag<C>},
    {0x0E,   "CLI",   INH,       2, clearInterruptMask},
    {0x0F,   "SEI",   INH,       2, setFlag<I>},

    // Inherent: index registers and the stack.
    {0x08,   "INX",   INH,       3, count16<IX, 1>},
    {0x09,   "DEX",   INH,       3, count16<IX, -1>},
    {0x1808, "INY",   INH,       4, count16<IY, 1>},
    {0x1809, "DEY",   INH,       4, count16<IY, -1>},
    {0x31,   "INS",   INH,       3, count16<SP, 1>},
    {0x34,   "DES",   INH,       3, count16<SP, -1>},
    {0x30,   "TSX",   INH,       3, transferStackToIndex<IX>},
    {0x1830, "TSY",   INH,       4, transferStackToIndex<IY>},
    {0x35,   "TXS",   INH,       3, transferIndexToStack<IX>},
    {0x1835, "TYS",   INH,       4, transferIndexToStack<IY>},
    {0x3A,   "ABX",   INH,       3, addBToIndex<IX>},
    {0x183A, "ABY",   INH,       4, addBToIndex<IY>},
    {0x8F,   "XGDX",  INH,       3, exchangeDWithIndex<IX>},
    {0x188F, "XGDY",  INH,       4, exchangeDWithIndex<IY>},
    {0x36,   "PSHA",  INH,       3, push8<A>},
    {0x37,   "PSHB",  INH,       3, push8<B>},
    {0x32,   "PULA",  INH,       4, pull8<A>},
    {0x33,   "PULB",  INH,       4, pull8<B>},
    {0x3C,   "PSHX",  INH,       4, push16<IX>},
    {0x183C, "PSHY",  INH,       5, push16<IY>},
    {0x38,   "PULX",  INH,       5, pull16<IX>},
    {0x1838, "PULY",  INH,       6, pull16<IY>},
};
// clang-format on

namespace {

constexpr uint8_t operandBytes(Mode mode) {
    switch (mode) {
        case Mode::Immediate8:
        case Mode::Direct:
        case Mode::IndexedX:
        case Mode::IndexedY:
        case Mode::Relative:
            return 1;
        case Mode::Immediate16:
        case Mode::Extended:
        case Mode::BitDirect:
        case Mode::BitX:
        case Mode::BitY:
            return 2;
        case Mode::BitBranchDirect:
        case Mode::BitBranchX:
        case Mode::BitBranchY:
            return 3;
        default:
            return 0;
    }
}

constexpr OpcodePage pageOfCode(uint16_t code) {
    switch (code >> 8) {
        case 0x18:
            return PAGE_18;
        case 0x1A:
            return PAGE_1A;
        case 0xCD:
            return PAGE_CD;
        default:
            return PAGE_BASE;
    }
}

// Every slot starts as an illegal opcode; the rows fill in the rest.
constexpr OpcodeTable buildOpcodeTable() {
    OpcodeTable table{};
    for (auto &page : table)
        for (auto &entry : page) entry = {"ILLEGAL", CpuOps::illegalOpcode, Mode::Illegal, 1, 14};
    for (uint8_t prebyte : {0x18, 0x1A, 0xCD})
        table[PAGE_BASE][prebyte] = {"PREBYTE", CpuOps::illegalOpcode, Mode::Prebyte, 1, 0};
    for (const CpuOps::Row &row : CpuOps::kRows) {
        uint8_t prefixBytes = row.code > 0xFF ? 1 : 0;
        uint8_t length = uint8_t(prefixBytes + 1 + operandBytes(row.mode));
        table[pageOfCode(row.code)][row.code & 0xFF] = {row.mnemonic, row.handler, row.mode, length,
                                                        row.cycles};
    }
    return table;
}

}  // namespace

constexpr OpcodeTable kOpcodeTable = buildOpcodeTable();

}  // namespace hc11
