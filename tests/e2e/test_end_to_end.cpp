// The whole job: the real hc11prog programs the real hc11sim through a pseudo-terminal, and
// the simulator's memory dump is read back with srec_cat.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "child_process.h"
#include "fake_target.h"
#include "part_table.h"
#include "run_fixtures.h"
#include "sci_rate.h"
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
    EXPECT_EQ(WithoutBanner(result.out), "Downloading talker file\n" + TalkerMarks() + kConfigTold +
                                             "Bulk Erasing EEPROM\n" + ConfigProgrammed() +
                                             "Downloading " + file + "\n" + Dots(S19Lines(blocks)) +
                                             "Success\n");
    EXPECT_EQ(sim.dumped(0xF800, 0xF87F), code);
    EXPECT_EQ(sim.dumped(0xF880, 0xFFFD), Bytes(0xFFFE - 0xF880, 0xFF));
    EXPECT_EQ(sim.dumped(0xFFFE, 0xFFFF), Bytes({0xF8, 0x00}));
    EXPECT_EQ(sim.dumped(0x103F, 0x103F), Bytes({0xF5}));
    EXPECT_EQ(sim.stat("eeprom_bulk_erase"), 1);
}

// Programmed into EEPROM by today's run, the program answers on the SCI once the chip resets
// into single-chip mode: each byte at 9600 baud comes back plus one.
TEST_F(EndToEnd, AProgramInEepromRunsAfterAResetIntoSingleChipMode) {
    const Bytes kPlusOne = {0x8E, 0x00, 0xFF,        // $F800 LDS  #$00FF
                            0xCE, 0x10, 0x00,        //       LDX  #$1000
                            0x86, 0x30, 0xA7, 0x2B,  //       BAUD  <- 9600
                            0x86, 0x0C, 0xA7, 0x2D,  //       SCCR2 <- TE RE
                            0x1F, 0x2E, 0x20, 0xFC,  // $F80E BRCLR SCSR,X #RDRF *
                            0xA6, 0x2F, 0x4C,        //       LDAA SCDR,X; INCA
                            0x1F, 0x2E, 0x80, 0xFC,  //       BRCLR SCSR,X #TDRE *
                            0xA7, 0x2F,              //       STAA SCDR,X
                            0x20, 0xF1};             //       BRA  $F80E
    std::string file = WriteS19(dir, "echo.s19", {{0xF800, kPlusOne}, {0xFFFE, {0xF8, 0x00}}});
    SimProcess sim({"--reset-mode", "single"});
    ProgramResult result = Program(sim, "-B -i " + file);
    EXPECT_EQ(result.status, 0) << result.err;
    sim.reset();
    EXPECT_EQ(sim.converse({'a', 'b', 'c'}, 9600, 3), Bytes({'b', 'c', 'd'}));
    sim.stop();
    EXPECT_EQ(sim.dumped(0xF800, uint16_t(0xF800 + kPlusOne.size() - 1)), kPlusOne);
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

// At each family of rates (the talker's own 9600, a slower exact one, the SCI's fastest),
// RAM records stream back to back, EEPROM bytes one ahead, and the record after an EEPROM one
// as soon as the talker takes it: the file lands whole and the chip's receiver never overruns.
TEST_F(EndToEnd, EveryRateStreamsWithoutOverrun) {
    const Bytes ram = Pattern(200, 0x21), eeprom = Pattern(64, 0x90), after = Pattern(40, 0x07);
    std::string file =
        WriteS19(dir, "mixed.s19", {{0x2000, ram}, {0xF800, eeprom}, {0x3000, after}});
    for (const char *pszRate : {"9600", "15625", "125000"}) {
        SimProcess sim({"--xram", "2000-3FFF"});
        ProgramResult result = Program(sim, std::string("-E -B -b ") + pszRate + " -i " + file);
        sim.stop();
        EXPECT_EQ(result.status, 0) << pszRate << result.err;
        EXPECT_EQ(sim.dumped(0x2000, 0x20C7), ram) << pszRate;
        EXPECT_EQ(sim.dumped(0xF800, 0xF83F), eeprom) << pszRate;
        EXPECT_EQ(sim.dumped(0x3000, 0x3027), after) << pszRate;
        EXPECT_EQ(sim.stat("sci_overruns"), 0) << pszRate;
    }
}

// The same in real time, where the wire spaces the host's bytes by the wall clock, behind
// an adapter that sends at once or holds what it receives for 1 or 16 ms.
TEST_F(EndToEnd, FastRatesStreamWithoutOverrunInRealTimeBehindEveryLatency) {
    const Bytes ram = Pattern(200, 0x21), eeprom = Pattern(64, 0x90), after = Pattern(40, 0x07);
    std::string file =
        WriteS19(dir, "mixed.s19", {{0x2000, ram}, {0xF800, eeprom}, {0x3000, after}});
    for (const char *pszRate : {"31250", "62500", "125000"}) {
        for (const char *pszLatency : {"", "1", "16"}) {
            SCOPED_TRACE(std::string(pszRate) + " baud, latency " + pszLatency);
            std::vector<std::string> simArgs = {"--xram", "2000-3FFF", "--realtime"};
            if (*pszLatency) simArgs.insert(simArgs.end(), {"--latency", pszLatency});
            SimProcess sim(simArgs);
            ProgramResult result = Program(sim, std::string("-E -B -b ") + pszRate + " -i " + file);
            sim.stop();
            EXPECT_EQ(result.status, 0) << result.err;
            EXPECT_EQ(sim.dumped(0x2000, 0x20C7), ram);
            EXPECT_EQ(sim.dumped(0xF800, 0xF83F), eeprom);
            EXPECT_EQ(sim.dumped(0x3000, 0x3027), after);
            EXPECT_EQ(sim.stat("sci_overruns"), 0);
        }
    }
}

TEST_F(EndToEnd, OtherEepromRangeSendsTheRestAsPlainStoresWhichDoNotVerify) {
    std::string file = WriteS19(dir, "range.s19", {{0xF800, {0x12}}, {0xF900, {0x34}}});
    SimProcess sim;
    ProgramResult result = Program(sim, "-B -e f800-f8ff -i " + file);
    sim.stop();
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.err,
              "WriteSRecord: $F900 (byte 0 of the record at $F900) wrote 34, read back FF\n"
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
              "Downloading talker file\n" + TalkerMarks() +
                  "CONFIG $0D for the 811E2: EE3-EE0 0 (EEPROM at $0800-$0FFF), NOSEC 1, NOCOP 1, "
                  "EEON 1\n"
                  "  EE3-EE0 0: from the next reset, the EEPROM is at $0800-$0FFF\n"
                  "  NOSEC 1: from the next reset, security off\n"
                  "Bulk Erasing EEPROM\n" +
                  ConfigProgrammed(0x0D) + "Success\n");
    EXPECT_EQ(sim.dumped(0xF800, 0xFFFF), Bytes(0x800, 0xFF));
    EXPECT_EQ(sim.dumped(0x103F, 0x103F), Bytes({0x0D}));
}

// "-p" on every part: the talker loads the part's way (256 bytes, or the talker alone and
// the ROM's idle end waited out), the bulk erase leaves the part's CONFIG value, and the file
// goes into the part's EEPROM and into the RAM above the talker's. The E9 runs in real time,
// where a sync sent before the ROM's idle end would be taken into the load; the E20 is loaded
// at the ROM's own 7812 baud, its idle end 5 ms instead of 33. Parts without
// BPROT are sent no BPROT write: five bytes fewer than the 811E2 for the same file.
TEST_F(EndToEnd, EveryPartIsProgrammedWithItsOwnSettings) {
    // Each part's default CONFIG, decoded by the bits it has.
    const std::map<std::string, std::string> kPartConfigTold = {
        {"811E2", kConfigTold},
        {"E9", "CONFIG $0F for the E9: NOSEC 1, NOCOP 1, ROMON 1, EEON 1\n"},
        {"E1", "CONFIG $0D for the E1: NOSEC 1, NOCOP 1, ROMON 0, EEON 1\n"},
        {"E20", "CONFIG $0F for the E20: NOSEC 1, NOCOP 1, ROMON 1, EEON 1\n"},
        {"A8", "CONFIG $0F for the A8: NOSEC 1, NOCOP 1, ROMON 1, EEON 1\n"},
        {"A1", "CONFIG $0D for the A1: NOSEC 1, NOCOP 1, ROMON 0, EEON 1\n"},
        {"F1", "CONFIG $FF for the F1: NOSEC 1, NOCOP 1, EEON 1\n"},
    };
    double rxOf811E2 = 0;
    for (unsigned i = 0; i < GetPartCount(); i++) {
        const PartInfo *part = GetPartByIndex(i);
        SCOPED_TRACE(part->pszName);
        const uint16_t ee = part->wEepromStart;
        std::vector<Block> blocks = {{ee, Pattern(40, 7)},
                                     {uint16_t(part->wEepromEnd - 1), {1, 2}}};
        if (part->wRamEnd > 0x00FF) {
            blocks.push_back({0x0100, Pattern(32, 9)});
            blocks.push_back({uint16_t(part->wRamEnd - 1), {3, 4}});
        }
        std::string file = WriteS19(dir, "app.s19", blocks);
        std::string preload = WriteS19(dir, "preload.s19", {{uint16_t(ee + 0x40), Pattern(64, 1)}});
        std::vector<std::string> simArgs = {"--part", part->pszName, "--eeprom", preload};
        const std::string name = part->pszName;
        if (name == "E9") simArgs.push_back("--realtime");
        // A variable-length part loads at 1200 even with -b (unprobed, harmless to a talker).
        const std::string rate = name == "E20" ? " -b 125000" : "";
        SimProcess sim(simArgs);
        ProgramResult result = Program(sim, "-B -p " + name + rate + " -i " + file);
        sim.stop();
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(WithoutBanner(result.out),
                  "Downloading talker file\n" + TalkerMarks() + kPartConfigTold.at(name) +
                      "Bulk Erasing EEPROM\n" + ConfigProgrammed(part->bConfigAfterErase) +
                      "Downloading " + file + "\n" + Dots(S19Lines(blocks)) + "Success\n");
        Bytes eeprom(part->wEepromEnd - ee + 1, 0xFF);
        std::copy(blocks[0].data.begin(), blocks[0].data.end(), eeprom.begin());
        std::copy(blocks[1].data.begin(), blocks[1].data.end(), eeprom.end() - 2);
        EXPECT_EQ(sim.dumped(ee, part->wEepromEnd), eeprom);
        for (size_t b = 2; b < blocks.size(); b++) {
            uint16_t last = uint16_t(blocks[b].address + blocks[b].data.size() - 1);
            EXPECT_EQ(sim.dumped(blocks[b].address, last), blocks[b].data);
        }
        EXPECT_EQ(sim.dumped(0x103F, 0x103F), Bytes({part->bConfigAfterErase}));
        if (!rate.empty()) {
            EXPECT_GT(sim.stat("wire_seconds"), 1.0) << "a load at 7812 baud takes under 1 s";
        }
        if (part == GetDefaultPart()) rxOf811E2 = sim.stat("rx_bytes");
        if (!part->fHasBprot) {
            EXPECT_EQ(sim.stat("rx_bytes"), rxOf811E2 - 5);
        }
    }
}

// The talker load (the probe's "s" at 9600 switching the ROM to 1200, then 256 bytes) on
// every part. On fixed-load parts the talker starts after the 256th byte and the bulk erase
// clears the part's own EEPROM wherever it lies. A variable-load part, taken for the default
// 811E2, ends its load when the line stays idle for 4 character times, which here comes
// while the probe waits for an answer: the chip runs what its RAM held and answers the probe
// with something other than the prompt, and the run says so with status 3.
TEST_F(EndToEnd, TheTalkerLoadsOnFixedLoadPartsAndVariableOnesFailTheLoad) {
    for (unsigned i = 0; i < GetPartCount(); i++) {
        const PartInfo *part = GetPartByIndex(i);
        SCOPED_TRACE(part->pszName);
        std::string preload = WriteS19(dir, "preload.s19", {{part->wEepromStart, Pattern(64, 1)}});
        SimProcess sim({"--part", part->pszName, "--eeprom", preload});
        ProgramResult result = Program(sim, "-B");
        sim.stop();
        if (part->fVariableLoad) {
            EXPECT_EQ(result.status, 3);
            // The ROM ends the empty load and what runs answers the probe, or the load fails.
            EXPECT_NE(result.err.find("special bootstrap mode (MODA and MODB low)"),
                      std::string::npos)
                << result.err;
            EXPECT_EQ(sim.dumped(part->wEepromStart, uint16_t(part->wEepromStart + 63)),
                      Pattern(64, 1));
            continue;
        }
        EXPECT_EQ(WithoutBanner(result.out).rfind("Downloading talker file\n" + TalkerMarks(), 0),
                  0u);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(sim.dumped(part->wEepromStart, uint16_t(part->wEepromStart + 63)),
                  Bytes(64, 0xFF));
        EXPECT_EQ(sim.dumped(0x103F, 0x103F), Bytes({0xF5}));
    }
}

// A -p that names another part than the board's: whatever answers the sync, no control byte
// reaches the terminal, one line says what is likely, and the run ends with Failure rather
// than ten wrong answers.
TEST_F(EndToEnd, WrongPartIsNamedOnceWithoutRawBytes) {
    struct Case {
        const char *board, *part;
    } cases[] = {{"811E2", "E9"}, {"811E2", "F1"}, {"A8", "E9"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.part) + " against " + c.board);
        const PartInfo *part = FindPart(c.part);
        std::string file = WriteS19(dir, "app.s19", {{part->wEepromStart, Pattern(16, 3)}});
        SimProcess sim({"--part", c.board});
        ProgramResult result = Program(sim, std::string("-p ") + c.part + " -i " + file);
        sim.stop();
        EXPECT_EQ(result.status, 3);
        std::string out = WithoutBanner(result.out);
        EXPECT_EQ(out.substr(out.size() - 8), "Failure\n") << out;
        for (char ch : result.err)
            EXPECT_TRUE(ch == '\n' || (ch >= 0x20 && ch < 0x7F)) << int(uint8_t(ch));
        EXPECT_NE(result.err.find("another part than -p names"), std::string::npos) << result.err;
        size_t wrong = 0;
        for (size_t at = 0; (at = result.err.find("GetPrompt: Got a", at)) != std::string::npos;
             at++)
            wrong++;
        EXPECT_LE(wrong, 2u) << result.err;
    }
}

// A chip that resets during a -b run answers the sync at the new rate with its break, or its
// boot ROM's slow echoes, read as $00: told apart from a rate the line does not carry.
TEST_F(EndToEnd, ResetAtTheRateSwitchIsToldAsAReset) {
    const char *const kSyncPromptAt9600 = "reset:258";
    SimProcess sim({"--fault", kSyncPromptAt9600});
    ProgramResult result = Program(sim, "-b 125000 -B");
    sim.stop();
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.err.find("SetTalkerRate: the board answered $00 at 125000 baud: the chip "
                              "reset"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find("may not carry this rate"), std::string::npos) << result.err;
    EXPECT_EQ(WithoutBanner(result.out), "Downloading talker file\n" + TalkerMarks() + "Failure\n");
}

// A byte that does not verify is reported on a line of its own, never after the progress
// line's text on the same terminal.
TEST_F(EndToEnd, MismatchLineStartsItsOwnLineOnATerminal) {
    const std::vector<Block> blocks = {{0xF800, Pattern(64, 7)}};
    std::string file = WriteS19(dir, "app.s19", blocks);
    SimProcess sim({"--fault", "stuck:F805"});
    FakeTarget terminal;
    ProgramResult result = RunProgramOnTerminal(
        "{ " + kProgram + " -d " + sim.path() + " -B -i " + file + " 2>&1; }", terminal);
    sim.stop();
    EXPECT_EQ(result.status, 3);
    size_t at = result.out.find("WriteSRecord: $F805");
    ASSERT_NE(at, std::string::npos) << result.out;
    EXPECT_EQ(result.out[at - 1], '\n') << result.out.substr(0, at);
}

// A stray byte before the run (another program probing the port at 1200 baud) has the boot
// ROM start its load. On a fixed-length part the ROM then echoes, at 1200 baud, the talker's
// sync that probes for a running talker at 9600 (read there as $80); a variable-length part is not
// probed, and the ROM takes the load's $FF as the talker's first byte, so the echoes run one byte
// late. Either way the run fails and says what to do.
TEST_F(EndToEnd, StrayByteBeforeTheLoadFailsItAndSaysWhatToDo) {
    struct Case {
        const char *part;
        std::string out, advice;
    } cases[] = {
        {"811E2", "Downloading talker file\nFailure\n",
         "ProbeTalker: the board answered $80, not the talker's prompt: a talker left inside a "
         "command by an interrupted run, a byte that reached the boot ROM before the talker (a "
         "talker loaded now would land one byte off and not run), another part than -p names, "
         "or a program of its own. Reset the board into special bootstrap mode (MODA and MODB "
         "low) and run again\n"},
        {"E9", "Downloading talker file\n" + TalkerMarks() + "Failure\n",
         "DownloadTalker: the boot ROM echoed the $FF as the talker's first byte: a stray byte "
         "reached it first and the talker landed one byte late. Reset the board into bootstrap "
         "mode and run again\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.part);
        SimProcess sim({"--part", c.part});
        int fd = open(sim.path().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        struct termios tio;
        ASSERT_EQ(tcgetattr(fd, &tio), 0);
        cfmakeraw(&tio);
        cfsetspeed(&tio, B1200);
        ASSERT_EQ(tcsetattr(fd, TCSANOW, &tio), 0);
        ASSERT_EQ(write(fd, "\xFF", 1), 1);
        tcdrain(fd);
        // hc11sim reads the sender's rate when it takes the byte: the port stays at 1200 till
        // then where the run opens it at 9600 (a $FF at 9600 would reach the ROM as its own
        // $FF). A variable-length part's run opens it at 1200, and must come before its ROM
        // ends the load the stray byte began.
        if (!FindPart(c.part)->fVariableLoad) usleep(100000);
        close(fd);
        ProgramResult result = Program(sim, std::string("-B -p ") + c.part);
        sim.stop();
        EXPECT_EQ(result.status, 3);
        ASSERT_GE(result.err.size(), c.advice.size()) << result.err;
        EXPECT_EQ(result.err.substr(result.err.size() - c.advice.size()), c.advice);
        EXPECT_EQ(WithoutBanner(result.out), c.out);
    }
}

TEST_F(EndToEnd, MissingFileNeverTouchesTheSimulator) {
    SimProcess sim;
    ProgramResult result = Program(sim, "-B -i " + dir + "/nothing.s19");
    sim.stop();
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err,
              "File Error: Could not open " + dir + "/nothing.s19: No such file or directory\n");
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
// screen is each line's last drawing, complete, and no dot or talker mark is printed. On a
// narrow terminal every drawing fits the width, one column short, and keeps the count.
TEST_F(EndToEnd, ProgressOnATerminalIsOneLinePerPhase) {
    const std::vector<Block> blocks = {{0xF800, Pattern(130, 7)}};
    std::string file = WriteS19(dir, "app.s19", blocks);
    const struct {
        unsigned short columns;  // 0: the terminal does not say
        size_t widest;
        const char *phase;  // each phase's last drawing from its name, count done and total
    } cases[] = {{0, 72, "%-11s %5s/%s bytes 100%%  T elapsed  T left"},
                 {40, 39, "%s %s/%s T left"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.columns);
        SimProcess sim;
        FakeTarget terminal;
        winsize size = {};
        size.ws_col = c.columns;
        int fd = open(terminal.path().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_EQ(ioctl(fd, TIOCSWINSZ, &size), 0);
        close(fd);
        ProgramResult result =
            RunProgramOnTerminal(kProgram + " -d " + sim.path() + " -B -i " + file, terminal);
        sim.stop();
        EXPECT_EQ(result.status, 0) << result.err;
        std::string screen;
        std::istringstream lines(WithoutBanner(result.out));
        for (std::string line; std::getline(lines, line);) {
            EXPECT_EQ(line.find(".."), std::string::npos) << line;
            std::istringstream drawings(line);
            for (std::string drawing;
                 line.find('\r') != std::string::npos && std::getline(drawings, drawing, '\r');)
                EXPECT_LE(drawing.size(), c.widest) << drawing;
            std::string shown = line.substr(line.rfind('\r') + 1);
            shown = std::regex_replace(shown, std::regex(" +$"), "");
            screen += std::regex_replace(shown, std::regex("[0-9]:[0-9]{2}"), "T") + "\n";
        }
        auto phase = [&c](const char *name, const char *count) {
            char text[128];
            snprintf(text, sizeof text, c.phase, name, count, count);
            return std::string(text) + "\n";
        };
        EXPECT_EQ(screen, "Downloading talker file\n" + phase("talker load", "256") + kConfigTold +
                              "Bulk Erasing EEPROM\n" + phase("erase", "2048") +
                              ConfigProgrammed() + "Downloading " + file + "\n" +
                              phase("download", "130") + "Success\n");
        EXPECT_EQ(sim.dumped(0xF800, 0xF881), Pattern(130, 7));
    }
}

// Read once from a pipe, which cannot be rewound: the bytes checked are the bytes sent.
TEST_F(EndToEnd, FileFromAPipeIsCheckedAndProgrammed) {
    const std::vector<Block> blocks = {{0xF800, Pattern(100, 0x21)}};
    std::string file = WriteS19(dir, "app.s19", blocks);
    SimProcess sim;
    // The group keeps RunProgram's own redirection of standard input off the pipe.
    ProgramResult result =
        RunProgram("{ cat " + file + " | " + kProgram + " -d " + sim.path() + " -i /dev/stdin; }");
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("\n" + Dots(S19Lines(blocks)) + "Success\n"), std::string::npos)
        << result.out;
    EXPECT_EQ(sim.dumped(0xF800, 0xF863), blocks[0].data);
}

// Whether the port is free for the next program: no exclusive flag, no lock.
void ExpectPortFree(const std::string &path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    int fExclusive = -1;
    EXPECT_EQ(ioctl(fd, TIOCGEXCL, &fExclusive), 0);
    EXPECT_EQ(fExclusive, 0) << "the port was left exclusive";
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0) << "the port is still locked";
    close(fd);
}

// Ctrl-C in the middle of the download: the port is released at once, the tool says how far
// it got, ends with "Failure" as every failed run does, and the status is 128 + SIGINT.
TEST_F(EndToEnd, InterruptMidDownloadReleasesThePortAndSaysWhereItStopped) {
    const std::vector<Block> blocks = {{0xF800, Pattern(0x800, 0x05)}};
    std::string file = WriteS19(dir, "big.s19", blocks);
    SimProcess sim;
    ChildProcess run = StartChild({kProgram, "-B", "-d", sim.path(), "-i", file}, dir + "/err");
    ASSERT_GT(run.pid, 0);
    // The sixth line's dot: the download is under way, well short of its 66 lines.
    const std::string start = "Downloading " + file + "\n";
    std::string out;
    char ch;
    auto DotsOfTheFile = [&]() {
        size_t at = out.find(start);
        return at == std::string::npos ? 0 : out.size() - at - start.size();
    };
    while (DotsOfTheFile() < 6 && read(run.stdoutFd, &ch, 1) == 1) out += ch;
    kill(run.pid, SIGINT);
    while (read(run.stdoutFd, &ch, 1) == 1) out += ch;
    EXPECT_TRUE(std::regex_search(out, std::regex("\\.\nFailure\n$"))) << out;
    int status = 0;
    waitpid(run.pid, &status, 0);
    close(run.stdoutFd);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself";
    EXPECT_EQ(WEXITSTATUS(status), 130);
    std::ifstream errFile(dir + "/err");
    std::string err((std::istreambuf_iterator<char>(errFile)), std::istreambuf_iterator<char>());
    std::smatch match;
    ASSERT_TRUE(std::regex_match(err, match,
                                 std::regex("Interrupted: ([0-9]+) of 2048 bytes written; the "
                                            "chip holds a partial image\nReset the board into "
                                            "special bootstrap mode before the next run: the "
                                            "talker may have stopped inside a command\n")))
        << err;
    unsigned written = std::stoul(match[1]);
    EXPECT_GT(written, 32u);
    EXPECT_LT(written, 2048u);
    ExpectPortFree(sim.path());
    sim.stop();
    EXPECT_EQ(sim.dumped(0xF800, 0xF81F),
              Bytes(blocks[0].data.begin(), blocks[0].data.begin() + 32));
}

// Another program holds the port with a lock: the run is refused, and leaves the port as
// that program had it.
TEST_F(EndToEnd, PortLockedByAnotherProgramIsLeftAsItWas) {
    SimProcess sim;
    int fd = open(sim.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    ProgramResult result = Program(sim, "-B");
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.err, "No input file specified\n" + sim.path() +
                              ": Device or resource busy: another program holds the port: close "
                              "it and try again\n");
    int fExclusive = -1;
    EXPECT_EQ(ioctl(fd, TIOCGEXCL, &fExclusive), 0);
    EXPECT_EQ(fExclusive, 0) << "the refused run made the port exclusive";
    close(fd);
    sim.stop();
}

// A second run without a reset finds the talker of the first: the boot ROM took the probe's
// "s" as $F9 and loaded the talker once, and the second run programs its file through it.
// After a reset the probe finds the ROM again, and the talker is loaded anew.
TEST_F(EndToEnd, SecondRunWithoutResetKeepsTheRunningTalker) {
    std::string first = WriteS19(dir, "first.s19", {{0xF800, Pattern(40, 1)}});
    std::string second = WriteS19(dir, "second.s19", {{0xF900, Pattern(40, 2)}});
    SimProcess sim({"--trace"});
    ProgramResult fresh = Program(sim, "-i " + first);
    ProgramResult again = Program(sim, "-i " + second);
    sim.reset();
    ProgramResult afterReset = Program(sim, "-i " + first);
    sim.stop();
    EXPECT_EQ(fresh.status, 0) << fresh.err;
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(WithoutBanner(again.out),
              "Downloading talker file\nTalker already running\nDownloading " + second + "\n" +
                  Dots(4) + "Success\n");
    EXPECT_EQ(sim.dumped(0xF800, 0xF827), Pattern(40, 1));
    EXPECT_EQ(sim.dumped(0xF900, 0xF927), Pattern(40, 2));
    EXPECT_EQ(afterReset.status, 0) << afterReset.err;
    EXPECT_EQ(WithoutBanner(afterReset.out).rfind("Downloading talker file\n" + TalkerMarks(), 0),
              0u);
    std::string trace = sim.errors();
    auto Count = [&trace](const std::string &text) {
        size_t count = 0;
        for (size_t at = trace.find(text); at != std::string::npos; at = trace.find(text, at + 1))
            count++;
        return count;
    };
    EXPECT_EQ(Count("boot ROM: $F9 first, loading at 1200 baud"), 2u);
    EXPECT_EQ(Count("boot ROM: load complete"), 2u) << "once before the reset, once after";
}

// Every order of rates, each second run without a reset: a run at 9600 leaves the ROM
// loading at 1200 after its "s", a -b run keeps it at 7812 after its $FF; either way the
// second run finds the talker (back at 9600 after a -b run) and programs its file through it.
TEST_F(EndToEnd, SecondRunWithoutResetFindsTheTalkerAtAnyRate) {
    const struct {
        const char *pszPart, *pszFirst, *pszSecond, *pszRomChoice;
    } kOrders[] = {
        {"811E2", "", "-b 125000", "boot ROM: $F9 first, loading at 1200 baud"},
        {"811E2", "-b 125000", "-b 125000", "boot ROM: $FF first, loading at 7812 baud"},
        {"811E2", "-b 62500", "", "boot ROM: $FF first, loading at 7812 baud"},
        {"811E2", "-b 15625", "-b 31250", "boot ROM: $FF first, loading at 7812 baud"},
        {"A8", "-b 125000", "-b 62500", "boot ROM: $FF first, loading at 7812 baud"},
        {"A1", "-b 31250", "", "boot ROM: $FF first, loading at 7812 baud"},
    };
    for (const auto &order : kOrders) {
        SCOPED_TRACE(std::string(order.pszPart) + ": " + order.pszFirst + " then " +
                     order.pszSecond);
        const uint16_t ee = FindPart(order.pszPart)->wEepromStart;
        const std::string part = std::string(" -p ") + order.pszPart + " ";
        std::string first = WriteS19(dir, "first.s19", {{ee, Pattern(40, 1)}});
        std::string second = WriteS19(dir, "second.s19", {{uint16_t(ee + 0x100), Pattern(40, 2)}});
        SimProcess sim({"--part", order.pszPart, "--trace"});
        ProgramResult fresh = Program(sim, order.pszFirst + part + "-i " + first);
        ProgramResult again = Program(sim, order.pszSecond + part + "-i " + second);
        sim.stop();
        EXPECT_EQ(fresh.status, 0) << fresh.err;
        EXPECT_EQ(again.status, 0) << again.err;
        EXPECT_EQ(again.err, "");
        EXPECT_EQ(WithoutBanner(again.out),
                  "Downloading talker file\nTalker already running\nDownloading " + second + "\n" +
                      Dots(4) + "Success\n");
        EXPECT_EQ(sim.dumped(ee, uint16_t(ee + 39)), Pattern(40, 1));
        EXPECT_EQ(sim.dumped(uint16_t(ee + 0x100), uint16_t(ee + 0x127)), Pattern(40, 2));
        std::string trace = sim.errors();
        EXPECT_NE(trace.find(order.pszRomChoice), std::string::npos);
        EXPECT_EQ(trace.find("boot ROM: load complete"), trace.rfind("boot ROM: load complete"))
            << "the talker is loaded once";
    }
}

// A -b run that fails once the talker runs fast (here a verify that finds other bytes) still
// puts the talker back at 9600: the next run finds it.
TEST_F(EndToEnd, FailedFastRunLeavesTheTalkerAt9600) {
    std::string file = WriteS19(dir, "app.s19", {{0xF800, Pattern(40, 1)}});
    SimProcess sim;
    ProgramResult failed = Program(sim, "-b 125000 -n -i " + file);
    ProgramResult again = Program(sim, "-i " + file);
    sim.stop();
    EXPECT_EQ(failed.status, 3);
    EXPECT_EQ(
        WithoutBanner(again.out).rfind("Downloading talker file\nTalker already running\n", 0), 0u)
        << again.out << again.err;
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(sim.dumped(0xF800, 0xF827), Pattern(40, 1));
}

// A talker left at a fast rate at its command loop (as an interrupted -b run may leave it)
// does not answer the next run's probe at 9600; that run's load at 7812 reaches it as unknown
// letters alone: the run fails asking for a reset and the EEPROM keeps its bytes.
TEST_F(EndToEnd, LoadIntoATalkerLeftAtAFastRateLeavesTheEepromAlone) {
    std::string first = WriteS19(dir, "first.s19", {{0xF800, Pattern(40, 1)}});
    std::string second = WriteS19(dir, "second.s19", {{0xF900, Pattern(40, 2)}});
    SimProcess sim;
    ASSERT_EQ(Program(sim, "-i " + first).status, 0);
    SciRate rate;
    ASSERT_EQ(FindSciRate(2000000.0, 125000, &rate), 1);
    sim.converse({'w', 0x10, 0x2B, 0x00, rate.bBaud}, 9600, 1, 200);
    ProgramResult again = Program(sim, "-b 125000 -i " + second);
    sim.stop();
    EXPECT_EQ(again.status, 3);
    EXPECT_NE(again.err.find("special bootstrap mode (MODA and MODB low)"), std::string::npos)
        << again.err;
    EXPECT_EQ(sim.dumped(0xF800, 0xF827), Pattern(40, 1));
    EXPECT_EQ(sim.dumped(0xF828, 0xFFFF), Bytes(0x7D8, 0xFF));
}

// A variable-length part is loaded without a probe, at 1200 even with -b: a second run
// without a reset sends its load into the running talker, which reads it as $00 and $80 alone
// (no command): the run fails asking for a reset and the EEPROM keeps the first file alone.
// After the reset the second file goes in.
TEST_F(EndToEnd, VariableLoadPartAfterItsTalkerFailsHarmlessly) {
    std::string first = WriteS19(dir, "first.s19", {{0xB600, Pattern(40, 1)}});
    std::string second = WriteS19(dir, "second.s19", {{0xB700, Pattern(40, 2)}});
    SimProcess sim({"--part", "E9", "--trace"});
    ProgramResult fresh = Program(sim, "-p E9 -b 125000 -i " + first);
    ProgramResult again = Program(sim, "-p E9 -b 125000 -i " + second);
    sim.reset();
    ProgramResult afterReset = Program(sim, "-p E9 -b 125000 -i " + second);
    sim.stop();
    EXPECT_EQ(fresh.status, 0) << fresh.err;
    EXPECT_EQ(again.status, 3);
    EXPECT_NE(again.err.find("Check that the board was reset into special bootstrap mode"),
              std::string::npos)
        << again.err;
    EXPECT_EQ(afterReset.status, 0) << afterReset.err;
    EXPECT_EQ(sim.dumped(0xB600, 0xB627), Pattern(40, 1));
    EXPECT_EQ(sim.dumped(0xB628, 0xB6FF), Bytes(0xD8, 0xFF)) << "nothing else was written";
    EXPECT_EQ(sim.dumped(0xB700, 0xB727), Pattern(40, 2));
    EXPECT_EQ(sim.dumped(0xB728, 0xB7FF), Bytes(0xD8, 0xFF));
    EXPECT_EQ(sim.errors().find("loading at 7812 baud"), std::string::npos);
}

// A stray byte that the boot ROM reads as $FF ($FD sent at 9600) keeps it at 7812 and starts
// the load there: the probe's "s" is stored as $F9 and echoed, read at 9600 as $F1. The run
// must stop there, never load a talker one byte off its place, and leave the EEPROM alone;
// so must one that switches the ROM to 1200 ($3C at 9600 reads as $DE).
TEST_F(EndToEnd, AStrayByteBeforeTheRunFailsTheProbeAndLeavesTheEepromAlone) {
    const std::pair<uint8_t, std::string> kStrays[] = {
        {0xFD, "boot ROM: $FF first, loading at 7812 baud"},
        {0x3C, "boot ROM: $DE first, loading at 1200 baud"}};
    std::string preload = WriteS19(dir, "preload.s19", {{0xF800, Pattern(64, 1)}});
    std::string file = WriteS19(dir, "app.s19", {{0xF800, Pattern(40, 2)}});
    for (const auto &[stray, romChoice] : kStrays) {
        SCOPED_TRACE(romChoice);
        SimProcess sim({"--eeprom", preload, "--trace"});
        sim.converse({stray}, 9600, 0);
        ProgramResult result = Program(sim, "-B -i " + file);
        sim.stop();
        EXPECT_EQ(result.status, 3);
        EXPECT_EQ(WithoutBanner(result.out), "Downloading talker file\nFailure\n");
        EXPECT_EQ(result.err.rfind("ProbeTalker: the board answered $", 0), 0u) << result.err;
        EXPECT_NE(result.err.find("a byte that reached the boot ROM before the talker (a talker "
                                  "loaded now would land one byte off and not run)"),
                  std::string::npos)
            << result.err;
        EXPECT_NE(sim.errors().find(romChoice), std::string::npos);
        EXPECT_EQ(sim.dumped(0xF800, 0xF83F), Pattern(64, 1));
    }
}

// A run interrupted inside a "P" block leaves the talker waiting for the block's data: the
// next run's probe is taken as a data byte and answered with its read-back. The run must stop
// there and ask for a reset, not send the 256 bytes of a load for the talker to obey.
TEST_F(EndToEnd, TalkerLeftInsideABlockAsksForAReset) {
    std::string file = WriteS19(dir, "app.s19", {{0xF800, Pattern(40, 1)}});
    SimProcess sim;
    ASSERT_EQ(Program(sim, "-i " + file).status, 0);
    ASSERT_EQ(sim.converse({'P', 0xF9, 0x00, 0x00, 0x10, 0x5A}, 9600, 1), Bytes({0x5A}));
    ProgramResult again = Program(sim, "-i " + file);
    sim.stop();
    EXPECT_EQ(again.status, 3);
    EXPECT_EQ(WithoutBanner(again.out), "Downloading talker file\nFailure\n");
    EXPECT_EQ(again.err,
              "ProbeTalker: the board answered $73, not the talker's prompt: a talker left inside "
              "a command by an interrupted run, a byte that reached the boot ROM before the "
              "talker (a talker loaded now would land one byte off and not run), another part "
              "than -p names, or a program of its own. Reset the board into special bootstrap "
              "mode (MODA and MODB low) and run again\n");
}

TEST(EndToEndSilentPort, TalkerLoadAgainstNothingEndsWithStatus3) {
    FakeTarget nothing;
    ProgramResult result = RunProgram(kProgram + " -B -d " + nothing.path());
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(WithoutBanner(result.out), "Downloading talker file\n0.\nFailure\n");
    EXPECT_EQ(result.err,
              "No input file specified\nSendRawWithEcho: dwRead != 1\nDownloadTalker: Check that "
              "the board was reset into special bootstrap mode (MODA and MODB low), the port, "
              "and the cable\n");
}

}  // namespace
