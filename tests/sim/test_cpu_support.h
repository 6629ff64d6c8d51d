// What the CPU tests share: a flat 64 KB bus whose interrupt lines the test drives, and a
// fixture that loads an assembled program (cpu_programs/NAME.s, built as NAME.s19 with its
// symbols in NAME.sym) and runs one case of it from its label to the label LABEL_end.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "cpu.h"

namespace hc11::test {

class FlatBus : public CpuBus {
  public:
    uint8_t read(uint16_t address) override { return memory[address]; }
    void write(uint16_t address, uint8_t value) override { memory[address] = value; }
    uint16_t vectorBase() const override { return vectorTableStart; }
    uint16_t pendingInterruptVector() override { return pendingVector; }
    bool xirqAsserted() override { return xirq; }

    uint16_t word(uint16_t address) const {
        return uint16_t(memory[address] << 8 | memory[uint16_t(address + 1)]);
    }

    std::array<uint8_t, 0x10000> memory{};
    uint16_t vectorTableStart = 0xFFC0;
    uint16_t pendingVector = 0;
    bool xirq = false;
};

// The CCR in the manual's order S X H I N Z V C, each bit as its letter when set and '.' when
// clear: "SX.I.Z.." is S, X, I and Z set.
std::string FlagText(uint8_t ccr);

// Compares a CCR with such a text, in which '?' marks a bit the manual leaves undefined.
::testing::AssertionResult FlagsMatch(uint8_t ccr, const char *expected);

class CpuProgramTest : public ::testing::Test {
  protected:
    void SetUp() override;

    // Loads NAME.s19 into a cleared memory and NAME.sym as the symbol table.
    void Load(const std::string &program);
    uint16_t Symbol(const std::string &name);

    // The state every case starts from: A = B = 0, X = Y = 0, SP = $01FF, CCR = S X I,
    // running, PC at the label.
    void StartAt(const std::string &label);

    // Steps until PC reaches the label (without running the instruction there) and returns
    // the E cycles taken; a case that does not get there in maxSteps fails.
    unsigned RunUntil(const std::string &label, unsigned maxSteps = 10000);

    // StartAt(label), then RunUntil(label + "_end").
    unsigned RunCase(const std::string &label);

    FlatBus bus;
    Cpu cpu{bus};
    std::map<std::string, uint16_t> symbols;
};

// A register or memory place a case checks, and the value it must hold.
enum class Place { A, B, D, X, Y, SP, Byte, Word };
struct Check {
    Place place;
    uint16_t value;
    // For Byte and Word: the symbol whose address is read; empty means LABEL_data.
    const char *symbol = "";
};

// One case of a program: its label, the flags and cycles at LABEL_end, and what else to check.
struct CpuCase {
    const char *label;
    const char *flags;
    unsigned cycles;
    std::vector<Check> checks;
};

// Cases print as their label, which CTest then uses for the test's name.
void PrintTo(const CpuCase &c, std::ostream *os);

// Runs table-driven cases of one program.
class CpuCaseTest : public CpuProgramTest, public ::testing::WithParamInterface<CpuCase> {
  protected:
    void RunAndCheck(const std::string &program);
};

}  // namespace hc11::test
