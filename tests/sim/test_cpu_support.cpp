// The CPU tests' flat bus, program loader and case runner.
#include "test_cpu_support.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "missing_tool.h"
#include "srecord.h"

namespace hc11::test {

namespace {

struct ProgramImage {
    std::array<uint8_t, 0x10000> memory{};
    std::map<std::string, uint16_t> symbols;
};

std::string ProgramPath(const std::string &program, const char *extension) {
#ifdef CPU_PROGRAM_DIR
    return std::string(CPU_PROGRAM_DIR) + "/" + program + extension;
#else
    return program + extension;
#endif
}

bool ReadS19(const std::string &path, ProgramImage &image) {
    std::ifstream file(path);
    if (!file) return false;
    std::string line;
    SRecord record;
    while (std::getline(file, line)) {
        if (!ParseSRecordString(line.c_str(), &record)) return false;
        if (record.wType != 1) continue;
        for (unsigned i = 0; i < record.wLength; ++i)
            image.memory[uint16_t(record.wAddress + i)] = record.bData[i];
    }
    return true;
}

// m68hc11-nm lines: "0000c000 t label".
bool ReadSymbols(const std::string &path, ProgramImage &image) {
    std::ifstream file(path);
    if (!file) return false;
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        unsigned address;
        std::string kind, name;
        if (fields >> std::hex >> address >> kind >> name) image.symbols[name] = uint16_t(address);
    }
    return true;
}

// Each program is read once and copied into the bus for every case.
const ProgramImage *CachedImage(const std::string &program) {
    static std::map<std::string, ProgramImage> cache;
    auto found = cache.find(program);
    if (found != cache.end()) return &found->second;
    ProgramImage image;
    if (!ReadS19(ProgramPath(program, ".s19"), image) ||
        !ReadSymbols(ProgramPath(program, ".sym"), image))
        return nullptr;
    return &cache.emplace(program, image).first->second;
}

}  // namespace

std::string FlagText(uint8_t ccr) {
    static const char kLetters[] = "SXHINZVC";
    std::string text;
    for (int bit = 0; bit < 8; ++bit) text += (ccr & (0x80 >> bit)) ? kLetters[bit] : '.';
    return text;
}

::testing::AssertionResult FlagsMatch(uint8_t ccr, const char *expected) {
    std::string actual = FlagText(ccr);
    std::string wanted = expected;
    bool same = wanted.size() == actual.size();
    for (size_t i = 0; same && i < wanted.size(); ++i)
        same = wanted[i] == '?' || wanted[i] == actual[i];
    if (same) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "CCR is " << actual << ", expected " << wanted;
}

void CpuProgramTest::SetUp() {
#ifndef CPU_PROGRAM_DIR
    SKIP_FOR_MISSING_TOOL("m68hc11-as not found: the CPU test programs were not assembled");
#endif
}

void CpuProgramTest::Load(const std::string &program) {
    const ProgramImage *image = CachedImage(program);
    ASSERT_NE(image, nullptr) << "cannot read program " << ProgramPath(program, ".s19");
    bus.memory = image->memory;
    symbols = image->symbols;
}

uint16_t CpuProgramTest::Symbol(const std::string &name) {
    auto found = symbols.find(name);
    if (found == symbols.end()) {
        ADD_FAILURE() << "no symbol " << name;
        return 0;
    }
    return found->second;
}

void CpuProgramTest::StartAt(const std::string &label) {
    Registers &r = cpu.regs();
    r = Registers{};
    r.sp = 0x01FF;
    r.pc = Symbol(label);
}

unsigned CpuProgramTest::RunUntil(const std::string &label, unsigned maxSteps) {
    uint16_t stop = Symbol(label);
    uint64_t start = cpu.cycles();
    for (unsigned steps = 0; cpu.regs().pc != stop; ++steps) {
        if (steps == maxSteps) {
            ADD_FAILURE() << "did not reach " << label << "; PC is " << std::hex << cpu.regs().pc;
            break;
        }
        cpu.step();
    }
    return unsigned(cpu.cycles() - start);
}

unsigned CpuProgramTest::RunCase(const std::string &label) {
    StartAt(label);
    return RunUntil(label + "_end");
}

void PrintTo(const CpuCase &c, std::ostream *os) {
    *os << c.label;
}

namespace {

uint16_t ValueAt(const Registers &r, const FlatBus &bus, Place place, uint16_t address) {
    switch (place) {
        case Place::A:
            return r.a;
        case Place::B:
            return r.b;
        case Place::D:
            return r.d();
        case Place::X:
            return r.x;
        case Place::Y:
            return r.y;
        case Place::SP:
            return r.sp;
        case Place::Byte:
            return bus.memory[address];
        case Place::Word:
            return bus.word(address);
    }
    return 0;
}

const char *PlaceName(Place place) {
    static const char *const kNames[] = {"A", "B", "D", "X", "Y", "SP", "byte", "word"};
    return kNames[int(place)];
}

}  // namespace

void CpuCaseTest::RunAndCheck(const std::string &program) {
    const CpuCase &c = GetParam();
    Load(program);
    unsigned cycles = RunCase(c.label);
    EXPECT_EQ(cycles, c.cycles) << "E cycles";
    EXPECT_TRUE(FlagsMatch(cpu.regs().ccr, c.flags));
    for (const Check &check : c.checks) {
        std::string symbol = *check.symbol ? check.symbol : std::string(c.label) + "_data";
        bool inMemory = check.place == Place::Byte || check.place == Place::Word;
        uint16_t address = inMemory ? Symbol(symbol) : 0;
        EXPECT_EQ(ValueAt(cpu.regs(), bus, check.place, address), check.value)
            << PlaceName(check.place) << (inMemory ? " at " + symbol : "");
    }
}

}  // namespace hc11::test
