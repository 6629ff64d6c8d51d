// The whole job: the real hc11prog programs the real hc11sim through a pseudo-terminal, and
// the simulator's memory dump is read back with srec_cat.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "fake_target.h"
#include "run_fixtures.h"
#include "sim_process.h"

namespace {

const std::string kProgram = HC11PROG_PATH;

class EndToEnd : public testing::Test {
  protected:
    ProgramResult Program(SimProcess &sim, const std::string &args) {
        return RunProgram(kProgram + " -d " + sim.path() + " " + args);
    }
    std::string dir = MakeTempDir();
};

TEST_F(EndToEnd, TypicalRunProgramsTheFileIntoEeprom) {
    Bytes code = Pattern(0x80, 0x11);
    const std::vector<Block> blocks = {{0xF800, code}, {0xFFFE, {0xF8, 0x00}}};
    std::string file = WriteS19(dir, "app.s19", blocks);
    SimProcess sim;
    ProgramResult result = Program(sim, "-B -i " + file);
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(WithoutBanner(result.out), "Downloading talker file\n" + TalkerMarks() +
                                             "Bulk Erasing EEPROM\nDownloading " + file + "\n" +
                                             Dots(S19Lines(blocks)) + "Success\n");
    EXPECT_EQ(sim.dumped(0xF800, 0xF87F), code);
    EXPECT_EQ(sim.dumped(0xF880, 0xFFFD), Bytes(0xFFFE - 0xF880, 0xFF));
    EXPECT_EQ(sim.dumped(0xFFFE, 0xFFFF), Bytes({0xF8, 0x00}));
    EXPECT_EQ(sim.dumped(0x103F, 0x103F), Bytes({0xF5}));
    EXPECT_EQ(sim.stat("eeprom_bulk_erase"), 1);
}

TEST_F(EndToEnd, TheExampleRunsWithExpandedBusAndBulkErase) {
    std::string example = std::string(EXAMPLES_DIR) + "/hello.s19";
    SimProcess sim({"--xram", "2000-7FFF"});
    ProgramResult result = Program(sim, "-E -B -i " + example);
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(sim.dumped(0xF800, 0xFFFF), ReadS19Range(example, 0xF800, 0xFFFF));
    EXPECT_EQ(sim.dumped(0x2000, 0x201F), ReadS19Range(example, 0x2000, 0x201F, 0x00));
}

// EEPROM preloaded with bytes that need erase and program, program only, or nothing: the
// talker works only where it must.
TEST_F(EndToEnd, ProgramsOnlyTheBytesThatNeedIt) {
    std::string preload = WriteS19(dir, "preload.s19", {{0xF900, {0x00, 0x30, 0x3C, 0xF0}}});
    std::string file =
        WriteS19(dir, "mixed.s19", {{0xF900, {0xFF, 0x10, 0x3C, 0x0F}}, {0x3000, {1, 2, 3}}});
    // $00->$FF erase+program, $30->$10 program, $3C->$3C nothing, $F0->$0F erase+program.
    SimProcess sim({"--eeprom", preload, "--xram", "2000-7FFF"});
    ProgramResult result = Program(sim, "-E -i " + file);
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(sim.dumped(0xF900, 0xF903), Bytes({0xFF, 0x10, 0x3C, 0x0F}));
    EXPECT_EQ(sim.dumped(0x3000, 0x3002), Bytes({1, 2, 3}));
    EXPECT_EQ(sim.stat("eeprom_byte_erase"), 2);
    EXPECT_EQ(sim.stat("eeprom_program"), 3);
    EXPECT_EQ(sim.stat("eeprom_bulk_erase"), 0);
}

TEST_F(EndToEnd, BulkEraseFirstLeavesOnlyProgramming) {
    std::string preload = WriteS19(dir, "preload.s19", {{0xF900, {0x00, 0x30, 0x3C, 0xF0}}});
    std::string file = WriteS19(dir, "mixed.s19", {{0xF900, {0xFF, 0x10, 0x3C, 0x0F}}});
    SimProcess sim({"--eeprom", preload});
    ProgramResult result = Program(sim, "-B -C ff -i " + file);
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(sim.dumped(0xF900, 0xF903), Bytes({0xFF, 0x10, 0x3C, 0x0F}));
    EXPECT_EQ(sim.stat("eeprom_byte_erase"), 0);
    EXPECT_EQ(sim.stat("eeprom_program"), 4);  // 3 data bytes ($FF is already there) + CONFIG
    EXPECT_EQ(sim.dumped(0x103F, 0x103F), Bytes({0xFF}));
}

TEST_F(EndToEnd, RecordStraddlingTheEepromBoundIsSplit) {
    Bytes data = Pattern(32, 0x40);
    std::string file = WriteS19(dir, "straddle.s19", {{0xF7F0, data}});
    SimProcess sim({"--xram", "2000-F7FF"});
    ProgramResult result = Program(sim, "-E -B -i " + file);
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(sim.dumped(0xF7F0, 0xF80F), data);
}

TEST_F(EndToEnd, OtherEepromRangeSendsTheRestAsPlainStoresWhichDoNotVerify) {
    std::string file = WriteS19(dir, "range.s19", {{0xF800, {0x12}}, {0xF900, {0x34}}});
    SimProcess sim;
    ProgramResult result = Program(sim, "-B -e f800-f8ff -i " + file);
    sim.stop();
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.err,
              "SendRawWithEcho: pbReadBuffer[0](ff) != pbBuffer[0x0](34))\n"
              "1 byte(s) did not verify: the target does not hold the file\n");
    EXPECT_EQ(WithoutBanner(result.out).substr(WithoutBanner(result.out).size() - 8), "Failure\n");
    EXPECT_EQ(sim.dumped(0xF800, 0xF800), Bytes({0x12}));
    EXPECT_EQ(sim.dumped(0xF900, 0xF900), Bytes({0xFF}));
}

TEST_F(EndToEnd, BulkEraseWithoutAFileSetsConfig) {
    std::string preload = WriteS19(dir, "preload.s19", {{0xF800, Pattern(64, 1)}});
    SimProcess sim({"--eeprom", preload});
    ProgramResult result = Program(sim, "-B -C 0d");
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "No input file specified\n");
    EXPECT_EQ(WithoutBanner(result.out),
              "Downloading talker file\n" + TalkerMarks() + "Bulk Erasing EEPROM\n");
    EXPECT_EQ(sim.dumped(0xF800, 0xFFFF), Bytes(0x800, 0xFF));
    EXPECT_EQ(sim.dumped(0x103F, 0x103F), Bytes({0x0D}));
}

TEST_F(EndToEnd, MissingFileNeverTouchesTheSimulator) {
    SimProcess sim;
    ProgramResult result = Program(sim, "-B -i " + dir + "/nothing.s19");
    sim.stop();
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "File Error: Could not open " + dir + "/nothing.s19\n");
    EXPECT_EQ(sim.stat("rx_bytes"), 0);
}

TEST_F(EndToEnd, ExpandedBusWritesHprioBeforeBprot) {
    std::string file = WriteS19(dir, "ram.s19", {{0x4000, Pattern(40, 3)}});
    SimProcess sim({"--xram", "4000-4FFF", "--trace"});
    ProgramResult result = Program(sim, "-E -i " + file);
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(WithoutBanner(result.out).find(TalkerMarks() + "Enable Expanded Memory\nDownloading"),
              std::string::npos);
    EXPECT_EQ(sim.dumped(0x4000, 0x4027), Pattern(40, 3));
    std::string trace = sim.errors();
    size_t hprio = trace.find("HPRIO"), bprot = trace.find("BPROT");
    ASSERT_NE(hprio, std::string::npos) << "the trace names register writes";
    ASSERT_NE(bprot, std::string::npos);
    EXPECT_LT(hprio, bprot);
}

// On a terminal each phase is one line that rewrites itself ("\r"); what stays on the
// screen is each line's last drawing, complete, and no dot or talker mark is printed.
TEST_F(EndToEnd, ProgressOnATerminalIsOneLinePerPhase) {
    const std::vector<Block> blocks = {{0xF800, Pattern(130, 7)}};
    std::string file = WriteS19(dir, "app.s19", blocks);
    SimProcess sim;
    FakeTarget terminal;
    ProgramResult result =
        RunProgramOnTerminal(kProgram + " -d " + sim.path() + " -B -i " + file, terminal);
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    std::string screen;
    std::istringstream lines(WithoutBanner(result.out));
    for (std::string line; std::getline(lines, line);) {
        EXPECT_EQ(line.find(".."), std::string::npos) << line;
        std::string shown = line.substr(line.rfind('\r') + 1);
        shown = std::regex_replace(shown, std::regex("\x1b\\[K"), "");
        screen += std::regex_replace(shown, std::regex("[0-9]:[0-9]{2}"), "T") + "\n";
    }
    EXPECT_EQ(screen,
              "Downloading talker file\n"
              "talker load   256/256 bytes 100%  T elapsed  T left\n"
              "Bulk Erasing EEPROM\n"
              "erase        2048/2048 bytes 100%  T elapsed  T left\n"
              "Downloading " +
                  file +
                  "\n"
                  "download      130/130 bytes 100%  T elapsed  T left\n"
                  "Success\n");
    EXPECT_EQ(sim.dumped(0xF800, 0xF881), Pattern(130, 7));
}

TEST(EndToEndSilentPort, TalkerLoadAgainstNothingEndsWithStatus3) {
    FakeTarget nothing;
    ProgramResult result = RunProgram(kProgram + " -B -d " + nothing.path());
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(WithoutBanner(result.out), "Downloading talker file\n0.");
    EXPECT_EQ(result.err, "No input file specified\nSendRawWithEcho: dwRead != 1\n");
}

}  // namespace
