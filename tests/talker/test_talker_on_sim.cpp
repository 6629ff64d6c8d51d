// The talker's behaviour on the simulated chip: loaded through the boot ROM from TalkerImage,
// then driven at 9600 baud with the commands the host sends. Times are in E cycles at 2 MHz.
#include <gtest/gtest.h>

#include <algorithm>
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

// The talker with the values the host patches for another E clock replaced.
Bytes PatchedTalker(uint8_t baud, uint16_t shortPasses, uint16_t longPasses) {
    Bytes bytes = TalkerBytes();
    bytes[TALKER_BAUD_OFFSET] = baud;
    bytes[TALKER_SHORT_DELAY_OFFSET] = High(shortPasses);
    bytes[TALKER_SHORT_DELAY_OFFSET + 1] = Low(shortPasses);
    bytes[TALKER_LONG_DELAY_OFFSET] = High(longPasses);
    bytes[TALKER_LONG_DELAY_OFFSET + 1] = Low(longPasses);
    return bytes;
}

uint16_t ImageWord(unsigned offset) {
    Bytes bytes = TalkerBytes();
    return uint16_t(bytes[offset] << 8 | bytes[offset + 1]);
}

// The first RAM byte the talker leaves alone: after the code and its variables.
uint16_t FirstFreeRamByte() {
    return uint16_t(TALKER_FREE_RAM_START);
}

// x times a in GF(2^8) modulo x^8 + x^4 + x^3 + x^2 + 1.
uint8_t TimesX(uint8_t a) {
    return uint8_t(a << 1 ^ (a & 0x80 ? 0x1D : 0));
}

// The check bytes of one span of "R", from the weights its definition gives: byte i of n
// counts once in the XOR and 1 + x + ... + x^(n-1-i) times in the sum (talker.s states the
// running form, which the talker and the host compute).
Bytes SpanCheckBytes(const Bytes &span) {
    uint8_t xorSum = 0, gfSum = 0;
    for (size_t i = 0; i < span.size(); i++) {
        xorSum ^= span[i];
        uint8_t weight = 0, power = 1;
        for (size_t k = 0; k < span.size() - i; k++, power = TimesX(power)) weight ^= power;
        for (uint8_t bit = 0x80, product = 0; bit != 0; bit >>= 1) {  // span[i] * weight
            product = TimesX(product);
            if (span[i] & bit) product ^= weight;
            if (bit == 1) gfSum ^= product;
        }
    }
    return {xorSum, gfSum};
}

// A block read's answer for bytes read from address on: the bytes in spans that end after an
// address whose low seven bits are all ones, each span followed by its check bytes.
Bytes InSpans(uint16_t address, const Bytes &bytes) {
    Bytes answer, span;
    for (size_t i = 0; i < bytes.size(); i++) {
        span.push_back(bytes[i]);
        if ((uint16_t(address + i) & 0x7F) != 0x7F && i + 1 != bytes.size()) continue;
        Bytes check = SpanCheckBytes(span);
        answer.insert(answer.end(), span.begin(), span.end());
        answer.insert(answer.end(), check.begin(), check.end());
        span.clear();
    }
    return answer;
}

Bytes CommandFrame(char letter, uint16_t address, uint16_t count) {
    return {uint8_t(letter), High(address), Low(address), High(count), Low(count)};
}

class TalkerOnSim : public ::testing::Test {
  protected:
    TalkerOnSim() = default;
    explicit TalkerOnSim(const hc11::SimConfig &config) : sim_(config) {}

    void SetUp() override { BootTalker(TalkerBytes(), kTalkerBaud); }

    // The host's download through the boot ROM: $FF, the talker, zeros up to 256 bytes,
    // every echo read at 1200 baud, the last one too (the talker lets it go out before it
    // changes BAUD); then the talker's first byte at its own rate.
    void BootTalker(const Bytes &talker, unsigned talkerBaud) {
        ASSERT_LE(talker.size(), kDownloadLength);
        Bytes download = talker;
        download.resize(kDownloadLength, 0x00);
        sim_.hostSend({0xFF}, kBootBaud);
        sim_.hostSend(download, kBootBaud);
        ASSERT_EQ(sim_.runUntilSent(kDownloadLength, kBudget), RunEnd::Reached);
        for (size_t i = 0; i < download.size(); i++) {
            ASSERT_EQ(sim_.targetSent()[i].value, download[i]) << "echo of byte " << i;
        }
        talkerBaud_ = talkerBaud;
        sim_.setHostBaud(talkerBaud);
        ASSERT_EQ(sim_.runUntilSent(kDownloadLength + 1, kBudget), RunEnd::Reached);
        firstByte_ = sim_.targetSent()[kDownloadLength].value;
        ASSERT_EQ(sim_.runUntilWaiting(kBudget), RunEnd::Waiting);
        read_ = sim_.targetSent().size();
    }

    // Sends bytes at 9600 baud and runs until the talker waits for more input; returns
    // everything it sent meanwhile. frameEnd_ is where the last byte sent ends on the line.
    Bytes Send(const Bytes &bytes, uint64_t budget = kBudget) {
        writesSeen_ = sim_.registerWrites().size();
        frameEnd_ = sim_.cycles() + bytes.size() * kCharCycles;
        sim_.hostSend(bytes, talkerBaud_);
        EXPECT_EQ(sim_.runUntilWaiting(budget), RunEnd::Waiting);
        return Received();
    }

    Bytes Received() {
        Bytes bytes;
        longestGap_ = 0;
        for (; read_ < sim_.targetSent().size(); read_++) {
            bytes.push_back(sim_.targetSent()[read_].value);
            if (bytes.size() > 1)
                longestGap_ = std::max(longestGap_, Arrival(read_) - lastArrival_);
            lastArrival_ = Arrival(read_);
        }
        return bytes;
    }

    uint64_t Arrival(size_t index) const { return sim_.targetSent()[index].cycle; }

    // What a block read of the range should answer: its bytes as the chip holds them in
    // spans with their check bytes, then the prompt.
    Bytes BlockReadAnswer(uint16_t address, size_t count) const {
        Bytes answer = InSpans(address, ChipBytes(address, count));
        answer.push_back('>');
        return answer;
    }

    Bytes ChipBytes(uint16_t address, size_t count) const {
        Bytes bytes;
        for (size_t i = 0; i < count; i++) bytes.push_back(sim_.peek(uint16_t(address + i)));
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
    unsigned talkerBaud_ = kTalkerBaud;
    uint8_t firstByte_ = 0;
    size_t read_ = 0;
    size_t writesSeen_ = 0;
    uint64_t frameEnd_ = 0;
    uint64_t lastArrival_ = 0;
    uint64_t longestGap_ = 0;  // between two bytes the last Send brought
};

TEST_F(TalkerOnSim, FirstSendsThePromptThenAnswersEverySyncAtOnce) {
    EXPECT_EQ(firstByte_, '>');
    for (uint8_t sync : {uint8_t('s'), uint8_t(0xFF), uint8_t('s'), uint8_t(0xFF)}) {
        EXPECT_EQ(Send({sync}), Bytes({'>'}));
        EXPECT_LE(lastArrival_ - frameEnd_, kCharCycles + 200);
    }
}

// Letters are compared exactly: "S" (the sync's upper case), "b" (the bulk erase's lower case)
// and "Q" (beside "R") are unknown like any other.
TEST_F(TalkerOnSim, UnknownLetterReadsItsFourFrameBytesThenAnswersQuestionMark) {
    for (char letter : {'x', 'S', 'Q', 'b', '\0'}) {
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

// The deepest the stack grows, measured: its room below the bytes in use while the talker
// waits for a letter (the loop's return and receive's) is filled with a value, every command
// runs, the deepest paths included ("P" with an erase, "B", "R" across a span), and the lowest
// byte changed marks the depth; twice, with complementary values, since a push may store the
// value a byte held. It is the depth the generator worked out from the source, within the
// room, and the free RAM above the variables stays as it was.
TEST_F(TalkerOnSim, StackGrowsAsDeepAsWorkedOutFromTheSource) {
    const unsigned waitingDepth = 4;
    const uint16_t bottom = uint16_t(TALKER_STACK_TOP - TALKER_STACK_BYTES + 1);
    for (uint16_t address = FirstFreeRamByte(); address <= TALKER_FREE_RAM_END; address++)
        sim_.poke(address, uint8_t(0xA0 + address));
    UnprotectEeprom(0x00);
    unsigned deepest = waitingDepth;
    for (uint8_t fill : {uint8_t(0x00), uint8_t(0xFF)}) {
        for (uint16_t address = bottom; address <= TALKER_STACK_TOP - waitingDepth; address++)
            sim_.poke(address, fill);
        sim_.poke(kEepromByte, 0x00);
        for (const Bytes &command : {Bytes{'s'},
                                     CommandFrame('x', 0, 0),
                                     CommandFrame('r', kEepromByte, 0),
                                     CommandFrame('p', kEepromByte, 0xF0),
                                     CommandFrame('P', kEepromByte, 2),
                                     {0x0F},
                                     {0x55},
                                     CommandFrame('W', kEepromByte, 1),
                                     {0x00},
                                     CommandFrame('R', 0xF87E, 4),
                                     CommandFrame('B', 0xF800, 0xF5)})
            Send(command);
        for (uint16_t address = bottom; address <= TALKER_STACK_TOP - waitingDepth; address++) {
            if (sim_.peek(address) == fill) continue;
            deepest = std::max(deepest, unsigned(TALKER_STACK_TOP - address + 1));
            break;
        }
    }
    EXPECT_EQ(deepest, TALKER_STACK_DEEPEST);
    EXPECT_LE(deepest, TALKER_STACK_BYTES);
    EXPECT_EQ(sim_.peek(kConfig), 0xF5) << "the commands ran to the last";
    for (uint16_t address = FirstFreeRamByte(); address <= TALKER_FREE_RAM_END; address++)
        EXPECT_EQ(sim_.peek(address), uint8_t(0xA0 + address)) << "RAM $" << std::hex << address;
}

class UnbootedTalkerOnSim : public TalkerOnSim {
  protected:
    void SetUp() override {}
};

struct BlockReadCase {
    const char *name;
    uint16_t address;
    uint16_t count;
};

void PrintTo(const BlockReadCase &c, std::ostream *out) {
    *out << c.name;
}

class BlockReadOnSim : public TalkerOnSim, public ::testing::WithParamInterface<BlockReadCase> {
  protected:
    // Distinct values in the EEPROM and the free RAM, so that a byte out of place shows.
    void FillMemory() {
        for (unsigned address = 0xF800; address <= 0xFFFF; address++)
            sim_.poke(uint16_t(address), uint8_t(address * 7 + (address >> 8)));
        for (unsigned address = FirstFreeRamByte(); address <= TALKER_FREE_RAM_END; address++)
            sim_.poke(uint16_t(address), uint8_t(0x5A ^ address));
    }
};

// "R" answers the range's bytes back to back, one character time apart, without a byte from
// the host, each span followed by its check bytes, then the prompt.
TEST_P(BlockReadOnSim, SendsTheBytesInSpansWithTheirCheckBytesThenThePrompt) {
    const BlockReadCase &c = GetParam();
    FillMemory();
    Bytes expected = BlockReadAnswer(c.address, c.count);
    EXPECT_EQ(Send(CommandFrame('R', c.address, c.count)), expected);
    if (c.count > 1) {
        EXPECT_LE(longestGap_, kCharCycles + 20);
    }
    EXPECT_EQ(BlockReadAnswer(c.address, c.count), expected) << "the read changed the memory";
}

// The talker's code past its start-up (whose bytes hold the stack and variables, which the
// read itself changes), the free RAM, EEPROM in 16 spans, the boot ROM; one byte; ranges that
// start and end inside spans (the wrap from $FFFF to $0000: BlockReadOfCountZeroSendsAllMemory).
const BlockReadCase kBlockReadCases[] = {
    {"TalkerCode", uint16_t(TALKER_FREE_RAM_END + 1), uint16_t(0xFF - TALKER_FREE_RAM_END)},
    {"FreeRam", uint16_t(TALKER_FREE_RAM_START),
     uint16_t(TALKER_FREE_RAM_END - TALKER_FREE_RAM_START + 1)},
    {"WholeEeprom", 0xF800, 0x0800},
    {"BootRom", 0xBF40, 0x00C0},
    {"OneByte", 0xF9AB, 1},
    {"AcrossSpans", 0xF87E, 0x0103},
    {"LastByteOfASpan", 0xF97F, 1},
};

INSTANTIATE_TEST_SUITE_P(Talker, BlockReadOnSim, ::testing::ValuesIn(kBlockReadCases),
                         [](const ::testing::TestParamInfo<BlockReadCase> &info) {
                             return std::string(info.param.name);
                         });

// A count of 0 reads all 65536 addresses, from the frame's address round to it again, in 512
// spans; the bytes the talker does not change while it reads come as the chip holds them.
TEST_F(TalkerOnSim, BlockReadOfCountZeroSendsAllMemory) {
    const uint16_t start = 0xF800;
    const uint64_t budget = 70000 * kCharCycles;
    Bytes expected = BlockReadAnswer(start, 0x800);
    Bytes reply = Send(CommandFrame('R', start, 0), budget);
    ASSERT_EQ(reply.size(), 65536u + 512 * 2 + 1);
    EXPECT_EQ(reply.back(), '>');
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + expected.size() - 1),
              Bytes(expected.begin(), expected.end() - 1));
    const size_t talkerRam = (0x800 / 128) * 130;  // $0000 comes after $F800-$FFFF's 16 spans
    Bytes answer = BlockReadAnswer(0x0000, 0x80);
    EXPECT_EQ(
        Bytes(reply.begin() + talkerRam + TALKER_FREE_RAM_START, reply.begin() + talkerRam + 0x80),
        Bytes(answer.begin() + TALKER_FREE_RAM_START, answer.begin() + 0x80));
}

// At the SCI's fastest rate, 125000 baud (160 cycles a character at 2 MHz), the read loop
// still keeps the line busy: one character time between bytes.
TEST_F(UnbootedTalkerOnSim, BlockReadKeepsUpWithTheFastestRate) {
    const unsigned fastestBaud = 125000;
    const uint64_t fastestCharCycles = 160;
    BootTalker(PatchedTalker(0x80, ImageWord(TALKER_SHORT_DELAY_OFFSET),
                             ImageWord(TALKER_LONG_DELAY_OFFSET)),
               fastestBaud);
    EXPECT_EQ(firstByte_, '>');
    for (unsigned address = 0xF800; address <= 0xFFFF; address++)
        sim_.poke(uint16_t(address), uint8_t(address ^ (address >> 8)));
    EXPECT_EQ(Send(CommandFrame('R', 0xF800, 0x0800)), BlockReadAnswer(0xF800, 0x0800));
    EXPECT_LE(longestGap_, fastestCharCycles + 2);
}

// What the line does to the "R" answer's third byte, counted over the session: the boot
// ROM's 256 echoes and the talker's first prompt come before it.
constexpr uint32_t kThirdBlockByte = kDownloadLength + 1 + 3;

hc11::SimConfig LineFault(hc11::FaultKind kind) {
    hc11::SimConfig config;
    config.faults.push_back({kind, kThirdBlockByte});
    return config;
}

template <hc11::FaultKind kKind>
class TalkerOnFaultyLine : public TalkerOnSim {
  protected:
    TalkerOnFaultyLine() : TalkerOnSim(LineFault(kKind)) {}
};

using CorruptingLine = TalkerOnFaultyLine<hc11::FaultKind::Corrupt>;
using DroppingLine = TalkerOnFaultyLine<hc11::FaultKind::Drop>;

// A byte the host hears wrong makes the check bytes disagree with what it heard, while they
// still match what the chip holds.
TEST_F(CorruptingLine, BlockReadCheckBytesShowTheWrongByte) {
    const uint16_t start = 0xF800, count = 16;
    for (uint16_t i = 0; i < count; i++) sim_.poke(uint16_t(start + i), uint8_t(0x30 + i));
    Bytes reply = Send(CommandFrame('R', start, count));
    ASSERT_EQ(reply.size(), count + 3u);
    Bytes heard(reply.begin(), reply.begin() + count);
    EXPECT_EQ(heard[2], uint8_t(~sim_.peek(start + 2)));
    Bytes check(reply.begin() + count, reply.begin() + count + 2);
    EXPECT_NE(check, SpanCheckBytes(heard));
    EXPECT_EQ(check, SpanCheckBytes(ChipBytes(start, count)));
}

// A byte lost on the line leaves the host one byte short of count + 3: it waits in vain.
TEST_F(DroppingLine, BlockReadComesOneByteShort) {
    EXPECT_EQ(Send(CommandFrame('R', 0xF800, 16)).size(), 16u + 2);
}

// The host patches the image for another E clock. Here the E clock stays at 2 MHz and the
// patched values give other rates and times, which the simulated chip holds the talker to.
struct PatchCase {
    const char *name;
    uint8_t baud;
    unsigned hostBaud;
    uint16_t shortPasses;  // 0: the image's own
    bool programs;         // EPGM stays on long enough for the EEPROM to take the byte
};

void PrintTo(const PatchCase &c, std::ostream *out) {
    *out << c.name;
}

class PatchedTalkerOnSim : public TalkerOnSim, public ::testing::WithParamInterface<PatchCase> {
  protected:
    void SetUp() override {
        const PatchCase &c = GetParam();
        shortPasses_ = c.shortPasses ? c.shortPasses : ImageWord(TALKER_SHORT_DELAY_OFFSET);
        Bytes talker = PatchedTalker(c.baud, shortPasses_, ImageWord(TALKER_LONG_DELAY_OFFSET));
        BootTalker(talker, c.hostBaud);
    }
    uint16_t shortPasses_ = 0;
};

// The talker answers at the patched rate and holds EPGM on for the patched passes, each
// TALKER_DELAY_PASS_CYCLES long; a count short of 10 ms leaves the EEPROM byte unchanged.
TEST_P(PatchedTalkerOnSim, RunsAtThePatchedRateAndDelay) {
    const PatchCase &c = GetParam();
    EXPECT_EQ(firstByte_, '>');
    UnprotectEeprom(0x10);
    uint8_t readBack = c.programs ? 0x42 : 0xFF;
    EXPECT_EQ(Send(CommandFrame('p', kEepromByte, 0x42)), Bytes({readBack, '>'}));
    EXPECT_EQ(sim_.peek(kEepromByte), readBack);
    std::vector<uint64_t> onTimes = EpgmOnTimes();
    ASSERT_EQ(onTimes.size(), 1u);
    uint64_t passCycles = uint64_t(shortPasses_) * TALKER_DELAY_PASS_CYCLES;
    EXPECT_GE(onTimes[0], passCycles);
    EXPECT_LE(onTimes[0], passCycles + kDelayOverhead);
}

const PatchCase kPatchCases[] = {
    {"HalfTheRate", 0xB1, 4800, 0, true},            // SCR = 1: 2 MHz / (16 * 13 * 2) = 4808 baud
    {"TwentyMilliseconds", 0xB0, 9600, 2353, true},  // as below E = 1 MHz, with CSEL
    {"ShortOfTenMilliseconds", 0xB0, 9600, 1100, false},
};

INSTANTIATE_TEST_SUITE_P(Talker, PatchedTalkerOnSim, ::testing::ValuesIn(kPatchCases),
                         [](const ::testing::TestParamInfo<PatchCase> &info) {
                             return std::string(info.param.name);
                         });

// The bulk erase holds EPGM on for the patched long count.
TEST_F(UnbootedTalkerOnSim, PatchedLongDelayTimesTheBulkErase) {
    BootTalker(PatchedTalker(0xB0, ImageWord(TALKER_SHORT_DELAY_OFFSET), 30000), kTalkerBaud);
    UnprotectEeprom(0x00);
    EXPECT_EQ(Send(CommandFrame('B', 0xF800, 0xF5)), Bytes({'>'}));
    std::vector<uint64_t> onTimes = EpgmOnTimes();
    ASSERT_EQ(onTimes.size(), 2u);
    EXPECT_GE(onTimes[0], 30000u * TALKER_DELAY_PASS_CYCLES);
    EXPECT_LE(onTimes[0], 30000u * TALKER_DELAY_PASS_CYCLES + kDelayOverhead);
    EXPECT_EQ(sim_.peek(kConfig), 0xF5);
}

}  // namespace
