// The 68HC11's arithmetic with its condition codes, apart from any register file or bus:
// each function takes the CCR, sets the flags its instruction defines and leaves the others.
#pragma once

#include <cstdint>

#include "cpu.h"

namespace hc11::alu {

using namespace ccr;

inline void setFlags(uint8_t &ccr, uint8_t affected, uint8_t value) {
    ccr = uint8_t((ccr & ~affected) | value);
}
inline uint8_t flagIf(bool condition, uint8_t flag) {
    return condition ? flag : 0;
}
inline uint8_t carryIn(uint8_t ccr) {
    return ccr & C;
}
inline uint8_t nz8(uint8_t value) {
    return flagIf(value & 0x80, N) | flagIf(value == 0, Z);
}
inline uint8_t nz16(uint16_t value) {
    return flagIf(value & 0x8000, N) | flagIf(value == 0, Z);
}

// --- two operands, 8 bits: (accumulator, memory) -> result ---

inline uint8_t add8(uint8_t &ccr, uint8_t a, uint8_t m, unsigned carry) {
    unsigned sum = a + m + carry;
    uint8_t r = uint8_t(sum);
    setFlags(ccr, H | N | Z | V | C,
             flagIf((a ^ m ^ r) & 0x10, H) | nz8(r) | flagIf((a ^ r) & (m ^ r) & 0x80, V) |
                 flagIf(sum > 0xFF, C));
    return r;
}
inline uint8_t sub8(uint8_t &ccr, uint8_t a, uint8_t m, unsigned borrow) {
    unsigned difference = unsigned(a) - m - borrow;
    uint8_t r = uint8_t(difference);
    setFlags(ccr, N | Z | V | C,
             nz8(r) | flagIf((a ^ m) & (a ^ r) & 0x80, V) | flagIf(difference > 0xFF, C));
    return r;
}
// Loads and logic: N and Z from the result, V cleared, C kept.
inline uint8_t logic8(uint8_t &ccr, uint8_t r) {
    setFlags(ccr, N | Z | V, nz8(r));
    return r;
}

inline uint8_t add(uint8_t &ccr, uint8_t a, uint8_t m) {
    return add8(ccr, a, m, 0);
}
inline uint8_t addWithCarry(uint8_t &ccr, uint8_t a, uint8_t m) {
    return add8(ccr, a, m, carryIn(ccr));
}
inline uint8_t subtract(uint8_t &ccr, uint8_t a, uint8_t m) {
    return sub8(ccr, a, m, 0);
}
inline uint8_t subtractWithCarry(uint8_t &ccr, uint8_t a, uint8_t m) {
    return sub8(ccr, a, m, carryIn(ccr));
}
inline uint8_t bitAnd(uint8_t &ccr, uint8_t a, uint8_t m) {
    return logic8(ccr, a & m);
}
inline uint8_t bitOr(uint8_t &ccr, uint8_t a, uint8_t m) {
    return logic8(ccr, a | m);
}
inline uint8_t bitXor(uint8_t &ccr, uint8_t a, uint8_t m) {
    return logic8(ccr, a ^ m);
}
inline uint8_t load(uint8_t &ccr, uint8_t, uint8_t m) {
    return logic8(ccr, m);
}

// --- two operands, 16 bits ---

inline uint16_t add16(uint8_t &ccr, uint16_t a, uint16_t m) {
    uint32_t sum = uint32_t(a) + m;
    uint16_t r = uint16_t(sum);
    setFlags(ccr, N | Z | V | C,
             nz16(r) | flagIf((a ^ r) & (m ^ r) & 0x8000, V) | flagIf(sum > 0xFFFF, C));
    return r;
}
inline uint16_t sub16(uint8_t &ccr, uint16_t a, uint16_t m) {
    uint32_t difference = uint32_t(a) - m;
    uint16_t r = uint16_t(difference);
    setFlags(ccr, N | Z | V | C,
             nz16(r) | flagIf((a ^ m) & (a ^ r) & 0x8000, V) | flagIf(difference > 0xFFFF, C));
    return r;
}
inline uint16_t load16(uint8_t &ccr, uint16_t, uint16_t m) {
    setFlags(ccr, N | Z | V, nz16(m));
    return m;
}

// --- one operand, 8 bits ---

// Shifts and rotates: C is the bit shifted out, V = N xor C.
inline uint8_t shifted8(uint8_t &ccr, uint8_t r, bool carryOut) {
    bool negative = r & 0x80;
    setFlags(ccr, N | Z | V | C, nz8(r) | flagIf(negative != carryOut, V) | flagIf(carryOut, C));
    return r;
}
inline uint8_t shiftLeft(uint8_t &ccr, uint8_t m) {
    return shifted8(ccr, uint8_t(m << 1), m & 0x80);
}
inline uint8_t shiftRightArithmetic(uint8_t &ccr, uint8_t m) {
    return shifted8(ccr, uint8_t((m >> 1) | (m & 0x80)), m & 1);
}
inline uint8_t shiftRightLogical(uint8_t &ccr, uint8_t m) {
    return shifted8(ccr, m >> 1, m & 1);
}
inline uint8_t rotateLeft(uint8_t &ccr, uint8_t m) {
    return shifted8(ccr, uint8_t((m << 1) | carryIn(ccr)), m & 0x80);
}
inline uint8_t rotateRight(uint8_t &ccr, uint8_t m) {
    return shifted8(ccr, uint8_t((m >> 1) | (carryIn(ccr) << 7)), m & 1);
}

inline uint8_t negate(uint8_t &ccr, uint8_t m) {
    uint8_t r = uint8_t(-m);
    setFlags(ccr, N | Z | V | C, nz8(r) | flagIf(r == 0x80, V) | flagIf(r != 0, C));
    return r;
}
inline uint8_t complement(uint8_t &ccr, uint8_t m) {
    uint8_t r = uint8_t(~m);
    setFlags(ccr, N | Z | V | C, nz8(r) | C);
    return r;
}
// INC and DEC leave C alone, so that they can count multi-byte loops.
inline uint8_t decrement(uint8_t &ccr, uint8_t m) {
    uint8_t r = uint8_t(m - 1);
    setFlags(ccr, N | Z | V, nz8(r) | flagIf(m == 0x80, V));
    return r;
}
inline uint8_t increment(uint8_t &ccr, uint8_t m) {
    uint8_t r = uint8_t(m + 1);
    setFlags(ccr, N | Z | V, nz8(r) | flagIf(m == 0x7F, V));
    return r;
}
inline uint8_t test(uint8_t &ccr, uint8_t m) {
    setFlags(ccr, N | Z | V | C, nz8(m));
    return m;
}
inline uint8_t clear(uint8_t &ccr, uint8_t) {
    setFlags(ccr, N | Z | V | C, Z);
    return 0;
}

// --- D register specials ---

inline uint16_t shifted16(uint8_t &ccr, uint16_t r, bool carryOut) {
    bool negative = r & 0x8000;
    setFlags(ccr, N | Z | V | C, nz16(r) | flagIf(negative != carryOut, V) | flagIf(carryOut, C));
    return r;
}
inline uint16_t shiftLeft16(uint8_t &ccr, uint16_t d) {
    return shifted16(ccr, uint16_t(d << 1), d & 0x8000);
}
inline uint16_t shiftRightLogical16(uint8_t &ccr, uint16_t d) {
    return shifted16(ccr, d >> 1, d & 1);
}

// DAA corrects A after adding two BCD bytes, from C, H and the two digits of the binary sum.
// The manual leaves V undefined; it is left as it was.
inline uint8_t decimalAdjust(uint8_t &ccr, uint8_t a) {
    unsigned high = a >> 4, low = a & 0x0F;
    bool carry = ccr & C;
    uint8_t correction = 0;
    if ((ccr & H) || low > 9) correction |= 0x06;
    if (carry || high > 9 || (high == 9 && low > 9)) {
        correction |= 0x60;
        carry = true;
    }
    uint8_t r = uint8_t(a + correction);
    setFlags(ccr, N | Z | C, nz8(r) | flagIf(carry, C));
    return r;
}

// MUL: C is bit 7 of the product, so that ADCA #0 rounds A to the high byte.
inline uint16_t multiply(uint8_t &ccr, uint8_t a, uint8_t b) {
    uint16_t product = uint16_t(a * b);
    setFlags(ccr, C, flagIf(product & 0x80, C));
    return product;
}

struct Division {
    uint16_t quotient;
    uint16_t remainder;
};

// IDIV: D / X. By zero the quotient is $FFFF and C is set; the manual leaves the remainder
// indeterminate, and a shift-and-subtract divider ends with the numerator there, as here.
inline Division integerDivide(uint8_t &ccr, uint16_t numerator, uint16_t denominator) {
    if (denominator == 0) {
        setFlags(ccr, Z | V | C, C);
        return {0xFFFF, numerator};
    }
    uint16_t quotient = numerator / denominator;
    setFlags(ccr, Z | V | C, flagIf(quotient == 0, Z));
    return {quotient, uint16_t(numerator % denominator)};
}

// FDIV: (D << 16) / X, a binary fraction when D < X. A denominator not above the numerator
// (zero included) overflows: V set, quotient $FFFF; C set for zero as with IDIV.
inline Division fractionalDivide(uint8_t &ccr, uint16_t numerator, uint16_t denominator) {
    if (denominator <= numerator) {
        setFlags(ccr, Z | V | C, V | flagIf(denominator == 0, C));
        return {0xFFFF, numerator};
    }
    uint32_t scaled = uint32_t(numerator) << 16;
    uint16_t quotient = uint16_t(scaled / denominator);
    setFlags(ccr, Z | V | C, flagIf(quotient == 0, Z));
    return {quotient, uint16_t(scaled % denominator)};
}

}  // namespace hc11::alu
