// The bootstrap ROM's behaviour, driven from the host's end of the wire in process: the $FF
// at 1200 baud, 256 bytes stored and echoed, then the loaded program runs from $0000.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "chip_test_programs.h"
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
    uint64_t charAtHost = uint64_t(hc11::BitCyclesAtBaud(kBootBaud) * 10 + 0.5);
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

TEST(BootRom, IgnoresAnyOtherFirstByteAndAStartByteAtAnotherRate) {
    Simulator sim;
    sim.hostSend({0x00, 0x55}, kBootBaud);
    sim.hostSend({0xFF}, 9600);
    EXPECT_EQ(sim.runUntilWaiting(kBudget), RunEnd::Waiting);
    EXPECT_TRUE(sim.targetSent().empty());
    EXPECT_TRUE(sim.bootRomRunning());
    Boot(sim, kPlusOne);
    EXPECT_EQ(SentValues(sim), Download(kPlusOne));
    EXPECT_EQ(sim.peek(0x0000), kPlusOne[0]);
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

}  // namespace
