// The bootstrap ROM's behaviour, driven from the host's end of the wire in process: the first
// character decides the rate or a jump, the load is stored and echoed, then the loaded
// program runs from $0000; on every part of the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "chip_test_programs.h"
#include "part_table.h"
#include "simulator.h"

namespace {

using hc11::RunEnd;
using hc11::Simulator;
using hc11::test::Bytes;
using hc11::test::Download;
using hc11::test::kPlusOne;

constexpr unsigned kBootBaud = 1200;
constexpr size_t kLoadLength = 256;
constexpr uint64_t kBudget = 20'000'000;
constexpr uint64_t kCharAtSci1200 = 16640;  // ten bits at BAUD $33

// More hand-assembled programs, entered at $0000.
// Switches to 9600 baud at once, as the talker does, and sends ">".
const Bytes kPromptAt9600 = {0xCE, 0x10, 0x00,        // LDX  #$1000
                             0x1F, 0x2E, 0x80, 0xFC,  // BRCLR $2E,X #$80 *
                             0x86, 0x30, 0xA7, 0x2B,  // LDAA #$30; STAA $2B,X  BAUD: /13 /1
                             0x86, 0x3E, 0xA7, 0x2F,  // LDAA #'>'; STAA $2F,X
                             0x20, 0xFE};             // BRA  *
// Stores SP and X as the boot ROM left them at $0080, then stops in a loop.
const Bytes kSaveRegisters = {0x9F, 0x80, 0xDF, 0x82, 0x20, 0xFE};
const Bytes kBackToTheBootRom = {0x7E, 0xBF, 0x40};  // JMP $BF40

Bytes SentValues(const Simulator &sim, size_t first = 0) {
    Bytes values;
    for (size_t i = first; i < sim.targetSent().size(); i++)
        values.push_back(sim.targetSent()[i].value);
    return values;
}

void Boot(Simulator &sim, const Bytes &program) {
    size_t before = sim.targetSent().size();
    sim.hostSend({0xFF}, kBootBaud);
    sim.hostSend(Download(program), kBootBaud);
    ASSERT_EQ(sim.runUntilSent(before + kLoadLength, kBudget), RunEnd::Reached);
}

TEST(BootRom, StoresAndEchoesEachByteThenStartsTheProgram) {
    Simulator sim;
    Bytes download = Download(kPlusOne);
    for (size_t i = kPlusOne.size(); i < kLoadLength; i++) download[i] = uint8_t(i * 7);
    uint64_t start = sim.cycles();
    sim.hostSend({0xFF}, kBootBaud);
    sim.hostSend(download, kBootBaud);
    ASSERT_EQ(sim.runUntilSent(kLoadLength, kBudget), RunEnd::Reached);
    EXPECT_EQ(SentValues(sim), download);
    // Byte i arrives after the $FF and i bytes before it; its echo then takes ten bit-times
    // at the SCI's rate, after a few polling passes of the ROM.
    uint64_t charAtHost = uint64_t(hc11::Clock().bitCycles(kBootBaud) * 10 + 0.5);
    for (size_t i = 0; i < kLoadLength; i++) {
        uint64_t arrival = start + (i + 2) * charAtHost;
        uint64_t echoEnd = sim.targetSent()[i].cycle;
        EXPECT_GE(echoEnd, arrival + kCharAtSci1200) << "echo " << i;
        EXPECT_LE(echoEnd, arrival + kCharAtSci1200 + 40) << "echo " << i;
    }
    for (size_t i = 0; i < kLoadLength; i++) ASSERT_EQ(sim.peek(uint16_t(i)), download[i]) << i;
    EXPECT_FALSE(sim.bootRomRunning());
    sim.hostSend({'x'}, kBootBaud);
    ASSERT_EQ(sim.runUntilSent(kLoadLength + 1, kBudget), RunEnd::Reached);
    EXPECT_EQ(sim.targetSent().back().value, 'y');
}

TEST(BootRom, LeavesTheSciAt1200BaudWithTransmitterReceiverAndWireOr) {
    Simulator sim;
    Boot(sim, kSaveRegisters);
    EXPECT_EQ(sim.peek(0x102B), 0x33);
    EXPECT_EQ(sim.peek(0x102D), 0x0C);
    EXPECT_TRUE(sim.peek(0x1028) & 0x20) << "SPCR DWOM";
    EXPECT_EQ(sim.peek(0x103C), 0xC5) << "HPRIO: still special bootstrap mode";
}

TEST(BootRom, StartsTheProgramWithStackAtTheTopOfRamAndXAtTheRegisters) {
    Simulator sim;
    Boot(sim, kSaveRegisters);
    sim.runUntilWaiting(kBudget);
    EXPECT_EQ(sim.peek(0x80), 0x00);
    EXPECT_EQ(sim.peek(0x81), 0xFF);
    EXPECT_EQ(sim.peek(0x82), 0x10);
    EXPECT_EQ(sim.peek(0x83), 0x00);
}

// The talker changes BAUD while the last echo is still shifting out: the host gets a garbled
// byte there, and reads the prompt once it has switched to 9600 itself.
TEST(BootRom, ProgramChangingBaudAtOnceGarblesOnlyTheLastEcho) {
    Simulator sim;
    Boot(sim, kPromptAt9600);
    Bytes echoes = SentValues(sim);
    Bytes download = Download(kPromptAt9600);
    EXPECT_TRUE(std::equal(download.begin(), download.end() - 1, echoes.begin()));
    EXPECT_NE(echoes.back(), download.back());
    sim.setHostBaud(9600);
    ASSERT_EQ(sim.runUntilSent(kLoadLength + 1, kBudget), RunEnd::Reached);
    EXPECT_EQ(sim.targetSent().back().value, '>');
}

TEST(BootRom, JumpToItsEntryStartsAnotherLoad) {
    Simulator sim;
    Boot(sim, kBackToTheBootRom);
    EXPECT_EQ(sim.runUntilWaiting(kBudget), RunEnd::Waiting);
    EXPECT_TRUE(sim.bootRomRunning());
    Boot(sim, kPlusOne);
    EXPECT_EQ(SentValues(sim, kLoadLength), Download(kPlusOne));
    sim.hostSend({'a'}, kBootBaud);
    ASSERT_EQ(sim.runUntilSent(2 * kLoadLength + 1, kBudget), RunEnd::Reached);
    EXPECT_EQ(sim.targetSent().back().value, 'b');
}

// Sends the character the boot ROM reads its first character from; the host has been
// listening at its rate since then.
constexpr unsigned kRomBaud = 7812;
constexpr uint8_t kSayE[] = {0x86, 'E', 0xB7, 0x10, 0x2F, 0x20, 0xFE};  // STAA SCDR; BRA *
constexpr uint8_t kSayR[] = {0x86, 'R', 0xB7, 0x10, 0x2F, 0x20, 0xFE};

Simulator PartSim(const char *name, bool secure = false) {
    hc11::SimConfig config;
    config.part = FindPart(name);
    config.secure = secure;
    return Simulator(config);
}

// A program that names where it runs: 'E' from the EEPROM's start, 'R' from $0000.
void PlaceWitnesses(Simulator &sim) {
    uint16_t eeprom = sim.bus().eeprom().base();
    for (size_t i = 0; i < sizeof kSayE; i++) {
        sim.poke(uint16_t(eeprom + i), kSayE[i]);
        sim.poke(uint16_t(i), kSayR[i]);
    }
}

struct FirstCase {
    const char *part;
    uint8_t first;
    unsigned baud;
    uint8_t heard;  // 'E', 'R', or 0 when the ROM waits for the load
    uint8_t baudAfter;
};

void PrintTo(const FirstCase &c, std::ostream *out) {
    *out << c.part << " $" << std::hex << unsigned(c.first) << " at " << std::dec << c.baud;
}

class FirstCharacter : public ::testing::TestWithParam<FirstCase> {};

TEST_P(FirstCharacter, DecidesTheRateOrTheJump) {
    const FirstCase &c = GetParam();
    Simulator sim = PartSim(c.part);
    PlaceWitnesses(sim);
    sim.hostSend({c.first}, c.baud);
    sim.setHostBaud(c.baudAfter == 0xA2 ? kRomBaud : c.baudAfter == 0x30 ? 9600 : kBootBaud);
    sim.runCycles(200'000);
    EXPECT_EQ(sim.peek(0x102B), c.baudAfter) << "BAUD";
    if (c.heard) {
        ASSERT_EQ(SentValues(sim), Bytes({c.heard})) << "the first character is not echoed";
        EXPECT_FALSE(sim.bootRomRunning());
    } else {
        EXPECT_TRUE(SentValues(sim).empty()) << "the first character is not echoed";
        EXPECT_TRUE(sim.bootRomRunning());
    }
}

// A host's $00 at 1200 holds the line low for 15,000 cycles: the ROM at 7812 reads a break.
// A host's $FF at 1200 arrives as $C0; a $55 at 1200 as something else again. Variable-load
// parts (E9, F1) that switched to 1200 and hear nothing more start RAM after 4 idle characters.
INSTANTIATE_TEST_SUITE_P(
    EveryKind, FirstCharacter,
    ::testing::Values(
        FirstCase{"811E2", 0xFF, 7812, 0, 0xA2}, FirstCase{"811E2", 0xFF, 1200, 0, 0x33},
        FirstCase{"811E2", 0x00, 7812, 'E', 0xA2}, FirstCase{"811E2", 0x00, 1200, 'E', 0xA2},
        FirstCase{"811E2", 0x55, 7812, 'R', 0xA2}, FirstCase{"811E2", 0x55, 1200, 0, 0x33},
        FirstCase{"811E2", 0x3C, 7812, 0, 0x33}, FirstCase{"A8", 0x55, 7812, 'R', 0xA2},
        FirstCase{"A8", 0x00, 7812, 'E', 0xA2}, FirstCase{"E9", 0x55, 7812, 'R', 0x33},
        FirstCase{"E9", 0x00, 1200, 'E', 0xA2}, FirstCase{"E20", 0x00, 7812, 'E', 0xA2},
        FirstCase{"F1", 0x00, 7812, 'E', 0xA2}, FirstCase{"F1", 0x55, 7812, 'R', 0x33},
        FirstCase{"F1", 0xF0, 7812, 'R', 0x30}, FirstCase{"F1", 0xFD, 7812, 'R', 0x33},
        FirstCase{"F1", 0xF0, 9600, 'R', 0x33}, FirstCase{"E9", 0xF0, 7812, 'R', 0x33},
        FirstCase{"811E2", 0xF0, 7812, 0, 0x33}));

// The F1's ROM takes a first $F0 as the sync for 9600 baud: the load, its echoes and the
// program that follows run there. Sent at 9600 itself, the $F0 reads as $F8 at 7812 baud
// (the table above), which is an ordinary first character.
TEST(BootRom, F1LoadsAt9600AfterAFirstF0) {
    Simulator sim = PartSim("F1");
    Bytes download = Download(kPlusOne);
    sim.hostSend({0xF0}, kRomBaud);
    sim.hostSend(download, 9600);
    ASSERT_EQ(sim.runUntilSent(kLoadLength, kBudget), RunEnd::Reached);
    EXPECT_EQ(SentValues(sim), download);
    sim.runCycles(200'000);  // four idle characters end the F1's variable load
    EXPECT_FALSE(sim.bootRomRunning());
    sim.hostSend({'x'}, 9600);
    ASSERT_EQ(sim.runUntilSent(kLoadLength + 1, kBudget), RunEnd::Reached);
    EXPECT_EQ(sim.targetSent().back().value, 'y') << "the program answers at 9600";
}

TEST(BootRom, LoadsAtItsOwn7812BaudAfterAFirstFF) {
    Simulator sim;
    Bytes download = Download(kPlusOne);
    sim.hostSend({0xFF}, kRomBaud);
    sim.hostSend(download, kRomBaud);
    ASSERT_EQ(sim.runUntilSent(kLoadLength, kBudget), RunEnd::Reached);
    EXPECT_EQ(SentValues(sim), download);
    sim.hostSend({'x'}, kRomBaud);
    ASSERT_EQ(sim.runUntilSent(kLoadLength + 1, kBudget), RunEnd::Reached);
    EXPECT_EQ(sim.targetSent().back().value, 'y') << "the program answers at 7812";
}

// The ROM's rates divide E: BAUD $A2 is E/256 (7812 baud from an 8 MHz crystal) and $33 is
// E/1664 (1202 baud). At another crystal a host loads at the scaled rates, and a host at the
// 8 MHz rates reads garbage.
struct CrystalCase {
    double mhz;
    unsigned fast, slow;  // the host's rates nearest E/256 and E/1664
};

TEST(BootRom, RatesFollowTheCrystal) {
    const CrystalCase cases[] = {
        {4.9152, 4800, 738}, {7.3728, 7200, 1108}, {12, 11718, 1800}, {16, 15625, 2400}};
    for (const CrystalCase &c : cases) {
        for (unsigned baud : {c.fast, c.slow}) {
            SCOPED_TRACE(testing::Message() << c.mhz << " MHz, " << baud << " baud");
            hc11::SimConfig config;
            config.crystalHz = c.mhz * 1e6;
            Simulator sim(config);
            Bytes download = Download(kPlusOne);
            sim.hostSend({0xFF}, baud);
            sim.hostSend(download, baud);
            ASSERT_EQ(sim.runUntilSent(kLoadLength, kBudget), RunEnd::Reached);
            EXPECT_EQ(SentValues(sim), download);
            sim.hostSend({'x'}, baud);
            ASSERT_EQ(sim.runUntilSent(kLoadLength + 1, kBudget), RunEnd::Reached);
            EXPECT_EQ(sim.targetSent().back().value, 'y');
        }
    }
    hc11::SimConfig config;
    config.crystalHz = 12e6;
    Simulator sim(config);
    sim.hostSend({0xFF}, kRomBaud);
    sim.hostSend(Download(kPlusOne), kRomBaud);
    sim.runCycles(kBudget);
    EXPECT_NE(SentValues(sim), Download(kPlusOne)) << "7812 baud at E = 3 MHz";
}

// A stray byte before the host's $FF (a probe at another rate, a cable plugged in) switches
// the ROM to 1200: the $FF is then the first data byte, and everything after it lands one
// address higher. The load still ends after 256 bytes, so the host's last byte is left over.
TEST(BootRom, AStrayByteFirstShiftsTheWholeLoadByOne) {
    Simulator sim;
    Bytes download = Download(kPlusOne);
    sim.hostSend({0x3C}, 9600);
    sim.hostSend({0xFF}, kBootBaud);
    sim.hostSend(download, kBootBaud);
    ASSERT_EQ(sim.runUntilSent(kLoadLength, kBudget), RunEnd::Reached);
    Bytes expected = {0xFF};
    expected.insert(expected.end(), download.begin(), download.end() - 1);
    EXPECT_EQ(SentValues(sim), expected) << "the $FF echoed, each talker byte a place later";
    EXPECT_FALSE(sim.bootRomRunning());
}

// Variable-length parts end the load after four idle character times (at 1200: 33 ms).
TEST(BootRom, VariableLoadEndsWhenTheLineStaysIdle) {
    for (const char *name : {"E9", "E20", "F1"}) {
        SCOPED_TRACE(name);
        Simulator sim = PartSim(name);
        const Bytes program = {0x20, 0xFE, 0x11, 0x22, 0x33};  // BRA *, then data
        sim.hostSend({0xFF}, kBootBaud);
        sim.hostSend(program, kBootBaud);
        ASSERT_EQ(sim.runUntilSent(program.size(), kBudget), RunEnd::Reached);
        EXPECT_TRUE(sim.bootRomRunning());
        sim.runCycles(4 * 16640 + 1000);
        ASSERT_FALSE(sim.bootRomRunning());
        const hc11::Registers &r = sim.cpu().regs();
        EXPECT_EQ(r.pc, 0x0000);
        EXPECT_EQ(r.y, program.size()) << "Y: bytes loaded";
        EXPECT_EQ(r.a, 0x33) << "A: the last byte";
        EXPECT_EQ(r.x, 0x1000);
        EXPECT_EQ(r.sp, FindPart(name)->wStackTop);
    }
}

TEST(BootRom, FFThenSilenceStartsRamOnVariablePartsAndWaitsOnFixedOnes) {
    Simulator e9 = PartSim("E9"), e2 = PartSim("811E2");
    for (Simulator *sim : {&e9, &e2}) {
        sim->hostSend({0xFF}, kRomBaud);
        sim->runCycles(200'000);
    }
    EXPECT_FALSE(e9.bootRomRunning());
    EXPECT_EQ(e9.cpu().regs().y, 0);
    EXPECT_TRUE(e2.bootRomRunning());
}

TEST(BootRom, AVariableLoadStopsWhenRamIsFull) {
    Simulator sim = PartSim("E9");
    Bytes bytes(600, 0x01);
    sim.hostSend({0xFF}, kRomBaud);
    sim.hostSend(bytes, kRomBaud);
    ASSERT_EQ(sim.runUntilSent(512, kBudget), RunEnd::Reached);
    sim.runCycles(3000);
    EXPECT_FALSE(sim.bootRomRunning());
    EXPECT_EQ(sim.cpu().regs().y, 512);
}

// The break a reset sends reaches a host that listens; the one at power-up reaches nobody.
TEST(BootRom, AResetSendsABreakTheHostReadsAsZero) {
    Simulator sim;
    sim.runCycles(50'000);
    EXPECT_TRUE(SentValues(sim).empty()) << "power-up";
    sim.reset();
    sim.runCycles(50'000);
    EXPECT_EQ(SentValues(sim), Bytes({0x00}));
    sim.hostSend({0xFF}, kBootBaud);
    sim.hostSend(Download(kPlusOne), kBootBaud);
    ASSERT_EQ(sim.runUntilSent(1 + kLoadLength, kBudget), RunEnd::Reached);
    EXPECT_EQ(SentValues(sim, 1), Download(kPlusOne)) << "one break, held, then the load";
}

// With the mask's security on and NOSEC clear, the ROM wipes the secrets before anything.
TEST(BootRom, SecureModeErasesEepromRamAndConfigFirst) {
    for (bool secure : {false, true}) {
        SCOPED_TRACE(secure ? "secure" : "standard mask");
        Simulator sim = PartSim("811E2", secure);
        sim.poke(0x103F, 0xF5);  // NOSEC clear
        sim.poke(0xF900, 0x12);
        sim.poke(0x0040, 0x34);
        sim.powerOn();
        sim.setHostBaud(kRomBaud);
        sim.runCycles(100'000);
        EXPECT_EQ(SentValues(sim), secure ? Bytes({0xFF}) : Bytes());
        EXPECT_EQ(sim.peek(0xF900), secure ? 0xFF : 0x12);
        EXPECT_EQ(sim.peek(0x0040), secure ? 0xFF : 0x34);
        EXPECT_EQ(sim.peek(0x103F), secure ? 0xFF : 0xF5);
        EXPECT_EQ(sim.bus().configLatch(), 0xF5) << "the latch keeps its reset value";
        Boot(sim, kPlusOne);
    }
}

// CONFIG reads give the value latched at reset; the 811E2's EEPROM moves with it then.
TEST(BootRom, ANewConfigTakesEffectAtTheNextReset) {
    Simulator sim;
    sim.poke(0xF800, 0x5A);
    sim.poke(0x103F, 0x3F);
    EXPECT_EQ(sim.bus().read(0x103F), 0xFF) << "the latch, not the cell";
    EXPECT_EQ(sim.bus().read(0xF800), 0x5A);
    sim.reset();
    EXPECT_EQ(sim.bus().read(0x103F), 0x3F);
    EXPECT_EQ(sim.bus().read(0x3800), 0x5A) << "the 2 KB block now at $3800";
    EXPECT_EQ(sim.bus().read(0xF800), 0xFF) << "nothing left at $F800";
    sim.poke(0x103F, 0x3E);  // EEON clear
    sim.reset();
    EXPECT_EQ(sim.bus().read(0x3800), 0xFF) << "EEPROM off";
}

}  // namespace
