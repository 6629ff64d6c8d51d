// The opcode handlers: each runs after its addressing mode has been worked out and PC moved
// past the instruction. Templates share one body among the registers and operations of a
// family. Internal to the CPU core; the decode table (opcodes.cpp) points at these.
#pragma once

#include "cpu.h"
#include "cpu_alu.h"
#include "cpu_table.h"

namespace hc11 {

using namespace ccr;

struct CpuOps {
    enum Acc { A, B };
    enum Reg16 { D, IX, IY, SP };
    using Binary8 = uint8_t (*)(uint8_t &, uint8_t, uint8_t);
    using Unary8 = uint8_t (*)(uint8_t &, uint8_t);
    using Binary16 = uint16_t (*)(uint8_t &, uint16_t, uint16_t);
    using Condition = bool (*)(uint8_t);

    template <Acc R>
    static uint8_t &acc(Cpu &cpu) {
        return R == A ? cpu.regs_.a : cpu.regs_.b;
    }
    template <Reg16 R>
    static uint16_t get16(const Registers &r) {
        if constexpr (R == D) return r.d();
        if constexpr (R == IX) return r.x;
        if constexpr (R == IY) return r.y;
        if constexpr (R == SP) return r.sp;
    }
    template <Reg16 R>
    static void set16(Registers &r, uint16_t value) {
        if constexpr (R == D) r.setD(value);
        if constexpr (R == IX) r.x = value;
        if constexpr (R == IY) r.y = value;
        if constexpr (R == SP) r.sp = value;
    }

    // --- loads, stores, arithmetic and logic on a memory or immediate operand ---

    template <Acc R, Binary8 F>
    static void operate8(Cpu &cpu, const Operand &op) {
        acc<R>(cpu) = F(cpu.regs_.ccr, acc<R>(cpu), cpu.read8(op.address));
    }
    template <Acc R, Binary8 F>
    static void compare8(Cpu &cpu, const Operand &op) {
        F(cpu.regs_.ccr, acc<R>(cpu), cpu.read8(op.address));
    }
    template <Acc R>
    static void store8(Cpu &cpu, const Operand &op) {
        cpu.write8(op.address, alu::logic8(cpu.regs_.ccr, acc<R>(cpu)));
    }
    template <Reg16 R, Binary16 F>
    static void operate16(Cpu &cpu, const Operand &op) {
        Registers &r = cpu.regs_;
        set16<R>(r, F(r.ccr, get16<R>(r), cpu.read16(op.address)));
    }
    template <Reg16 R>
    static void compare16(Cpu &cpu, const Operand &op) {
        alu::sub16(cpu.regs_.ccr, get16<R>(cpu.regs_), cpu.read16(op.address));
    }
    template <Reg16 R>
    static void store16(Cpu &cpu, const Operand &op) {
        uint16_t value = get16<R>(cpu.regs_);
        alu::load16(cpu.regs_.ccr, 0, value);
        cpu.write16(op.address, value);
    }

    // --- one operand, read, changed and written back ---

    template <Unary8 F>
    static void modifyMemory(Cpu &cpu, const Operand &op) {
        cpu.write8(op.address, F(cpu.regs_.ccr, cpu.read8(op.address)));
    }
    static void testMemory(Cpu &cpu, const Operand &op) {
        alu::test(cpu.regs_.ccr, cpu.read8(op.address));
    }
    template <Acc R, Unary8 F>
    static void modifyAccumulator(Cpu &cpu, const Operand &) {
        acc<R>(cpu) = F(cpu.regs_.ccr, acc<R>(cpu));
    }

    // --- bit manipulation ---

    static void setBits(Cpu &cpu, const Operand &op) {
        cpu.write8(op.address, alu::logic8(cpu.regs_.ccr, cpu.read8(op.address) | op.mask));
    }
    static void clearBits(Cpu &cpu, const Operand &op) {
        cpu.write8(op.address, alu::logic8(cpu.regs_.ccr, cpu.read8(op.address) & ~op.mask));
    }
    static void branchIfBitsSet(Cpu &cpu, const Operand &op) {
        if ((~cpu.read8(op.address) & op.mask) == 0) cpu.regs_.pc = op.target;
    }
    static void branchIfBitsClear(Cpu &cpu, const Operand &op) {
        if ((cpu.read8(op.address) & op.mask) == 0) cpu.regs_.pc = op.target;
    }

    // --- branches, jumps, subroutines, interrupts ---

    static bool always(uint8_t) { return true; }
    static bool never(uint8_t) { return false; }
    static bool higher(uint8_t f) { return !(f & (C | Z)); }
    static bool lowerOrSame(uint8_t f) { return f & (C | Z); }
    static bool carryClear(uint8_t f) { return !(f & C); }
    static bool carrySet(uint8_t f) { return f & C; }
    static bool notEqual(uint8_t f) { return !(f & Z); }
    static bool equal(uint8_t f) { return f & Z; }
    static bool overflowClear(uint8_t f) { return !(f & V); }
    static bool overflowSet(uint8_t f) { return f & V; }
    static bool plus(uint8_t f) { return !(f & N); }
    static bool minus(uint8_t f) { return f & N; }
    static bool less(uint8_t f) { return bool(f & N) != bool(f & V); }
    static bool greaterOrEqual(uint8_t f) { return !less(f); }
    static bool lessOrEqual(uint8_t f) { return (f & Z) || less(f); }
    static bool greater(uint8_t f) { return !lessOrEqual(f); }

    template <Condition F>
    static void branch(Cpu &cpu, const Operand &op) {
        if (F(cpu.regs_.ccr)) cpu.regs_.pc = op.target;
    }
    static void branchToSubroutine(Cpu &cpu, const Operand &op) {
        cpu.push16(cpu.regs_.pc);
        cpu.regs_.pc = op.target;
    }
    static void jump(Cpu &cpu, const Operand &op) { cpu.regs_.pc = op.address; }
    static void jumpToSubroutine(Cpu &cpu, const Operand &op) {
        cpu.push16(cpu.regs_.pc);
        cpu.regs_.pc = op.address;
    }
    static void returnFromSubroutine(Cpu &cpu, const Operand &) { cpu.regs_.pc = cpu.pull16(); }
    static void returnFromInterrupt(Cpu &cpu, const Operand &);
    static void softwareInterrupt(Cpu &cpu, const Operand &) {
        cpu.stackRegisters();
        cpu.regs_.ccr |= I;
        cpu.jumpThroughVector(0xFFF6);
    }
    // The return address stacked is the illegal opcode's own, so that the handler can tell
    // a one-byte opcode from a prebyte pair.
    static void illegalOpcode(Cpu &cpu, const Operand &op) {
        cpu.regs_.pc = op.address;
        cpu.stackRegisters();
        cpu.regs_.ccr |= I;
        cpu.jumpThroughVector(0xFFF8);
    }
    // WAI stacks now so that the interrupt which ends the wait is taken without delay.
    static void waitForInterrupt(Cpu &cpu, const Operand &) {
        cpu.stackRegisters();
        cpu.state_ = CpuState::Waiting;
    }
    static void stop(Cpu &cpu, const Operand &) {
        if (!(cpu.regs_.ccr & S)) cpu.state_ = CpuState::Stopped;
    }

    // --- inherent register operations ---

    static void noOperation(Cpu &, const Operand &) {}
    static void integerDivide(Cpu &cpu, const Operand &);
    static void fractionalDivide(Cpu &cpu, const Operand &);
    static void multiply(Cpu &cpu, const Operand &) {
        Registers &r = cpu.regs_;
        r.setD(alu::multiply(r.ccr, r.a, r.b));
    }
    static void decimalAdjust(Cpu &cpu, const Operand &) {
        cpu.regs_.a = alu::decimalAdjust(cpu.regs_.ccr, cpu.regs_.a);
    }
    static void shiftDLeft(Cpu &cpu, const Operand &) {
        cpu.regs_.setD(alu::shiftLeft16(cpu.regs_.ccr, cpu.regs_.d()));
    }
    static void shiftDRight(Cpu &cpu, const Operand &) {
        cpu.regs_.setD(alu::shiftRightLogical16(cpu.regs_.ccr, cpu.regs_.d()));
    }
    static void subtractBFromA(Cpu &cpu, const Operand &) {
        cpu.regs_.a = alu::subtract(cpu.regs_.ccr, cpu.regs_.a, cpu.regs_.b);
    }
    static void compareAWithB(Cpu &cpu, const Operand &) {
        alu::subtract(cpu.regs_.ccr, cpu.regs_.a, cpu.regs_.b);
    }
    static void addBToA(Cpu &cpu, const Operand &) {
        cpu.regs_.a = alu::add(cpu.regs_.ccr, cpu.regs_.a, cpu.regs_.b);
    }
    template <Acc From, Acc To>
    static void transfer8(Cpu &cpu, const Operand &) {
        acc<To>(cpu) = alu::logic8(cpu.regs_.ccr, acc<From>(cpu));
    }

    static void transferAToCcr(Cpu &cpu, const Operand &);
    static void transferCcrToA(Cpu &cpu, const Operand &) { cpu.regs_.a = cpu.regs_.ccr; }
    template <uint8_t Flag>
    static void clearFlag(Cpu &cpu, const Operand &) {
        cpu.regs_.ccr &= uint8_t(~Flag);
    }
    template <uint8_t Flag>
    static void setFlag(Cpu &cpu, const Operand &) {
        cpu.regs_.ccr |= Flag;
    }
    static void clearInterruptMask(Cpu &cpu, const Operand &) {
        if (cpu.regs_.ccr & I) cpu.interruptsHeld_ = true;
        cpu.regs_.ccr &= uint8_t(~I);
    }

    // INX, DEX, INY, DEY set Z; INS and DES touch no flag.
    template <Reg16 R, int Delta>
    static void count16(Cpu &cpu, const Operand &) {
        Registers &r = cpu.regs_;
        uint16_t value = uint16_t(get16<R>(r) + Delta);
        set16<R>(r, value);
        if constexpr (R != SP) alu::setFlags(r.ccr, Z, alu::flagIf(value == 0, Z));
    }
    // The stack pointer points at the next free byte; X and Y are made to point at the last
    // byte pushed.
    template <Reg16 R>
    static void transferStackToIndex(Cpu &cpu, const Operand &) {
        set16<R>(cpu.regs_, uint16_t(cpu.regs_.sp + 1));
    }
    template <Reg16 R>
    static void transferIndexToStack(Cpu &cpu, const Operand &) {
        cpu.regs_.sp = uint16_t(get16<R>(cpu.regs_) - 1);
    }
    template <Reg16 R>
    static void addBToIndex(Cpu &cpu, const Operand &) {
        set16<R>(cpu.regs_, uint16_t(get16<R>(cpu.regs_) + cpu.regs_.b));
    }
    template <Reg16 R>
    static void exchangeDWithIndex(Cpu &cpu, const Operand &) {
        Registers &r = cpu.regs_;
        uint16_t index = get16<R>(r);
        set16<R>(r, r.d());
        r.setD(index);
    }
    template <Acc R>
    static void push8(Cpu &cpu, const Operand &) {
        cpu.push8(acc<R>(cpu));
    }
    template <Acc R>
    static void pull8(Cpu &cpu, const Operand &) {
        acc<R>(cpu) = cpu.pull8();
    }
    template <Reg16 R>
    static void push16(Cpu &cpu, const Operand &) {
        cpu.push16(get16<R>(cpu.regs_));
    }
    template <Reg16 R>
    static void pull16(Cpu &cpu, const Operand &) {
        set16<R>(cpu.regs_, cpu.pull16());
    }

    struct Row {
        uint16_t code;  // the opcode, with its prebyte in the high byte when it has one
        const char *mnemonic;
        Mode mode;
        uint8_t cycles;
        OpcodeHandler handler;
    };
    static const Row kRows[];
};

// Software can clear X but never set it again: RTI and TAP keep a cleared X clear.
inline uint8_t keepXCleared(uint8_t oldCcr, uint8_t newCcr) {
    return (oldCcr & X) ? newCcr : uint8_t(newCcr & ~X);
}

inline void CpuOps::returnFromInterrupt(Cpu &cpu, const Operand &) {
    Registers &r = cpu.regs_;
    r.ccr = keepXCleared(r.ccr, cpu.pull8());
    r.b = cpu.pull8();
    r.a = cpu.pull8();
    r.x = cpu.pull16();
    r.y = cpu.pull16();
    r.pc = cpu.pull16();
}

inline void CpuOps::transferAToCcr(Cpu &cpu, const Operand &) {
    Registers &r = cpu.regs_;
    if ((r.ccr & I) && !(r.a & I)) cpu.interruptsHeld_ = true;
    r.ccr = keepXCleared(r.ccr, r.a);
}

inline void CpuOps::integerDivide(Cpu &cpu, const Operand &) {
    Registers &r = cpu.regs_;
    alu::Division result = alu::integerDivide(r.ccr, r.d(), r.x);
    r.x = result.quotient;
    r.setD(result.remainder);
}

inline void CpuOps::fractionalDivide(Cpu &cpu, const Operand &) {
    Registers &r = cpu.regs_;
    alu::Division result = alu::fractionalDivide(r.ccr, r.d(), r.x);
    r.x = result.quotient;
    r.setD(result.remainder);
}

}  // namespace hc11
