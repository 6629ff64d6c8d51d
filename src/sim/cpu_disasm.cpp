// Disassembly and instruction lengths, read from the same decode table the core executes.
#include <cstdio>

#include "cpu.h"
#include "cpu_table.h"

namespace hc11 {

namespace {

std::string hex(unsigned value, int digits) {
    char text[8];
    std::snprintf(text, sizeof text, "$%0*X", digits, value & 0xFFFF);
    return text;
}

const char *indexSuffix(Mode mode) {
    switch (mode) {
        case Mode::IndexedX:
        case Mode::BitX:
        case Mode::BitBranchX:
            return ",X";
        case Mode::IndexedY:
        case Mode::BitY:
        case Mode::BitBranchY:
            return ",Y";
        default:
            return "";
    }
}

// The instruction's bytes after its opcode (and prebyte), read through the bus.
struct OperandBytes {
    CpuBus &bus;
    uint16_t at;    // first operand byte
    uint16_t next;  // the following instruction, where branch offsets count from

    uint8_t byte(unsigned index) const { return bus.read(uint16_t(at + index)); }
    std::string byteText(unsigned index) const { return hex(byte(index), 2); }
    std::string wordText() const { return hex(unsigned(byte(0)) << 8 | byte(1), 4); }
    std::string placeText(Mode mode) const { return byteText(0) + indexSuffix(mode); }
    std::string targetText(unsigned index) const {
        return hex(uint16_t(next + int8_t(byte(index))), 4);
    }
};

std::string formatOperand(Mode mode, const OperandBytes &bytes) {
    switch (mode) {
        case Mode::Immediate8:
            return "#" + bytes.byteText(0);
        case Mode::Immediate16:
            return "#" + bytes.wordText();
        case Mode::Extended:
            return bytes.wordText();
        case Mode::Direct:
        case Mode::IndexedX:
        case Mode::IndexedY:
            return bytes.placeText(mode);
        case Mode::Relative:
            return bytes.targetText(0);
        case Mode::BitDirect:
        case Mode::BitX:
        case Mode::BitY:
            return bytes.placeText(mode) + " #" + bytes.byteText(1);
        case Mode::BitBranchDirect:
        case Mode::BitBranchX:
        case Mode::BitBranchY:
            return bytes.placeText(mode) + " #" + bytes.byteText(1) + " " + bytes.targetText(2);
        default:
            return "";
    }
}

struct Decoded {
    const OpcodeInfo *info;
    uint16_t operandAt;
};

Decoded decodeAt(CpuBus &bus, uint16_t address) {
    uint8_t opcode = bus.read(address);
    const OpcodeInfo &base = kOpcodeTable[PAGE_BASE][opcode];
    if (base.mode != Mode::Prebyte) return {&base, uint16_t(address + 1)};
    uint8_t second = bus.read(uint16_t(address + 1));
    return {&kOpcodeTable[pageAfterPrebyte(opcode)][second], uint16_t(address + 2)};
}

}  // namespace

// An illegal opcode shows its bytes: one, or the prebyte and the byte that has no meaning
// after it. Either way it is one byte long: the trap returns to its first byte.
std::string Cpu::disassemble(uint16_t address, unsigned *length) const {
    Decoded decoded = decodeAt(bus_, address);
    const OpcodeInfo &info = *decoded.info;
    if (length) *length = info.length;
    if (info.mode == Mode::Illegal) {
        std::string text = std::string(info.mnemonic) + " " + hex(bus_.read(address), 2);
        if (decoded.operandAt != uint16_t(address + 1))
            text += " " + hex(bus_.read(uint16_t(address + 1)), 2);
        return text;
    }
    OperandBytes bytes{bus_, decoded.operandAt, uint16_t(address + info.length)};
    std::string operand = formatOperand(info.mode, bytes);
    return operand.empty() ? info.mnemonic : std::string(info.mnemonic) + " " + operand;
}

unsigned Cpu::instructionLength(uint16_t address) const {
    return decodeAt(bus_, address).info->length;
}

}  // namespace hc11
