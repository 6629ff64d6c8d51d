// The machine and its time loop, through the in-process testing API: programs started at
// $0000 with RAM preloaded, the host's bytes fed at a rate, cycles counted exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "chip_test_programs.h"
#include "scripted_line.h"
#include "simulator.h"

namespace {

using hc11::RunEnd;
using hc11::Simulator;
using hc11::test::Bytes;
using hc11::test::kPlusOne;

constexpr uint64_t kBudget = 10'000'000;
constexpr uint64_t kCharAtHost1200 = 16667;  // ten bits at 1200 baud, rounded
constexpr uint64_t kCharAtSci1200 = 16640;   // ten bits at BAUD $33
constexpr uint64_t kPollPass = 7;            // BRCLR n,X: 7 cycles

// Latches $5A for $F900, turns EPGM on, then waits for a byte before it clears PPROG.
const Bytes kProgramUntilAByteComes = {
    0xCE, 0x10, 0x00,              // LDX  #$1000
    0x6F, 0x35,                    // CLR  $35,X          BPROT: nothing protected
    0x86, 0x02, 0xA7, 0x3B,        // PPROG <- EELAT
    0x86, 0x5A, 0xB7, 0xF9, 0x00,  // STAA $F900
    0x86, 0x03, 0xA7, 0x3B,        // PPROG <- EELAT | EPGM
    0x1F, 0x2E, 0x20, 0xFC,        // BRCLR $2E,X #$20 *
    0x6F, 0x3B,                    // CLR  $3B,X          PPROG <- $00
    0xA6, 0x2F,                    // LDAA $2F,X
    0x1F, 0x2E, 0x20, 0xFC};       // BRCLR $2E,X #$20 *   waits for good

// Takes each byte in the SCI interrupt, through the boot ROM's pseudo-vector at $00C4, and
// keeps it at $0080; between interrupts it sleeps in WAI.
const Bytes kWaitForInterrupt = {0xCE, 0x10, 0x00,  // $0000 LDX #$1000
                                 0x86, 0x2C,        // $0003 LDAA #$2C    TE RE RIE
                                 0xA7, 0x2D,        // $0005 STAA $2D,X
                                 0x0E,              // $0007 CLI
                                 0x3E,              // $0008 WAI
                                 0x20, 0xFD};       // $0009 BRA $0008
const Bytes kReceiveHandler = {0xA6, 0x2E, 0xA6, 0x2F, 0x97, 0x80, 0x3B};  // at $0040, RTI
const Bytes kJumpToHandler = {0x7E, 0x00, 0x40};                           // at $00C4

Simulator &Started(Simulator &sim, const Bytes &program) {
    sim.load(0x0000, program);
    sim.startAt(0x0000);
    return sim;
}

TEST(SimulatorTime, WaitingIsSkippedInWholePassesSoTheReplyLandsOnItsExactCycle) {
    Simulator sim;
    Started(sim, kPlusOne);
    uint64_t start = sim.cycles();
    sim.hostSend({'a'}, 1200);
    ASSERT_EQ(sim.runUntilSent(1, kBudget), RunEnd::Reached);
    uint64_t arrived = start + kCharAtHost1200;
    uint64_t firstPoll = start + 3;
    uint64_t seen = firstPoll + (arrived - firstPoll + kPollPass - 1) / kPollPass * kPollPass;
    EXPECT_EQ(sim.targetSent()[0].value, 'b');
    EXPECT_EQ(sim.targetSent()[0].cycle, seen + 20 + kCharAtSci1200);
    EXPECT_GT(sim.stats().skippedCycles, 10000u);
}

TEST(SimulatorTime, BytesSentTogetherArriveOneByteTimeApart) {
    Simulator sim;
    Started(sim, kPlusOne);
    sim.hostSend({1, 2, 3, 4}, 1200);
    ASSERT_EQ(sim.runUntilSent(4, kBudget), RunEnd::Reached);
    for (size_t i = 1; i < 4; i++) {
        uint64_t gap = sim.targetSent()[i].cycle - sim.targetSent()[i - 1].cycle;
        EXPECT_GE(gap, kCharAtHost1200 - kPollPass);
        EXPECT_LE(gap, kCharAtHost1200 + kPollPass);
        EXPECT_EQ(sim.targetSent()[i].value, i + 2);
    }
    EXPECT_EQ(sim.stats().sci.overruns, 0u);
}

TEST(SimulatorTime, RunUntilWaitingStopsWhenNothingIsOnTheWay) {
    Simulator sim;
    Started(sim, kPlusOne);
    EXPECT_EQ(sim.runUntilWaiting(kBudget), RunEnd::Waiting);
    EXPECT_LT(sim.cycles(), 100u);
    EXPECT_EQ(sim.runUntilSent(1, kBudget), RunEnd::Waiting) << "no byte will ever come";
}

TEST(SimulatorTime, RunCyclesLetsTimePassWhileWaiting) {
    Simulator sim;
    Started(sim, kPlusOne);
    EXPECT_EQ(sim.runCycles(2'000'000), RunEnd::CycleLimit);
    EXPECT_GE(sim.cycles(), 2'000'000u);
    EXPECT_LT(sim.cycles(), 2'000'000u + kPollPass);
}

TEST(SimulatorTime, CycleBudgetEndsABusyProgram) {
    Simulator sim;
    Started(sim, {0x20, 0xFE});  // BRA *: never polls anything
    EXPECT_EQ(sim.runUntilWaiting(100'000), RunEnd::CycleLimit);
    EXPECT_GE(sim.cycles(), 100'000u);
}

// While EPGM is on the target is not idle: the wait ends when the operation has had its
// 10 ms, and the operation then completes when the program clears PPROG.
TEST(SimulatorTime, EepromOperationRunsItsTimeWhileTheProgramWaits) {
    Simulator sim;
    sim.poke(0xF900, 0xFF);
    Started(sim, kProgramUntilAByteComes);
    ASSERT_EQ(sim.runUntilWaiting(kBudget), RunEnd::Waiting);
    const auto &writes = sim.registerWrites();
    ASSERT_EQ(writes.size(), 3u);  // BPROT, PPROG $02, PPROG $03
    EXPECT_EQ(writes[2].value, 0x03);
    EXPECT_GE(sim.cycles(), writes[2].cycle + sim.bus().eeprom().programCycles());
    EXPECT_EQ(sim.peek(0xF900), 0xFF) << "done only when EPGM goes off";
    sim.hostSend({0x00}, 1200);
    ASSERT_EQ(sim.runUntilWaiting(kBudget), RunEnd::Waiting);
    EXPECT_EQ(sim.peek(0xF900), 0x5A);
    EXPECT_EQ(sim.stats().eeprom.program, 1u);
    EXPECT_EQ(sim.stats().eeprom.aborted, 0u);
}

TEST(SimulatorTime, WaiSleepsUntilTheSciInterruptComesThroughThePseudoVector) {
    Simulator sim;
    sim.load(0x0040, kReceiveHandler);
    sim.load(0x00C4, kJumpToHandler);
    Started(sim, kWaitForInterrupt);
    EXPECT_EQ(sim.runUntilWaiting(kBudget), RunEnd::Waiting);
    EXPECT_EQ(sim.cpu().state(), hc11::CpuState::Waiting);
    sim.hostSend({0x42}, 1200);
    EXPECT_EQ(sim.runUntilWaiting(kBudget), RunEnd::Waiting);
    EXPECT_EQ(sim.peek(0x0080), 0x42);
    sim.hostSend({0x43}, 1200);
    EXPECT_EQ(sim.runUntilWaiting(kBudget), RunEnd::Waiting);
    EXPECT_EQ(sim.peek(0x0080), 0x43);
}

TEST(SimulatorTime, TargetBytesAreReadAtTheHostsRate) {
    Simulator sim;
    Started(sim, kPlusOne);
    sim.hostSend({'a'}, 1200);
    sim.setHostBaud(9600);  // the SCI answers at 1200: the host reads garbage
    ASSERT_EQ(sim.runUntilSent(1, kBudget), RunEnd::Reached);
    EXPECT_NE(sim.targetSent()[0].value, 'b');
    EXPECT_EQ(sim.stats().sci.framingErrors, 0u) << "the SCI itself read 'a' cleanly";
}

std::vector<Bytes> Serve(const Bytes &program, std::vector<Bytes> script) {
    Simulator sim;
    Started(sim, program);
    ScriptedLine line(std::move(script));
    hc11::ServeOptions options;
    options.stopRequested = &line.stop;
    EXPECT_EQ(sim.serve(line, options), hc11::ServeEnd::StopRequested);
    EXPECT_TRUE(sim.targetSent().empty()) << "a served line takes every byte";
    return line.written;
}

// Sends "AB" back to back at once, then waits for input.
const Bytes kTwoBackToBack = {0xCE, 0x10, 0x00,         // LDX  #$1000
                              0x86, 0x41, 0xA7, 0x2F,   // 'A' into the shifter
                              0x1F, 0x2E, 0x80, 0xFC,   // BRCLR $2E,X #$80 *
                              0x86, 0x42, 0xA7, 0x2F,   // 'B' right behind it
                              0x1F, 0x2E, 0x20, 0xFC};  // BRCLR $2E,X #$20 *

TEST(SimulatorServe, CharactersSentBackToBackReachTheHostInOneWrite) {
    EXPECT_EQ(Serve(kTwoBackToBack, {}), std::vector<Bytes>({{'A', 'B'}}));
}

TEST(SimulatorServe, EachReplyReachesTheHostOnItsOwn) {
    EXPECT_EQ(Serve(kPlusOne, {{'a'}, {'c'}}), std::vector<Bytes>({{'b'}, {'d'}}));
}

TEST(SimulatorServe, HostBytesSentTogetherAreAnsweredOneByOne) {
    EXPECT_EQ(Serve(kPlusOne, {{'a', 'c', 'e'}}), std::vector<Bytes>({{'b'}, {'d'}, {'f'}}));
}

// At 125000 baud, stores each byte it receives from $0080 on; its poll loop counts in B, so
// the CPU never looks idle and, in real time, runs its lead ahead of the wall clock.
const Bytes kBusyReceiverAt125000 = {0xCE, 0x10, 0x00,        // $0000 LDX  #$1000
                                     0x6F, 0x2B,              // $0003 CLR  $2B,X   BAUD $00
                                     0x18, 0xCE, 0x00, 0x80,  // $0005 LDY  #$0080
                                     0x5C,                    // $0009 INCB
                                     0x1F, 0x2E, 0x20, 0xFB,  // $000A BRCLR $2E,X #$20 $0009
                                     0xA6, 0x2F,              // $000E LDAA $2F,X
                                     0x18, 0xA7, 0x00,        // $0010 STAA 0,Y
                                     0x18, 0x08,              // $0013 INY
                                     0x20, 0xF2};             // $0015 BRA  $0009

// In real time the host's bytes come in while the CPU is ahead of the wall clock: each still
// takes its own character time on the wire, so a receiver that keeps up never overruns.
TEST(SimulatorServe, HostBytesArriveOneCharacterApartWhileTheCpuIsAhead) {
    const Bytes sent = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    Simulator sim;
    Started(sim, kBusyReceiverAt125000);
    ScriptedLine line({sent}, 125000);
    hc11::ServeOptions options;
    options.realtime = true;
    options.stopRequested = &line.stop;
    sim.serve(line, options);
    sim.runCycles(4000);  // what is still on the wire comes in
    EXPECT_EQ(sim.stats().sci.overruns, 0u);
    Bytes stored;
    for (uint16_t a = 0x80; a < 0x80 + sent.size(); a++) stored.push_back(sim.peek(a));
    EXPECT_EQ(stored, sent);
}

std::map<std::string, std::string> StatsLines(const hc11::SimStats &stats) {
    std::FILE *file = std::tmpfile();
    hc11::PrintStats(stats, file);
    std::rewind(file);
    std::map<std::string, std::string> lines;
    char name[64], value[64];
    while (std::fscanf(file, "%63s %63s", name, value) == 2) {
        EXPECT_EQ(lines.count(name), 0u) << name << " twice";
        lines[name] = value;
    }
    std::fclose(file);
    return lines;
}

TEST(SimulatorStats, CountWireBytesAndTheirTimeBothWays) {
    Simulator sim;
    Started(sim, kPlusOne);
    sim.hostSend({1, 2, 3}, 1200);
    ASSERT_EQ(sim.runUntilSent(3, kBudget), RunEnd::Reached);
    hc11::SimStats stats = sim.stats();
    EXPECT_EQ(stats.rxBytes, 3u);
    EXPECT_EQ(stats.txBytes, 3u);
    EXPECT_NEAR(stats.wireSeconds, 3 * 10.0 / 1200 + 3 * kCharAtSci1200 / 2e6, 1e-6);
    EXPECT_EQ(stats.cycles, sim.cycles());
    std::map<std::string, std::string> lines = StatsLines(stats);
    for (const char *name : {"cycles", "rx_bytes", "tx_bytes", "wire_seconds", "eeprom_program",
                             "eeprom_byte_erase", "eeprom_row_erase", "eeprom_bulk_erase",
                             "eeprom_aborted", "eeprom_busy_seconds", "pprog_writes"})
        EXPECT_EQ(lines.count(name), 1u) << name;
    EXPECT_EQ(lines["rx_bytes"], "3");
    EXPECT_EQ(lines["cycles"], std::to_string(sim.cycles()));
}

TEST(SimulatorApi, StartAtLeavesTheChipAsTheBootRomWould) {
    Simulator sim;
    Started(sim, {0x20, 0xFE});
    EXPECT_FALSE(sim.bootRomRunning());
    EXPECT_EQ(sim.cpu().regs().pc, 0x0000);
    EXPECT_EQ(sim.cpu().regs().sp, 0x00FF);
    EXPECT_EQ(sim.peek(0x102B), 0x33);
    EXPECT_EQ(sim.peek(0x102D), 0x0C);
    EXPECT_EQ(sim.peek(0x1035), 0x1F);
}

TEST(SimulatorApi, ResetIntoBootstrapKeepsMemoriesAndWaitsForTheStartByte) {
    Simulator sim;
    sim.poke(0x0010, 0x99);
    sim.poke(0xF800, 0x98);
    Started(sim, {0x20, 0xFE});
    sim.resetIntoBootstrap();
    EXPECT_TRUE(sim.bootRomRunning());
    EXPECT_EQ(sim.peek(0x0010), 0x99);
    EXPECT_EQ(sim.peek(0xF800), 0x98);
    EXPECT_EQ(sim.runUntilWaiting(kBudget), RunEnd::Waiting);
}

// A reset with the pins in single-chip or expanded mode starts the program the reset vector
// names, with RAM and registers as after reset and EEPROM, CONFIG and external RAM kept.
TEST(SimulatorApi, ResetInTheNormalModesRunsTheProgramAtTheResetVector) {
    const Bytes kSayHi = {0xCE, 0x10, 0x00,        // $F800 LDX  #$1000
                          0x86, 0x30, 0xA7, 0x2B,  //       BAUD: 9600
                          0x86, 0x08, 0xA7, 0x2D,  //       SCCR2: TE
                          0x96, 0x10,              //       LDAA $10    (RAM: kept)
                          0xA7, 0x2F,              //       STAA $2F,X
                          0x20, 0xFE};             //       BRA  *
    for (auto [mode, hprio] :
         {std::pair{hc11::ChipMode::SingleChip, 0x05}, std::pair{hc11::ChipMode::Expanded, 0x25}}) {
        hc11::SimConfig config;
        config.resetMode = mode;  // power-up in bootstrap mode, the pins moved afterwards
        config.xram = hc11::AddressRange{0x2000, 0x2FFF};
        Simulator sim(config);
        EXPECT_TRUE(sim.bootRomRunning()) << "power-up is in bootstrap mode";
        sim.load(0xF800, kSayHi);
        sim.load(0xFFFE, {0xF8, 0x00});
        sim.poke(0x0010, 'H');
        sim.poke(0x2000, 0x77);
        sim.reset();
        EXPECT_FALSE(sim.bootRomRunning());
        EXPECT_EQ(sim.peek(0x103C), hprio) << "HPRIO";
        sim.setHostBaud(9600);
        ASSERT_EQ(sim.runUntilSent(1, kBudget), RunEnd::Reached);
        EXPECT_EQ(sim.targetSent()[0].value, 'H');
        EXPECT_EQ(sim.bus().read(0x2000), mode == hc11::ChipMode::Expanded ? 0x77 : 0xFF);
    }
}

// The pins are read at power-up too: in single-chip mode the program starts at once. The
// lines that drive the pins reset into a mode, which then holds for the resets that follow.
TEST(SimulatorApi, PowerUpAndEveryResetReadTheModePins) {
    const Bytes kSayHi = {0xCE, 0x10, 0x00, 0x86, 0x30, 0xA7, 0x2B, 0x86, 0x08,  // 9600, TE
                          0xA7, 0x2D, 0x86, 'H',  0xA7, 0x2F, 0x20, 0xFE};       // 'H'; BRA *
    hc11::SimConfig config;
    config.mode = hc11::ChipMode::SingleChip;
    Simulator sim(config);
    sim.load(0xF800, kSayHi);
    sim.load(0xFFFE, {0xF8, 0x00});
    sim.powerOn();
    EXPECT_FALSE(sim.bootRomRunning());
    sim.setHostBaud(9600);
    ASSERT_EQ(sim.runUntilSent(1, kBudget), RunEnd::Reached);
    EXPECT_EQ(sim.targetSent()[0].value, 'H');
    sim.resetInto(hc11::ChipMode::Bootstrap);
    EXPECT_TRUE(sim.bootRomRunning());
    sim.setHostBaud(7812);
    ASSERT_EQ(sim.runUntilSent(2, kBudget), RunEnd::Reached);
    EXPECT_EQ(sim.targetSent()[1].value, 0x00) << "the boot ROM's break, heard after power-up";
    sim.reset();
    EXPECT_TRUE(sim.bootRomRunning()) << "the pins stay in bootstrap mode";
}

}  // namespace

namespace {

// The board's wiring of DTR (RESET) and RTS (MODA, MODB), plain and through an inverting
// driver: the release of RESET resets the chip into the mode its pins give then.
TEST(SimulatorLines, ResetReleasedStartsTheChipInTheModeOfItsPins) {
    for (bool invert : {false, true}) {
        SCOPED_TRACE(invert ? "inverted" : "plain");
        hc11::SimConfig config;
        config.mode = hc11::ChipMode::SingleChip;
        Simulator sim(config);
        sim.load(0xFFFE, {0xF8, 0x00});
        hc11::LineWiring wiring({hc11::ModemLine::Dtr, hc11::ModemLine::Rts, invert}, config.mode);
        auto move = [&](bool dtr, bool rts) {
            wiring.linesMoved(sim.chip(), dtr != invert, rts != invert);
        };
        move(true, true);  // RESET held, bootstrap
        EXPECT_TRUE(wiring.resetHeld());
        EXPECT_EQ(sim.chip().modePins(), hc11::ChipMode::Bootstrap);
        move(false, true);
        EXPECT_FALSE(wiring.resetHeld());
        EXPECT_TRUE(sim.bootRomRunning()) << "reset into bootstrap mode";
        move(true, false);
        EXPECT_TRUE(sim.bootRomRunning()) << "held: nothing runs from the vector yet";
        move(false, false);
        EXPECT_FALSE(sim.bootRomRunning());
        EXPECT_EQ(sim.cpu().regs().pc, 0xF800) << "single-chip, from the reset vector";
    }
}

// With --reset-mode, the mode line released gives the pins their value after power-up.
TEST(SimulatorLines, ModeLineReleasedGivesThePinsTheirValueAfterPowerUp) {
    hc11::SimConfig config;
    config.resetMode = hc11::ChipMode::SingleChip;
    Simulator sim(config);
    EXPECT_TRUE(sim.bootRomRunning()) << "powered up in --mode's bootstrap";
    ASSERT_EQ(sim.chip().modePins(), hc11::ChipMode::SingleChip);
    hc11::LineWiring wiring({hc11::ModemLine::Dtr, hc11::ModemLine::Rts, false},
                            sim.chip().modePins());
    wiring.linesMoved(sim.chip(), false, true);
    EXPECT_EQ(sim.chip().modePins(), hc11::ChipMode::Bootstrap);
    wiring.linesMoved(sim.chip(), true, false);
    wiring.linesMoved(sim.chip(), false, false);
    EXPECT_FALSE(sim.bootRomRunning()) << "released: single-chip, from the reset vector";
}

}  // namespace
