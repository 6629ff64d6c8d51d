// The talker's behaviour on the simulated chip: loaded through the boot ROM from TalkerImage,
// then driven at 9600 baud with the commands the host sends. Times are in E cycles at 2 MHz.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "simulator.h"
#include "srecord.h"
#include "talker_image.h"

namespace {

using hc11::RegisterWrite;
using hc11::RunEnd;
using Bytes = std::vector<uint8_t>;

constexpr unsigned kTalkerBaud = 9600;
constexpr unsigned kBootBaud = 1200;
constexpr unsigned kDownloadLength = 256;
constexpr uint64_t kCharCycles = 2083;      // ten bits at 9600 baud
constexpr uint64_t kEepromCycleOn = 20000;  // EPGM on for 10 ms
constexpr uint64_t kBulkEraseOn = 200000;   // EPGM on for 100 ms
constexpr uint64_t kDelayOverhead = 100;    // the delay's call, load and return
constexpr uint64_t kBudget = 10'000'000;    // 5 s: far beyond any one command

constexpr uint16_t kPprog = 0x103B;
constexpr uint16_t kConfig = 0x103F;
constexpr uint16_t kBprot = 0x1035;
constexpr uint8_t kEpgm = 0x01;  // PPROG: programming voltage on
constexpr uint16_t kEepromByte = 0xF900;
constexpr uint16_t kDeepestStackByte = 0x00F6;  // the stack may use $00F6-$00FF

uint8_t High(uint16_t word) {
    return uint8_t(word >> 8);
}
uint8_t Low(uint16_t word) {
    return uint8_t(word);
}

// The talker's machine code as the loader sends it: the S1 data of the image, in order.
Bytes TalkerBytes() {
    Bytes bytes;
    for (unsigned i = 0; i < dwTalkerImageLines; i++) {
        SRecord record{};
        if (ParseSRecordString(TalkerImage[i], &record) && record.wType == 1) {
            bytes.insert(bytes.end(), record.bData, record.bData + record.wLength);
        }
    }
    return bytes;
}

// The first RAM byte the talker leaves alone: after the code and its two variables.
uint16_t FirstFreeRamByte() {
    return uint16_t(TalkerBytes().size() + 2);
}

Bytes CommandFrame(char letter, uint16_t address, uint16_t count) {
    return {uint8_t(letter), High(address), Low(address), High(count), Low(count)};
}

class TalkerOnSim : public ::testing::Test {
  protected:
    void SetUp() override { BootTalker(); }

    // The host's download through the boot ROM: $FF, the talker, zeros up to 256 bytes,
    // every echo read at 1200 baud; then the talker's first byte at 9600 baud.
    void BootTalker() {
        Bytes talker = TalkerBytes();
        ASSERT_LE(talker.size(), kDownloadLength);
        Bytes download = talker;
        download.resize(kDownloadLength, 0x00);
        sim_.hostSend({0xFF}, kBootBaud);
        sim_.hostSend(download, kBootBaud);
        ASSERT_EQ(sim_.runUntilSent(kDownloadLength, kBudget), RunEnd::Reached);
        for (size_t i = 0; i < talker.size(); i++) {
            ASSERT_EQ(sim_.targetSent()[i].value, talker[i]) << "echo of byte " << i;
        }
        sim_.setHostBaud(kTalkerBaud);
        ASSERT_EQ(sim_.runUntilSent(kDownloadLength + 1, kBudget), RunEnd::Reached);
        firstByte_ = sim_.targetSent()[kDownloadLength].value;
        ASSERT_EQ(sim_.runUntilWaiting(kBudget), RunEnd::Waiting);
        read_ = sim_.targetSent().size();
    }

    // Sends bytes at 9600 baud and runs until the talker waits for more input; returns
    // everything it sent meanwhile. frameEnd_ is where the last byte sent ends on the line.
    Bytes Send(const Bytes &bytes) {
        writesSeen_ = sim_.registerWrites().size();
        frameEnd_ = sim_.cycles() + bytes.size() * kCharCycles;
        sim_.hostSend(bytes, kTalkerBaud);
        EXPECT_EQ(sim_.runUntilWaiting(kBudget), RunEnd::Waiting);
        return Received();
    }

    Bytes Received() {
        Bytes bytes;
        for (; read_ < sim_.targetSent().size(); read_++) {
            bytes.push_back(sim_.targetSent()[read_].value);
            lastArrival_ = sim_.targetSent()[read_].cycle;
        }
        return bytes;
    }

    // Writes to PPROG and CONFIG made by the last Send.
    std::vector<RegisterWrite> EepromControlWrites() const {
        std::vector<RegisterWrite> writes;
        const std::vector<RegisterWrite> &all = sim_.registerWrites();
        for (size_t i = writesSeen_; i < all.size(); i++) {
            if (all[i].address == kPprog || all[i].address == kConfig) writes.push_back(all[i]);
        }
        return writes;
    }

    Bytes PprogValues() const {
        Bytes values;
        for (const RegisterWrite &write : EepromControlWrites()) {
            if (write.address == kPprog) values.push_back(write.value);
        }
        return values;
    }

    // How long each EEPROM operation of the last Send kept EPGM on.
    std::vector<uint64_t> EpgmOnTimes() const {
        std::vector<uint64_t> times;
        uint64_t onAt = 0;
        for (const RegisterWrite &write : EepromControlWrites()) {
            if (write.address != kPprog) continue;
            if (write.value & kEpgm) onAt = write.cycle;
            if (write.value == 0x00 && onAt != 0) times.push_back(write.cycle - onAt);
            if (write.value == 0x00) onAt = 0;
        }
        return times;
    }

    // BPROT comes out of reset protecting the EEPROM; the host's "w" lifts it.
    void UnprotectEeprom(uint8_t bprot) {
        Bytes reply = Send(CommandFrame('w', kBprot, bprot));
        ASSERT_EQ(reply.size(), 2u);
        EXPECT_EQ(reply[1], '>');
    }

    hc11::Simulator sim_;
    uint8_t firstByte_ = 0;
    size_t read_ = 0;
    size_t writesSeen_ = 0;
    uint64_t frameEnd_ = 0;
    uint64_t lastArrival_ = 0;
};

TEST_F(TalkerOnSim, FirstSendsThePromptThenAnswersEverySyncAtOnce) {
    EXPECT_EQ(firstByte_, '>');
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(Send({'s'}), Bytes({'>'}));
        EXPECT_LE(lastArrival_ - frameEnd_, kCharCycles + 200);
    }
}

// Letters are compared exactly: the upper-case forms of "s", "r", "w", "p" and the lower-case
// forms of "W", "P", "B" are unknown like any other.
TEST_F(TalkerOnSim, UnknownLetterReadsItsFourFrameBytesThenAnswersQuestionMark) {
    for (char letter : {'x', 'S', 'R', 'b', '\0'}) {
        SCOPED_TRACE(std::string("letter ") + std::to_string(int(letter)));
        EXPECT_EQ(Send({uint8_t(letter)}), Bytes());
        EXPECT_EQ(Send({0x00, 0x10, 0x00}), Bytes());
        EXPECT_EQ(Send({0x01}), Bytes({'?', '>'}));
    }
}

TEST_F(TalkerOnSim, WriteRepliesTheByteReadBackAndReadThenFindsIt) {
    uint16_t address = FirstFreeRamByte();
    EXPECT_EQ(Send(CommandFrame('w', address, 0x5A)), Bytes({0x5A, '>'}));
    EXPECT_EQ(sim_.peek(address), 0x5A);
    EXPECT_EQ(Send(CommandFrame('r', address, 0x0000)), Bytes({0x5A, '>'}));
}

// Inside a frame an "s" is a number like any other, not a sync.
TEST_F(TalkerOnSim, SyncLetterInsideAFrameIsTakenAsItsValue) {
    uint16_t address = FirstFreeRamByte();
    EXPECT_EQ(Send(CommandFrame('w', address, 's')), Bytes({'s', '>'}));
}

// A plain store does not change an EEPROM byte: the reply is its old contents.
TEST_F(TalkerOnSim, WriteIntoEepromRepliesTheOldContents) {
    UnprotectEeprom(0x10);
    sim_.poke(kEepromByte, 0xC3);
    EXPECT_EQ(Send(CommandFrame('w', kEepromByte, 0x00)), Bytes({0xC3, '>'}));
    EXPECT_EQ(sim_.peek(kEepromByte), 0xC3);
    EXPECT_TRUE(PprogValues().empty());
}

TEST_F(TalkerOnSim, BlockWriteAnswersEachByteThenPrompts) {
    uint16_t address = FirstFreeRamByte();
    Bytes command = CommandFrame('W', address, 3);
    EXPECT_EQ(Send(command), Bytes());
    EXPECT_EQ(Send({0x11}), Bytes({0x11}));
    EXPECT_EQ(Send({0x22}), Bytes({0x22}));
    EXPECT_EQ(Send({0x33}), Bytes({0x33, '>'}));
    EXPECT_EQ(sim_.peek(address), 0x11);
    EXPECT_EQ(sim_.peek(address + 1), 0x22);
    EXPECT_EQ(sim_.peek(address + 2), 0x33);
}

class CountZeroBlockOnSim : public TalkerOnSim, public ::testing::WithParamInterface<char> {};

// A count of 0 stands for 65536 bytes: after its first byte the block goes on waiting for
// data instead of sending the prompt.
TEST_P(CountZeroBlockOnSim, WaitsForMoreAfterItsFirstByte) {
    char letter = GetParam();
    uint16_t address = letter == 'W' ? FirstFreeRamByte() : kEepromByte;
    UnprotectEeprom(0x10);
    sim_.poke(address, 0xFF);
    sim_.poke(address + 1, 0xFF);
    EXPECT_EQ(Send(CommandFrame(letter, address, 0)), Bytes());
    EXPECT_EQ(Send({0xA5}), Bytes({0xA5}));
    EXPECT_EQ(Send({'s'}), Bytes({'s'}));
    EXPECT_EQ(sim_.peek(address), 0xA5);
    EXPECT_EQ(sim_.peek(address + 1), 's');
}

INSTANTIATE_TEST_SUITE_P(Talker, CountZeroBlockOnSim, ::testing::Values('W', 'P'),
                         [](const ::testing::TestParamInfo<char> &info) {
                             return std::string(1, info.param);
                         });

struct ProgramCase {
    const char *name;
    char letter;
    uint8_t held;
    uint8_t value;
    Bytes pprog;  // the PPROG values written, in order
};

void PrintTo(const ProgramCase &c, std::ostream *out) {
    *out << c.name;
}

const Bytes kNoCycle = {};
const Bytes kProgramOnly = {0x02, 0x03, 0x00};
const Bytes kEraseThenProgram = {0x16, 0x17, 0x00, 0x02, 0x03, 0x00};

class ProgramByteOnSim : public TalkerOnSim, public ::testing::WithParamInterface<ProgramCase> {};

// One byte programmed by "p", or by a "P" block of one byte: an erase only where a 0 must
// become a 1, each EEPROM cycle holding EPGM on for 10 ms, the reply after the last one.
TEST_P(ProgramByteOnSim, ErasesOnlyWhereABitMustRise) {
    const ProgramCase &c = GetParam();
    UnprotectEeprom(0x10);
    sim_.poke(kEepromByte, c.held);
    Bytes reply;
    if (c.letter == 'p') {
        reply = Send(CommandFrame('p', kEepromByte, c.value));
    } else {
        EXPECT_EQ(Send(CommandFrame('P', kEepromByte, 1)), Bytes());
        reply = Send({c.value});
    }
    EXPECT_EQ(reply, Bytes({c.value, '>'}));
    EXPECT_EQ(sim_.peek(kEepromByte), c.value);
    EXPECT_EQ(PprogValues(), c.pprog);
    uint64_t cycles = c.pprog.size() / 3;
    for (uint64_t onTime : EpgmOnTimes()) {
        EXPECT_GE(onTime, kEepromCycleOn);
        EXPECT_LE(onTime, kEepromCycleOn + kDelayOverhead);
    }
    // The read-back follows the last cycle; the prompt comes one character later.
    uint64_t replyDelay = lastArrival_ - frameEnd_ - kCharCycles;
    EXPECT_GE(replyDelay, cycles * kEepromCycleOn);
    EXPECT_LE(replyDelay, cycles * (kEepromCycleOn + 2 * kDelayOverhead) + kCharCycles + 300);
}

// While a byte programs, the talker holds the next one in RAM and the SCI holds one more:
// three bytes sent back to back all land, with no overrun; a fourth would overrun.
TEST_F(TalkerOnSim, ProgrammingHoldsTwoBytesMoreWithoutOverrun) {
    UnprotectEeprom(0x10);
    const Bytes data = {0x01, 0x02, 0x03};
    Bytes frame = CommandFrame('P', kEepromByte, uint16_t(data.size()));
    frame.insert(frame.end(), data.begin(), data.end());
    EXPECT_EQ(Send(frame), Bytes({0x01, 0x02, 0x03, '>'}));
    EXPECT_EQ(sim_.stats().sci.overruns, 0u);
    for (size_t i = 0; i < data.size(); i++)
        EXPECT_EQ(sim_.peek(uint16_t(kEepromByte + i)), data[i]);
    Bytes tooMany = CommandFrame('P', kEepromByte + 8, 4);
    tooMany.insert(tooMany.end(), {0x04, 0x05, 0x06, 0x07});
    Send(tooMany);
    EXPECT_EQ(sim_.stats().sci.overruns, 1u);
}

const ProgramCase kProgramCases[] = {
    {"p_SameValue", 'p', 0x3C, 0x3C, kNoCycle},
    {"P_SameValue", 'P', 0x3C, 0x3C, kNoCycle},
    {"p_ZeroOntoErased", 'p', 0xFF, 0x00, kProgramOnly},
    {"P_ZeroOntoErased", 'P', 0xFF, 0x00, kProgramOnly},
    {"p_ErasedOntoZero", 'p', 0x00, 0xFF, kEraseThenProgram},
    {"P_ErasedOntoZero", 'P', 0x00, 0xFF, kEraseThenProgram},
    {"p_0FOntoF0", 'p', 0xF0, 0x0F, kEraseThenProgram},
    {"P_0FOntoF0", 'P', 0xF0, 0x0F, kEraseThenProgram},
    {"p_10Onto30", 'p', 0x30, 0x10, kProgramOnly},
    {"P_10Onto30", 'P', 0x30, 0x10, kProgramOnly},
};

INSTANTIATE_TEST_SUITE_P(Talker, ProgramByteOnSim, ::testing::ValuesIn(kProgramCases),
                         [](const ::testing::TestParamInfo<ProgramCase> &info) {
                             return std::string(info.param.name);
                         });

// "B": bulk erase latched at CONFIG for 100 ms, then CONFIG programmed for 10 ms; only the
// prompt comes back, about 110 ms after the frame. The store that latches the erase writes
// the CONFIG value (its value does not matter: the talker shares one EEPROM cycle routine).
TEST_F(TalkerOnSim, BulkEraseClearsTheArrayAndProgramsConfig) {
    UnprotectEeprom(0x00);
    sim_.poke(0xF800, 0x00);
    sim_.poke(0xFFFF, 0x12);
    sim_.poke(kConfig, 0x0F);
    EXPECT_EQ(Send(CommandFrame('B', 0xF800, 0xF5)), Bytes({'>'}));

    std::vector<RegisterWrite> writes = EepromControlWrites();
    std::vector<std::pair<uint16_t, uint8_t>> sequence;
    for (const RegisterWrite &write : writes) sequence.push_back({write.address, write.value});
    std::vector<std::pair<uint16_t, uint8_t>> expected = {
        {kPprog, 0x06}, {kConfig, 0xF5}, {kPprog, 0x07}, {kPprog, 0x00},
        {kPprog, 0x02}, {kConfig, 0xF5}, {kPprog, 0x03}, {kPprog, 0x00}};
    ASSERT_EQ(sequence, expected);

    uint64_t eraseOn = writes[3].cycle - writes[2].cycle;
    uint64_t programOn = writes[7].cycle - writes[6].cycle;
    EXPECT_GE(eraseOn, kBulkEraseOn);
    EXPECT_LE(eraseOn, kBulkEraseOn + kDelayOverhead);
    EXPECT_GE(programOn, kEepromCycleOn);
    EXPECT_LE(programOn, kEepromCycleOn + kDelayOverhead);
    uint64_t promptDelay = lastArrival_ - frameEnd_ - kCharCycles;
    EXPECT_GE(promptDelay, kBulkEraseOn + kEepromCycleOn);
    EXPECT_LE(promptDelay, kBulkEraseOn + kEepromCycleOn + kCharCycles + 500);

    EXPECT_EQ(sim_.peek(0xF800), 0xFF);
    EXPECT_EQ(sim_.peek(0xFFFF), 0xFF);
    EXPECT_EQ(sim_.peek(kConfig), 0xF5);
}

// Every command, the deepest paths included ("P" with an erase, "B"), leaves the RAM between
// the variables and $00F6 as it was: the stack never grows beyond 10 bytes.
TEST_F(TalkerOnSim, StackStaysWithinTenBytes) {
    const uint16_t first = FirstFreeRamByte();
    for (uint16_t address = first; address < kDeepestStackByte; address++) {
        sim_.poke(address, uint8_t(0xA0 + address));
    }
    UnprotectEeprom(0x00);
    sim_.poke(kEepromByte, 0x00);
    Send({'s'});
    Send(CommandFrame('x', 0, 0));
    Send(CommandFrame('r', kEepromByte, 0));
    Send(CommandFrame('p', kEepromByte, 0xF0));
    Send(CommandFrame('P', kEepromByte, 2));
    Send({0x0F});
    EXPECT_EQ(Send({0x55}), Bytes({0x55, '>'}));
    Send(CommandFrame('W', kEepromByte, 1));
    Send({0x00});
    EXPECT_EQ(Send(CommandFrame('B', 0xF800, 0xF5)), Bytes({'>'}));
    for (uint16_t address = first; address < kDeepestStackByte; address++) {
        EXPECT_EQ(sim_.peek(address), uint8_t(0xA0 + address)) << "RAM $" << std::hex << address;
    }
}

}  // namespace
