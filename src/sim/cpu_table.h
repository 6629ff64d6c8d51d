// The decode table: one entry for every opcode of the base page and of the three prebyte
// pages. The executing core, the disassembler and the length query all read it.
#pragma once

#include <array>
#include <cstdint>

namespace hc11 {

class Cpu;

// The bit-manipulation modes stay last and in this order: decoding tests ranges of them.
enum class Mode : uint8_t {
    Inherent,
    Immediate8,
    Immediate16,
    Direct,
    Extended,
    IndexedX,
    IndexedY,
    Relative,
    Prebyte,  // $18, $1A, $CD: the opcode proper follows on another page
    Illegal,
    BitDirect,  // BSET/BCLR: address byte, mask
    BitX,
    BitY,
    BitBranchDirect,  // BRSET/BRCLR: address byte, mask, branch offset
    BitBranchX,
    BitBranchY,
};

// What the addressing mode worked out before the handler runs.
struct Operand {
    // Effective address; for immediates the address of the immediate value itself;
    // for an illegal opcode the address of its first byte (prebyte included).
    uint16_t address;
    uint16_t target;  // branch destination of REL and BRSET/BRCLR
    uint8_t mask;     // bit mask of BSET/BCLR/BRSET/BRCLR
};

using OpcodeHandler = void (*)(Cpu &, const Operand &);

struct OpcodeInfo {
    const char *mnemonic;
    OpcodeHandler handler;
    Mode mode;
    uint8_t length;  // bytes, prebyte included
    uint8_t cycles;  // E cycles
};

enum OpcodePage : uint8_t { PAGE_BASE, PAGE_18, PAGE_1A, PAGE_CD, PAGE_COUNT };

using OpcodeTable = std::array<std::array<OpcodeInfo, 256>, PAGE_COUNT>;
extern const OpcodeTable kOpcodeTable;

inline OpcodePage pageAfterPrebyte(uint8_t prebyte) {
    return prebyte == 0x18 ? PAGE_18 : prebyte == 0x1A ? PAGE_1A : PAGE_CD;
}

}  // namespace hc11
