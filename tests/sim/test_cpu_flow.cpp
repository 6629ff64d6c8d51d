// Branches on every condition, jumps, subroutines, and the bit instructions BSET, BCLR,
// BRSET and BRCLR, on memory and on a register-like address.
#include "test_cpu_support.h"

namespace hc11::test {
namespace {

using P = Place;

// Each branch case loads the CCR with TAP, then branches past LDAB #1: 7 cycles and B = 0
// when taken; 9 cycles, B = 1 and N, Z and V cleared by the LDAB when not.
CpuCase Taken(const char *label, const char *flags) {
    return {label, flags, 7, {{P::B, 0}}};
}
CpuCase NotTaken(const char *label, const char *flags) {
    return {label, flags, 9, {{P::B, 1}}};
}

class Branch : public CpuCaseTest {};
TEST_P(Branch, FollowsItsCondition) {
    RunAndCheck("flow");
}

INSTANTIATE_TEST_SUITE_P(Cpu, Branch,
                         ::testing::ValuesIn(std::vector<CpuCase>{
                             Taken("bra_taken", "SX.I...."),
                             NotTaken("brn_not_taken", "SX.I...."),
                             Taken("bhi_taken", "SX.I...."),
                             NotTaken("bhi_not_taken_on_c", "SX.I...C"),
                             NotTaken("bhi_not_taken_on_z", "SX.I...."),
                             Taken("bls_taken_on_c", "SX.I...C"),
                             Taken("bls_taken_on_z", "SX.I.Z.."),
                             NotTaken("bls_not_taken", "SX.I...."),
                             Taken("bcc_taken", "SX.I...."),
                             NotTaken("bcc_not_taken", "SX.I...C"),
                             Taken("bcs_taken", "SX.I...C"),
                             NotTaken("bcs_not_taken", "SX.I...."),
                             Taken("bne_taken", "SX.I...."),
                             NotTaken("bne_not_taken", "SX.I...."),
                             Taken("beq_taken", "SX.I.Z.."),
                             NotTaken("beq_not_taken", "SX.I...."),
                             Taken("bvc_taken", "SX.I...."),
                             NotTaken("bvc_not_taken", "SX.I...."),
                             Taken("bvs_taken", "SX.I..V."),
                             NotTaken("bvs_not_taken", "SX.I...."),
                             Taken("bpl_taken", "SX.I...."),
                             NotTaken("bpl_not_taken", "SX.I...."),
                             Taken("bmi_taken", "SX.IN..."),
                             NotTaken("bmi_not_taken", "SX.I...."),
                             Taken("bge_taken_on_n_and_v", "SX.IN.V."),
                             NotTaken("bge_not_taken", "SX.I...."),
                             Taken("blt_taken", "SX.I..V."),
                             NotTaken("blt_not_taken", "SX.I...."),
                             Taken("bgt_taken", "SX.I...."),
                             NotTaken("bgt_not_taken_on_z", "SX.I...."),
                             NotTaken("bgt_not_taken_on_n", "SX.I...."),
                             Taken("ble_taken_on_z", "SX.I.Z.."),
                             Taken("ble_taken_on_n_xor_v", "SX.IN..."),
                             NotTaken("ble_not_taken", "SX.I...."),
                         }));

class JumpAndSubroutine : public CpuCaseTest {};
TEST_P(JumpAndSubroutine, EndsWithExpectedRegistersAndCycles) {
    RunAndCheck("flow");
}

INSTANTIATE_TEST_SUITE_P(Cpu, JumpAndSubroutine,
                         ::testing::ValuesIn(std::vector<CpuCase>{
                             {"backward_branch_loop", "SX.I.Z..", 17, {{P::B, 0}}},
                             {"long_forward_branch", "SX.I....", 3, {}},
                             {"bsr_rts", "SX.I....", 26, {{P::A, 2}, {P::SP, 0x01FF}}},
                             {"jsr_direct", "SX.I....", 12, {{P::A, 1}, {P::SP, 0x01FF}}},
                             {"jsr_extended", "SX.I....", 13, {{P::A, 1}, {P::SP, 0x01FF}}},
                             {"jsr_indexed_x", "SX.I....", 16, {{P::A, 1}, {P::SP, 0x01FF}}},
                             {"jsr_indexed_y", "SX.I....", 18, {{P::A, 1}, {P::SP, 0x01FF}}},
                             {"jmp_extended", "SX.I....", 3, {{P::B, 0}}},
                             {"jmp_indexed_x", "SX.IN...", 6, {{P::B, 0}}},
                             {"jmp_indexed_y", "SX.IN...", 8, {{P::B, 0}}},
                         }));

class Subroutine : public CpuProgramTest {};

TEST_F(Subroutine, BsrStacksReturnAddressLowByteAtTheTop) {
    Load("flow");
    EXPECT_EQ(RunCase("bsr_stacks_return"), 6u);
    EXPECT_EQ(cpu.regs().sp, 0x01FD);
    EXPECT_EQ(bus.word(0x01FE), Symbol("bsr_stacks_return_address"));
}

class BitInstruction : public CpuCaseTest {};
TEST_P(BitInstruction, EndsWithExpectedMemoryBranchAndCycles) {
    RunAndCheck("bits");
}

INSTANTIATE_TEST_SUITE_P(
    Cpu, BitInstruction,
    ::testing::ValuesIn(std::vector<CpuCase>{
        {"bset_direct", "SX.IN...", 8, {{P::Byte, 0x91}}},
        {"bclr_direct", "SX.I....", 6, {{P::Byte, 0x05}}},
        {"bset_indexed_x", "SX.I....", 10, {{P::Byte, 0x01}}},
        {"bset_indexed_y", "SX.IN...", 12, {{P::Byte, 0xFF}}},
        {"bclr_indexed_x", "SX.IN...", 10, {{P::Byte, 0x80}}},
        {"bclr_indexed_y_to_zero", "SX.I.Z..", 12, {{P::Byte, 0x00}}},
        {"brset_direct_taken", "SX.I....", 6, {{P::B, 0}}},
        {"brset_direct_not_taken", "SX.I....", 8, {{P::B, 1}}},
        {"brclr_direct_taken", "SX.I....", 6, {{P::B, 0}}},
        {"brclr_direct_not_taken", "SX.I....", 8, {{P::B, 1}}},
        {"brset_empty_mask", "SX.I....", 6, {{P::B, 0}}},
        {"brset_register_x_taken", "SX.I....", 10, {{P::B, 0}}},
        {"brclr_register_x_not_taken", "SX.I....", 12, {{P::B, 1}}},
        {"brclr_register_y_taken", "SX.I....", 12, {{P::B, 0}}},
        {"brset_register_y_not_taken", "SX.I....", 14, {{P::B, 1}}},
        {"brclr_backward", "SX.I....", 46, {{P::A, 4}, {P::Byte, 4, "counter"}}},
    }));

}  // namespace
}  // namespace hc11::test
