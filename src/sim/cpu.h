// The 68HC11 CPU core: every opcode of the base page and of the $18, $1A and $CD prebyte
// pages, exact condition codes and E-cycle counts. Table-driven: one row per opcode.
#pragma once

#include <cstdint>
#include <string>

#include "cpu_bus.h"

namespace hc11 {

constexpr uint16_t kResetVector = 0xFFFE;

struct OpcodeInfo;
struct Operand;

namespace ccr {
constexpr uint8_t C = 0x01, V = 0x02, Z = 0x04, N = 0x08, I = 0x10, H = 0x20, X = 0x40, S = 0x80;
}

struct Registers {
    uint8_t a = 0, b = 0;
    uint16_t x = 0, y = 0, sp = 0, pc = 0;
    uint8_t ccr = ccr::S | ccr::X | ccr::I;

    uint16_t d() const { return uint16_t(a << 8 | b); }
    void setD(uint16_t value) {
        a = uint8_t(value >> 8);
        b = uint8_t(value);
    }
};

enum class CpuState { Running, Waiting, Stopped };

class Cpu {
  public:
    explicit Cpu(CpuBus &bus);

    // Reset: S, X and I set, running, PC from the reset vector (vectorBase() + $3E), or from
    // another reset source's vector (the COP's $FFFA) given as its normal-mode address.
    void reset(uint16_t vector = kResetVector);

    // Runs one instruction, or the entry into one pending interrupt, and returns the E cycles
    // it took. While waiting (WAI) or stopped (STOP) it returns 1 and only checks for a
    // wake-up (an unmasked interrupt, or for STOP also XIRQ).
    unsigned step();

    Registers &regs() { return regs_; }
    const Registers &regs() const { return regs_; }
    CpuState state() const { return state_; }
    uint64_t cycles() const { return cycles_; }

    // One instruction at address in assembler syntax ("LDAA #$3E", "BRSET $2E,X #$20 $0004"),
    // with its length in bytes stored in *length. Reads memory through the bus.
    std::string disassemble(uint16_t address, unsigned *length) const;

    // Length in bytes of the instruction at address, from the decode table
    // (prebyte included); 1 for an illegal opcode.
    unsigned instructionLength(uint16_t address) const;

  private:
    CpuBus &bus_;
    Registers regs_;
    CpuState state_ = CpuState::Running;
    uint64_t cycles_ = 0;
    // Set by CLI and TAP: the instruction after one always runs before an interrupt is taken.
    bool interruptsHeld_ = false;

    friend struct CpuOps;  // the opcode handlers (opcodes.cpp)

    // Memory and stack in the order the chip accesses them: high byte first, and the low
    // byte of a pushed word at the higher address.
    uint8_t read8(uint16_t address) { return bus_.read(address); }
    uint16_t read16(uint16_t address) {
        uint8_t high = read8(address);
        return uint16_t(high << 8 | read8(uint16_t(address + 1)));
    }
    void write8(uint16_t address, uint8_t value) { bus_.write(address, value); }
    void write16(uint16_t address, uint16_t value) {
        write8(address, uint8_t(value >> 8));
        write8(uint16_t(address + 1), uint8_t(value));
    }
    void push8(uint8_t value) { write8(regs_.sp--, value); }
    void push16(uint16_t value) {
        push8(uint8_t(value));
        push8(uint8_t(value >> 8));
    }
    uint8_t pull8() { return read8(++regs_.sp); }
    uint16_t pull16() {
        uint8_t high = pull8();
        return uint16_t(high << 8 | pull8());
    }

    // The normal-mode vector address of the interrupt to take now, or 0.
    uint16_t acceptedInterrupt();
    unsigned enterInterrupt(uint16_t vector);
    void vectorToInterrupt(uint16_t vector);
    unsigned stepWhileHalted();
    // Fills the operand field by field: handed over whole, it would stall on partial words.
    void decodeOperand(const OpcodeInfo &info, uint16_t start, uint16_t operandAt,
                       Operand &operand);
    void stackRegisters();
    void jumpThroughVector(uint16_t vector);
};

}  // namespace hc11
