// Double-byte arithmetic, compares, loads and stores in every mode (the $18, $1A and $CD
// pages included), and the index, stack and condition-code register instructions.
#include "test_cpu_support.h"

namespace hc11::test {
namespace {

using P = Place;

class DoubleByte : public CpuCaseTest {};
TEST_P(DoubleByte, EndsWithExpectedResultFlagsAndCycles) {
    RunAndCheck("word");
}

INSTANTIATE_TEST_SUITE_P(Cpu, DoubleByte,
                         ::testing::ValuesIn(std::vector<CpuCase>{
                             {"addd_overflow", "SX.IN.V.", 7, {{P::D, 0x8000}}},
                             {"addd_carry_to_zero", "SX.I.Z.C", 7, {{P::D, 0x0000}}},
                             {"addd_direct", "SX.I....", 8, {{P::D, 0x2345}}},
                             {"addd_extended", "SX.I....", 9, {{P::D, 0x3456}}},
                             {"addd_indexed_x", "SX.I....", 12, {{P::D, 0x4567}}},
                             {"addd_indexed_y", "SX.I....", 14, {{P::D, 0x2345}}},
                             {"subd_borrow", "SX.IN..C", 7, {{P::D, 0xFFFF}}},
                             {"subd_overflow", "SX.I..V.", 7, {{P::D, 0x7FFF}}},
                             {"subd_direct", "SX.I.Z..", 8, {{P::D, 0x0000}}},
                             {"subd_extended", "SX.I....", 9, {{P::D, 0x2222}}},
                             {"subd_indexed_x", "SX.I....", 12, {{P::D, 0x1111}}},
                             {"subd_indexed_y", "SX.I.Z..", 14, {{P::D, 0x0000}}},
                             {"cpd_immediate", "SX.I.Z..", 8, {{P::D, 0x1234}}},
                             {"cpd_direct", "SX.IN.VC", 9, {{P::D, 0x0000}}},
                             {"cpd_extended", "SX.I....", 10, {{P::D, 0x2000}}},
                             {"cpd_indexed_x", "SX.IN..C", 13, {{P::D, 0x1111}}},
                             {"cpd_indexed_y", "SX.I.Z..", 14, {{P::D, 0x3333}}},
                             {"cpx_immediate_overflow", "SX.I..V.", 7, {{P::X, 0x8000}}},
                             {"cpx_direct", "SX.I.Z..", 8, {}},
                             {"cpx_extended", "SX.IN..C", 9, {}},
                             {"cpx_indexed_x", "SX.I....", 9, {}},
                             {"cpx_indexed_y", "SX.I.Z..", 14, {{P::X, 0x2222}}},
                             {"cpy_immediate", "SX.IN..C", 9, {{P::Y, 0x0001}}},
                             {"cpy_direct", "SX.I.Z..", 10, {}},
                             {"cpy_extended", "SX.I....", 11, {}},
                             {"cpy_indexed_x", "SX.I.Z..", 14, {{P::Y, 0x3333}}},
                             {"cpy_indexed_y", "SX.I....", 11, {}},
                             {"ldd_immediate", "SX.I.Z..", 5, {{P::D, 0x0000}}},
                             {"ldd_direct", "SX.IN...", 4, {{P::D, 0x8000}}},
                             {"ldd_extended", "SX.I....", 5, {{P::D, 0x1234}}},
                             {"ldd_indexed_x", "SX.I....", 8, {{P::D, 0x2222}}},
                             {"ldd_indexed_y", "SX.I....", 10, {{P::D, 0x3333}}},
                             {"lds_immediate", "SX.I....", 3, {{P::SP, 0x0123}}},
                             {"lds_direct", "SX.IN...", 4, {{P::SP, 0x8000}}},
                             {"lds_extended", "SX.I....", 5, {{P::SP, 0x1234}}},
                             {"lds_indexed_x", "SX.I....", 8, {{P::SP, 0x2222}}},
                             {"lds_indexed_y", "SX.I....", 10, {{P::SP, 0x3333}}},
                             {"ldx_immediate", "SX.IN...", 3, {{P::X, 0x8001}}},
                             {"ldx_direct", "SX.I....", 4, {{P::X, 0x1111}}},
                             {"ldx_extended", "SX.I....", 5, {{P::X, 0x1234}}},
                             {"ldx_indexed_x", "SX.I....", 8, {{P::X, 0x2222}}},
                             {"ldx_indexed_y", "SX.I....", 10, {{P::X, 0x3333}}},
                             {"ldy_immediate", "SX.I.Z..", 4, {{P::Y, 0x0000}}},
                             {"ldy_direct", "SX.IN...", 5, {{P::Y, 0x8000}}},
                             {"ldy_extended", "SX.I....", 6, {{P::Y, 0x1234}}},
                             {"ldy_indexed_x", "SX.I....", 9, {{P::Y, 0x2222}}},
                             {"ldy_indexed_y", "SX.I....", 10, {{P::Y, 0x3333}}},
                             {"std_direct", "SX.IN...", 7, {{P::Word, 0x8001}}},
                             {"std_extended", "SX.I....", 8, {{P::Word, 0x1234}}},
                             {"std_indexed_x", "SX.I....", 11, {{P::Word, 0x2345}}},
                             {"std_indexed_y", "SX.I....", 13, {{P::Word, 0x3456}}},
                             {"sts_direct", "SX.I....", 4, {{P::Word, 0x01FF}}},
                             {"sts_extended", "SX.I....", 5, {{P::Word, 0x01FF}}},
                             {"sts_indexed_x", "SX.I....", 8, {{P::Word, 0x01FF}}},
                             {"sts_indexed_y", "SX.I....", 10, {{P::Word, 0x01FF}}},
                             {"stx_direct", "SX.IN...", 7, {{P::Word, 0xABCD}}},
                             {"stx_extended", "SX.I.Z..", 8, {{P::Word, 0x0000}}},
                             {"stx_indexed_x", "SX.I....", 8, {{P::Word, 0x000C}}},
                             {"stx_indexed_y", "SX.IN...", 13, {{P::Word, 0xBEEF}}},
                             {"sty_direct", "SX.I....", 9, {{P::Word, 0x4321}}},
                             {"sty_extended", "SX.IN...", 10, {{P::Word, 0x8765}}},
                             {"sty_indexed_x", "SX.I.Z..", 13, {{P::Word, 0x0000}}},
                             {"sty_indexed_y", "SX.I....", 10, {{P::Word, 0x000E}}},
                         }));

class IndexStackAndFlags : public CpuCaseTest {};
TEST_P(IndexStackAndFlags, EndsWithExpectedRegistersFlagsAndCycles) {
    RunAndCheck("index");
}

INSTANTIATE_TEST_SUITE_P(
    Cpu, IndexStackAndFlags,
    ::testing::ValuesIn(std::vector<CpuCase>{
        {"inx_to_zero", "SX.INZ..", 6, {{P::X, 0x0000}}},
        {"dex_keeps_other_flags", "SX.IN..C", 8, {{P::X, 0x8000}}},
        {"iny_to_zero", "SX.INZ..", 8, {{P::Y, 0x0000}}},
        {"dey", "SX.I....", 8, {{P::Y, 0x0001}}},
        {"ins_touches_no_flag", "SX.IN...", 6, {{P::SP, 0x0000}}},
        {"des", "SX.I....", 6, {{P::SP, 0x00FF}}},
        {"tsx", "SX.I....", 6, {{P::X, 0x01F1}, {P::SP, 0x01F0}}},
        {"tsy", "SX.I....", 7, {{P::Y, 0x01F1}, {P::SP, 0x01F0}}},
        {"txs", "SX.I....", 6, {{P::SP, 0x01FF}}},
        {"tys", "SX.I....", 8, {{P::SP, 0x01FF}}},
        {"abx_b_unsigned", "SX.IN...", 8, {{P::X, 0x0100}}},
        {"aby_b_unsigned", "SX.IN...", 10, {{P::Y, 0x0100}}},
        {"xgdx", "SX.I....", 9, {{P::D, 0x5678}, {P::X, 0x1234}}},
        {"xgdy", "SX.I....", 11, {{P::D, 0x5678}, {P::Y, 0x1234}}},
        {"psha_pula", "SX.I.Z..", 11, {{P::A, 0x42}, {P::SP, 0x01FF}}},
        {"pshb_pulb", "SX.I.Z..", 11, {{P::B, 0x24}, {P::SP, 0x01FF}}},
        {"pshx_low_byte_first", "SX.I....", 15, {{P::A, 0x12}, {P::B, 0x34}, {P::SP, 0x01FF}}},
        {"pshy_puly", "SX.I.Z..", 19, {{P::Y, 0xABCD}, {P::SP, 0x01FF}}},
        {"pulx", "SX.I....", 14, {{P::X, 0x5678}, {P::SP, 0x01FF}}},
        {"tap_tpa", "SXH.NZVC", 6, {{P::A, 0xEF}}},
        {"tap_cannot_set_x", "S.HINZVC", 10, {{P::A, 0xBF}}},
        {"flag_instructions", "SX....V.", 8, {}},
        {"clear_v_set_i", "SX.I....", 8, {}},
    }));

}  // namespace
}  // namespace hc11::test
