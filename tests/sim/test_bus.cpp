// The memory map as the CPU sees it: RAM, registers, boot ROM, EEPROM, external RAM, and the
// modes that HPRIO selects.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "bus.h"
#include "chip_devices.h"

namespace {

using hc11::AddressRange;
using hc11::Bus;
using hc11::Clock;
using hc11::Trace;
namespace hprio = hc11::hprio;

constexpr uint16_t kHprio = 0x103C;
constexpr uint16_t kBprot = 0x1035;
constexpr uint16_t kPprog = 0x103B;
constexpr uint16_t kConfig = 0x103F;

class BusTest : public ::testing::Test {
  protected:
    void SetUp() override { traceFile = std::tmpfile(); }
    void TearDown() override { std::fclose(traceFile); }

    std::string TraceText() {
        std::fflush(traceFile);
        std::rewind(traceFile);
        std::string text;
        for (int c; (c = std::fgetc(traceFile)) != EOF;) text += char(c);
        return text;
    }

    std::FILE *traceFile = nullptr;
    Clock clock;
    Trace trace{nullptr};
};

struct MapCase {
    const char *name;
    uint16_t address;
    uint8_t stored;    // value stored by the CPU
    uint8_t readBack;  // what the CPU reads afterwards
};

class SingleChipMap : public BusTest, public ::testing::WithParamInterface<MapCase> {};

TEST_P(SingleChipMap, ReadsBackWhatTheChipHolds) {
    const MapCase &c = GetParam();
    Bus bus(clock, trace);
    bus.poke(0xF800, 0x77);
    bus.write(c.address, c.stored);
    EXPECT_EQ(bus.read(c.address), c.readBack);
}

INSTANTIATE_TEST_SUITE_P(Addresses, SingleChipMap,
                         ::testing::Values(MapCase{"RamBottom", 0x0000, 0x12, 0x12},
                                           MapCase{"RamTop", 0x00FF, 0x34, 0x34},
                                           MapCase{"AboveRam", 0x0100, 0x56, 0xFF},
                                           MapCase{"BelowRegisters", 0x0FFF, 0x56, 0xFF},
                                           MapCase{"UnmodelledRegisterReadsItsResetValue", 0x1000,
                                                   0xA5, 0x00},
                                           MapCase{"OutputCompareResetsToFFFF", 0x1016, 0x12, 0xFF},
                                           MapCase{"AboveRegisters", 0x1040, 0x56, 0xFF},
                                           MapCase{"Middle", 0x8000, 0x56, 0xFF},
                                           MapCase{"BootRomIgnoresStores", 0xBFFE, 0x00, 0xBF},
                                           MapCase{"PlainStoreLeavesEeprom", 0xF800, 0x00, 0x77}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(BusTest, BootRomVectorsPointAtRamPseudoVectors) {
    Bus bus(clock, trace);
    const struct {
        uint16_t vector, target;
    } cases[] = {{0xBFD6, 0x00C4}, {0xBFD8, 0x00C7}, {0xBFE0, 0x00D3}, {0xBFF0, 0x00EB},
                 {0xBFF2, 0x00EE}, {0xBFF4, 0x00F1}, {0xBFF6, 0x00F4}, {0xBFF8, 0x00F7},
                 {0xBFFA, 0x00FA}, {0xBFFC, 0x00FD}, {0xBFFE, 0xBF40}};
    for (const auto &c : cases) {
        uint16_t target = uint16_t(bus.read(c.vector) << 8 | bus.read(uint16_t(c.vector + 1)));
        EXPECT_EQ(target, c.target) << "vector at $" << std::hex << c.vector;
    }
    EXPECT_EQ(bus.vectorBase(), 0xBFC0);
}

struct HprioCase {
    const char *name;
    uint8_t written;
    uint8_t readBack;
    bool bootRom;
    bool expanded;
    uint16_t vectorBase;
};

class HprioWrite : public BusTest, public ::testing::WithParamInterface<HprioCase> {};

TEST_P(HprioWrite, SelectsTheMode) {
    const HprioCase &c = GetParam();
    Bus bus(clock, trace);
    bus.write(kHprio, c.written);
    EXPECT_EQ(bus.read(kHprio), c.readBack);
    EXPECT_EQ(bus.bootRomMapped(), c.bootRom);
    EXPECT_EQ(bus.expanded(), c.expanded);
    EXPECT_EQ(bus.vectorBase(), c.vectorBase);
    EXPECT_EQ(bus.read(0xBFFE), c.bootRom ? 0xBF : 0xFF);
}

INSTANTIATE_TEST_SUITE_P(
    Values, HprioWrite,
    ::testing::Values(HprioCase{"ExpandedBusAsTheHostWritesIt", 0x65, 0x65, false, true, 0xBFC0},
                      HprioCase{"KeepBootRomSetMda", 0xE5, 0xE5, true, true, 0xBFC0},
                      HprioCase{"ClearRbootOnly", 0x45, 0x45, false, false, 0xBFC0},
                      HprioCase{"LeaveSpecialModes", 0x05, 0x05, false, false, 0xFFC0},
                      HprioCase{"PriorityBitsOnly", 0xC0, 0xC0, true, false, 0xBFC0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(BusTest, NormalModeCannotReturnToSpecialOrChangeRboot) {
    Bus bus(clock, trace);
    bus.write(kHprio, 0x05);
    bus.write(kHprio, 0xE5);
    EXPECT_EQ(bus.read(kHprio), 0x05);
}

TEST_F(BusTest, ExternalRamAnswersOnlyInExpandedMode) {
    Bus bus(clock, trace, *GetDefaultPart(), AddressRange{0x2000, 0x7FFF});
    bus.write(0x2000, 0x42);
    EXPECT_EQ(bus.read(0x2000), 0xFF);
    bus.write(kHprio, 0x65);
    EXPECT_EQ(bus.read(0x2000), 0x00) << "the single-chip store went nowhere";
    bus.write(0x2000, 0x42);
    bus.write(0x7FFF, 0x43);
    EXPECT_EQ(bus.read(0x2000), 0x42);
    EXPECT_EQ(bus.read(0x7FFF), 0x43);
    EXPECT_EQ(bus.read(0x8000), 0xFF);
    EXPECT_EQ(bus.read(0x1FFF), 0xFF);
}

TEST_F(BusTest, ChipMemoriesHideExternalRamBehindThem) {
    Bus bus(clock, trace, *GetDefaultPart(), AddressRange{0x0000, 0xFFFF});
    bus.write(kHprio, 0x65);
    bus.poke(0xF800, 0x77);
    bus.write(0x0010, 0x11);
    bus.write(0xF800, 0x22);
    EXPECT_EQ(bus.read(0x0010), 0x11);
    EXPECT_EQ(bus.read(0xF800), 0x77);
    EXPECT_EQ(bus.read(0xBFFE), 0x00) << "RBOOT clear: external RAM under the boot ROM";
}

TEST_F(BusTest, UnmodelledRegisterAccessIsTraced) {
    Trace traced(traceFile);
    Bus bus(clock, traced);
    bus.write(0x1031, 0x12);
    bus.read(0x1031);
    std::string text = TraceText();
    EXPECT_NE(text.find("store of $12 to ADR1 ($1031) is not modelled"), std::string::npos) << text;
    EXPECT_NE(text.find("read of ADR1 ($1031) is not modelled"), std::string::npos) << text;
}

TEST_F(BusTest, EepromControlWritesAreLoggedWithTheirCycle) {
    Bus bus(clock, trace);
    clock.now = 100;
    bus.write(kPprog, 0x02);
    bus.write(0x102B, 0x30);  // BAUD: not logged
    clock.now = 200;
    bus.write(kBprot, 0x00);
    bus.write(kConfig, 0x0D);
    bus.write(kHprio, 0xE5);
    ASSERT_EQ(bus.registerWrites().size(), 4u);
    const hc11::RegisterWrite expected[] = {
        {kPprog, 0x02, 100}, {kBprot, 0x00, 200}, {kConfig, 0x0D, 200}, {kHprio, 0xE5, 200}};
    for (size_t i = 0; i < 4; i++) {
        EXPECT_EQ(bus.registerWrites()[i].address, expected[i].address);
        EXPECT_EQ(bus.registerWrites()[i].value, expected[i].value);
        EXPECT_EQ(bus.registerWrites()[i].cycle, expected[i].cycle);
    }
}

TEST_F(BusTest, BprotClearsAnyTimeInSpecialModesButOnlyEarlyInNormalOnes) {
    Bus bus(clock, trace);
    clock.now = 1000;
    bus.write(kBprot, 0x00);
    EXPECT_EQ(bus.read(kBprot), 0x00);
    bus.write(kBprot, 0x1F);
    bus.write(kHprio, 0x05);
    bus.write(kBprot, 0x00);
    EXPECT_EQ(bus.read(kBprot), 0x1F) << "normal mode, long after reset";
    bus.reset();
    bus.write(kHprio, 0x05);
    clock.now += 63;
    bus.write(kBprot, 0x10);
    EXPECT_EQ(bus.read(kBprot), 0x10) << "within 64 cycles of reset";
}

TEST_F(BusTest, EepromProgrammedThroughTheRegisterBlock) {
    Bus bus(clock, trace);
    bus.poke(0xF900, 0xFF);
    bus.write(kBprot, 0x00);
    bus.write(kPprog, 0x02);
    bus.write(0xF900, 0x5A);
    EXPECT_EQ(bus.read(0xF900), 0xFF) << "latched: the array is off the read path";
    bus.write(kPprog, 0x03);
    clock.now += 20000;
    bus.write(kPprog, 0x00);
    EXPECT_EQ(bus.read(0xF900), 0x5A);
    EXPECT_EQ(bus.read(kPprog), 0x00);
}

TEST_F(BusTest, SciInterruptIsOfferedThroughItsVector) {
    Bus bus(clock, trace);
    EXPECT_EQ(bus.pendingInterruptVector(), 0);
    bus.write(0x102D, 0x88);  // TE and TIE: TDRE is set
    EXPECT_EQ(bus.pendingInterruptVector(), 0xFFD6);
}

TEST_F(BusTest, PollOfEmptyReceiverAndRegisterStoresCallForAttention) {
    Bus bus(clock, trace);
    bus.takeAttention();
    bus.write(0x0000, 1);
    EXPECT_EQ(bus.takeAttention(), 0);
    bus.read(0x102E);
    EXPECT_EQ(bus.takeAttention(), hc11::attention::EmptyPoll);
    bus.write(0x102B, 0x30);
    EXPECT_EQ(bus.takeAttention(), hc11::attention::RegisterWrite);
}

TEST_F(BusTest, PeekAndPokeReachEveryMemoryWithoutSideEffects) {
    Bus bus(clock, trace, *GetDefaultPart(), AddressRange{0x4000, 0x40FF});
    EXPECT_TRUE(bus.poke(0x0080, 0x01));
    EXPECT_TRUE(bus.poke(0xFFFF, 0x02));
    EXPECT_TRUE(bus.poke(kConfig, 0x03));
    EXPECT_TRUE(bus.poke(0x4000, 0x04));
    EXPECT_FALSE(bus.poke(0x1000, 0x05));
    EXPECT_FALSE(bus.poke(0x8000, 0x05));
    EXPECT_EQ(bus.peek(0x0080), 0x01);
    EXPECT_EQ(bus.peek(0xFFFF), 0x02);
    EXPECT_EQ(bus.peek(kConfig), 0x03);
    EXPECT_EQ(bus.peek(0x4000), 0x04) << "external RAM peeks in single-chip mode too";
    EXPECT_EQ(bus.peek(0x102E), 0xC0);
    bus.takeAttention();
    bus.peek(0x102E);
    EXPECT_EQ(bus.takeAttention(), 0) << "a peek is no CPU read";
}

// A peripheral the chip lacks, plugged in as chip_devices.cpp plugs the others: it owns the
// registers it names (ADCTL and ADR1 by default) and asks for a reset when $AA reaches ADCTL.
class Probe : public hc11::Device {
  public:
    explicit Probe(std::vector<uint8_t> owned = {0x30, 0x31}) : owned_(std::move(owned)) {}
    std::vector<uint8_t> registers() const override { return owned_; }
    void reset() override { resets++; }
    uint8_t readRegister(uint8_t offset) override {
        reads++;
        return peekRegister(offset);
    }
    uint8_t peekRegister(uint8_t offset) const override { return offset == 0x30 ? adctl : 0x5A; }
    void writeRegister(uint8_t, uint8_t value) override {
        adctl = value;
        if (value == 0xAA) chip_->requestReset(0xFFFC);
    }
    void beforeModeChange() override { modeChanges++; }

    uint8_t adctl = 0;
    int resets = 0, reads = 0, modeChanges = 0;

  private:
    std::vector<uint8_t> owned_;
};

TEST_F(BusTest, APluggedInDeviceAnswersItsRegistersAndMayAskForAReset) {
    hc11::DeviceList devices = hc11::BuildChipDevices(clock, trace, *GetDefaultPart());
    Probe &probe = devices.add<Probe>();
    Bus bus(clock, trace, *GetDefaultPart(), std::nullopt, std::move(devices));
    EXPECT_EQ(probe.resets, 1) << "reset with the chip";
    bus.write(0x1030, 0x12);
    EXPECT_EQ(bus.read(0x1030), 0x12);
    EXPECT_EQ(bus.peek(0x1031), 0x5A);
    EXPECT_EQ(probe.reads, 1) << "a peek is no CPU read";
    EXPECT_EQ(bus.read(0x1032), 0x00) << "ADR2 is nobody's";
    EXPECT_FALSE(bus.takeResetRequest());
    bus.write(0x1030, 0xAA);
    EXPECT_EQ(bus.takeResetRequest(), std::optional<uint16_t>(0xFFFC));
    EXPECT_FALSE(bus.takeResetRequest()) << "taken once";
    bus.write(0x1030, 0xAA);
    bus.reset();
    EXPECT_FALSE(bus.takeResetRequest()) << "a reset answers every request";
    bus.write(kHprio, 0xC5);
    EXPECT_EQ(probe.modeChanges, 0);
    bus.write(kHprio, 0x05);
    EXPECT_EQ(probe.modeChanges, 1) << "told before the special modes are left";
}

// Each register has one owner, and the memory map needs its EEPROM and SCI.
TEST_F(BusTest, DevicesThatDoNotFitTheChipAreRefused) {
    const std::vector<uint8_t> taken[] = {
        {0x2B}, {0x3C}, {0x3D}, {0x40}};  // BAUD, HPRIO, INIT, past the block
    for (const std::vector<uint8_t> &owned : taken) {
        hc11::DeviceList devices = hc11::BuildChipDevices(clock, trace, *GetDefaultPart());
        devices.add<Probe>(owned);
        EXPECT_THROW(Bus(clock, trace, *GetDefaultPart(), std::nullopt, std::move(devices)),
                     std::logic_error)
            << unsigned(owned[0]);
    }
    hc11::DeviceList alone;
    alone.add<Probe>();
    EXPECT_THROW(Bus(clock, trace, *GetDefaultPart(), std::nullopt, std::move(alone)),
                 std::logic_error);
}

}  // namespace
