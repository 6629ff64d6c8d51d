// Whole runs of hc11prog across the network, at the talker's rate and at the chip's fastest:
// through ser2net, started here with its own configuration on a loopback port in front of
// hc11sim's pty (and with the configuration lines the README gives, so that it stays true),
// and against hc11sim serving the chip itself with --listen.
#include <gtest/gtest.h>
#include <stdio.h>

#include <regex>
#include <sstream>

#include "missing_tool.h"
#include "run_fixtures.h"
#include "ser2net_process.h"
#include "sim_process.h"

namespace {

const std::string kProgram = HC11PROG_PATH;

const Bytes kCode = Pattern(0x200, 0x5C);
const std::vector<Block> kBlocks = {{0xF800, kCode}, {0xFFFE, {0xF8, 0x00}}};
const char *const kRates[] = {"", " -b 125000"};  // the talker's 9600, the SCI's fastest

// A run with a bulk erase has programmed the EEPROM with kBlocks and said so.
void ExpectProgrammed(const ProgramResult &result, const SimProcess &sim) {
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_NE(result.out.find(Dots(S19Lines(kBlocks)) + "Success\n"), std::string::npos)
        << result.out;
    EXPECT_EQ(sim.dumped(0xF800, 0xF9FF), kCode);
    EXPECT_EQ(sim.dumped(0xFFFE, 0xFFFF), Bytes({0xF8, 0x00}));
}

class ThroughSer2net : public testing::Test {
  protected:
    void SetUp() override {
        if (std::string(SER2NET_PATH).empty()) SKIP_FOR_MISSING_TOOL("ser2net is not installed");
        wPort = FreeLoopbackPort();
    }
    void TearDown() override { StopSer2net(&ser2net, dir); }
    // ser2net with yaml, listening before the run starts.
    void Serve(const std::string &yaml) {
        ser2net = StartSer2net(SER2NET_PATH, dir, yaml);
        ASSERT_GT(ser2net.pid, 0);
        ASSERT_TRUE(AwaitListener(wPort)) << "ser2net does not listen on " << wPort;
    }
    std::string Url() const { return "rfc2217://127.0.0.1:" + std::to_string(wPort); }

    std::string dir = MakeTempDir();
    uint16_t wPort = 0;
    ChildProcess ser2net;
};

// A whole run at each rate: the talker loaded through the boot ROM, the EEPROM erased and
// programmed, every byte verified; the file is in the chip's dump.
TEST_F(ThroughSer2net, AWholeRunProgramsTheEepromAtEachRate) {
    std::string file = WriteS19(dir, "app.s19", kBlocks);
    for (const char *pszRate : kRates) {
        SCOPED_TRACE(*pszRate ? pszRate : "9600");
        SimProcess sim;
        Serve(Ser2netYaml(wPort, sim.path()));
        ProgramResult result =
            RunProgram(kProgram + " -d " + Url() + " -B" + pszRate + " -i " + file);
        sim.stop();
        StopSer2net(&ser2net, dir);
        ExpectProgrammed(result, sim);
        wPort = FreeLoopbackPort();
    }
}

// The README's ser2net lines, with its port kept to this machine and its device the
// simulator's pty, serve the README's command line.
TEST_F(ThroughSer2net, TheReadmeConfigurationServesTheReadmeCommand) {
    std::vector<std::string> blocks =
        FencedBlocks(README_PATH, "## Programming a board on another machine");
    ASSERT_GE(blocks.size(), 2u) << "the README's section lost its configuration or command";
    std::string yaml = blocks[0], command = blocks[1];
    ASSERT_NE(yaml.find("accepter: telnet(rfc2217),tcp,2000"), std::string::npos) << yaml;
    ASSERT_NE(yaml.find("/dev/ttyUSB0"), std::string::npos) << yaml;
    ASSERT_EQ(command.rfind("hc11prog -d rfc2217://labpi:2000 ", 0), 0u) << command;
    SimProcess sim;
    std::string port = std::to_string(wPort);
    yaml = std::regex_replace(yaml, std::regex("tcp,2000"), "tcp,127.0.0.1," + port);
    yaml = std::regex_replace(yaml, std::regex("/dev/ttyUSB0"), sim.path());
    Serve(yaml);
    const std::vector<Block> blocks19 = {{0xF800, Pattern(0x40, 0x33)}};
    std::string file = WriteS19(dir, "myprog.s19", blocks19);
    command = std::regex_replace(command, std::regex("labpi:2000"), "127.0.0.1:" + port);
    command = std::regex_replace(command, std::regex("myprog\\.s19"), file);
    command = std::regex_replace(command, std::regex("^hc11prog"), kProgram);
    command.erase(command.find_last_not_of("\n") + 1);
    ProgramResult result = RunProgram(command);
    sim.stop();
    EXPECT_EQ(result.status, 0) << command << "\n" << result.out << result.err;
    EXPECT_EQ(sim.dumped(0xF800, 0xF83F), Pattern(0x40, 0x33));
}

// ser2net in front of a pty leaves SET-CONTROL unanswered (a pty has no lines): a reset
// through RTS that brings no break says that the server may not pass the lines on.
TEST_F(ThroughSer2net, LinesTheServerNeverAcknowledgedAreNamedAfterAMissedBreak) {
    SimProcess sim;
    Serve(Ser2netYaml(wPort, sim.path()));
    ProgramResult result = RunProgram(kProgram + " -d " + Url() + " --reset-line rts -B");
    sim.stop();
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.err,
              "No input file specified\n"
              "No break from the boot ROM after the reset through RTS: check the wiring, "
              "--reset-line, --mode-line and --invert-lines\n"
              "The server never acknowledged the line changes (RFC 2217's SET-CONTROL): it may "
              "not pass the lines on to the board (ser2net in front of a pty does not)\n");
}

// hc11sim serves one client at a time: a second one is accepted by the system but never
// negotiated with, and is told that the server may be busy.
TEST(AgainstListeningSim, ASecondClientIsToldTheServerMayBeBusy) {
    SimProcess sim({"--listen", "0"});
    std::string port = sim.path().substr(sim.path().rfind(':') + 1);
    // The shell holds the first connection while the run makes the second.
    ProgramResult result = RunProgram("bash -c 'exec 3<>/dev/tcp/127.0.0.1/" + port + " && " +
                                      kProgram + " -d " + sim.path() + " -B'");
    sim.stop();
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.err.find(": the server did not take up RFC 2217's COM-PORT-OPTION: a raw "
                              "TCP port? (ser2net's accepter must be telnet(rfc2217)); or the "
                              "server may be busy with another client: it sent nothing. "),
              std::string::npos)
        << result.err;
}

// hc11sim --listen prints the URL it serves as its first line, where the pty's path was.
TEST(AgainstListeningSim, AWholeRunProgramsTheEepromAtEachRate) {
    std::string file = WriteS19(MakeTempDir(), "app.s19", kBlocks);
    for (const char *pszRate : kRates) {
        SCOPED_TRACE(*pszRate ? pszRate : "9600");
        SimProcess sim({"--listen", "0"});
        ASSERT_EQ(sim.path().rfind("rfc2217://127.0.0.1:", 0), 0u) << sim.path();
        ProgramResult result =
            RunProgram(kProgram + " -d " + sim.path() + " -B" + pszRate + " -i " + file);
        sim.stop();
        ExpectProgrammed(result, sim);
    }
}

}  // namespace
