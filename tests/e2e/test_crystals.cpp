// Whole runs at the crystals boards use: hc11prog -x against hc11sim --crystal, whose boot
// ROM, SCI and EEPROM all follow E. The simulated EEPROM changes nothing unless EPGM stayed on
// for its 10 ms at that E clock, so a delay count too short for the crystal fails the run.
#include <gtest/gtest.h>

#include <string>

#include "child_process.h"
#include "fake_target.h"
#include "run_fixtures.h"
#include "sim_process.h"

namespace {

const std::string kProgram = HC11PROG_PATH;

class Crystals : public testing::Test {
  protected:
    ProgramResult Program(SimProcess &sim, const std::string &args) {
        return RunProgram(kProgram + " -d " + sim.path() + " " + args);
    }
    std::string dir = MakeTempDir();
};

struct CrystalCase {
    const char *pszMhz;
    const char *pszTalkerLine;  // what the run says of the talker's rate, if anything
};

const CrystalCase kCrystals[] = {
    {"4.9152", ""}, {"7.3728", ""},
    {"8", ""},      {"12", "The talker runs at 14400 baud with a 12 MHz crystal\n"},
    {"16", ""},
};

// The EEPROM after a bulk erase: every byte programmed in its 10 ms, CONFIG too.
TEST_F(Crystals, BulkEraseAndEepromAtEveryCrystal) {
    const Bytes code = Pattern(0x60, 0x31);
    const std::vector<Block> blocks = {{0xF800, code}, {0xFFFE, {0xF8, 0x00}}};
    std::string file = WriteS19(dir, "app.s19", blocks);
    for (const CrystalCase &c : kCrystals) {
        SCOPED_TRACE(c.pszMhz);
        SimProcess sim({"--crystal", c.pszMhz});
        ProgramResult result = Program(sim, std::string("-x ") + c.pszMhz + " -B -i " + file);
        sim.stop();
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(WithoutBanner(result.out),
                  std::string(c.pszTalkerLine) + "Downloading talker file\n" + TalkerMarks() +
                      kConfigTold + "Bulk Erasing EEPROM\n" + ConfigProgrammed() + "Downloading " +
                      file + "\n" + Dots(S19Lines(blocks)) + "Success\n");
        EXPECT_EQ(sim.dumped(0xF800, 0xF85F), code);
        EXPECT_EQ(sim.dumped(0xFFFE, 0xFFFF), Bytes({0xF8, 0x00}));
        EXPECT_EQ(sim.dumped(0x103F, 0x103F), Bytes({0xF5}));
        EXPECT_EQ(sim.stat("eeprom_bulk_erase"), 1);
        EXPECT_EQ(sim.stat("eeprom_aborted"), 0);
    }
}

// Without -B: bytes erased one by one where a 0 must become a 1, and external RAM through
// the expanded bus, in one file.
TEST_F(Crystals, ByteErasesAndExternalRamAtEveryCrystal) {
    std::string preload = WriteS19(dir, "preload.s19", {{0xF900, {0x00, 0x30, 0x3C, 0xF0}}});
    const Bytes ram = Pattern(100, 0x52);
    std::string file =
        WriteS19(dir, "mixed.s19", {{0xF900, {0xFF, 0x10, 0x3C, 0x0F}}, {0x2000, ram}});
    for (const CrystalCase &c : kCrystals) {
        SCOPED_TRACE(c.pszMhz);
        SimProcess sim({"--crystal", c.pszMhz, "--eeprom", preload, "--xram", "2000-7FFF"});
        ProgramResult result = Program(sim, std::string("-x ") + c.pszMhz + " -E -i " + file);
        sim.stop();
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(sim.dumped(0xF900, 0xF903), Bytes({0xFF, 0x10, 0x3C, 0x0F}));
        EXPECT_EQ(sim.dumped(0x2000, 0x2063), ram);
        EXPECT_EQ(sim.stat("eeprom_byte_erase"), 2);
        EXPECT_EQ(sim.stat("eeprom_program"), 3);
        EXPECT_EQ(sim.stat("eeprom_aborted"), 0);
    }
}

// -b at other crystals: the load at the boot ROM's own rate, then the fastest rate E makes.
TEST_F(Crystals, FastestRateAtOtherCrystals) {
    const Bytes eeprom = Pattern(64, 0x90), ram = Pattern(200, 0x21);
    std::string file = WriteS19(dir, "mixed.s19", {{0x2000, ram}, {0xF800, eeprom}});
    for (const char *pszArgs : {"-x 12 -b 187500", "-x 7.3728 -b 115200", "-x 16 -b 19200"}) {
        SCOPED_TRACE(pszArgs);
        std::string mhz = std::string(pszArgs).substr(3, std::string(pszArgs).find(" -b") - 3);
        SimProcess sim({"--crystal", mhz, "--xram", "2000-3FFF"});
        ProgramResult result = Program(sim, std::string(pszArgs) + " -E -B -i " + file);
        sim.stop();
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(sim.dumped(0x2000, 0x20C7), ram);
        EXPECT_EQ(sim.dumped(0xF800, 0xF83F), eeprom);
        EXPECT_EQ(sim.stat("sci_overruns"), 0);
    }
}

// Where a waiting boot ROM reads the probe at the talker's first rate as an ordinary first
// character (talker_clock.h), a second run finds the first run's talker; the first run's
// load, without the $FF, went in after the probe.
TEST_F(Crystals, SecondRunFindsTheRunningTalkerWhereTheProbeIsSafe) {
    std::string first = WriteS19(dir, "first.s19", {{0xF800, Pattern(40, 1)}});
    std::string second = WriteS19(dir, "second.s19", {{0xF900, Pattern(40, 2)}});
    for (const CrystalCase &c : {kCrystals[1], kCrystals[3], kCrystals[4]}) {
        SCOPED_TRACE(c.pszMhz);
        SimProcess sim({"--crystal", c.pszMhz});
        ProgramResult fresh = Program(sim, std::string("-x ") + c.pszMhz + " -i " + first);
        ProgramResult again = Program(sim, std::string("-x ") + c.pszMhz + " -i " + second);
        sim.stop();
        EXPECT_EQ(fresh.status, 0) << fresh.err;
        EXPECT_EQ(again.status, 0) << again.err;
        EXPECT_EQ(WithoutBanner(again.out), std::string(c.pszTalkerLine) +
                                                "Downloading talker file\nTalker already running\n"
                                                "Downloading " +
                                                second + "\n" + Dots(4) + "Success\n");
        EXPECT_EQ(sim.dumped(0xF800, 0xF827), Pattern(40, 1));
        EXPECT_EQ(sim.dumped(0xF900, 0xF927), Pattern(40, 2));
    }
}

// Below E = 1 MHz the EEPROM needs OPTION's CSEL and 20 ms: the run sets it and programs.
TEST_F(Crystals, SlowCrystalSetsCselAndProgramsInTwentyMilliseconds) {
    const Bytes code = Pattern(16, 0x44);
    std::string file = WriteS19(dir, "app.s19", {{0xF800, code}});
    SimProcess sim({"--crystal", "3.6864"});
    ProgramResult result = Program(sim, "-x 3.6864 -B -i " + file);
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(sim.dumped(0xF800, 0xF80F), code);
    EXPECT_EQ(sim.stat("eeprom_aborted"), 0);
    EXPECT_EQ(sim.stat("eeprom_program"), 17);  // the data and CONFIG
}

// A -x other than the board's crystal: the boot ROM runs at another rate, the echoes come
// back wrong, and the run fails before anything is written.
TEST_F(Crystals, WrongCrystalFailsTheLoadAndWritesNothing) {
    std::string file = WriteS19(dir, "app.s19", {{0xF800, Pattern(16, 0x44)}});
    for (const char *pszSim : {"12", "16", "4.9152"}) {
        SCOPED_TRACE(pszSim);
        SimProcess sim({"--crystal", pszSim});
        ProgramResult result = Program(sim, "-B -i " + file);
        sim.stop();
        EXPECT_EQ(result.status, 3);
        EXPECT_NE(result.err.find("DownloadTalker: "), std::string::npos) << result.err;
        EXPECT_EQ(WithoutBanner(result.out).substr(WithoutBanner(result.out).size() - 8),
                  "Failure\n");
        EXPECT_EQ(sim.stat("eeprom_program") + sim.stat("eeprom_bulk_erase"), 0);
        EXPECT_EQ(sim.dumped(0xF800, 0xF80F), Bytes(16, 0xFF));
    }
}

// A failure whose echoes or read-backs show the cause says it in its last line: a boot ROM
// at another rate than -x makes (garbled echoes), EEPROM pulses timed for a slower crystal
// (bytes left erased), or, where a running talker can't be probed for, the talker of the run
// before (its answers, one same byte, in place of the echoes).
TEST_F(Crystals, TheLikelyCauseEndsAFailureItShows) {
    std::string file = " -i " + WriteS19(dir, "app.s19", {{0xF800, Pattern(16, 0x44)}});
    const std::string kGarbled =
        "DownloadTalker: the echoes came back garbled, each byte its own way, as from a boot ROM "
        "at another rate: check that -x names the board's crystal (now ";
    const std::string kRunning =
        "the talker from an earlier run may still be running: reset "
        "the board (";
    const struct {
        std::vector<std::string> sim;
        std::string args;
        int runs;  // the last one fails
        std::string lastLine;
    } cases[] = {
        {{"--crystal", "8"}, "-x 12" + file, 1, kGarbled + "12 MHz)\n"},
        {{"--crystal", "12"}, file, 1, kGarbled + "8 MHz)\n"},
        {{"--crystal", "8"},
         "-x 7.9" + file,
         1,
         "Each byte that did not verify is an EEPROM byte left erased ($FF): programming takes "
         "the time the crystal sets; check that -x names the board's crystal (now 7.9 MHz)\n"},
        {{"--crystal", "4.9152"},
         "-x 4.9152" + file,
         2,
         kRunning + "at this crystal a running talker can't be detected)\n"},
        {{"--crystal", "20"},
         "-x 20" + file,
         2,
         kRunning + "at this crystal a running talker can't be detected)\n"},
        {{"--part", "E9"},
         "-p E9",
         2,
         kRunning + "on the E9 a running talker can't be detected)\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args + " on " + c.sim[0] + " " + c.sim[1]);
        SimProcess sim(c.sim);
        ProgramResult result;
        for (int i = 0; i < c.runs; i++) result = Program(sim, c.args + " -B");
        sim.stop();
        EXPECT_EQ(result.status, 3);
        size_t lastLine = result.err.rfind('\n', result.err.size() - 2) + 1;
        EXPECT_EQ(result.err.substr(lastLine), c.lastLine) << result.err;
    }
}

}  // namespace
