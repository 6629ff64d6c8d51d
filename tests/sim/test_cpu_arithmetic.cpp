// Byte arithmetic and logic, one-operand instructions, MUL and the divides: each case an
// assembled piece of cpu_programs/ with the registers, flags and E cycles it must end with.
#include "test_cpu_support.h"

namespace hc11::test {
namespace {

using P = Place;

class ByteArithmetic : public CpuCaseTest {};
TEST_P(ByteArithmetic, EndsWithExpectedRegistersFlagsAndCycles) {
    RunAndCheck("arith8");
}

INSTANTIATE_TEST_SUITE_P(Cpu, ByteArithmetic,
                         ::testing::ValuesIn(std::vector<CpuCase>{
                             {"add_half_carry", "SXHI....", 4, {{P::A, 0x10}}},
                             {"add_carry_and_overflow", "SX.I.ZVC", 4, {{P::A, 0x00}}},
                             {"add_positive_overflow", "SXHIN.V.", 4, {{P::A, 0x80}}},
                             {"adc_takes_carry", "SX.I....", 6, {{P::A, 0x31}}},
                             {"addb_no_carry", "SX.IN...", 4, {{P::B, 0xFF}}},
                             {"adcb_carry_through", "SXHI.Z.C", 6, {{P::B, 0x00}}},
                             {"adda_direct", "SXHIN.V.", 5, {{P::A, 0x80}}},
                             {"adda_extended", "SX.I....", 6, {{P::A, 0x12}}},
                             {"adda_indexed_x", "SX.I....", 9, {{P::A, 0x23}}},
                             {"adda_indexed_y", "SX.I....", 11, {{P::A, 0x34}}},
                             {"sub_borrow", "SX.IN..C", 4, {{P::A, 0xFF}}},
                             {"sub_overflow", "SX.I..V.", 4, {{P::A, 0x7F}}},
                             {"sbc_takes_borrow", "SX.IN..C", 6, {{P::A, 0xFF}}},
                             {"sbc_overflow", "SX.I..V.", 6, {{P::A, 0x7F}}},
                             {"sbcb_indexed_y", "SX.I....", 13, {{P::B, 0x10}}},
                             {"subb_extended", "SX.I.Z..", 6, {{P::B, 0x00}}},
                             {"cmpa_equal", "SX.I.Z..", 4, {{P::A, 0x42}}},
                             {"cmpb_lower", "SX.IN..C", 4, {{P::B, 0x10}}},
                             {"cmpa_signed_overflow", "SX.IN.VC", 4, {{P::A, 0x01}}},
                             {"anda_keeps_carry", "SX.I.Z.C", 6, {{P::A, 0x00}}},
                             {"oraa_negative", "SX.IN...", 4, {{P::A, 0x83}}},
                             {"eorb_zero", "SX.I.Z..", 4, {{P::B, 0x00}}},
                             {"bita_leaves_a", "SX.I.Z..", 4, {{P::A, 0x0F}}},
                             {"bitb_direct", "SX.I....", 5, {{P::B, 0x40}}},
                             {"ldaa_clears_v_keeps_c", "SX.I.Z.C", 6, {{P::A, 0x00}}},
                             {"ldab_indexed_x", "SX.I....", 7, {{P::B, 0x33}}},
                             {"staa_direct", "SX.IN...", 5, {{P::Byte, 0x99}}},
                             {"staa_extended", "SX.IN...", 6, {{P::Byte, 0x80}}},
                             {"staa_indexed_x", "SX.I....", 9, {{P::Byte, 0x01}}},
                             {"stab_indexed_y", "SX.I.Z..", 11, {{P::Byte, 0x00}}},
                             {"aba_half_carry", "SXHI....", 6, {{P::A, 0x10}}},
                             {"sba_borrow", "SX.IN..C", 6, {{P::A, 0xF0}, {P::B, 0x20}}},
                             {"cba_equal", "SX.I.Z..", 6, {{P::A, 0x20}}},
                             {"tab_negative", "SX.IN...", 4, {{P::B, 0x80}}},
                             {"tba_zero", "SX.I.Z..", 4, {{P::A, 0x00}}},
                         }));

// The manual leaves V undefined after DAA: '?' in the flags.
class DecimalAdjust : public CpuCaseTest {};
TEST_P(DecimalAdjust, TurnsBinarySumOfBcdBytesIntoBcd) {
    RunAndCheck("arith8");
}

INSTANTIATE_TEST_SUITE_P(Cpu, DecimalAdjust,
                         ::testing::ValuesIn(std::vector<CpuCase>{
                             {"daa_no_correction", "SX.I..?.", 6, {{P::A, 0x46}}},
                             {"daa_low_digit_half_carry", "SXHI..?.", 6, {{P::A, 0x47}}},
                             {"daa_low_digit_over_nine", "SX.I..?.", 6, {{P::A, 0x42}}},
                             {"daa_high_digit", "SX.I..?C", 6, {{P::A, 0x13}}},
                             {"daa_both_digits_carry", "SXHIN.?C", 6, {{P::A, 0x98}}},
                             {"daa_to_zero", "SX.I.Z?C", 6, {{P::A, 0x00}}},
                             {"daa_nine_and_over_nine", "SX.I..?C", 6, {{P::A, 0x02}}},
                             {"daa_carry_in", "SX.I..?C", 8, {{P::A, 0x01}}},
                         }));

class OneOperand : public CpuCaseTest {};
TEST_P(OneOperand, EndsWithExpectedResultFlagsAndCycles) {
    RunAndCheck("rmw");
}

INSTANTIATE_TEST_SUITE_P(Cpu, OneOperand,
                         ::testing::ValuesIn(std::vector<CpuCase>{
                             {"nega_one", "SX.IN..C", 4, {{P::A, 0xFF}}},
                             {"nega_minus_128", "SX.IN.VC", 4, {{P::A, 0x80}}},
                             {"negb_zero", "SX.I.Z..", 2, {{P::B, 0x00}}},
                             {"neg_extended", "SX.IN.VC", 6, {{P::Byte, 0x80}}},
                             {"coma_sets_carry", "SX.IN..C", 4, {{P::A, 0xF0}}},
                             {"com_indexed_x", "SX.I.Z.C", 9, {{P::Byte, 0x00}}},
                             {"asla_overflow", "SX.IN.V.", 4, {{P::A, 0x80}}},
                             {"asla_carry_no_overflow", "SX.IN..C", 4, {{P::A, 0x80}}},
                             {"aslb_to_zero", "SX.I.ZVC", 4, {{P::B, 0x00}}},
                             {"asl_indexed_y", "SX.I..VC", 11, {{P::Byte, 0x02}}},
                             {"asra_keeps_sign", "SX.IN..C", 4, {{P::A, 0xC0}}},
                             {"asr_indexed_y", "SX.IN.V.", 11, {{P::Byte, 0xFF}}},
                             {"lsra_to_zero", "SX.I.ZVC", 4, {{P::A, 0x00}}},
                             {"lsrb_clears_n", "SX.I....", 4, {{P::B, 0x7F}}},
                             {"lsr_extended", "SX.I....", 6, {{P::Byte, 0x01}}},
                             {"rola_carry_in_and_out", "SX.I..VC", 6, {{P::A, 0x01}}},
                             {"rol_indexed_x", "SX.IN.V.", 9, {{P::Byte, 0x80}}},
                             {"rorb_carry_in_and_out", "SX.IN..C", 6, {{P::B, 0x80}}},
                             {"ror_extended", "SX.I.ZVC", 6, {{P::Byte, 0x00}}},
                             {"deca_overflow", "SX.I..V.", 4, {{P::A, 0x7F}}},
                             {"decb_keeps_carry", "SX.I.Z.C", 6, {{P::B, 0x00}}},
                             {"dec_indexed_x", "SX.I.Z..", 9, {{P::Byte, 0x00}}},
                             {"inca_overflow", "SX.IN.V.", 4, {{P::A, 0x80}}},
                             {"incb_wraps_without_carry", "SX.I.Z..", 4, {{P::B, 0x00}}},
                             {"inc_extended", "SX.IN.V.", 6, {{P::Byte, 0x80}}},
                             {"tsta_clears_v_and_c", "SX.IN...", 8, {{P::A, 0x80}}},
                             {"tst_extended", "SX.I.Z..", 8, {{P::Byte, 0x00}}},
                             {"clra_clears_nvc", "SX.I.Z..", 8, {{P::A, 0x00}}},
                             {"clrb", "SX.I.Z..", 4, {{P::B, 0x00}}},
                             {"clr_indexed_y", "SX.I.Z..", 11, {{P::Byte, 0x00}}},
                             {"asld_overflow", "SX.IN.V.", 6, {{P::D, 0x8002}}},
                             {"asld_carry_to_zero", "SX.I.ZVC", 6, {{P::D, 0x0000}}},
                             {"lsrd_carry", "SX.I..VC", 6, {{P::D, 0x0001}}},
                         }));

// IDIV and FDIV leave the quotient in X and the remainder in D. Where the manual calls the
// remainder indeterminate (division by zero, FDIV overflow) it is not checked.
class MultiplyDivide : public CpuCaseTest {};
TEST_P(MultiplyDivide, EndsWithExpectedResultFlagsAndCycles) {
    RunAndCheck("muldiv");
}

INSTANTIATE_TEST_SUITE_P(
    Cpu, MultiplyDivide,
    ::testing::ValuesIn(std::vector<CpuCase>{
        {"mul_largest", "SX.IN...", 14, {{P::D, 0xFE01}}},
        {"mul_rounding_carry", "SX.I...C", 14, {{P::D, 0x0080}}},
        {"mul_keeps_other_flags", "SX.I.ZV.", 18, {{P::D, 0x0000}}},
        {"idiv_quotient_and_remainder", "SX.I....", 47, {{P::X, 142}, {P::D, 6}}},
        {"idiv_zero_quotient", "SX.I.Z..", 47, {{P::X, 0}, {P::D, 5}}},
        {"idiv_by_zero", "SX.I...C", 47, {{P::X, 0xFFFF}}},
        {"fdiv_half", "SX.IN...", 47, {{P::X, 0x8000}, {P::D, 0}}},
        {"fdiv_third", "SX.I....", 47, {{P::X, 0x5555}, {P::D, 1}}},
        {"fdiv_zero_numerator", "SX.I.Z..", 47, {{P::X, 0}, {P::D, 0}}},
        {"fdiv_equal_overflows", "SX.IN.V.", 47, {{P::X, 0xFFFF}}},
        {"fdiv_by_zero", "SX.I..VC", 47, {{P::X, 0xFFFF}}},
    }));

}  // namespace
}  // namespace hc11::test
