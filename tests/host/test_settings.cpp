// The option table, in-process through ParseCommandLine.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_target.h"
#include "port.h"
#include "settings.h"

namespace {

struct ParseOutcome {
    int nResult;
    std::string strErr;
};

// The record the last Parse filled.
Settings g_Parsed;

ParseOutcome Parse(std::vector<std::string> args) {
    g_Parsed = MakeDefaultSettings();
    args.insert(args.begin(), "hc11prog");
    std::vector<char *> argv;
    for (std::string &arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    testing::internal::CaptureStderr();
    int nResult = ParseCommandLine((int)args.size(), argv.data(), &g_Parsed);
    return {nResult, testing::internal::GetCapturedStderr()};
}

std::string UsageWithRange(const char *pszRange) {
    return UsageText("hc11prog", pszRange);
}

TEST(ParseCommandLine, NoArgumentsKeepsEveryDefault) {
    ParseOutcome outcome = Parse({});
    EXPECT_EQ(outcome.nResult, 1);
    EXPECT_EQ(outcome.strErr, "");
    EXPECT_EQ(g_Parsed.dwComPort, 1u);
    EXPECT_EQ(g_Parsed.dwTalkerLength, 256u);
    EXPECT_EQ(g_Parsed.bConfigValue, 0xF5);
    EXPECT_EQ(g_Parsed.wEepromStart, 0xF800);
    EXPECT_EQ(g_Parsed.wEepromEnd, 0xFFFF);
    EXPECT_STREQ(g_Parsed.szInputFile, "");
    EXPECT_STREQ(g_Parsed.szDevice, "");
    EXPECT_EQ(g_Parsed.fBulkErase | g_Parsed.fExpandedBus | g_Parsed.fVerbose, 0u);
}

// Only decimal digits that fit 32 bits name a port; anything else would open one the user
// did not name.
TEST(ParseCommandLine, ComPortIsDecimalDigitsThatFit32Bits) {
    struct Case {
        const char *pszValue;
        int nResult;
        uint32_t dwPort;
    } cases[] = {{"2", 1, 2},          {"12", 1, 12}, {"0", 0, 1},  {"4294967295", 1, 0xFFFFFFFF},
                 {"4294967296", 0, 1}, {"x", 0, 1},   {"-V", 0, 1}, {" 7abc", 0, 1},
                 {"+3", 0, 1},         {"-1", 0, 1},  {"", 0, 1}};
    for (const Case &c : cases) {
        ParseOutcome outcome = Parse({"-c", c.pszValue});
        EXPECT_EQ(outcome.nResult, c.nResult) << c.pszValue;
        EXPECT_EQ(g_Parsed.dwComPort, c.dwPort) << c.pszValue;
        EXPECT_EQ(g_Parsed.fVerbose, 0u) << c.pszValue;
        std::string strMessage = std::string(c.pszValue) == "0"
                                     ? "Expected com port value of 1 or more\n"
                                     : "Expected com port value\n";
        std::string strExpected = c.nResult ? "" : strMessage + UsageWithRange("f800-ffff");
        EXPECT_EQ(outcome.strErr, strExpected) << c.pszValue;
    }
}

TEST(ParseCommandLine, FlagsAndTheLaterValueWins) {
    ParseOutcome outcome = Parse({"-s", "-S", "-B", "-E", "-V", "-c", "3", "-c", "4"});
    EXPECT_EQ(outcome.nResult, 1);
    EXPECT_EQ(g_Parsed.fBulkErase, 1u);
    EXPECT_EQ(g_Parsed.fExpandedBus, 1u);
    EXPECT_EQ(g_Parsed.fVerbose, 1u);
    EXPECT_EQ(g_Parsed.dwComPort, 4u);
}

TEST(ParseCommandLine, ConfigValueIsHexadecimalUpToFF) {
    struct Case {
        const char *pszValue;
        int nResult;
        uint8_t bValue;
    } cases[] = {{"ff", 1, 0xFF}, {"0", 1, 0x00},   {"5a", 1, 0x5A}, {"0x3C", 1, 0x3C},
                 {"7z", 0, 0xF5}, {"100", 0, 0xF5}, {"zz", 0, 0xF5}, {"-1", 0, 0xF5}};
    for (const Case &c : cases) {
        ParseOutcome outcome = Parse({"-B", "-C", c.pszValue});
        EXPECT_EQ(outcome.nResult, c.nResult) << c.pszValue;
        EXPECT_EQ(g_Parsed.bConfigValue, c.bValue) << c.pszValue;
        std::string strExpected = c.nResult ? ""
                                            : "Expected Config Register Value between 0 and FF\n" +
                                                  UsageWithRange("f800-ffff");
        EXPECT_EQ(outcome.strErr, strExpected) << c.pszValue;
    }
}

TEST(ParseCommandLine, InputFileNames) {
    EXPECT_EQ(Parse({"-i", "a.s19", "-i", "b.s19"}).nResult, 1);
    EXPECT_STREQ(g_Parsed.szInputFile, "b.s19");
    EXPECT_EQ(Parse({"-i", "a.s19", "-I"}).nResult, 1);
    EXPECT_STREQ(g_Parsed.szInputFile, "");

    std::string strLongest(259, 'n');
    EXPECT_EQ(Parse({"-i", strLongest}).nResult, 1);
    EXPECT_EQ(std::string(g_Parsed.szInputFile), strLongest);

    const std::string strRefused = "Expected input filename value\n" + UsageWithRange("f800-ffff");
    EXPECT_EQ(
        Parse({"-i", std::string(260, 'n')}).strErr,
        "Input file name is too long: at most 259 characters\n" + UsageWithRange("f800-ffff"));
    EXPECT_STREQ(g_Parsed.szInputFile, "");
    EXPECT_EQ(Parse({"-i", "-B"}).strErr, strRefused);
    EXPECT_EQ(g_Parsed.fBulkErase, 0u);
    EXPECT_EQ(Parse({"-i"}).strErr, strRefused);
}

TEST(ParseCommandLine, EepromRange) {
    struct Case {
        const char *pszValue;
        const char *pszMessage;  // nullptr when accepted
        uint16_t wStart, wEnd;
    } cases[] = {
        {"1000-1fff", nullptr, 0x1000, 0x1FFF},
        {"b600-b600", nullptr, 0xB600, 0xB600},
        {"FFFF-F800", "Invalid EEPROM range\n", 0xF800, 0xFFFF},
        {"10000-1fff", "Expected EEPROM Range\n", 0xF800, 0xFFFF},
        {"1000", "Expected EEPROM Range\n", 0xF800, 0xFFFF},
        {"x-y", "Expected EEPROM Range\n", 0xF800, 0xFFFF},
        {"1000-1fffjunk", "Expected EEPROM Range\n", 0xF800, 0xFFFF},
    };
    for (const Case &c : cases) {
        ParseOutcome outcome = Parse({"-e", c.pszValue});
        EXPECT_EQ(outcome.nResult, c.pszMessage ? 0 : 1) << c.pszValue;
        EXPECT_EQ(g_Parsed.wEepromStart, c.wStart) << c.pszValue;
        EXPECT_EQ(g_Parsed.wEepromEnd, c.wEnd) << c.pszValue;
        if (c.pszMessage) {
            EXPECT_EQ(outcome.strErr, c.pszMessage + UsageWithRange("f800-ffff")) << c.pszValue;
        }
    }
}

// A part sets the EEPROM range and the CONFIG value the bulk erase programs, unless "-e" or
// "-C" names them, before or after it.
TEST(ParseCommandLine, PartSetsWhatEAndCDidNotName) {
    struct Case {
        std::vector<std::string> args;
        const char *pszPart;
        uint16_t wStart, wEnd;
        uint8_t bConfig;
    } cases[] = {
        {{"-p", "E9"}, "E9", 0xB600, 0xB7FF, 0x0F},
        {{"-p", "mc68hc11a1"}, "A1", 0xB600, 0xB7FF, 0x0D},
        {{"-p", "f1", "-p", "811E2"}, "811E2", 0xF800, 0xFFFF, 0xF5},
        {{"-e", "1000-1fff", "-p", "E9"}, "E9", 0x1000, 0x1FFF, 0x0F},
        {{"-p", "E9", "-e", "1000-1fff"}, "E9", 0x1000, 0x1FFF, 0x0F},
        {{"-B", "-C", "3", "-p", "A8"}, "A8", 0xB600, 0xB7FF, 0x03},
        {{"-B", "-p", "A8", "-C", "3"}, "A8", 0xB600, 0xB7FF, 0x03},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        ParseOutcome outcome = Parse(c.args);
        EXPECT_EQ(outcome.nResult, 1);
        EXPECT_EQ(outcome.strErr, "");
        EXPECT_STREQ(g_Parsed.pPart->pszName, c.pszPart);
        EXPECT_EQ(g_Parsed.wEepromStart, c.wStart);
        EXPECT_EQ(g_Parsed.wEepromEnd, c.wEnd);
        EXPECT_EQ(g_Parsed.bConfigValue, c.bConfig);
    }
    EXPECT_EQ(Parse({"-p", "E9", "-h"}).strErr, UsageWithRange("b600-b7ff"));
    const std::string strNames = "Expected part name: 811E2, E9, E1, E20, A8, A1, F1\n";
    EXPECT_EQ(Parse({"-p", "HC12"}).strErr, strNames + UsageWithRange("f800-ffff"));
    EXPECT_EQ(Parse({"-p"}).strErr, strNames + UsageWithRange("f800-ffff"));
    EXPECT_EQ(g_Parsed.pPart, GetDefaultPart());
}

// A value that is missing and one the option does not take get the same text.
TEST(ParseCommandLine, MissingValuesAreRefusedWithTheirMessage) {
    const std::string kRates = "Expected rate 9600, 15625, 31250, 62500 or 125000\n";
    struct Case {
        std::vector<std::string> before;  // the options ahead of the one refused
        const char *pszOption;
        const char *pszRefused;  // a value the option does not take
        std::string strMessage;
    } cases[] = {
        {{}, "-c", "x", "Expected com port value\n"},
        {{}, "-C", "100", "Expected Config Register Value between 0 and FF\n"},
        {{}, "-i", "-n", "Expected input filename value\n"},
        {{}, "-e", "f800", "Expected EEPROM Range\n"},
        {{}, "-d", "", "Expected device name value\n"},
        {{}, "-p", "E3", "Expected part name: 811E2, E9, E1, E20, A8, A1, F1\n"},
        {{}, "-r", "0-", "Expected read range\n"},
        {{}, "-o", "-n", "Expected output filename value\n"},
        {{}, "-b", "9600x", kRates},
        {{"-x", "12"},
         "-b",
         "x",
         "Expected rate 14400, 23437, 46875, 93750 or 187500 with a 12 MHz crystal\n"},
        {{}, "-x", "21", "Expected crystal frequency in MHz, from 1 to 20 (e.g. 7.3728)\n"},
        {{}, "--reset-line", "cts", "Expected --reset-line dtr or rts\n"},
        {{}, "--mode-line", "DTR", "Expected --mode-line dtr or rts\n"},
        {{}, "--wait", "0", "Expected --wait seconds from 1 to 86400\n"},
        {{}, "--monitor-for", "86401", "Expected --monitor-for seconds from 1 to 86400\n"},
        {{}, "--base", "10000", "Expected base address (hexadecimal, 0-ffff)\n"},
        {{}, "--boards", "", "Expected --boards filename value\n"},
        {{},
         "--serial",
         "F800:9",
         "Expected --serial <addr>:<bytes>, addr hexadecimal, bytes 1 to 8\n"},
        {{}, "--serial-file", "", "Expected --serial-file filename value\n"},
        {{}, "--log", "", "Expected --log filename value\n"},
        {{}, "--count", "0", "Expected --count boards, 1 or more\n"},
    };
    for (const Case &c : cases) {
        for (bool fMissing : {true, false}) {
            std::vector<std::string> args = c.before;
            args.insert(args.begin(), "-B");
            args.push_back(c.pszOption);
            if (!fMissing) args.push_back(c.pszRefused);
            ParseOutcome outcome = Parse(args);
            EXPECT_EQ(outcome.nResult, 0) << c.pszOption << fMissing;
            // The usage follows the message: its rate line shows the crystal named.
            EXPECT_THAT(outcome.strErr, testing::StartsWith(c.strMessage + "hc11prog: [options]"))
                << c.pszOption << (fMissing ? " missing" : " refused");
            EXPECT_EQ(g_Parsed.fBulkErase, 1u)
                << "options before the refused one keep their effect";
        }
    }
}

TEST(ParseCommandLine, RefusalStopsTheWalkAndUsageShowsTheRangeAsItStands) {
    ParseOutcome outcome = Parse({"-e", "1000-1fff", "-C", "100", "-B"});
    EXPECT_EQ(outcome.nResult, 0);
    EXPECT_EQ(g_Parsed.fBulkErase, 0u);
    EXPECT_EQ(outcome.strErr,
              "Expected Config Register Value between 0 and FF\n" + UsageWithRange("1000-1fff"));
}

TEST(ParseCommandLine, HelpPrintsTheUsageAloneAndStops) {
    ParseOutcome outcome = Parse({"-e", "1000-1fff", "-h", "-B"});
    EXPECT_EQ(outcome.nResult, 0);
    EXPECT_EQ(g_Parsed.fHelpRequested, 1u);
    EXPECT_EQ(g_Parsed.fBulkErase, 0u);
    EXPECT_EQ(outcome.strErr, UsageWithRange("1000-1fff"));
}

TEST(ParseCommandLine, DeviceNameReplacesThePortNumber) {
    EXPECT_EQ(Parse({"-d", "/dev/ttyUSB0"}).nResult, 1);
    EXPECT_STREQ(g_Parsed.szDevice, "/dev/ttyUSB0");
    EXPECT_EQ(Parse({"-d", std::string(300, 'd')}).strErr,
              "Device name is too long: at most 259 characters\n" + UsageWithRange("f800-ffff"));
    EXPECT_STREQ(g_Parsed.szDevice, "");
}

// "-r" reads its range as "-e" does; the operations refuse what they can't do together.
TEST(ParseCommandLine, ReadBackVerifyAndTheirRefusals) {
    struct Case {
        std::vector<std::string> args;
        const char *pszMessage;  // nullptr when accepted
    } cases[] = {
        {{"-r", "f800-ffff", "-o", "chip.s19"}, nullptr},
        {{"-r", "ffff-f800", "-o", "chip.s19"}, "Invalid read range\n"},
        {{"-r", "f800", "-o", "chip.s19"}, "Expected read range\n"},
        {{"-r"}, "Expected read range\n"},
        {{"-r", "f800-ffff"}, "-r needs -o <filename> to write the read-back to\n"},
        {{"-o", "chip.s19"}, "-o needs -r <start>-<end>: there is nothing to read\n"},
        {{"-r", "0-ff", "-o", "-n"}, "Expected output filename value\n"},
        {{"-r", "0-ff", "-o", std::string(260, 'o')},
         "Output file name is too long: at most 259 characters\n"},
        {{"-n", "-i", "a.s19", "-B"}, "-n can't go with -B: verifying writes nothing\n"},
    };
    for (const Case &c : cases) {
        ParseOutcome outcome = Parse(c.args);
        EXPECT_EQ(outcome.nResult, c.pszMessage ? 0 : 1) << c.args[0] << c.args.size();
        EXPECT_EQ(outcome.strErr, c.pszMessage ? c.pszMessage + UsageWithRange("f800-ffff") : "")
            << c.args[0] << c.args.size();
    }
    Parse({"-r", "0-1ff", "-o", "chip.s19", "-n", "-l"});
    EXPECT_EQ(g_Parsed.wReadStart, 0x0000);
    EXPECT_EQ(g_Parsed.wReadEnd, 0x01FF);
    EXPECT_STREQ(g_Parsed.szOutputFile, "chip.s19");
    EXPECT_EQ(g_Parsed.fReadBack & g_Parsed.fVerifyOnly & g_Parsed.fListPorts, 1u);
}

TEST(ParseCommandLine, TalkerRateIsOneTheSciMakes) {
    const char *const kRefused = "Expected rate 9600, 15625, 31250, 62500 or 125000\n";
    struct Case {
        const char *pszValue;
        uint32_t dwRate;  // 0 when refused
    } cases[] = {{"9600", 9600},     {"15625", 15625}, {"31250", 31250}, {"62500", 62500},
                 {"125000", 125000}, {"115200", 0},    {"19200", 0},     {"125000x", 0},
                 {"-9600", 0},       {"", 0}};
    for (const Case &c : cases) {
        ParseOutcome outcome = Parse({"-b", c.pszValue});
        EXPECT_EQ(outcome.nResult, c.dwRate ? 1 : 0) << c.pszValue;
        EXPECT_EQ(g_Parsed.dwTalkerRate, c.dwRate ? c.dwRate : 9600u) << c.pszValue;
        EXPECT_EQ(outcome.strErr, c.dwRate ? "" : kRefused + UsageWithRange("f800-ffff"));
    }
    EXPECT_EQ(Parse({"-b"}).strErr, kRefused + UsageWithRange("f800-ffff"));
}

// "-x" in decimal MHz, kept to the hertz (rounded), from 1 to 20; anything else (hexadecimal,
// an exponent) is refused with the usage.
TEST(ParseCommandLine, CrystalIsMegahertzFrom1To20) {
    const char *const kRefused = "Expected crystal frequency in MHz, from 1 to 20 (e.g. 7.3728)\n";
    struct Case {
        const char *pszValue;
        uint32_t dwHz;  // 0 when refused
    } cases[] = {{"4.9152", 4915200}, {"7.3728", 7372800}, {"12", 12000000},
                 {"1", 1000000},      {"20", 20000000},    {"0.999", 0},
                 {"20.001", 0},       {"8MHz", 0},         {"", 0},
                 {" 8", 0},           {"-8", 0},           {"nan", 0},
                 {"inf", 0}};
    for (const Case &c : cases) {
        ParseOutcome outcome = Parse({"-x", c.pszValue});
        EXPECT_EQ(outcome.nResult, c.dwHz ? 1 : 0) << c.pszValue;
        EXPECT_EQ(g_Parsed.dwCrystalHz, c.dwHz ? c.dwHz : 8000000u) << c.pszValue;
        EXPECT_EQ(outcome.strErr, c.dwHz ? "" : kRefused + UsageWithRange("f800-ffff"))
            << c.pszValue;
    }
    EXPECT_EQ(Parse({"-x"}).strErr, kRefused + UsageWithRange("f800-ffff"));
    for (const char *pszValue : {"0x10", "1e1", "8.", ".5", "+8", "20.0000005"})
        EXPECT_EQ(Parse({"-x", pszValue}).nResult, 0) << pszValue;
    EXPECT_EQ(Parse({"-x", "07.3728005"}).nResult, 1);
    EXPECT_EQ(g_Parsed.dwCrystalHz, 7372801u) << "rounded to the hertz";
}

// "-b" is judged against the crystal wherever "-x" stands; without "-b" the talker keeps the
// first rate its crystal allows.
TEST(ParseCommandLine, TalkerRateFollowsTheCrystalInEitherOrder) {
    const char *const kRefused12 =
        "Expected rate 14400, 23437, 46875, 93750 or 187500 with a 12 MHz crystal\n";
    struct Case {
        std::vector<std::string> args;
        uint32_t dwRate;  // 0 when refused
    } cases[] = {
        {{"-x", "12"}, 14400},
        {{"-b", "187500", "-x", "12"}, 187500},
        {{"-x", "12", "-b", "23437"}, 23437},
        {{"-x", "7.3728", "-b", "115200"}, 115200},
        {{"-x", "12", "-b", "9600"}, 0},
        {{"-b", "9600", "-x", "12"}, 0},
        {{"-b", "125000", "-x", "12"}, 0},
    };
    for (const Case &c : cases) {
        ParseOutcome outcome = Parse(c.args);
        EXPECT_EQ(outcome.nResult, c.dwRate ? 1 : 0) << c.args[1] << c.args.size();
        if (c.dwRate) {
            EXPECT_EQ(g_Parsed.dwTalkerRate, c.dwRate) << c.args[1];
        } else {
            EXPECT_THAT(outcome.strErr, testing::StartsWith(kRefused12));
        }
    }
    ParseOutcome outcome = Parse({"-x", "12", "-h"});
    EXPECT_THAT(outcome.strErr,
                testing::HasSubstr("-b <rate> talker link rate: 14400 (default), 23437, 46875, "
                                   "93750 or 187500\n"));
}

// The loop's options: each value's rule, its refusal, and the options each one needs.
TEST(ParseCommandLine, LoopOptionsTheirValuesAndWhatEachNeeds) {
    const std::string kUsage = UsageWithRange("f800-ffff");
    struct Case {
        std::vector<std::string> args;
        int nResult;
        std::string strRefusal;  // before the usage; empty when accepted
    } cases[] = {
        {{"--reset-line", "dtr", "--mode-line", "rts", "--invert-lines", "--run"}, 1, ""},
        {{"--reset-line", "DTR"}, 0, "Expected --reset-line dtr or rts\n"},
        {{"--reset-line"}, 0, "Expected --reset-line dtr or rts\n"},
        {{"--reset-line", "rts", "--mode-line", "cts"}, 0, "Expected --mode-line dtr or rts\n"},
        {{"--reset-line", "rts", "--mode-line", "rts"},
         0,
         "--mode-line and --reset-line need two lines\n"},
        {{"--mode-line", "dtr"}, 0, "--mode-line and --invert-lines need --reset-line\n"},
        {{"--invert-lines"}, 0, "--mode-line and --invert-lines need --reset-line\n"},
        {{"--run"}, 0, "--run needs --reset-line: the program starts from a reset\n"},
        {{"--wait", "1"}, 1, ""},
        {{"--wait", "86400"}, 1, ""},
        {{"--wait", "0"}, 0, "Expected --wait seconds from 1 to 86400\n"},
        {{"--wait", "86401"}, 0, "Expected --wait seconds from 1 to 86400\n"},
        {{"--wait", "99999999999999999999"}, 0, "Expected --wait seconds from 1 to 86400\n"},
        {{"--wait", "5s"}, 0, "Expected --wait seconds from 1 to 86400\n"},
        {{"--monitor", "--raw", "--monitor-for", "3"}, 1, ""},
        {{"--monitor-for", "3"}, 0, "--raw and --monitor-for need --monitor\n"},
        {{"--raw"}, 0, "--raw and --monitor-for need --monitor\n"},
        {{"--monitor", "--monitor-for", "-1"},
         0,
         "Expected --monitor-for seconds from 1 to 86400\n"},
        {{"--monitor", "49"}, 0, "Expected --monitor rate from 50 to 4000000\n"},
        {{"--monitor", "9600x"}, 0, "Expected --monitor rate from 50 to 4000000\n"},
    };
    for (const Case &c : cases) {
        ParseOutcome outcome = Parse(c.args);
        EXPECT_EQ(outcome.nResult, c.nResult) << c.args[0];
        EXPECT_EQ(outcome.strErr, c.nResult ? "" : c.strRefusal + kUsage) << c.args[0];
    }
}

// "--base": one to four hexadecimal digits, nothing after them.
TEST(ParseCommandLine, BinaryBaseIsAHexadecimalAddress) {
    const char *const kRefused = "Expected base address (hexadecimal, 0-ffff)\n";
    struct Case {
        const char *pszValue;
        int fAccepted;
        uint16_t wBase;
    } cases[] = {{"f800", 1, 0xF800}, {"0", 1, 0},  {"FFFF", 1, 0xFFFF}, {"10000", 0, 0},
                 {"f800x", 0, 0},     {"-1", 0, 0}, {"", 0, 0},          {"0x2000", 0, 0}};
    for (const Case &c : cases) {
        ParseOutcome outcome = Parse({"--base", c.pszValue});
        EXPECT_EQ(outcome.nResult, c.fAccepted) << c.pszValue;
        EXPECT_EQ(g_Parsed.fBinaryBase, uint32_t(c.fAccepted)) << c.pszValue;
        if (c.fAccepted) {
            EXPECT_EQ(g_Parsed.wBinaryBase, c.wBase) << c.pszValue;
        }
        EXPECT_EQ(outcome.strErr, c.fAccepted ? "" : kRefused + UsageWithRange("f800-ffff"));
    }
}

// "--monitor" takes the next argument as its rate only when it is a number.
TEST(ParseCommandLine, MonitorRateIsOptional) {
    ASSERT_EQ(Parse({"--monitor", "-d", "/dev/x"}).nResult, 1);
    EXPECT_EQ(g_Parsed.dwMonitorRate, 9600u);
    EXPECT_STREQ(g_Parsed.szDevice, "/dev/x");
    ASSERT_EQ(Parse({"--monitor", "115200", "--wait", "30"}).nResult, 1);
    EXPECT_EQ(g_Parsed.dwMonitorRate, 115200u);
    EXPECT_EQ(g_Parsed.dwWaitSeconds, 30u);
    ASSERT_EQ(Parse({"--reset-line", "rts", "--mode-line", "dtr"}).nResult, 1);
    EXPECT_EQ(g_Parsed.dwResetLine, (uint32_t)PORT_LINE_RTS);
    EXPECT_EQ(g_Parsed.dwModeLine, (uint32_t)PORT_LINE_DTR);
}

// The parser returns; the entry turns the refusal into exit status 1 (test_command_line.cpp).
TEST(ParseCommandLine, ArgumentThatIsNoOptionStopsTheParseWithTheUsage) {
    struct Case {
        const char *pszArg;
        const char *pszMessage;
    } cases[] = {{"-H", "Unknown argument: -H\n"},
                 {"-q", "Unknown argument: -q\n"},
                 {"-X", "Unknown argument: -X\n"},
                 {"--help", "Unknown argument: --help\n"},
                 {"file.s19", "Unknown argument: file.s19 (an input file is named with -i)\n"}};
    for (const Case &c : cases) {
        ParseOutcome outcome = Parse({"-B", c.pszArg, "-E"});
        EXPECT_EQ(outcome.nResult, 0) << c.pszArg;
        EXPECT_EQ(outcome.strErr, c.pszMessage + UsageWithRange("f800-ffff")) << c.pszArg;
        EXPECT_EQ(g_Parsed.fHelpRequested, 0u) << "a refusal, not the usage asked for";
        EXPECT_EQ(g_Parsed.fExpandedBus, 0u) << "the walk stops at " << c.pszArg;
    }
}

// A value is taken whole or refused: what follows a number would otherwise be dropped, or a
// number too large for its field cut to another that happens to be valid.
TEST(ParseCommandLine, ValuesWithAnythingAfterThemAreRefused) {
    struct Case {
        std::vector<std::string> args;
        const char *pszMessage;
    } cases[] = {
        {{"-e", "f800-ffffJUNK"}, "Expected EEPROM Range\n"},
        {{"-e", "b600-b7fff"}, "Expected EEPROM Range\n"},
        {{"-e", "b600-b7ff,f800-ffff"}, "Expected EEPROM Range\n"},
        {{"-e", " b600-b7ff"}, "Expected EEPROM Range\n"},
        {{"-e", "b600--b7ff"}, "Expected EEPROM Range\n"},
        {{"-r", "f800-f80fff", "-o", "x.s19"}, "Expected read range\n"},
        {{"-C", "f5JUNK"}, "Expected Config Register Value between 0 and FF\n"},
        {{"-C", "0x"}, "Expected Config Register Value between 0 and FF\n"},
        {{"-b", "4294976896"}, "Expected rate 9600, 15625, 31250, 62500 or 125000\n"},
        {{"-b", "9600 "}, "Expected rate 9600, 15625, 31250, 62500 or 125000\n"},
        {{"-c", "0"}, "Expected com port value of 1 or more\n"},
        {{"-c", "2x"}, "Expected com port value\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        ParseOutcome outcome = Parse(c.args);
        EXPECT_EQ(outcome.nResult, 0);
        EXPECT_EQ(outcome.strErr, c.pszMessage + UsageWithRange("f800-ffff"));
        Settings defaults = MakeDefaultSettings();
        EXPECT_EQ(g_Parsed.wEepromStart, defaults.wEepromStart);
        EXPECT_EQ(g_Parsed.wEepromEnd, defaults.wEepromEnd);
        EXPECT_EQ(g_Parsed.fReadBack, 0u);
        EXPECT_EQ(g_Parsed.bConfigValue, defaults.bConfigValue);
        EXPECT_EQ(g_Parsed.dwTalkerRate, defaults.dwTalkerRate);
        EXPECT_EQ(g_Parsed.dwComPort, defaults.dwComPort);
    }
    // Whole values in the forms accepted so far still are.
    EXPECT_EQ(Parse({"-e", "0xb600-0XB7FF", "-C", "0x0f", "-r", "0-f", "-o", "x"}).nResult, 1);
    EXPECT_EQ(g_Parsed.wEepromStart, 0xB600);
    EXPECT_EQ(g_Parsed.wEepromEnd, 0xB7FF);
    EXPECT_EQ(g_Parsed.bConfigValue, 0x0F);
    EXPECT_EQ(g_Parsed.wReadEnd, 0x000F);
}

// Every option the parser accepts has its line in the usage.
TEST(ParseCommandLine, UsageNamesEveryOptionAccepted) {
    std::string strUsage = Parse({"-h"}).strErr;
    for (const char *pszOption :
         {"-c", "-i", "-E", "-B", "-h", "-C", "-e", "-d", "-l", "-r",
          "-o", "-n", "-I", "-V", "-s", "-S", "-p", "-b", "-x", "--confirm-config"}) {
        EXPECT_THAT(strUsage, testing::HasSubstr(std::string("\t") + pszOption + " ")) << pszOption;
    }
    EXPECT_EQ(Parse({"-B", "--confirm-config"}).nResult, 1);
    EXPECT_EQ(g_Parsed.fConfirmConfig, 1u);
}

}  // namespace
