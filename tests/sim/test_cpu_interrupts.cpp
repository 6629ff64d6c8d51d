// SWI, RTI, the illegal-opcode trap, IRQ and XIRQ entry, WAI and STOP, and reset: the stack
// frame, the masks, the vectors (relative to the bus's vector table) and the E cycles.
#include "test_cpu_support.h"

namespace hc11::test {
namespace {

constexpr uint16_t kIrqVector = 0xFFF2;
constexpr uint16_t kSciVector = 0xFFD6;

class Interrupts : public CpuProgramTest {
  protected:
    void SetUp() override {
        CpuProgramTest::SetUp();
        if (!IsSkipped()) Load("interrupts");
    }

    // The nine bytes above SP, as an interrupt leaves them.
    struct Frame {
        uint8_t ccr, b, a;
        uint16_t x, y, pc;
    };
    Frame StackedFrame() const {
        auto above = [this](unsigned offset) { return uint16_t(cpu.regs().sp + offset); };
        return {bus.memory[above(1)], bus.memory[above(2)], bus.memory[above(3)],
                bus.word(above(4)),   bus.word(above(6)),   bus.word(above(8))};
    }
};

TEST_F(Interrupts, SwiStacksNineBytesInTheManualsOrder) {
    StartAt("swi_frame");
    EXPECT_EQ(RunUntil("swi_handler"), 2u + 2 + 3 + 4 + 14);
    EXPECT_EQ(cpu.regs().sp, 0x01FF - 9);
    Frame frame = StackedFrame();
    EXPECT_TRUE(FlagsMatch(frame.ccr, "SX.I...."));
    EXPECT_EQ(frame.b, 0x22);
    EXPECT_EQ(frame.a, 0x11);
    EXPECT_EQ(frame.x, 0x3344);
    EXPECT_EQ(frame.y, 0x5566);
    EXPECT_EQ(frame.pc, Symbol("swi_frame_return"));
    EXPECT_TRUE(FlagsMatch(cpu.regs().ccr, "SX.I...."));
}

TEST_F(Interrupts, SwiThenRtiComesBackWithTheMaskAsItWas) {
    EXPECT_EQ(RunCase("swi_round_trip"), 2u + 2 + 14 + 6 + 12);
    EXPECT_EQ(bus.memory[Symbol("swi_round_trip_data")], 1);
    EXPECT_EQ(cpu.regs().a, 1);
    EXPECT_EQ(cpu.regs().sp, 0x01FF);
    EXPECT_TRUE(FlagsMatch(cpu.regs().ccr, "SX......"));
}

TEST_F(Interrupts, RtiRestoresEveryRegister) {
    EXPECT_EQ(RunCase("rti_restores_registers"), 3u + 12);
    const Registers &r = cpu.regs();
    EXPECT_TRUE(FlagsMatch(r.ccr, "SXH.N..C"));
    EXPECT_EQ(r.b, 0x22);
    EXPECT_EQ(r.a, 0x11);
    EXPECT_EQ(r.x, 0x3344);
    EXPECT_EQ(r.y, 0x5566);
    EXPECT_EQ(r.sp, Symbol("rti_frame") + 8);
}

TEST_F(Interrupts, RtiCannotSetXOnceCleared) {
    EXPECT_EQ(RunCase("rti_keeps_x_clear"), 2u + 2 + 3 + 12);
    EXPECT_TRUE(FlagsMatch(cpu.regs().ccr, "S.HINZVC"));
}

// The trap stacks the address of the illegal opcode itself, prebyte included.
TEST_F(Interrupts, IllegalOpcodesTrapWithTheirOwnAddressStacked) {
    struct Case {
        const char *label, *opcode;
        unsigned cycles;
    };
    for (const Case &c : {Case{"illegal_base_page", "illegal_base_page_opcode", 2 + 14},
                          Case{"illegal_prebyte_page", "illegal_prebyte_page_opcode", 2 + 14},
                          Case{"illegal_1a_page", "illegal_1a_page", 14},
                          Case{"illegal_cd_page", "illegal_cd_page", 14},
                          Case{"illegal_test_opcode", "illegal_test_opcode", 14}}) {
        SCOPED_TRACE(c.label);
        StartAt(c.label);
        EXPECT_EQ(RunUntil("illegal_handler"), c.cycles);
        EXPECT_EQ(StackedFrame().pc, Symbol(c.opcode));
        EXPECT_EQ(cpu.regs().sp, 0x01FF - 9);
    }
}

TEST_F(Interrupts, VectorsAreReadRelativeToTheBusVectorTable) {
    for (unsigned i = 0; i < 0x40; ++i) {
        bus.memory[0xBFC0 + i] = bus.memory[0xFFC0 + i];
        bus.memory[0xFFC0 + i] = 0;
    }
    bus.vectorTableStart = 0xBFC0;
    StartAt("illegal_base_page");
    RunUntil("illegal_handler");
    EXPECT_EQ(cpu.regs().pc, Symbol("illegal_handler"));
    cpu.reset();
    EXPECT_EQ(cpu.regs().pc, Symbol("reset_entry"));
}

TEST_F(Interrupts, ResetMasksInterruptsAndRuns) {
    StartAt("stop_enabled");
    RunUntil("stop_enabled_return");
    ASSERT_EQ(cpu.state(), CpuState::Stopped);
    cpu.reset();
    EXPECT_EQ(cpu.state(), CpuState::Running);
    EXPECT_EQ(cpu.regs().pc, Symbol("reset_entry"));
    EXPECT_TRUE(FlagsMatch(cpu.regs().ccr, "SX.I????"));
}

TEST_F(Interrupts, IrqWaitsForTheInstructionAfterCli) {
    bus.pendingVector = kIrqVector;
    StartAt("irq_after_cli");
    EXPECT_EQ(RunUntil("irq_handler"), 2u + 2 + 14);
    EXPECT_EQ(cpu.regs().a, 1);
    EXPECT_EQ(StackedFrame().pc, Symbol("irq_after_cli_next"));
    EXPECT_TRUE(FlagsMatch(StackedFrame().ccr, "SX......"));
    EXPECT_TRUE(FlagsMatch(cpu.regs().ccr, "SX.I...."));
}

TEST_F(Interrupts, IrqTakesTheVectorTheBusNames) {
    bus.pendingVector = kSciVector;
    StartAt("irq_after_cli");
    EXPECT_EQ(RunUntil("sci_handler"), 2u + 2 + 14);
}

TEST_F(Interrupts, IrqIsMaskedByI) {
    bus.pendingVector = kIrqVector;
    EXPECT_EQ(RunCase("irq_masked"), 4u);
    EXPECT_EQ(cpu.regs().sp, 0x01FF);
}

TEST_F(Interrupts, XirqSetsXAndIAndOutranksIrq) {
    StartAt("xirq_entry");
    RunUntil("xirq_entry_ready");
    bus.xirq = true;
    bus.pendingVector = kIrqVector;
    EXPECT_EQ(cpu.step(), 14u);
    EXPECT_EQ(cpu.regs().pc, Symbol("xirq_handler"));
    EXPECT_TRUE(FlagsMatch(cpu.regs().ccr, "SX.I...."));
    EXPECT_TRUE(FlagsMatch(StackedFrame().ccr, "S......."));
    EXPECT_EQ(StackedFrame().pc, Symbol("xirq_entry_ready"));
}

TEST_F(Interrupts, XirqIsMaskedByX) {
    bus.xirq = true;
    EXPECT_EQ(RunCase("irq_masked"), 4u);
}

// WAI stacks at once; the interrupt that ends the wait only fetches its vector.
TEST_F(Interrupts, WaiStacksThenWaitsForAnInterrupt) {
    StartAt("wai_for_irq");
    EXPECT_EQ(RunUntil("wai_for_irq_return"), 2u + 2 + 14);
    EXPECT_EQ(cpu.state(), CpuState::Waiting);
    EXPECT_EQ(cpu.regs().sp, 0x01FF - 9);
    EXPECT_EQ(StackedFrame().pc, Symbol("wai_for_irq_return"));
    EXPECT_EQ(StackedFrame().a, 0x55);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(cpu.step(), 1u);
    EXPECT_EQ(cpu.state(), CpuState::Waiting);

    bus.pendingVector = kIrqVector;
    EXPECT_EQ(cpu.step(), 1u);
    EXPECT_EQ(cpu.state(), CpuState::Running);
    EXPECT_EQ(cpu.regs().pc, Symbol("irq_handler"));
    EXPECT_EQ(cpu.regs().sp, 0x01FF - 9);
    EXPECT_TRUE(FlagsMatch(cpu.regs().ccr, "SX.I...."));
}

TEST_F(Interrupts, WaiIgnoresAMaskedIrqButNotXirq) {
    StartAt("wai_with_irq_masked");
    RunUntil("wai_with_irq_masked_return");
    bus.pendingVector = kIrqVector;
    cpu.step();
    EXPECT_EQ(cpu.state(), CpuState::Waiting);
    bus.xirq = true;
    cpu.step();
    EXPECT_EQ(cpu.state(), CpuState::Running);
    EXPECT_EQ(cpu.regs().pc, Symbol("xirq_handler"));
    EXPECT_TRUE(FlagsMatch(cpu.regs().ccr, "SX.I...."));
}

TEST_F(Interrupts, StopIsANopWhileSIsSet) {
    EXPECT_EQ(RunCase("stop_disabled"), 2u);
    EXPECT_EQ(cpu.state(), CpuState::Running);
}

// XIRQ ends STOP even while X masks it; execution then goes on after STOP.
TEST_F(Interrupts, StopWaitsForXirqAndThenRunsOn) {
    StartAt("stop_enabled");
    EXPECT_EQ(RunUntil("stop_enabled_return"), 2u + 2 + 2);
    EXPECT_EQ(cpu.state(), CpuState::Stopped);
    bus.pendingVector = kIrqVector;  // masked by I: no wake-up
    EXPECT_EQ(cpu.step(), 1u);
    EXPECT_EQ(cpu.state(), CpuState::Stopped);

    bus.xirq = true;
    cpu.step();
    EXPECT_EQ(cpu.state(), CpuState::Running);
    EXPECT_EQ(cpu.regs().pc, Symbol("stop_enabled_return"));
    EXPECT_EQ(cpu.regs().sp, 0x01FF);
}

TEST_F(Interrupts, StopEndsWithAnUnmaskedIrqWhichIsThenTaken) {
    StartAt("stop_irq_enabled");
    RunUntil("stop_irq_enabled_return");
    ASSERT_EQ(cpu.state(), CpuState::Stopped);
    bus.pendingVector = kIrqVector;
    cpu.step();
    EXPECT_EQ(cpu.state(), CpuState::Running);
    EXPECT_EQ(cpu.step(), 14u);
    EXPECT_EQ(cpu.regs().pc, Symbol("irq_handler"));
    EXPECT_EQ(StackedFrame().pc, Symbol("stop_irq_enabled_return"));
}

}  // namespace
}  // namespace hc11::test
