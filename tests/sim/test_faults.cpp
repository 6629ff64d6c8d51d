// Failures of the field (--fault): how each is written, and what the line and the chip then do,
// driven in process the way the host drives a target, one byte and its answer at a time.
#include <gtest/gtest.h>

#include <csignal>
#include <ostream>
#include <string>
#include <vector>

#include "chip_test_programs.h"
#include "scripted_line.h"
#include "simulator.h"
#include "wire_faults.h"

namespace {

using hc11::Fault;
using hc11::FaultKind;
using hc11::RunEnd;
using hc11::Simulator;
using hc11::test::Bytes;
using hc11::test::Download;
using hc11::test::kPlusOne;

constexpr unsigned kBaud = 1200;
constexpr uint64_t kBudget = 20'000'000;
constexpr uint64_t kCharAtSci1200 = 16640;  // ten bits at BAUD $33

struct ParseCase {
    const char *text;
    bool accepted;
    FaultKind kind;
    uint32_t value;
};

void PrintTo(const ParseCase &c, std::ostream *out) {
    *out << '"' << c.text << '"';
}

class FaultText : public ::testing::TestWithParam<ParseCase> {};

TEST_P(FaultText, IsReadOrRefused) {
    const ParseCase &c = GetParam();
    Fault fault{FaultKind::Silent, 12345};
    ASSERT_EQ(hc11::ParseFault(c.text, &fault), c.accepted) << c.text;
    if (!c.accepted) return;
    EXPECT_EQ(fault.kind, c.kind) << c.text;
    EXPECT_EQ(fault.value, c.value) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FaultText,
    ::testing::Values(ParseCase{"silent", true, FaultKind::Silent, 0},
                      ParseCase{"drop:1", true, FaultKind::Drop, 1},
                      ParseCase{"corrupt:300", true, FaultKind::Corrupt, 300},
                      ParseCase{"noise:7", true, FaultKind::Noise, 7},
                      ParseCase{"unplug:4294967295", true, FaultKind::Unplug, 4294967295u},
                      ParseCase{"reset:256", true, FaultKind::Reset, 256},
                      ParseCase{"stuck:F800", true, FaultKind::Stuck, 0xF800},
                      ParseCase{"stuck:ffff", true, FaultKind::Stuck, 0xFFFF},
                      ParseCase{"stuck:103F", true, FaultKind::Stuck, 0x103F},
                      ParseCase{"", false, FaultKind::Silent, 0},
                      ParseCase{"silent:1", false, FaultKind::Silent, 0},
                      ParseCase{"drop", false, FaultKind::Silent, 0},
                      ParseCase{"drop:", false, FaultKind::Silent, 0},
                      ParseCase{"drop:0", false, FaultKind::Silent, 0},
                      ParseCase{"drop:-1", false, FaultKind::Silent, 0},
                      ParseCase{"drop:+1", false, FaultKind::Silent, 0},
                      ParseCase{"drop: 1", false, FaultKind::Silent, 0},
                      ParseCase{"drop:1x", false, FaultKind::Silent, 0},
                      ParseCase{"drop:a", false, FaultKind::Silent, 0},
                      ParseCase{"reset:4294967296", false, FaultKind::Silent, 0},
                      ParseCase{"Drop:1", false, FaultKind::Silent, 0},
                      ParseCase{"lost:3", false, FaultKind::Silent, 0},
                      ParseCase{"stuck:F7FF", false, FaultKind::Silent, 0},
                      ParseCase{"stuck:1000", false, FaultKind::Silent, 0},
                      ParseCase{"stuck:10000", false, FaultKind::Silent, 0},
                      ParseCase{"stuck:", false, FaultKind::Silent, 0}));

hc11::SimConfig WithFault(const std::string &text) {
    hc11::SimConfig config;
    Fault fault;
    if (!text.empty()) {
        EXPECT_TRUE(hc11::ParseFault(text, &fault)) << text;
        config.faults.push_back(fault);
    }
    return config;
}

Bytes SentValues(const Simulator &sim) {
    Bytes values;
    for (const hc11::WireByte &byte : sim.targetSent()) values.push_back(byte.value);
    return values;
}

// The host's lockstep: each byte goes out once the target has answered the one before, or
// has stopped waiting for anything.
void SendInTurn(Simulator &sim, const Bytes &bytes) {
    for (uint8_t byte : bytes) {
        sim.hostSend({byte}, kBaud);
        ASSERT_EQ(sim.runUntilWaiting(kBudget), RunEnd::Waiting);
    }
}

struct LineCase {
    const char *fault;
    Bytes heard;              // what the host reads, in order
    uint64_t reachedTheChip;  // of the four host bytes
};

void PrintTo(const LineCase &c, std::ostream *out) {
    *out << '"' << c.fault << '"';
}

class LineFault : public ::testing::TestWithParam<LineCase> {};

// kPlusOne answers 'a', 'c', 'e', 'g' with 'b', 'd', 'f', 'h': bytes 1 to 4.
TEST_P(LineFault, ChangesWhatTheHostHears) {
    const LineCase &c = GetParam();
    Simulator sim(WithFault(c.fault));
    sim.load(0x0000, kPlusOne);
    sim.startAt(0x0000);
    SendInTurn(sim, {'a', 'c', 'e', 'g'});
    EXPECT_EQ(SentValues(sim), c.heard);
    EXPECT_EQ(sim.stats().sci.framesReceived, c.reachedTheChip);
}

INSTANTIATE_TEST_SUITE_P(Kinds, LineFault,
                         ::testing::Values(LineCase{"", {'b', 'd', 'f', 'h'}, 4},
                                           LineCase{"drop:2", {'b', 'f', 'h'}, 4},
                                           LineCase{"corrupt:2", {'b', uint8_t(~'d'), 'f', 'h'}, 4},
                                           LineCase{"noise:2", {'b', 'd', 0x55, 'f', 'h'}, 4},
                                           LineCase{"noise:4", {'b', 'd', 'f', 'h', 0x55}, 4},
                                           LineCase{"unplug:2", {'b', 'd'}, 2},
                                           LineCase{"silent", {}, 0},
                                           // The reset's break, then 'e' sets the ROM to
                                           // 1200 unechoed, and 'g' is loaded and echoed.
                                           LineCase{"reset:2", {'b', 'd', 0x00, 'g'}, 4},
                                           LineCase{"drop:9", {'b', 'd', 'f', 'h'}, 4}),
                         [](const auto &info) {
                             std::string name = info.param.fault;
                             for (char &c : name)
                                 if (c == ':') c = '_';
                             return name.empty() ? std::string("none") : name;
                         });

TEST(LineFaults, SeveralFaultsActOnTheirOwnBytes) {
    hc11::SimConfig config;
    for (const char *text : {"corrupt:1", "drop:3", "noise:3", "noise:4"}) {
        Fault fault;
        ASSERT_TRUE(hc11::ParseFault(text, &fault));
        config.faults.push_back(fault);
    }
    Simulator sim(config);
    sim.load(0x0000, kPlusOne);
    sim.startAt(0x0000);
    SendInTurn(sim, {'a', 'c', 'e', 'g'});
    // A dropped byte's stray follower still comes: the noise is the line's, not the byte's.
    EXPECT_EQ(SentValues(sim), Bytes({uint8_t(~'b'), 'd', 0x55, 'h', 0x55}));
}

TEST(LineFaults, NoiseFollowsItsByteOneCharacterLater) {
    Simulator sim(WithFault("noise:1"));
    sim.load(0x0000, kPlusOne);
    sim.startAt(0x0000);
    SendInTurn(sim, {'a'});
    ASSERT_EQ(sim.targetSent().size(), 2u);
    EXPECT_EQ(sim.targetSent()[1].cycle, sim.targetSent()[0].cycle + kCharAtSci1200);
}

TEST(LineFaults, AfterAResetTheNextBytesMeetTheBootRom) {
    Simulator sim(WithFault("reset:1"));
    sim.load(0x0000, kPlusOne);
    sim.startAt(0x0000);
    SendInTurn(sim, {'a'});
    EXPECT_TRUE(sim.bootRomRunning());
    SendInTurn(sim, {'c'});
    EXPECT_EQ(SentValues(sim), Bytes({'b', 0x00})) << "the break; 'c' is its first character";
    Bytes download = Download(kPlusOne);
    sim.hostSend(download, kBaud);
    ASSERT_EQ(sim.runUntilSent(2 + download.size(), kBudget), RunEnd::Reached);
    Bytes echoes = SentValues(sim);
    EXPECT_EQ(Bytes(echoes.begin() + 2, echoes.end()), download);
    EXPECT_FALSE(sim.bootRomRunning());
}

// A reset under way loses the character shifting out behind the byte that triggered it; the
// boot ROM's break follows.
TEST(LineFaults, ResetCutsOffTheCharacterBehind) {
    const Bytes kTwoBackToBack = {0xCE, 0x10, 0x00,        // LDX  #$1000
                                  0x86, 0x41, 0xA7, 0x2F,  // 'A' into the shifter
                                  0x1F, 0x2E, 0x80, 0xFC,  // BRCLR $2E,X #$80 *
                                  0x86, 0x42, 0xA7, 0x2F,  // 'B' right behind it
                                  0x20, 0xFE};             // BRA *
    Simulator sim(WithFault("reset:1"));
    sim.load(0x0000, kTwoBackToBack);
    sim.startAt(0x0000);
    EXPECT_EQ(sim.runUntilWaiting(kBudget), RunEnd::Waiting);
    EXPECT_EQ(SentValues(sim), Bytes({'A', 0x00}));
    EXPECT_TRUE(sim.bootRomRunning());
}

std::vector<Bytes> Served(const std::string &fault, std::vector<Bytes> script) {
    Simulator sim(WithFault(fault));
    sim.load(0x0000, kPlusOne);
    sim.startAt(0x0000);
    ScriptedLine line(std::move(script));
    hc11::ServeOptions options;
    options.stopRequested = &line.stop;
    sim.serve(line, options);
    return line.written;
}

TEST(LineFaultsServed, NoiseReachesTheHostInTheSameWriteAsItsByte) {
    EXPECT_EQ(Served("noise:1", {{'a'}, {'c'}}), std::vector<Bytes>({{'b', 0x55}, {'d'}}));
}

TEST(LineFaultsServed, ADroppedOrDeadLineWritesNothing) {
    EXPECT_EQ(Served("drop:1", {{'a'}, {'c'}}), std::vector<Bytes>({{'d'}}));
    EXPECT_EQ(Served("unplug:1", {{'a'}, {'c'}}), std::vector<Bytes>({{'b'}}));
    EXPECT_EQ(Served("silent", {{'a'}, {'c'}}), std::vector<Bytes>());
}

}  // namespace
