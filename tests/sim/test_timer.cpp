// The free-running timer (TCNT, TOF, the prescaler, the real-time interrupt) and the COP
// watchdog: through the register block, and as small programs in EEPROM run after a reset in
// single-chip mode.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "bus.h"
#include "simulator.h"

namespace {

using hc11::Bus;
using hc11::ChipMode;
using hc11::Simulator;
using Bytes = std::vector<uint8_t>;

constexpr uint16_t kTcnt = 0x100E, kTmsk2 = 0x1024, kTflg2 = 0x1025, kPactl = 0x1026;

class TimerTest : public ::testing::Test {
  protected:
    uint16_t Tcnt(Bus &bus) { return uint16_t(bus.read(kTcnt) << 8 | bus.read(kTcnt + 1)); }
    hc11::Clock clock;
    hc11::Trace trace;
};

TEST_F(TimerTest, TcntCountsThroughThePrescalerAndWrapsIntoTof) {
    Bus bus(clock, trace);
    bus.reset(ChipMode::SingleChip);
    clock.now += 1000;
    EXPECT_EQ(Tcnt(bus), 1000);
    clock.now += 100;
    bus.write(kTmsk2, 0x03);  // PR: /16, but time-protected after 64 cycles
    EXPECT_EQ(bus.read(kTmsk2) & 0x03, 0);
    bus.reset(ChipMode::SingleChip);
    bus.write(kTmsk2, 0x03);
    clock.now += 1600;
    EXPECT_EQ(Tcnt(bus), 100);
    EXPECT_EQ(bus.read(kTflg2) & 0x80, 0);
    clock.now += 16 * 0x10000;
    EXPECT_EQ(Tcnt(bus), 100) << "wrapped once";
    EXPECT_EQ(bus.read(kTflg2) & 0x80, 0x80) << "TOF";
    bus.write(kTflg2, 0x40);  // a 1 clears its own flag only
    EXPECT_EQ(bus.read(kTflg2) & 0x80, 0x80);
    bus.write(kTflg2, 0x80);
    EXPECT_EQ(bus.read(kTflg2) & 0x80, 0);
}

// In the normal modes OPTION's IRQE, DLY and CR and TMSK2's PR take one write, in the first
// 64 cycles after reset; in the special modes any number, at any time.
TEST_F(TimerTest, TimeProtectedBitsTakeOneWriteInTheFirst64Cycles) {
    constexpr uint16_t kOption = 0x1039;
    Bus bus(clock, trace);
    bus.reset(ChipMode::SingleChip);
    bus.write(kOption, 0x01);  // CR 01, DLY clear
    bus.write(kTmsk2, 0x01);   // PR /4
    clock.now += 10;
    bus.write(kOption, 0x53);  // CSEL taken, DLY and CR kept
    bus.write(kTmsk2, 0x03);
    EXPECT_EQ(bus.read(kOption), 0x41);
    EXPECT_EQ(bus.read(kTmsk2) & 0x03, 0x01);
    bus.reset(ChipMode::Bootstrap);
    clock.now += 1000;
    bus.write(kOption, 0x01);
    bus.write(kOption, 0x13);
    bus.write(kTmsk2, 0x02);
    bus.write(kTmsk2, 0x03);
    EXPECT_EQ(bus.read(kOption), 0x13);
    EXPECT_EQ(bus.read(kTmsk2) & 0x03, 0x03);
}

TEST_F(TimerTest, RealTimeFlagFollowsRtr) {
    Bus bus(clock, trace);
    bus.reset(ChipMode::SingleChip);
    bus.write(kPactl, 0x02);  // RTR: 2^13 x 4
    clock.now += 4 * 8192 - 1;
    EXPECT_EQ(bus.read(kTflg2) & 0x40, 0);
    clock.now += 1;
    EXPECT_EQ(bus.read(kTflg2) & 0x40, 0x40) << "RTIF";
}

// The RTI's divider chain runs freely from reset: a PACTL write picks a tap, the period does
// not start again.
TEST_F(TimerTest, PactlWritesDoNotRestartTheRealTimePeriod) {
    Bus bus(clock, trace);
    bus.reset(ChipMode::SingleChip);
    for (int i = 0; i < 3; i++) {
        clock.now += 3000;
        bus.write(kPactl, 0x00);
    }
    EXPECT_EQ(bus.read(kTflg2) & 0x40, 0x40) << "RTIF at 8192 cycles, 9000 in";
    bus.write(kTflg2, 0x40);
    bus.write(kPactl, 0x01);  // 2^14: the next tick of that tap is at 16384
    clock.now = 16383;
    EXPECT_EQ(bus.read(kTflg2) & 0x40, 0);
    clock.now = 16384;
    EXPECT_EQ(bus.read(kTflg2) & 0x40, 0x40);
}

// Single-chip programs at $F800 with their vectors, started by a reset.
Simulator &Reset(Simulator &sim, uint8_t config, const Bytes &code,
                 const std::vector<std::pair<uint16_t, Bytes>> &more) {
    sim.poke(0x103F, config);
    sim.load(0xF800, code);
    for (const auto &[address, bytes] : more) sim.load(address, bytes);
    sim.load(0xFFFE, {0xF8, 0x00});
    sim.reset();
    sim.setHostBaud(9600);
    return sim;
}

Simulator SingleChip() {
    hc11::SimConfig config;
    config.mode = ChipMode::SingleChip;
    return Simulator(config);
}

Bytes Sent(const Simulator &sim) {
    Bytes values;
    for (const auto &byte : sim.targetSent()) values.push_back(byte.value);
    return values;
}

// Counts real-time interrupts at $0080 while it sleeps in WAI.
TEST(TimerProgram, RealTimeInterruptsComeEvery8192Cycles) {
    const Bytes main = {0x8E, 0x00, 0xFF,     // LDS  #$00FF
                        0xCE, 0x10, 0x00,     // LDX  #$1000
                        0x7F, 0x00, 0x80,     // CLR  $0080
                        0x86, 0x40,           // LDAA #RTII
                        0xA7, 0x24,           // STAA TMSK2,X
                        0x0E,                 // CLI
                        0x3E,                 // WAI
                        0x20, 0xFD};          // BRA  the WAI
    const Bytes handler = {0x7C, 0x00, 0x80,  // $F820 INC $0080
                           0x86, 0x40,        //       LDAA #RTIF
                           0xA7, 0x25,        //       STAA TFLG2,X
                           0x3B};             //       RTI
    Simulator sim = SingleChip();
    Reset(sim, 0xFF, main, {{0xF820, handler}, {0xFFF0, {0xF8, 0x20}}});
    sim.runCycles(200'000);
    EXPECT_EQ(sim.peek(0x0080), 200'000 / 8192);
}

// Sends 'R' after reset, then either spins without feeding the watchdog or feeds it; the
// COP vector sends 'C'.
const Bytes kSayR = {0x8E, 0x00, 0xFF, 0xCE, 0x10, 0x00,  // LDS #$00FF; LDX #$1000
                     0x86, 0x30, 0xA7, 0x2B,              // BAUD 9600
                     0x86, 0x08, 0xA7, 0x2D,              // SCCR2 TE
                     0x86, 'R',  0xA7, 0x2F};             // 'R'
const Bytes kSpin = {0x20, 0xFE};                         // BRA *
const Bytes kFeed = {0x86, 0x55, 0xB7, 0x10, 0x3A,        // COPRST <- $55
                     0x86, 0xAA, 0xB7, 0x10, 0x3A,        // COPRST <- $AA
                     0x20, 0xF4};                         // BRA back
const Bytes kSayC = {0xCE, 0x10, 0x00, 0x86, 0x30, 0xA7, 0x2B, 0x86, 0x08,
                     0xA7, 0x2D, 0x86, 'C',  0xA7, 0x2F, 0x20, 0xFE};

// The programs one after the other. Appended byte by byte: GCC 12 takes vector::insert of
// such short constant ranges for a copy out of bounds (-Warray-bounds) when optimising.
Bytes Join(std::initializer_list<const Bytes *> parts) {
    Bytes joined;
    for (const Bytes *part : parts)
        for (uint8_t byte : *part) joined.push_back(byte);
    return joined;
}

Bytes RunCop(uint8_t config, const Bytes &loop) {
    Bytes code = Join({&kSayR, &loop});
    Simulator sim = SingleChip();
    Reset(sim, config, code, {{0xF840, kSayC}, {0xFFFA, {0xF8, 0x40}}});
    sim.runCycles(50'000);  // the COP's 2^15 cycles, and the 'C' out
    return Sent(sim);
}

// Rewrites PACTL every 4,000 cycles or so, 20 times, then keeps TFLG2 at $0080.
TEST(TimerProgram, RewritingPactlLeavesTheRealTimeFlagToSet) {
    const Bytes code = {0xCE, 0x10, 0x00,        // $F800 LDX  #$1000
                        0xC6, 0x14,              //       LDAB #20
                        0x86, 0x00,              // $F805 LDAA #0      RTR: 2^13
                        0xA7, 0x26,              //       STAA PACTL,X
                        0x18, 0xCE, 0x02, 0x3A,  //       LDY  #570    7 cycles a pass
                        0x18, 0x09,              // $F80D DEY
                        0x26, 0xFC,              //       BNE  $F80D
                        0x5A,                    //       DECB
                        0x26, 0xF1,              //       BNE  $F805
                        0xA6, 0x25,              //       LDAA TFLG2,X
                        0x97, 0x80,              //       STAA $80
                        0x20, 0xFE};             //       BRA  *
    Simulator sim = SingleChip();
    sim.poke(0x0080, 0x00);
    Reset(sim, 0xFF, code, {});
    sim.runCycles(100'000);
    EXPECT_EQ(sim.peek(0x0080) & 0x40, 0x40) << "RTIF";
}

TEST(TimerProgram, CopResetsAProgramThatStopsFeedingIt) {
    EXPECT_EQ(RunCop(0xFB, kSpin), Bytes({'R', 'C'})) << "NOCOP clear: reset via $FFFA";
    EXPECT_EQ(RunCop(0xFB, kFeed), Bytes({'R'})) << "fed with $55, $AA";
    EXPECT_EQ(RunCop(0xFF, kSpin), Bytes({'R'})) << "NOCOP set";
}

}  // namespace

namespace {

// Writes OPTION (DLY, and CR as given) first thing after reset, then says 'R' and spins.
Bytes WithOption(uint8_t cr) {
    const Bytes option = {0x86, uint8_t(0x10 | cr), 0xB7, 0x10, 0x39};  // LDAA #; STAA OPTION
    return Join({&option, &kSayR, &kSpin});
}

// The first time-out follows the rate written to OPTION's CR in the first 64 cycles.
TEST(TimerProgram, CopTimesOutAtTheRateWrittenToOption) {
    for (uint8_t cr : {0, 1, 3}) {
        SCOPED_TRACE(int(cr));
        uint64_t period = uint64_t(1) << (15 + 2 * cr);
        Simulator sim = SingleChip();
        Reset(sim, 0xFB, WithOption(cr), {{0xF840, kSayC}, {0xFFFA, {0xF8, 0x40}}});
        sim.runCycles(period - 1000);
        EXPECT_EQ(Sent(sim), Bytes({'R'}));
        sim.runCycles(6000);  // the reset, and the 'C' out at 9600 after its preamble
        EXPECT_EQ(Sent(sim), Bytes({'R', 'C'}));
    }
}

// A bootstrap-mode program in RAM that writes TEST1 and spins; a COP reset goes through the
// boot ROM's vector to the pseudo-vector at $00FA, which counts at $0080. DISR is set out of
// reset in bootstrap mode and holds the COP's reset off; in single-chip mode TEST1 can't be
// written, and DISR stays clear.
TEST(TimerProgram, DisrHoldsTheCopOffInTheSpecialModesOnly) {
    const Bytes countReset = {0x7C, 0x00, 0x80, 0x20, 0xFE};  // INC $0080; BRA *
    for (uint8_t test1 : {0x08, 0x00}) {
        SCOPED_TRACE(int(test1));
        Simulator sim;
        sim.poke(0x103F, 0xFB);                                         // NOCOP clear
        sim.load(0x0000, {0x86, test1, 0xB7, 0x10, 0x3E, 0x20, 0xFE});  // TEST1; BRA *
        sim.load(0x00FA, countReset);
        sim.startAt(0x0000);
        EXPECT_EQ(sim.peek(0x103E), 0x08) << "DISR out of reset";
        sim.runCycles(200'000);
        EXPECT_EQ(sim.peek(0x0080), test1 ? 0 : 1) << "one COP reset, then DISR is set again";
    }
    const Bytes test1 = {0x86, 0x08, 0xB7, 0x10, 0x3E};  // single-chip: TEST1 <- DISR, ignored
    Bytes code = Join({&test1, &kSayR, &kSpin});
    Simulator sim = SingleChip();
    Reset(sim, 0xFB, code, {{0xF840, kSayC}, {0xFFFA, {0xF8, 0x40}}});
    sim.runCycles(50'000);
    EXPECT_EQ(Sent(sim), Bytes({'R', 'C'}));
}

}  // namespace
