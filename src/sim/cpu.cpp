// The core's fetch, decode and interrupt entry. What each opcode does is in cpu_ops.h; which
// handler, mode, length and cycle count belong to it is in the table of opcodes.cpp.
#include "cpu.h"

#include "cpu_table.h"

namespace hc11 {

namespace {

constexpr uint16_t kVectorTableStart = 0xFFC0;
constexpr uint16_t kXirqVector = 0xFFF4;
// Stacking nine bytes and fetching the vector take as long as SWI.
constexpr unsigned kInterruptEntryCycles = 14;

inline uint16_t branchTarget(uint16_t next, uint8_t offset) {
    return uint16_t(next + int8_t(offset));
}

}  // namespace

Cpu::Cpu(CpuBus &bus) : bus_(bus) {}

void Cpu::reset(uint16_t vector) {
    regs_.ccr |= ccr::S | ccr::X | ccr::I;
    state_ = CpuState::Running;
    interruptsHeld_ = false;
    jumpThroughVector(vector);
}

// PCL, PCH, IYL, IYH, IXL, IXH, A, B, CCR: the CCR ends at the lowest address.
void Cpu::stackRegisters() {
    push16(regs_.pc);
    push16(regs_.y);
    push16(regs_.x);
    push8(regs_.a);
    push8(regs_.b);
    push8(regs_.ccr);
}

void Cpu::jumpThroughVector(uint16_t vector) {
    regs_.pc = read16(uint16_t(bus_.vectorBase() + (vector - kVectorTableStart)));
}

uint16_t Cpu::acceptedInterrupt() {
    if (!(regs_.ccr & ccr::X) && bus_.xirqAsserted()) return kXirqVector;
    if (!(regs_.ccr & ccr::I)) return bus_.pendingInterruptVector();
    return 0;
}

// XIRQ masks further XIRQs as well as IRQs.
void Cpu::vectorToInterrupt(uint16_t vector) {
    regs_.ccr |= vector == kXirqVector ? ccr::X | ccr::I : ccr::I;
    jumpThroughVector(vector);
}

unsigned Cpu::enterInterrupt(uint16_t vector) {
    stackRegisters();
    vectorToInterrupt(vector);
    cycles_ += kInterruptEntryCycles;
    return kInterruptEntryCycles;
}

// WAI has stacked already: the interrupt that ends it only fetches its vector. STOP ends by
// running on, and an interrupt that ended it is taken by the next step; XIRQ ends STOP even
// while X masks it.
unsigned Cpu::stepWhileHalted() {
    cycles_ += 1;
    uint16_t vector = acceptedInterrupt();
    if (state_ == CpuState::Waiting) {
        if (vector != 0) {
            vectorToInterrupt(vector);
            state_ = CpuState::Running;
        }
    } else if (vector != 0 || bus_.xirqAsserted()) {
        state_ = CpuState::Running;
    }
    return 1;
}

void Cpu::decodeOperand(const OpcodeInfo &info, uint16_t start, uint16_t at, Operand &operand) {
    switch (info.mode) {
        case Mode::Immediate8:
        case Mode::Immediate16:
            operand.address = at;
            return;
        case Mode::Direct:
        case Mode::BitDirect:
        case Mode::BitBranchDirect:
            operand.address = read8(at);
            break;
        case Mode::Extended:
            operand.address = read16(at);
            return;
        case Mode::IndexedX:
        case Mode::BitX:
        case Mode::BitBranchX:
            operand.address = uint16_t(regs_.x + read8(at));
            break;
        case Mode::IndexedY:
        case Mode::BitY:
        case Mode::BitBranchY:
            operand.address = uint16_t(regs_.y + read8(at));
            break;
        case Mode::Relative:
            operand.target = branchTarget(uint16_t(start + info.length), read8(at));
            return;
        case Mode::Illegal:
            operand.address = start;
            return;
        default:
            return;
    }
    if (info.mode >= Mode::BitDirect) {
        operand.mask = read8(uint16_t(at + 1));
        if (info.mode >= Mode::BitBranchDirect)
            operand.target = branchTarget(uint16_t(start + info.length), read8(uint16_t(at + 2)));
    }
}

unsigned Cpu::step() {
    if (state_ != CpuState::Running) return stepWhileHalted();
    const bool interruptsMasked = (regs_.ccr & (ccr::X | ccr::I)) == (ccr::X | ccr::I);
    if (interruptsHeld_) {
        interruptsHeld_ = false;
    } else if (!interruptsMasked) {
        if (uint16_t vector = acceptedInterrupt()) return enterInterrupt(vector);
    }
    const uint16_t start = regs_.pc;
    uint16_t operandAt = uint16_t(start + 1);
    const uint8_t opcode = read8(start);
    const OpcodeInfo *info = &kOpcodeTable[PAGE_BASE][opcode];
    if (info->mode == Mode::Prebyte) {
        info = &kOpcodeTable[pageAfterPrebyte(opcode)][read8(operandAt)];
        operandAt = uint16_t(operandAt + 1);
    }
    Operand operand;
    decodeOperand(*info, start, operandAt, operand);
    regs_.pc = uint16_t(start + info->length);
    info->handler(*this, operand);
    cycles_ += info->cycles;
    return info->cycles;
}

}  // namespace hc11
