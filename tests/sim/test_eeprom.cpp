// The EEPROM's programming rules: PPROG sequences, the 10 ms rule, BPROT and CONFIG.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "eeprom.h"
#include "simulator.h"

namespace {

using hc11::Clock;
using hc11::Eeprom;
using hc11::Trace;
namespace pprog = hc11::pprog;
namespace bprot = hc11::bprot;

constexpr uint8_t kProgram = pprog::EELAT;
constexpr uint8_t kByteErase = pprog::BYTE | pprog::ERASE | pprog::EELAT;
constexpr uint8_t kRowErase = pprog::ROW | pprog::ERASE | pprog::EELAT;
constexpr uint8_t kBulkErase = pprog::ERASE | pprog::EELAT;
constexpr uint64_t kTenMs = 20000;  // at the default E clock of 2 MHz
constexpr uint16_t kConfig = 0x103F;

class EepromTest : public ::testing::Test {
  protected:
    // One operation as a program runs it: latch pattern, store, EPGM on, wait, PPROG $00.
    void Operate(uint8_t pattern, uint16_t address, uint8_t data, uint64_t onCycles = kTenMs) {
        eeprom.writePprog(pattern);
        Tick(4);
        Store(address, data);
        Tick(4);
        eeprom.writePprog(pattern | pprog::EPGM);
        Tick(onCycles);
        eeprom.writePprog(0x00);
        Tick(4);
    }
    void Store(uint16_t address, uint8_t data) {
        if (address == kConfig)
            eeprom.storeConfig(data);
        else
            eeprom.storeArray(address, data);
    }
    void Tick(uint64_t cycles) { clock.now += cycles; }
    void Fill(uint8_t value) {
        for (unsigned i = 0; i < 0x800u; i++) eeprom.setCell(uint16_t(0xF800 + i), value);
        eeprom.setCell(kConfig, value);
    }

    Clock clock;
    Trace trace;
    Eeprom eeprom{clock, trace, *GetDefaultPart()};
};

struct OperationCase {
    const char *name;
    uint8_t before;  // every cell, CONFIG included
    uint8_t pattern;
    uint16_t address;
    uint8_t data;
    uint64_t onCycles;
    std::vector<std::pair<uint16_t, uint8_t>> after;
};

class EepromOperation : public EepromTest, public ::testing::WithParamInterface<OperationCase> {};

TEST_P(EepromOperation, LeavesTheCellsAsTheManualSays) {
    const OperationCase &c = GetParam();
    Fill(c.before);
    eeprom.writeBprot(0x00, true);
    Operate(c.pattern, c.address, c.data, c.onCycles);
    for (const auto &[address, value] : c.after)
        EXPECT_EQ(eeprom.cell(address), value) << "at $" << std::hex << address;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, EepromOperation,
    ::testing::Values(
        OperationCase{"ProgramWithoutEraseAnds",
                      0xF0,
                      kProgram,
                      0xF900,
                      0x3C,
                      kTenMs,
                      {{0xF900, 0x30}, {0xF901, 0xF0}}},
        OperationCase{
            "ProgramCanOnlyClearBits", 0x0F, kProgram, 0xF900, 0xFF, kTenMs, {{0xF900, 0x0F}}},
        OperationCase{"EpgmOneCycleShortLeavesTheCell",
                      0xFF,
                      kProgram,
                      0xF900,
                      0x00,
                      kTenMs - 1,
                      {{0xF900, 0xFF}}},
        OperationCase{"ByteEraseSetsOneByte",
                      0x00,
                      kByteErase,
                      0xF905,
                      0x00,
                      kTenMs,
                      {{0xF905, 0xFF}, {0xF904, 0x00}, {0xF906, 0x00}}},
        OperationCase{
            "ShortByteEraseLeavesIt", 0x00, kByteErase, 0xF905, 0x00, 100, {{0xF905, 0x00}}},
        OperationCase{"RowEraseSetsSixteenBytes",
                      0x00,
                      kRowErase,
                      0xFA17,
                      0x00,
                      kTenMs,
                      {{0xFA0F, 0x00}, {0xFA10, 0xFF}, {0xFA1F, 0xFF}, {0xFA20, 0x00}}},
        OperationCase{"BulkEraseInTheArraySparesConfig",
                      0x00,
                      kBulkErase,
                      0xFC00,
                      0x00,
                      kTenMs,
                      {{0xF800, 0xFF}, {0xFFFF, 0xFF}, {kConfig, 0x00}}},
        OperationCase{"BulkEraseAtConfigTakesConfigToo",
                      0x00,
                      kBulkErase,
                      kConfig,
                      0x00,
                      kTenMs,
                      {{0xF800, 0xFF}, {0xFFFF, 0xFF}, {kConfig, 0xFF}}},
        OperationCase{"ByteEraseAtConfigErasesOnlyConfig",
                      0x00,
                      kByteErase,
                      kConfig,
                      0x00,
                      kTenMs,
                      {{kConfig, 0xFF}, {0xF800, 0x00}}},
        OperationCase{"ProgramConfig",
                      0xFF,
                      kProgram,
                      kConfig,
                      0x0D,
                      kTenMs,
                      {{kConfig, 0x0D}, {0xF800, 0xFF}}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EepromTest, EraseThenProgramGivesAnyValue) {
    Fill(0x0F);
    eeprom.writeBprot(0x00, true);
    Operate(kByteErase, 0xF800, 0x00);
    Operate(kProgram, 0xF800, 0xA5);
    EXPECT_EQ(eeprom.cell(0xF800), 0xA5);
    EXPECT_EQ(eeprom.stats().byteErase, 1u);
    EXPECT_EQ(eeprom.stats().program, 1u);
    EXPECT_EQ(eeprom.stats().busyCycles, 2 * kTenMs);
}

// A worn-out cell (hc11sim --fault stuck:ADDR) keeps its value through every operation
// that would change it; its neighbours, and the operations' time and counts, are as usual.
TEST_F(EepromTest, StuckCellsKeepTheirValueThroughProgramAndEveryErase) {
    Fill(0x5A);
    eeprom.writeBprot(0x00, true);
    eeprom.setStuck(0xF905);
    eeprom.setStuck(kConfig);
    Operate(kProgram, 0xF905, 0x00);
    Operate(kByteErase, 0xF905, 0x00);
    EXPECT_EQ(eeprom.cell(0xF905), 0x5A);
    Operate(kRowErase, 0xF900, 0x00);
    EXPECT_EQ(eeprom.cell(0xF905), 0x5A);
    EXPECT_EQ(eeprom.cell(0xF904), 0xFF);
    Operate(kBulkErase, kConfig, 0x00);
    Operate(kProgram, kConfig, 0x0D);
    EXPECT_EQ(eeprom.cell(0xF905), 0x5A);
    EXPECT_EQ(eeprom.cell(kConfig), 0x5A);
    EXPECT_EQ(eeprom.cell(0xFFFF), 0xFF);
    Operate(kProgram, 0xF906, 0x12);
    EXPECT_EQ(eeprom.cell(0xF906), 0x12);
    EXPECT_EQ(eeprom.stats().program, 3u);
    EXPECT_EQ(eeprom.stats().protectedOps, 0u) << "a stuck cell is no protected one";
    EXPECT_EQ(eeprom.stats().busyCycles, 6 * kTenMs);
}

struct ProtectionCase {
    uint8_t bprot;
    uint16_t address;
    bool changes;
};

class EepromProtection : public EepromTest, public ::testing::WithParamInterface<ProtectionCase> {};

TEST_P(EepromProtection, GuardsItsBlockOnly) {
    const ProtectionCase &c = GetParam();
    Fill(0xFF);
    eeprom.writeBprot(c.bprot, true);
    Operate(kProgram, c.address, 0x00);
    EXPECT_EQ(eeprom.cell(c.address), c.changes ? 0x00 : 0xFF);
    EXPECT_EQ(eeprom.stats().protectedOps, c.changes ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, EepromProtection,
    ::testing::Values(
        ProtectionCase{bprot::kResetValue, 0xF800, false},
        ProtectionCase{bprot::kResetValue, kConfig, false},
        ProtectionCase{bprot::BPRT0, 0xF9FF, false}, ProtectionCase{bprot::BPRT0, 0xFA00, true},
        ProtectionCase{bprot::BPRT1, 0xFA00, false}, ProtectionCase{bprot::BPRT1, 0xFBFF, false},
        ProtectionCase{bprot::BPRT1, 0xFC00, true}, ProtectionCase{bprot::BPRT2, 0xFC00, false},
        ProtectionCase{bprot::BPRT2, 0xFE00, true}, ProtectionCase{bprot::BPRT3, 0xFFFF, false},
        ProtectionCase{bprot::BPRT3, 0xF800, true}, ProtectionCase{bprot::PTCON, kConfig, false},
        ProtectionCase{bprot::PTCON, 0xF800, true}, ProtectionCase{0x0F, kConfig, true}));

TEST_F(EepromTest, BulkEraseSparesProtectedBlocksAndConfig) {
    Fill(0x00);
    eeprom.writeBprot(bprot::PTCON | bprot::BPRT2, true);
    Operate(kBulkErase, kConfig, 0x00);
    EXPECT_EQ(eeprom.cell(0xFBFF), 0xFF);
    EXPECT_EQ(eeprom.cell(0xFC00), 0x00);
    EXPECT_EQ(eeprom.cell(0xFDFF), 0x00);
    EXPECT_EQ(eeprom.cell(0xFE00), 0xFF);
    EXPECT_EQ(eeprom.cell(kConfig), 0x00);
}

TEST_F(EepromTest, ResetProtectsEverythingAgain) {
    eeprom.writeBprot(0x00, true);
    eeprom.reset();
    EXPECT_EQ(eeprom.bprot(), 0x1F);
}

TEST_F(EepromTest, BprotOnlySetsBitsWhenClearingIsNotAllowed) {
    eeprom.writeBprot(0x10, true);
    eeprom.writeBprot(0x00, false);
    EXPECT_EQ(eeprom.bprot(), 0x10);
    eeprom.writeBprot(0x01, false);
    EXPECT_EQ(eeprom.bprot(), 0x11);
}

// EPGM only turns on when EELAT was set by an earlier write.
TEST_F(EepromTest, EpgmSetTogetherWithEelatDoesNothing) {
    Fill(0xFF);
    eeprom.writeBprot(0x00, true);
    eeprom.writePprog(kProgram | pprog::EPGM);
    EXPECT_FALSE(eeprom.busy());
    eeprom.storeArray(0xF800, 0x00);
    Tick(2 * kTenMs);
    eeprom.writePprog(0x00);
    EXPECT_EQ(eeprom.cell(0xF800), 0xFF);
    EXPECT_EQ(eeprom.stats().program, 0u);
}

TEST_F(EepromTest, StoreWithoutEelatLatchesNothing) {
    Fill(0xFF);
    eeprom.writeBprot(0x00, true);
    eeprom.storeArray(0xF800, 0x00);
    eeprom.writePprog(kProgram);
    eeprom.writePprog(kProgram | pprog::EPGM);
    Tick(kTenMs);
    eeprom.writePprog(0x00);
    EXPECT_EQ(eeprom.cell(0xF800), 0xFF);
    EXPECT_EQ(eeprom.stats().program, 0u);
}

TEST_F(EepromTest, ArrayReadsFFWhileLatched) {
    eeprom.setCell(0xF800, 0x12);
    eeprom.writePprog(kProgram);
    EXPECT_EQ(eeprom.readArray(0xF800), 0xFF);
    eeprom.writePprog(0x00);
    EXPECT_EQ(eeprom.readArray(0xF800), 0x12);
}

TEST_F(EepromTest, ShortEpgmCountsAsAbortedAndItsTimeAsBusy) {
    Fill(0xFF);
    eeprom.writeBprot(0x00, true);
    Operate(kProgram, 0xF800, 0x00, 5000);
    EXPECT_EQ(eeprom.stats().aborted, 1u);
    EXPECT_EQ(eeprom.stats().program, 0u);
    EXPECT_EQ(eeprom.stats().busyCycles, 5000u);
    EXPECT_EQ(eeprom.stats().pprogWrites, 3u);
}

TEST_F(EepromTest, CompletionCycleIsTenMsAfterEpgmWentOn) {
    eeprom.writePprog(kProgram);
    eeprom.storeArray(0xF800, 0x00);
    EXPECT_EQ(eeprom.completionCycle(), 0u);
    Tick(7);
    eeprom.writePprog(kProgram | pprog::EPGM);
    EXPECT_EQ(eeprom.completionCycle(), 7 + kTenMs);
}

}  // namespace

namespace {

// A program in RAM (bootstrap mode) that programs $5A into $F900 with a delay loop counted
// for 10 ms at E = 2 MHz (2,900 passes of 7 cycles), after writing OPTION (DLY, and CSEL
// as asked).
std::vector<uint8_t> ProgramWithFixedDelay(bool csel) {
    return {0xCE, 0x10,
            0x00,                               // $0000 LDX  #$1000
            0x6F, 0x35,                         //       CLR  BPROT,X
            0x86, uint8_t(csel ? 0x50 : 0x10),  //       LDAA #DLY (+CSEL)
            0xA7, 0x39,                         //       STAA OPTION,X
            0x86, 0x02,
            0xA7, 0x3B,  //       PPROG <- EELAT
            0x86, 0x5A,
            0xB7, 0xF9,
            0x00,  //       $F900 <- $5A
            0x86, 0x03,
            0xA7, 0x3B,  //       PPROG <- EELAT EPGM
            0x18, 0xCE,
            0x0B, 0x54,  //       LDY  #2900
            0x18, 0x09,
            0x26, 0xFC,   // $001A DEY; BNE $001A
            0x6F, 0x3B,   //       CLR  PPROG,X
            0x20, 0xFE};  //       BRA  *
}

struct CrystalCase {
    double mhz;
    bool csel;
    bool programmed;
};

// The EEPROM wants 10 ms of real time: a delay loop long enough at 8 MHz is too short at 12
// or 16 MHz. Below E = 1 MHz it wants CSEL set (and 20 ms).
TEST(EepromProgram, DelayMustLastTheTimeAtTheCrystalsClock) {
    const CrystalCase cases[] = {{8, false, true},   {4.9152, false, true}, {12, false, false},
                                 {16, false, false}, {2, true, true},       {2, false, false}};
    for (const CrystalCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.mhz << " MHz, CSEL " << c.csel);
        hc11::SimConfig config;
        config.crystalHz = c.mhz * 1e6;
        hc11::Simulator sim(config);
        sim.poke(0xF900, 0xFF);
        sim.load(0x0000, ProgramWithFixedDelay(c.csel));
        sim.startAt(0x0000);
        sim.runCycles(100'000);
        EXPECT_EQ(sim.peek(0xF900), c.programmed ? 0x5A : 0xFF);
        EXPECT_EQ(sim.stats().eeprom.aborted, c.programmed ? 0u : 1u);
    }
}

}  // namespace
