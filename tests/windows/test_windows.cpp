// hc11prog.exe, cross-built with MinGW-w64, programs hc11sim under Wine: the real Win32 serial
// calls against the simulated chip. Wine's COM5 links to COM5_WIRE_PATH, and each case points
// that link at a simulator's (or a silent) pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <regex>
#include <sstream>

#include "fake_target.h"
#include "run_fixtures.h"
#include "sim_process.h"
#include "srecord.h"
#include "talker_image.h"

namespace {

const std::string kExe = HC11PROG_EXE_PATH;
const std::string kPrefix = WINE_PREFIX_PATH;
const std::string kCom5Wire = COM5_WIRE_PATH;

std::string WithoutCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// Runs hc11prog.exe under Wine in dir, in the prefix that the CTest fixture made.
ProgramResult RunUnderWine(const std::string &dir, const std::string &args) {
    ProgramResult result = RunProgram("cd " + dir + " && env -u DISPLAY WINEPREFIX=" + kPrefix +
                                      " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' " +
                                      WINE_PATH + " " + kExe + " " + args);
    result.out = WithoutCarriageReturns(result.out);
    result.err = WithoutCarriageReturns(result.err);
    return result;
}

// Points Wine's COM5 at a terminal that is not the simulator's.
void LinkCom5To(const std::string &terminal) {
    unlink(kCom5Wire.c_str());
    ASSERT_EQ(symlink(terminal.c_str(), kCom5Wire.c_str()), 0);
}

// Leaves the terminal as another program might: XON/XOFF flow control on in both directions.
void TurnOnSoftwareFlowControl(const std::string &terminal) {
    int fd = open(terminal.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    struct termios tio;
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    tio.c_iflag |= IXON | IXOFF;
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &tio), 0);
    close(fd);
}

class UnderWine : public testing::Test {
  protected:
    void SetUp() override {
        struct stat dosDevices;
        ASSERT_EQ(stat((kPrefix + "/dosdevices").c_str(), &dosDevices), 0)
            << "no Wine prefix: ctest makes it (the windows.wine_prefix_start test)";
    }
    // A simulator serving Wine's COM5.
    static std::vector<std::string> OnCom5(std::vector<std::string> args = {}) {
        args.insert(args.begin(), {"--link", kCom5Wire});
        return args;
    }
    ProgramResult Program(const std::string &args) { return RunUnderWine(dir, args); }
    std::string dir = MakeTempDir();
};

TEST_F(UnderWine, TypicalRunWithBulkEraseProgramsTheEeprom) {
    Bytes code = Pattern(0x80, 0x21);
    WriteS19(dir, "app.s19", {{0xF800, code}, {0xFFFE, {0xF8, 0x00}}});
    SimProcess sim(OnCom5());
    ProgramResult result = Program("-c 5 -B -i app.s19");
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(WithoutBanner(result.out), "Downloading talker file\n" + TalkerMarks() + kConfigTold +
                                             "Bulk Erasing EEPROM\n" + ConfigProgrammed() +
                                             "Downloading app.s19\n" + Dots(7) + "Success\n");
    EXPECT_EQ(sim.dumped(0xF800, 0xF87F), code);
    EXPECT_EQ(sim.dumped(0xF880, 0xFFFD), Bytes(0xFFFE - 0xF880, 0xFF));
    EXPECT_EQ(sim.dumped(0xFFFE, 0xFFFF), Bytes({0xF8, 0x00}));
    EXPECT_EQ(sim.dumped(0x103F, 0x103F), Bytes({0xF5}));
    EXPECT_EQ(sim.stat("eeprom_bulk_erase"), 1);
}

TEST_F(UnderWine, ExpandedBusReachesExternalRam) {
    Bytes data = Pattern(40, 3);
    WriteS19(dir, "ram.s19", {{0x4000, data}});
    SimProcess sim(OnCom5({"--xram", "4000-4FFF"}));
    ProgramResult result = Program("-c 5 -E -i ram.s19");
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(WithoutBanner(result.out), "Downloading talker file\n" + TalkerMarks() +
                                             "Enable Expanded Memory\nDownloading ram.s19\n" +
                                             Dots(4) + "Success\n");
    EXPECT_EQ(sim.dumped(0x4000, 0x4027), data);
}

// $11 and $13 are XON and XOFF: on a port left with software flow control they would be
// swallowed, so the tool must set a raw line whatever the port had.
TEST_F(UnderWine, FlowControlByteValuesReachRamAndEeprom) {
    Bytes all = EveryByteValue();
    WriteS19(dir, "all.s19", {{0x2000, all}, {0xF800, all}});
    SimProcess sim(OnCom5({"--xram", "2000-7FFF"}));
    TurnOnSoftwareFlowControl(sim.path());
    ProgramResult result = Program("-c 5 -E -B -i all.s19");
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(sim.dumped(0x2000, 0x20FF), all);
    EXPECT_EQ(sim.dumped(0xF800, 0xF8FF), all);
}

TEST_F(UnderWine, MissingFileLeavesTheTargetAlone) {
    SimProcess sim(OnCom5());
    ProgramResult result = Program("-c 5 -B -i nothing.s19");
    sim.stop();
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "File Error: Could not open nothing.s19: No such file or directory\n");
    EXPECT_EQ(sim.stat("rx_bytes"), 0);
}

// A target that never answers: the first echo read gives up after its time-out.
TEST_F(UnderWine, SilentTargetEndsAfterTheFirstEchoTimesOut) {
    FakeTarget nothing;
    LinkCom5To(nothing.path());
    ProgramResult result = Program("-c 5 -B");
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(WithoutBanner(result.out), "Downloading talker file\n0.\nFailure\n");
    EXPECT_EQ(result.err,
              "No input file specified\nSendRawWithEcho: dwRead != 1\nDownloadTalker: Check that "
              "the board was reset into special bootstrap mode (MODA and MODB low), the port, "
              "and the cable\n");
    SRecord first;
    ASSERT_EQ(ParseSRecordString(TalkerImage[0], &first), 1);
    // The probe's "s", then the load without $FF: a chip in its boot ROM took the "s" as its
    // first character.
    EXPECT_EQ(nothing.readBytes(2), Bytes({'s', first.bData[0]}));
}

TEST_F(UnderWine, VerboseTraceShowsEachByteOnItsOwnLine) {
    WriteS19(dir, "small.s19", {{0xF800, {0x11, 0x13, 0xA5}}});
    SimProcess sim(OnCom5());
    ProgramResult result = Program("-c 5 -V -i small.s19");
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    // The probe's "s" goes unanswered by the boot ROM; the load goes out whole, then its
    // echoes come back.
    ASSERT_TRUE(std::regex_search(
        result.err, std::regex("^Write:73 \nRead:\nWrite:([0-9A-F]{2}) \n(Write:[0-9A-F]{2} "
                               "\n){255}Read:\\1 \n")))
        << result.err.substr(0, 200);
    // In the order they went: while the first data byte programs, the talker holds two more;
    // a read takes in the replies that have come.
    EXPECT_TRUE(std::regex_search(
        result.err, std::regex("Write:11 \nWrite:13 \nWrite:A5 \nRead:11 (\nRead:)?13 "
                               "(\nRead:)?A5 ")))
        << result.err;
    // Besides the bytes, the commands that carry them are named: the chip is read first.
    std::regex traceLine(
        "(Write|Read):([0-9A-F]{2} )*|WriteSRecord\\(3 bytes\\)|ReadTargetBytes\\(3 bytes\\)");
    std::istringstream lines(result.err);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(std::regex_match(line, traceLine)) << line;
    }
}

// Wine lists its ports in the registry as Windows does; COM5 is the simulator's, with the
// device that the prefix records for it under Enum: its name and its hub and port.
TEST_F(UnderWine, PortListNamesCom5FromTheRegistry) {
    ProgramResult result = Program("-l");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(std::regex_search(
        WithoutBanner(result.out),
        std::regex(R"((^|\n)COM5 +\\Device\\Serial[0-9]+, USB-SERIAL CH340 \(COM5\), )"
                   R"(location Port_#0002\.Hub_#0001\n)")))
        << result.out;
}

// Port names as a Windows user gives them: a number, a name, a device path.
class PortNamesUnderWine : public UnderWine, public testing::WithParamInterface<const char *> {};

TEST_P(PortNamesUnderWine, ReachTheSimulator) {
    WriteS19(dir, "one.s19", {{0xF900, {0x5A}}});
    SimProcess sim(OnCom5());
    ProgramResult result = Program(std::string(GetParam()) + " -i one.s19");
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(sim.dumped(0xF900, 0xF900), Bytes({0x5A}));
}

INSTANTIATE_TEST_SUITE_P(Windows, PortNamesUnderWine,
                         testing::Values("-c 5", "-d COM5", "-d '\\\\.\\COM5'"));

// A port with nothing behind it: the open fails with the system's error code in hexadecimal.
struct MissingPort {
    const char *args;
    const char *shown;
};

void PrintTo(const MissingPort &port, std::ostream *out) {
    *out << port.args;
}

class MissingPortsUnderWine : public UnderWine, public testing::WithParamInterface<MissingPort> {};

TEST_P(MissingPortsUnderWine, FailToOpenWithTheErrorCode) {
    ProgramResult result = Program(std::string(GetParam().args) + " -B");
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(WithoutBanner(result.out), "Downloading talker file\nFailure\n");
    std::string expected =
        std::string("No input file specified\nCreateFile on ") + GetParam().shown + " error: ";
    ASSERT_EQ(result.err.substr(0, expected.size()), expected);
    // The code, then the system's words and what to check.
    std::string rest = result.err.substr(expected.size());
    size_t hint = rest.find('\n') + 1;
    EXPECT_TRUE(std::regex_match(rest.substr(0, hint), std::regex("[0-9a-f]+\n"))) << rest;
    EXPECT_EQ(
        rest.compare(hint, strlen(GetParam().shown) + 2, GetParam().shown + std::string(": ")), 0)
        << rest;
    EXPECT_NE(rest.find(": no such port: check the COM number", hint), std::string::npos) << rest;
}

INSTANTIATE_TEST_SUITE_P(Windows, MissingPortsUnderWine,
                         testing::Values(MissingPort{"-c 9", "COM9"}, MissingPort{"-c 99", "COM99"},
                                         MissingPort{"-d '\\\\.\\COM9'", "\\\\.\\COM9"}));

// WS2_32 is the network port's: Windows brings it, as it brings the other two.
TEST(WindowsBuild, ImportsOnlyKernel32Ws2_32AndMsvcrt) {
    ProgramResult result = RunProgram(std::string(MINGW_OBJDUMP_PATH) + " -p " + kExe);
    ASSERT_EQ(result.status, 0) << result.err;
    std::regex dllName("DLL Name: (\\S+)");
    std::vector<std::string> imports;
    for (std::sregex_iterator it(result.out.begin(), result.out.end(), dllName), end; it != end;
         ++it) {
        imports.push_back((*it)[1]);
    }
    std::sort(imports.begin(), imports.end());
    EXPECT_EQ(imports, std::vector<std::string>({"KERNEL32.dll", "WS2_32.dll", "msvcrt.dll"}));
}

}  // namespace
