// The real hc11prog binary: exit statuses and exact output of the paths that end before or
// without the target.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "fake_target.h"

namespace {

const std::string kProgram = HC11PROG_PATH;

std::string Usage(const std::string &program) {
    return UsageText(program);
}

TEST(CommandLine, BannerNamesTheProgramAsInvokedWithBuildDateAndTime) {
    ProgramResult result = RunProgram(kProgram + " -h");
    EXPECT_EQ(result.status, 0);
    std::regex banner(std::regex_replace(kProgram, std::regex("[.]"), "\\.") +
                      ": version [A-Z][a-z]{2} [ 123][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\n"
                      "[^\n]+\n\n");
    EXPECT_TRUE(std::regex_match(result.out, banner)) << result.out;
    EXPECT_EQ(result.err, Usage(kProgram) + "hc11prog version " HC11PROG_VERSION "\n");
}

TEST(CommandLine, ExitStatusesAndMessagesOfTheEarlyEnds) {
    std::string dir = MakeTempDir();
    WriteTextFile(dir + "/bad.s19", "S105F8000102FF\nS1\n");
    WriteTextFile(dir + "/talker-ram.s19", "S1040080017A\n");
    WriteTextFile(dir + "/outside.s19", "S10520000102D7\n");
    WriteTextFile(dir + "/empty.s19", "S0030000FC\nS9030000FC\n");
    WriteTextFile(dir + "/registers.s19", "S104103F01AB\n");
    ASSERT_EQ(system(("truncate -s 16777217 " + dir + "/huge.s19").c_str()), 0);
    WriteTextFile(dir + "/whole.hex", ":01F80000AA5D\n:00000001FF\n");
    WriteTextFile(dir + "/cut.hex", ":01F80000AA5D\n:01F80100BB4B\n");
    const std::string kCrystal = "Expected crystal frequency in MHz, from 1 to 20 (e.g. 7.3728)\n";
    const std::string kUrl =
        ": not a network port: write rfc2217://HOST:PORT, PORT from 1 to 65535\n";
    // A name with an escape byte and a bell in it, as the shell hands it over.
    auto controlName = [](const std::string &before, const std::string &after) {
        return "\"$(printf '" + before + "\\033[2J\\007" + after + "')\"";
    };
    struct Case {
        std::string args;
        int status;
        std::string err;
        std::string out;
    } cases[] = {
        {"", 1, "No input file specified\n" + Usage(kProgram), ""},
        {"-C 100", 1, "Expected Config Register Value between 0 and FF\n" + Usage(kProgram), ""},
        {"-X", 1, "Unknown argument: -X\n" + Usage(kProgram), ""},
        {"-x", 1,
         "Expected crystal frequency in MHz, from 1 to 20 (e.g. 7.3728)\n" + Usage(kProgram), ""},
        {"-x 21", 1,
         "Expected crystal frequency in MHz, from 1 to 20 (e.g. 7.3728)\n" + Usage(kProgram), ""},
        {"-q", 1, "Unknown argument: -q\n" + Usage(kProgram), ""},
        {"file.s19", 1,
         "Unknown argument: file.s19 (an input file is named with -i)\n" + Usage(kProgram), ""},
        {"-i " + std::string(300, 'f'), 1,
         "Input file name is too long: at most 259 characters\n" + Usage(kProgram), ""},
        {"-c 4294967297", 1, "Expected com port value\n" + Usage(kProgram), ""},
        {"-c -1", 1, "Expected com port value\n" + Usage(kProgram), ""},
        {"-c x", 1, "Expected com port value\n" + Usage(kProgram), ""},
        {"-d ''", 1, "Expected device name value\n" + Usage(kProgram), ""},
        {"-C 3F -i " + dir + "/missing.s19", 2,
         "-C has no effect without -B: CONFIG is programmed by the bulk erase\n"
         "File Error: Could not open " +
             dir + "/missing.s19: No such file or directory\n",
         "Failure\n"},
        {"-i " + dir, 2, "File Error: Could not open " + dir + ": Is a directory\n", "Failure\n"},
        {"-i " + dir + "/huge.s19", 2,
         "File Error: " + dir + "/huge.s19 is larger than 16 MB, too large for an S-record file\n",
         "Failure\n"},
        {"-d /dev/null -i " + dir + "/missing.s19", 2,
         "File Error: Could not open " + dir + "/missing.s19: No such file or directory\n",
         "Failure\n"},
        {"-d /dev/null -i " + dir + "/bad.s19", 2,
         "ParseSRecordString: Invalid length (S1)\n" + dir +
             "/bad.s19 line 2: Can't parse S "
             "record (S1)\n",
         "Failure\n"},
        {"-d /dev/null -i " + dir + "/talker-ram.s19", 2,
         dir + "/talker-ram.s19 line 1: S1 record at $0080 writes into $0000-$00FF, the RAM "
               "the talker runs in (S1040080017A)\n",
         "Failure\n"},
        {"-d /dev/null -i " + dir + "/registers.s19", 2,
         dir + "/registers.s19 line 1: S1 record at $103F writes into $1000-$103F, the chip's "
               "registers (CONFIG is set with -B -C) (S104103F01AB)\n",
         "Failure\n"},
        {"-d /dev/null -p E9 -i " + dir + "/outside.s19", 2,
         dir + "/outside.s19 line 1: S1 record at $2000 writes $2000, outside the E9's memory "
               "map (-E allows more) ($0000-$01FF RAM, $1000-$103F registers, $B600-$B7FF "
               "EEPROM) (S10520000102D7)\n",
         "Failure\n"},
        {"-d /dev/null -i " + dir + "/empty.s19", 2,
         "File Error: " + dir + "/empty.s19 holds no data records\n", "Failure\n"},
        {"-n -i " + dir + "/bad.s19 -B", 1,
         "-n can't go with -B: verifying writes nothing\n" + Usage(kProgram), ""},
        {"-r 0-ff", 1, "-r needs -o <filename> to write the read-back to\n" + Usage(kProgram), ""},
        {"-d /dev/null -r 0-ff -o " + dir + "/no/such/dir/chip.s19", 2,
         "File Error: Could not create " + dir +
             "/no/such/dir/chip.s19.partial: No such file or directory\n",
         "Failure\n"},
        {"-d /dev/null -r f800-f80f -o " + dir, 2,
         "File Error: Could not write " + dir + ": Is a directory\n", "Failure\n"},
        {"-x 0x10", 1, kCrystal + Usage(kProgram), ""},
        {"-x 1e1", 1, kCrystal + Usage(kProgram), ""},
        {"-d rfc2217://labpi:0 -B", 1, "No input file specified\nrfc2217://labpi:0" + kUrl, ""},
        {"-d rfc2217://:2000 -B", 1, "No input file specified\nrfc2217://:2000" + kUrl, ""},
        {controlName("a", "b"), 1,
         "Unknown argument: a\\x1B[2J\\x07b (an input file is named with -i)\n" + Usage(kProgram),
         ""},
        {"-d /dev/null -i " + controlName(dir + "/no", ".s19"), 2,
         "File Error: Could not open " + dir + "/no\\x1B[2J\\x07.s19: No such file or directory\n",
         "Failure\n"},
        {"-d /dev/null -r f800-f80f -o " + controlName(dir + "/no/", ".s19"), 2,
         "File Error: Could not create " + dir +
             "/no/\\x1B[2J\\x07.s19.partial: No such file or directory\n",
         "Failure\n"},
        {"-B -d " + controlName("/no/", "tty"), 1,
         "No input file specified\na port name holds no control character\n", ""},
        {"-d /dev/null --base f800 -i " + dir + "/whole.hex", 2,
         "File Error: " + dir +
             "/whole.hex is an Intel HEX file by its content: --base is for raw binaries only\n",
         "Failure\n"},
        {"-d /dev/null -i " + dir + "/cut.hex", 2,
         dir + "/cut.hex line 2: is the last line, and no end record (:00000001FF) came: the "
               "file is cut short (:01F80100BB4B)\n",
         "Failure\n"},
    };
    for (const Case &c : cases) {
        ProgramResult result = RunProgram(kProgram + " " + c.args);
        EXPECT_EQ(result.status, c.status) << c.args;
        EXPECT_EQ(result.err, c.err) << c.args;
        EXPECT_EQ(WithoutBanner(result.out), c.out) << c.args;
    }
}

TEST(CommandLine, BadFileNeverTouchesThePort) {
    FakeTarget target;
    std::string dir = MakeTempDir();
    WriteTextFile(dir + "/bad.s19", "S105F8000102FF\nnot a record\n");
    ProgramResult result =
        RunProgram(kProgram + " -B -d " + target.path() + " -i " + dir + "/bad.s19");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(WithoutBanner(result.out), "Failure\n") << "no talker download is attempted";
    uint8_t byte;
    EXPECT_FALSE(target.readByte(&byte, 200));
}

// A folder can never become the read-back file: said before the range is read, never after a
// "Success".
TEST(CommandLine, ReadBackIntoAFolderNeverTouchesThePort) {
    FakeTarget target;
    std::string dir = MakeTempDir();
    ProgramResult result =
        RunProgram(kProgram + " -d " + target.path() + " -r f800-f80f -o " + dir);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "File Error: Could not write " + dir + ": Is a directory\n");
    EXPECT_EQ(WithoutBanner(result.out), "Failure\n");
    uint8_t byte;
    EXPECT_FALSE(target.readByte(&byte, 200));
}

// The system's words for the error, not its number as a Win32 code.
TEST(CommandLine, PortThatCannotBeOpenedEndsTheRunWithStatus3) {
    ProgramResult result = RunProgram(kProgram + " -B -d /nonexistent/tty");
    EXPECT_EQ(result.status, 3);
    EXPECT_THAT(WithoutBanner(result.out), testing::EndsWith("Downloading talker file\nFailure\n"));
    EXPECT_EQ(result.err,
              "No input file specified\n"
              "/nonexistent/tty: No such file or directory: no such port: check the port "
              "number or the -d device name\n");
}

// A CONFIG value other than the part's default that turns security or the EEPROM off waits
// for --confirm-config: refused before the chip is touched, with the value told. The port does
// not open here: the runs that go on end there, with status 3, before the erase tells it.
TEST(CommandLine, BulkEraseTellsTheConfigValueAndAsksToConfirmARiskyOne) {
    const std::string kSecurity =
        "  NOSEC 0: on a part whose mask honours NOSEC, security on at the next reset: the boot "
        "ROM will erase the EEPROM and RAM (standard masks ignore NOSEC)\n";
    const std::string kGoesOn = "Downloading talker file\nFailure\n";
    struct Case {
        std::string args;
        int status;
        std::string out;
        std::string refusal;  // after "No input file specified"; empty: none
    } cases[] = {
        {"", 3, kGoesOn, ""},
        {"-C 75", 1,
         "CONFIG $75 for the 811E2: EE3-EE0 7 (EEPROM at $7800-$7FFF), NOSEC 0, NOCOP 1, "
         "EEON 1\n  EE3-EE0 7: from the next reset, the EEPROM is at $7800-$7FFF\n" +
             kSecurity,
         "CONFIG $75 is not the 811E2's default ($F5) and turns security on (NOSEC clear): give "
         "--confirm-config to program it\n"},
        {"-C 75 --confirm-config", 3, kGoesOn, ""},
        {"-C ff", 3, kGoesOn, ""},
        {"-p A8 -C 03", 1,
         "CONFIG $03 for the A8: NOSEC 0, NOCOP 0, ROMON 1, EEON 1\n  NOCOP 0: from the next "
         "reset, the COP watchdog runs: the program must service it or the chip resets\n" +
             kSecurity,
         "CONFIG $03 is not the A8's default ($0F) and turns security on (NOSEC clear): give "
         "--confirm-config to program it\n"},
        {"-p F1 -C f6", 1,
         "CONFIG $F6 for the F1: NOSEC 0, NOCOP 1, EEON 0\n  EEON 0: from the next reset, the "
         "EEPROM is off: it leaves the memory map\n" +
             kSecurity,
         "CONFIG $F6 is not the F1's default ($FF) and turns security on (NOSEC clear) and the "
         "EEPROM off (EEON clear): give --confirm-config to program it\n"},
        {"-p E9 -C 0e", 1,
         "CONFIG $0E for the E9: NOSEC 1, NOCOP 1, ROMON 1, EEON 0\n  EEON 0: from the next "
         "reset, the EEPROM is off: it leaves the memory map\n",
         "CONFIG $0E is not the E9's default ($0F) and turns the EEPROM off (EEON clear): give "
         "--confirm-config to program it\n"},
        {"-p E1 -C 0f", 3, kGoesOn, ""},
    };
    for (const Case &c : cases) {
        ProgramResult result = RunProgram(kProgram + " -d /nonexistent/tty -B " + c.args);
        EXPECT_EQ(result.status, c.status) << c.args;
        EXPECT_EQ(WithoutBanner(result.out), c.out) << c.args;
        EXPECT_EQ(result.err.substr(0, 24), "No input file specified\n") << c.args;
        if (c.refusal.empty())
            EXPECT_EQ(result.err.find("--confirm-config"), std::string::npos) << c.args;
        else
            EXPECT_EQ(result.err.substr(24), c.refusal) << c.args;
    }
}

TEST(CommandLine, ArgumentThatIsNoOptionEndsTheRunWithStatus1) {
    for (const char *pszArg : {"-q", "file.s19"}) {
        ProgramResult result = RunProgram(kProgram + " -B " + pszArg);
        EXPECT_EQ(result.status, 1) << pszArg;
        EXPECT_EQ(WithoutBanner(result.out), "") << pszArg;
        EXPECT_THAT(result.err, testing::HasSubstr("Normal operation on COM1")) << pszArg;
    }
}

}  // namespace
