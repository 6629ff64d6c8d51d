// The decode table as the outside sees it: disassembly text, instruction lengths, and every
// opcode of the four pages compared with m68hc11-objdump's reading of the same bytes.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "missing_tool.h"
#include "test_cpu_support.h"

namespace hc11::test {
namespace {

struct DisassemblyCase {
    const char *label;
    const char *text;    // a %04X in it stands for the address of target
    const char *target;  // or nullptr
    unsigned length;
};

class Disassembly : public CpuProgramTest {};

TEST_F(Disassembly, ShowsEachModeInAssemblerSyntax) {
    Load("disasm");
    const DisassemblyCase cases[] = {
        {"d_inherent", "NOP", nullptr, 1},
        {"d_immediate8", "LDAA #$3E", nullptr, 2},
        {"d_immediate16", "LDX #$1234", nullptr, 3},
        {"d_direct", "LDAA $2E", nullptr, 2},
        {"d_extended", "LDAA $1234", nullptr, 3},
        {"d_indexed_x", "STAA $2E,X", nullptr, 2},
        {"d_indexed_y", "LDAA $2E,Y", nullptr, 3},
        {"d_page_18_immediate", "LDY #$BEEF", nullptr, 4},
        {"d_page_1a", "LDY $05,X", nullptr, 3},
        {"d_page_cd", "CPD $04,Y", nullptr, 3},
        {"d_relative", "BNE $%04X", "d_relative", 2},
        {"d_bsr", "BSR $%04X", "d_inherent", 2},
        {"d_bset_direct", "BSET $2E #$20", nullptr, 3},
        {"d_bclr_y", "BCLR $2E,Y #$81", nullptr, 4},
        {"d_brset_x", "BRSET $2E,X #$20 $%04X", "d_brset_x_target", 4},
        {"d_brclr_direct", "BRCLR $2E #$01 $%04X", "d_relative", 4},
        {"d_jsr_direct", "JSR $80", nullptr, 2},
        {"d_illegal", "ILLEGAL $41", nullptr, 1},
        {"d_illegal_prebyte", "ILLEGAL $18 $41", nullptr, 1},
    };
    for (const DisassemblyCase &c : cases) {
        char expected[64];
        std::snprintf(expected, sizeof expected, c.text, c.target ? Symbol(c.target) : 0);
        unsigned length = 0;
        EXPECT_EQ(cpu.disassemble(Symbol(c.label), &length), expected) << c.label;
        EXPECT_EQ(length, c.length) << c.label;
        EXPECT_EQ(cpu.instructionLength(Symbol(c.label)), c.length) << c.label;
    }
}

// Every slot of the four pages laid out in memory, each followed by NOPs ($01) so that a
// reader that takes a different length falls back into step at the next slot.
struct OpcodeLayout {
    std::vector<uint8_t> bytes;
    std::vector<uint16_t> starts;
};

OpcodeLayout LayOutEveryOpcode() {
    OpcodeLayout layout;
    const int kPrebytes[] = {-1, 0x18, 0x1A, 0xCD};
    for (int prebyte : kPrebytes) {
        for (int opcode = 0; opcode < 256; ++opcode) {
            bool isPrebyte = opcode == 0x18 || opcode == 0x1A || opcode == 0xCD;
            if (prebyte < 0 && isPrebyte) continue;
            layout.starts.push_back(uint16_t(layout.bytes.size()));
            if (prebyte >= 0) layout.bytes.push_back(uint8_t(prebyte));
            layout.bytes.push_back(uint8_t(opcode));
            layout.bytes.insert(layout.bytes.end(), 4, 0x01);
        }
    }
    return layout;
}

// objdump -D lines: "   1c:\t18 1e 05 20 \tbrset\t..." (instruction) or "   20:\tfe " (more bytes).
std::map<uint16_t, std::string> ReadObjdumpMnemonics(const std::string &path) {
    std::map<uint16_t, std::string> mnemonics;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        unsigned address;
        size_t firstTab = line.find('\t');
        size_t secondTab = firstTab == std::string::npos ? firstTab : line.find('\t', firstTab + 1);
        if (secondTab == std::string::npos || std::sscanf(line.c_str(), " %x:", &address) != 1)
            continue;
        std::istringstream rest(line.substr(secondTab + 1));
        std::string mnemonic;
        rest >> mnemonic;
        for (char &ch : mnemonic) ch = char(std::toupper(static_cast<unsigned char>(ch)));
        mnemonics[uint16_t(address)] = mnemonic;
    }
    return mnemonics;
}

#if defined(M68HC11_AS_PATH) && defined(M68HC11_OBJDUMP_PATH)
constexpr const char *kAssembler = M68HC11_AS_PATH;
constexpr const char *kObjdump = M68HC11_OBJDUMP_PATH;
#else
constexpr const char *kAssembler = nullptr;
constexpr const char *kObjdump = nullptr;
#endif

// Assembles the bytes as .byte lines in a scratch directory and returns objdump's mnemonic
// at each instruction start; empty if either tool fails.
std::map<uint16_t, std::string> DisassembleWithObjdump(const std::vector<uint8_t> &bytes) {
    char dir[] = "/tmp/hc11_opcodes_XXXXXX";
    if (!mkdtemp(dir)) return {};
    const std::string base = std::string(dir) + "/all";
    {
        std::ofstream source(base + ".s");
        for (uint8_t byte : bytes) source << "\t.byte " << unsigned(byte) << "\n";
    }
    const std::string command = std::string(kAssembler) + " -o " + base + ".o " + base + ".s && " +
                                kObjdump + " -D " + base + ".o > " + base + ".dis";
    std::map<uint16_t, std::string> mnemonics;
    if (std::system(command.c_str()) == 0) mnemonics = ReadObjdumpMnemonics(base + ".dis");
    for (const char *extension : {".s", ".o", ".dis"}) std::remove((base + extension).c_str());
    rmdir(dir);
    return mnemonics;
}

class ObjdumpAgreement : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!kAssembler || !kObjdump)
            SKIP_FOR_MISSING_TOOL("m68hc11-as or m68hc11-objdump not found");
    }
};

// Lengths and mnemonics agree for every legal opcode; objdump shows the illegal ones as
// data. $00 is the exception: objdump reads it as the later family's BGND, while here it is
// TEST, which outside the factory test mode traps like any illegal opcode.
TEST_F(ObjdumpAgreement, EveryOpcodeHasObjdumpsLengthAndMnemonic) {
    OpcodeLayout layout = LayOutEveryOpcode();
    std::map<uint16_t, std::string> objdump = DisassembleWithObjdump(layout.bytes);
    ASSERT_FALSE(objdump.empty()) << "m68hc11-as or m68hc11-objdump failed";

    FlatBus bus;
    std::copy(layout.bytes.begin(), layout.bytes.end(), bus.memory.begin());
    Cpu cpu(bus);
    unsigned legal = 0;
    for (uint16_t start : layout.starts) {
        auto found = objdump.find(start);
        ASSERT_NE(found, objdump.end()) << "objdump lost step at " << start;
        unsigned objdumpLength = unsigned(std::next(found)->first - start);
        unsigned length = 0;
        std::string text = cpu.disassemble(start, &length);
        std::string mnemonic = text.substr(0, text.find(' '));
        SCOPED_TRACE(text);
        if (mnemonic == "ILLEGAL") {
            EXPECT_TRUE(found->second == ".BYTE" ||
                        (bus.memory[start] == 0 && found->second == "BGND"));
            EXPECT_EQ(length, 1u);
            continue;
        }
        ++legal;
        EXPECT_EQ(mnemonic, found->second);
        EXPECT_EQ(length, objdumpLength);
    }
    EXPECT_EQ(legal, 307u);  // 232 on the base page, 64 after $18, 7 after $1A, 4 after $CD
}

}  // namespace
}  // namespace hc11::test
