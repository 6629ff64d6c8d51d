// The talker image's own conditions (what the bootstrap loader and the RAM demand of it),
// checked independently of the writer that made it, and the firmware's register values.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "hc11_registers.h"
#include "missing_tool.h"
#include "part_table.h"
#include "srecord.h"
#include "talker_image.h"

namespace {

constexpr unsigned kRamSize = 256;
constexpr uint8_t kRdrf = 0x20;  // poll_mask's first value
constexpr unsigned kDataBytesPerLine = 30;

std::vector<std::string> ImageLines() {
    return std::vector<std::string>(TalkerImage, TalkerImage + dwTalkerImageLines);
}

std::vector<SRecord> ParseImage() {
    std::vector<SRecord> records;
    for (const std::string &line : ImageLines()) {
        SRecord record{};
        EXPECT_EQ(ParseSRecordString(line.c_str(), &record), 1) << line;
        records.push_back(record);
    }
    return records;
}

// The talker's bytes as the loader sends them: the S1 data in table order.
std::vector<uint8_t> ImageBytes() {
    std::vector<uint8_t> bytes;
    for (const SRecord &record : ParseImage()) {
        if (record.wType == 1)
            bytes.insert(bytes.end(), record.bData, record.bData + record.wLength);
    }
    return bytes;
}

unsigned HexByteAt(const std::string &text, size_t position) {
    return unsigned(std::stoul(text.substr(position, 2), nullptr, 16));
}

TEST(TalkerImage, HoldsS1LinesFromZeroWithoutGapsThenOneS9) {
    std::vector<SRecord> records = ParseImage();
    ASSERT_GE(records.size(), 2u);
    unsigned nextAddress = 0;
    for (size_t i = 0; i + 1 < records.size(); i++) {
        SCOPED_TRACE(ImageLines()[i]);
        EXPECT_EQ(records[i].wType, 1);
        EXPECT_EQ(records[i].wAddress, nextAddress);
        bool isLast = i + 2 == records.size();
        if (isLast) {
            EXPECT_GE(records[i].wLength, 1);
            EXPECT_LE(records[i].wLength, kDataBytesPerLine);
        } else {
            EXPECT_EQ(records[i].wLength, kDataBytesPerLine);
        }
        nextAddress += records[i].wLength;
    }
    EXPECT_STREQ(TalkerImage[dwTalkerImageLines - 1], "S9030000FC");
    EXPECT_EQ(records.back().wType, 9);
    EXPECT_EQ(records.back().wAddress, 0);
    EXPECT_EQ(records.back().wLength, 0);
}

// Once started, the talker keeps its stack and variables in its start-up code's bytes: the
// stack from TALKER_STACK_TOP down within them, poll_mask above it holding RDRF from the
// image, the other variables, then the free RAM, and the code goes on after it.
TEST(TalkerImage, CodeStackAndVariablesFitTheRam) {
    std::vector<uint8_t> bytes = ImageBytes();
    EXPECT_LE(bytes.size(), kRamSize);
    EXPECT_LE(TALKER_STACK_DEEPEST, TALKER_STACK_BYTES);
    EXPECT_LE(TALKER_STACK_BYTES, TALKER_STACK_TOP + 1);
    ASSERT_LT(TALKER_STACK_TOP + 1, bytes.size());
    EXPECT_EQ(bytes[TALKER_STACK_TOP + 1], kRdrf);
    EXPECT_GT(TALKER_FREE_RAM_START, TALKER_STACK_TOP + 1);
    EXPECT_LE(TALKER_FREE_RAM_START, TALKER_FREE_RAM_END);
    EXPECT_LT(TALKER_FREE_RAM_END + 1, bytes.size());
}

// Delay passes for a time in microseconds at an E clock, by the rule talker_image.h gives:
// rounded up, never shorter.
uint64_t DelayPasses(uint64_t microseconds, uint64_t eHz) {
    uint64_t cycles = (microseconds * eHz + 999999) / 1000000;
    return (cycles + TALKER_DELAY_PASS_CYCLES - 1) / TALKER_DELAY_PASS_CYCLES;
}

unsigned ImageWordAt(const std::vector<uint8_t> &bytes, unsigned offset) {
    return unsigned(bytes[offset] << 8 | bytes[offset + 1]);
}

// The places the host patches hold the values for a 2 MHz E clock: BAUD $B0 (9615 baud), and
// the passes the rule makes of 10 ms and 100 ms.
TEST(TalkerImage, PatchPlacesHoldTheTwoMegahertzValues) {
    std::vector<uint8_t> bytes = ImageBytes();
    ASSERT_LT(TALKER_BAUD_OFFSET, bytes.size());
    ASSERT_LT(TALKER_SHORT_DELAY_OFFSET + 1, bytes.size());
    ASSERT_LT(TALKER_LONG_DELAY_OFFSET + 1, bytes.size());
    EXPECT_EQ(bytes[TALKER_BAUD_OFFSET], 0xB0);
    EXPECT_EQ(ImageWordAt(bytes, TALKER_SHORT_DELAY_OFFSET), DelayPasses(10000, 2000000));
    EXPECT_EQ(ImageWordAt(bytes, TALKER_LONG_DELAY_OFFSET), DelayPasses(100000, 2000000));
}

// Every crystal the boards use, 3.6864 to 16 MHz: 100 ms and the EEPROM's program time (10 ms,
// 20 ms with CSEL below E = 1 MHz) fit the 16-bit counts.
TEST(TalkerImage, DelayCountsFitEveryCrystal) {
    for (uint64_t crystalHz : {3686400, 4915200, 7372800, 8000000, 9830400, 12000000, 16000000}) {
        uint64_t eHz = crystalHz / 4;
        uint64_t programMicroseconds = eHz < 1000000 ? 20000 : 10000;
        EXPECT_GE(DelayPasses(programMicroseconds, eHz), 1u) << crystalHz;
        EXPECT_LE(DelayPasses(100000, eHz), 65535u) << crystalHz;
    }
}

// Every line's text, read digit by digit: count, length and checksum agree, digits are
// upper-case hexadecimal.
TEST(TalkerImage, EveryLineCarriesItsCountAndChecksum) {
    for (const std::string &line : ImageLines()) {
        SCOPED_TRACE(line);
        ASSERT_GE(line.size(), 10u);
        ASSERT_EQ(line.size() % 2, 0u);
        EXPECT_EQ(line.find_first_not_of("0123456789ABCDEF", 1), std::string::npos);
        unsigned count = HexByteAt(line, 2);
        EXPECT_EQ(line.size(), 4 + 2 * count);
        unsigned sum = 0;
        for (size_t position = 2; position + 2 < line.size(); position += 2) {
            sum += HexByteAt(line, position);
        }
        EXPECT_EQ(HexByteAt(line, line.size() - 2), ~sum & 0xFFu);
    }
}

// The talker's source states the chip's registers and bits for the assembler: each equate
// "NAME = 0x..." it has must hold what both programs take from hc11_registers.h.
std::map<std::string, unsigned> SourceEquates() {
    std::ifstream source(TALKER_SOURCE);
    std::map<std::string, unsigned> equates;
    const std::regex equate(R"(^([A-Za-z_]\w*)\s*=\s*0x([0-9A-Fa-f]+)\b)");
    std::smatch match;
    for (std::string line; std::getline(source, line);) {
        if (std::regex_search(line, match, equate))
            equates[match[1]] = unsigned(std::stoul(match[2], nullptr, 16));
    }
    return equates;
}

TEST(TalkerFirmware, SourceStatesTheChipsRegistersAsBothProgramsDo) {
    using namespace hc11;
    const unsigned regs = GetDefaultPart()->wRegisterStart;
    const std::pair<const char *, unsigned> facts[] = {{"REGS", regs},
                                                       {"SPCR", regs + reg::SPCR},
                                                       {"BAUD", regs + reg::BAUD},
                                                       {"SCCR2", regs + reg::SCCR2},
                                                       {"SCSR", regs + reg::SCSR},
                                                       {"SCDR", regs + reg::SCDR},
                                                       {"PPROG", regs + reg::PPROG},
                                                       {"CONFIG", regs + reg::CONFIG},
                                                       {"DWOM", spcr::DWOM},
                                                       {"TCLR", baud::TCLR},
                                                       {"SCP1", baud::SCP1},
                                                       {"SCP0", baud::SCP0},
                                                       {"TE", sccr2::TE},
                                                       {"RE", sccr2::RE},
                                                       {"TDRE", scsr::TDRE},
                                                       {"TC", scsr::TC},
                                                       {"RDRF", scsr::RDRF},
                                                       {"BYTE", pprog::BYTE},
                                                       {"ERASE", pprog::ERASE},
                                                       {"EELAT", pprog::EELAT},
                                                       {"EPGM", pprog::EPGM}};
    std::map<std::string, unsigned> equates = SourceEquates();
    for (const auto &[name, value] : facts) {
        ASSERT_EQ(equates.count(name), 1u) << name << " is not stated in " << TALKER_SOURCE;
        EXPECT_EQ(equates[name], value) << name;
    }
    // The talker addresses the block where reset leaves it on every part.
    for (unsigned i = 0; i < GetPartCount(); i++)
        EXPECT_EQ(GetPartByIndex(i)->wRegisterStart, equates["REGS"]) << GetPartByIndex(i)->pszName;
}

// --- Checks with the outside tools: srec_cat and the m68hc11 binutils

// A directory of its own for each test, since CTest runs the tests side by side; removed
// when the test ends.
class WorkDir {
  public:
    WorkDir() {
        std::string pattern = std::string(TALKER_TEST_WORK_DIR) + "/talker_test_XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
        EXPECT_FALSE(path_.empty()) << "cannot make a directory like " << pattern;
    }
    ~WorkDir() {
        if (!path_.empty()) std::filesystem::remove_all(path_);
    }
    std::string file(const char *name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

int RunShell(const std::string &command) {
    return std::system(command.c_str());
}

std::string ReadFile(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteImageFile(const std::string &path) {
    std::ofstream file(path);
    for (const std::string &line : ImageLines()) file << line << "\n";
}

// Assembles and links the talker as the generator does; returns the ELF file's path.
std::string AssembleTalker(const WorkDir &dir) {
    std::string object = dir.file("talker.o"), elf = dir.file("talker.elf");
    EXPECT_EQ(RunShell(std::string(M68HC11_AS_PATH) + " --short-branches -o " + object + " " +
                       TALKER_SOURCE),
              0);
    EXPECT_EQ(RunShell(std::string(M68HC11_LD_PATH) + " --no-warn-rwx-segments -T " +
                       TALKER_LINK_SCRIPT + " -o " + elf + " " + object),
              0);
    return elf;
}

TEST(TalkerImage, SrecCatAcceptsEveryChecksumAndReadsTheSameBytes) {
    if (std::string(SREC_CAT_PATH).empty()) SKIP_FOR_MISSING_TOOL("srec_cat is not installed");
    WorkDir dir;
    WriteImageFile(dir.file("talker.s19"));
    // srec_cat stops with an error at a checksum that does not match.
    ASSERT_EQ(RunShell(std::string(SREC_CAT_PATH) + " " + dir.file("talker.s19") + " -o " +
                       dir.file("talker.bin") + " -binary 2>" + dir.file("srec_cat.log")),
              0)
        << ReadFile(dir.file("srec_cat.log"));
    std::vector<uint8_t> expected = ImageBytes();
    EXPECT_EQ(ReadFile(dir.file("talker.bin")), std::string(expected.begin(), expected.end()));
}

// The instructions of a disassembly, each as "mnemonic operands" without the symbol notes.
std::vector<std::string> Instructions(const std::string &listing) {
    std::vector<std::string> instructions;
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line)) {
        size_t firstTab = line.find('\t');
        size_t secondTab = firstTab == std::string::npos ? firstTab : line.find('\t', firstTab + 1);
        if (secondTab == std::string::npos) continue;
        std::string text = line.substr(secondTab + 1);
        text = text.substr(0, text.find(" <"));
        for (char &c : text) c = (c == '\t') ? ' ' : c;
        instructions.push_back(text);
    }
    return instructions;
}

// True when the expected instructions follow one another somewhere in the listing.
bool ContainsRun(const std::vector<std::string> &instructions,
                 const std::vector<std::string> &expected) {
    for (size_t start = 0; start + expected.size() <= instructions.size(); start++) {
        size_t matched = 0;
        while (matched < expected.size() && instructions[start + matched] == expected[matched]) {
            matched++;
        }
        if (matched == expected.size()) return true;
    }
    return false;
}

struct RegisterUse {
    const char *what;
    std::vector<std::string> instructions;
};

// The start-up lets the boot ROM's last echo finish, then stores through X at the register
// block; the delays poll the SCI so that a byte the host sends while an EEPROM byte programs
// is taken into RAM (17 cycles a pass).
std::string Hex(unsigned value) {
    char szText[16];
    snprintf(szText, sizeof szText, "0x%x", value);
    return szText;
}

std::vector<RegisterUse> RegisterUses() {
    return {
        {"stack from TALKER_STACK_TOP", {"lds #" + Hex(TALKER_STACK_TOP)}},
        {"SCSR polled for TC before BAUD changes", {"ldx #0x1000", "brclr 0x2e,x, #0x40, 0x6"}},
        {"SPCR: DWOM cleared, other bits kept", {"bclr 0x28,x, #0x20"}},
        {"BAUD $B0", {"ldaa #0xb0", "staa 0x2b,x"}},
        {"SCCR2 $0C", {"ldaa #0xc", "staa 0x2d,x"}},
        {"SCSR polled for TDRE (bit 7)", {"tst 0x102e"}},
        {"SCSR polled for RDRF", {"ldab 0x102e", "bitb #0x20"}},
        {"SCDR read", {"ldab 0x102f"}},
        {"SCDR written", {"staa 0x102f"}},
        {"byte erase: PPROG $16", {"ldaa #0x16"}},
        {"program: PPROG $02, 1177 passes", {"ldaa #0x2", "ldy #0x499"}},
        {"PPROG: the pattern, the store that latches, the pattern with EPGM",
         {"staa 0x103b", "stab 0x0,x", "inca", "staa 0x103b"}},
        {"bulk erase: PPROG $06, latched at CONFIG, 11765 passes",
         {"ldx #0x103f", "ldaa #0x6", "ldy #0x2df5"}},
        {"PPROG cleared to $00", {"clr 0x103b"}},
        {"delay pass polls the SCI while held_byte is free (poll_mask above the stack)",
         {"ldaa 0x102e", "anda *" + Hex(TALKER_STACK_TOP + 1)}},
    };
}

TEST(TalkerFirmware, DisassemblyHoldsTheRegisterAddressesAndValues) {
    if (std::string(M68HC11_AS_PATH).empty() || std::string(M68HC11_LD_PATH).empty() ||
        std::string(M68HC11_OBJDUMP_PATH).empty()) {
        SKIP_FOR_MISSING_TOOL("the m68hc11 binutils are not installed");
    }
    WorkDir dir;
    std::string elf = AssembleTalker(dir);
    ASSERT_EQ(
        RunShell(std::string(M68HC11_OBJDUMP_PATH) + " -d " + elf + " >" + dir.file("talker.lst")),
        0);
    std::vector<std::string> instructions = Instructions(ReadFile(dir.file("talker.lst")));
    ASSERT_FALSE(instructions.empty());
    for (const RegisterUse &use : RegisterUses()) {
        EXPECT_TRUE(ContainsRun(instructions, use.instructions)) << use.what;
    }
}

// The source with each pair's first text replaced by its second.
std::string Edited(std::string text,
                   const std::vector<std::pair<std::string, std::string>> &edits) {
    for (const auto &edit : edits) {
        size_t at = text.find(edit.first);
        EXPECT_NE(at, std::string::npos) << edit.first;
        if (at != std::string::npos) text.replace(at, edit.first.size(), edit.second);
    }
    return text;
}

// The generator works out the deepest stack from the source and refuses one that overflows
// its room or can't be followed; it prints the margin of one that fits.
TEST(TalkerGenerator, RefusesAStackDeeperThanItsRoom) {
    if (std::string(M68HC11_AS_PATH).empty() || std::string(M68HC11_NM_PATH).empty())
        SKIP_FOR_MISSING_TOOL("the m68hc11 binutils are not installed");
    const std::string call = "        bsr     eeprom_cycle\n";
    const std::pair<std::string, std::string> deeper = {call,
                                                        "        psha\n" + call + "        pula\n"};
    const std::pair<std::string, std::string> roomOfEight = {"STACK_BYTES = 12", "STACK_BYTES = 8"};
    struct Case {
        const char *name;
        std::vector<std::pair<std::string, std::string>> edits;
        int fBuilds;
        const char *pszSays;
    } cases[] = {
        {"AsWritten", {}, 1, "stack at most 8 of 12 bytes deep (4 to spare)"},
        {"OneByteDeeper", {deeper}, 1, "stack at most 9 of 12 bytes deep (3 to spare)"},
        {"OneByteDeeperThanARoomOfEight",
         {deeper, roomOfEight},
         0,
         "the talker breaks its layout: the deepest stack exceeds STACK_BYTES"},
        {"PushNotPulled", {{call, "        psha\n" + call}}, 0, "returns with bytes still pushed"},
    };
    std::string source = ReadFile(TALKER_SOURCE);
    for (const Case &c : cases) {
        WorkDir dir;
        std::ofstream(dir.file("talker.s")) << Edited(source, c.edits);
        std::string command = std::string(MAKE_TALKER_IMAGE_PATH) + " --as " + M68HC11_AS_PATH +
                              " --ld " + M68HC11_LD_PATH + " --objcopy " + M68HC11_OBJCOPY_PATH +
                              " --nm " + M68HC11_NM_PATH + " --work " + dir.file("") + " " +
                              dir.file("talker.s") + " " + TALKER_LINK_SCRIPT + " " +
                              dir.file("talker_image.cpp") + " >" + dir.file("out") + " 2>&1";
        EXPECT_EQ(RunShell(command) == 0, c.fBuilds == 1) << c.name;
        EXPECT_NE(ReadFile(dir.file("out")).find(c.pszSays), std::string::npos)
            << c.name << ": " << ReadFile(dir.file("out"));
    }
}

}  // namespace
