// The one-command loop against the real hc11sim: --wait with a reset by hand, the monitor's
// output and input, and each way the monitor ends leaving the terminal and the port as they
// were.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "fake_target.h"
#include "run_fixtures.h"
#include "sim_process.h"

namespace {

const std::string kProgram = HC11PROG_PATH;
const std::string kExample = std::string(EXAMPLES_DIR) + "/hello.s19";
const int kPatienceMs = 30000;  // a bound for a hung tool, never a measure of speed

// Each byte at 9600 baud comes back plus one, from $F800 in single-chip mode.
const Bytes kPlusOne = {0x8E, 0x00, 0xFF, 0xCE, 0x10, 0x00, 0x86, 0x30, 0xA7, 0x2B,
                        0x86, 0x0C, 0xA7, 0x2D, 0x1F, 0x2E, 0x20, 0xFC, 0xA6, 0x2F,
                        0x4C, 0x1F, 0x2E, 0x80, 0xFC, 0xA7, 0x2F, 0x20, 0xF1};

// hc11prog as a child: its standard input from inFd (a pipe's end or a terminal), its standard
// output and error read through outFd. With fTerminal, inFd is a pty's slave that becomes its
// controlling terminal, so that Ctrl-C typed there interrupts it.
struct Tool {
    pid_t pid = -1;
    int outFd = -1;
    std::string out;

    void start(const std::vector<std::string> &args, int inFd, int outWriteFd, bool fTerminal) {
        pid = fork();
        if (pid == 0) {
            if (fTerminal) {
                setsid();
                ioctl(inFd, TIOCSCTTY, 0);
            }
            dup2(inFd, 0);
            dup2(outWriteFd, 1);
            dup2(outWriteFd, 2);
            std::vector<char *> argv;
            for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    // Reads what the tool writes until text appears (true), or until it ends or the
    // patience runs out (false; an empty text reads to the end).
    bool readUntil(const std::string &text) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
        while (text.empty() || out.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            struct pollfd pfd = {outFd, POLLIN, 0};
            if (poll(&pfd, 1, 100) <= 0) continue;
            char buffer[65536];
            ssize_t got = read(outFd, buffer, sizeof buffer);
            if (got <= 0) return false;
            out.append(buffer, (size_t)got);
        }
        return true;
    }
    // Reads the rest and returns the exit status, or 128 + the signal; -1 when it hangs.
    int finish() {
        readUntil("");
        for (int waited = 0; waited < kPatienceMs; waited += 10) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            usleep(10000);
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }
};

// The line settings that the tool must give back.
bool SameSettings(const termios &a, const termios &b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

termios SettingsOf(const std::string &path) {
    termios tio = {};
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0) << path;
    EXPECT_EQ(tcgetattr(fd, &tio), 0);
    close(fd);
    return tio;
}

class BoardLoop : public testing::Test {
  protected:
    // The plus-one program in EEPROM; the chip comes up running it.
    SimProcess *StartPlusOne() {
        std::string file = WriteS19(dir, "plus1.s19", {{0xF800, kPlusOne}, {0xFFFE, {0xF8, 0x00}}});
        sim = new SimProcess({"--mode", "single", "--eeprom", file});
        return sim;
    }
    // The monitor on sim's port with a pipe as its input; returns the pipe's write end.
    int StartMonitorOnPipe(Tool *pTool, const std::vector<std::string> &extra) {
        int in[2], out[2];
        EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        std::vector<std::string> args = {kProgram, "-d", sim->path(), "--monitor"};
        args.insert(args.end(), extra.begin(), extra.end());
        pTool->start(args, in[0], out[1], false);
        close(in[0]);
        close(out[1]);
        pTool->outFd = out[0];
        return in[1];
    }
    void TearDown() override { delete sim; }
    std::string dir = MakeTempDir();
    SimProcess *sim = nullptr;
};

// The board runs another program when the tool starts; the reset comes once the tool says
// it waits, and the load, the erase and the download follow.
TEST_F(BoardLoop, WaitLoadsOnceTheBoardIsResetByHand) {
    std::string file = WriteS19(dir, "bra.s19", {{0xF800, {0x20, 0xFE}}, {0xFFFE, {0xF8, 0x00}}});
    sim = new SimProcess(
        {"--mode", "single", "--reset-mode", "bootstrap", "--eeprom", file, "--xram", "2000-7FFF"});
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    int nullFd = open("/dev/null", O_RDONLY);
    Tool tool;
    tool.start({kProgram, "-d", sim->path(), "--wait", "60", "-E", "-B", "-i", kExample}, nullFd,
               out[1], false);
    close(out[1]);
    close(nullFd);
    tool.outFd = out[0];
    ASSERT_TRUE(tool.readUntil("Waiting for the board: hold MODA and MODB low and press RESET\n"))
        << tool.out;
    sim->reset();
    EXPECT_EQ(tool.finish(), 0) << tool.out;
    size_t first = tool.out.find("Waiting for the board");
    EXPECT_EQ(tool.out.find("Waiting for the board", first + 1), std::string::npos) << "said once";
    for (const char *expected : {"SendRawWithEcho", "DownloadTalker:", "ProbeTalker:"})
        EXPECT_EQ(tool.out.find(expected), std::string::npos) << "only the wait is said";
    EXPECT_NE(tool.out.find("Success\n"), std::string::npos) << tool.out;
    sim->stop();
    EXPECT_EQ(sim->dumped(0x2000, 0x2004), Bytes({'H', 'e', 'l', 'l', 'o'}));
}

// Without --wait the same board fails as before, and with it no reset means an end, said by
// the wait alone.
TEST_F(BoardLoop, WithoutAResetTheRunEndsAsBefore) {
    sim = new SimProcess({"--fault", "silent"});
    ProgramResult plain = RunProgram(kProgram + " -d " + sim->path() + " -E -B -i " + kExample);
    EXPECT_EQ(plain.status, 3);
    EXPECT_EQ(plain.out.find("Waiting"), std::string::npos);
    ProgramResult waited =
        RunProgram(kProgram + " -d " + sim->path() + " --wait 1 -E -B -i " + kExample);
    EXPECT_EQ(waited.status, 3);
    EXPECT_NE(waited.out.find("Waiting for the board"), std::string::npos);
    EXPECT_EQ(waited.err, "No reset seen in 1 s\n") << "the first load's failure is the wait's";
    EXPECT_EQ(WithoutBanner(waited.out).substr(0, 24), "Downloading talker file\n");
}

// A pty has no modem lines: the reset is refused with the system's words, before any load.
TEST_F(BoardLoop, APortWithoutLinesRefusesTheReset) {
    sim = new SimProcess();
    termios before = SettingsOf(sim->path());
    ProgramResult result =
        RunProgram(kProgram + " -d " + sim->path() + " --reset-line rts -E -B -i " + kExample);
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.err.rfind("Could not set RTS on " + sim->path() + ": ", 0), 0u) << result.err;
    EXPECT_EQ(WithoutBanner(result.out), "Resetting the board into bootstrap mode\nFailure\n");
    EXPECT_TRUE(SameSettings(before, SettingsOf(sim->path())));
}

// What is typed goes to the chip, what it answers is shown (a byte that is not printable as
// \xHH); the input's end does not cut the time asked for; the port is given back.
TEST_F(BoardLoop, MonitorSendsInputAndShowsAnswersForTheTimeGiven) {
    StartPlusOne();
    termios before = SettingsOf(sim->path());
    Tool tool;
    int in = StartMonitorOnPipe(&tool, {"--monitor-for", "2"});
    ASSERT_TRUE(tool.readUntil("Ctrl-] ends it\n")) << tool.out;
    ASSERT_EQ(write(in, "abc\x01", 4), 4);
    close(in);
    EXPECT_EQ(tool.finish(), 0);
    EXPECT_NE(tool.out.find("Monitoring " + sim->path() + " at 9600 baud: Ctrl-] ends it\n"),
              std::string::npos);
    EXPECT_NE(tool.out.find("bcd\\x02"), std::string::npos) << tool.out;
    EXPECT_TRUE(SameSettings(before, SettingsOf(sim->path())));
}

// --raw shows the chip's bytes as they are; the end of input ends the watch.
TEST_F(BoardLoop, MonitorEndsWithItsInputAndRawShowsBytesAsTheyAre) {
    StartPlusOne();
    Tool tool;
    int in = StartMonitorOnPipe(&tool, {"--raw"});
    ASSERT_TRUE(tool.readUntil("Ctrl-] ends it\n")) << tool.out;
    ASSERT_EQ(write(in, "\x01", 1), 1);
    ASSERT_TRUE(tool.readUntil("\x02")) << tool.out;
    close(in);
    EXPECT_EQ(tool.finish(), 0);
}

// The tool's terminal is a pty: Ctrl-] and Ctrl-C typed there end the watch, and the
// terminal's settings are what they were.
TEST_F(BoardLoop, MonitorOnATerminalEndsOnCtrlBracketAndCtrlCRestoringIt) {
    StartPlusOne();
    termios portBefore = SettingsOf(sim->path());
    struct Case {
        char key;
        int status;
    } cases[] = {{'\x1d', 0}, {'\x03', 128 + SIGINT}};
    for (const Case &c : cases) {
        int master = -1, slave = -1;
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        fcntl(master, F_SETFD, FD_CLOEXEC);
        termios before = {};
        tcgetattr(slave, &before);
        Tool tool;
        tool.start({kProgram, "-d", sim->path(), "--monitor"}, slave, slave, true);
        close(slave);
        tool.outFd = master;
        ASSERT_TRUE(tool.readUntil("Ctrl-] ends it")) << tool.out;
        ASSERT_EQ(write(master, "~", 1), 1);  // answered with $7F, shown as \x7F
        ASSERT_TRUE(tool.readUntil("\\x7F")) << "typed without Enter: " << tool.out;
        termios during = {};
        tcgetattr(master, &during);
        EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u);
        ASSERT_EQ(write(master, &c.key, 1), 1);
        EXPECT_EQ(tool.finish(), c.status) << tool.out;
        if (c.key == '\x03') {
            EXPECT_NE(tool.out.find("Interrupted: the monitor ended"), std::string::npos)
                << tool.out;
        }
        EXPECT_EQ(tool.out.find("Failure"), std::string::npos) << "the monitor's end is no failure";
        EXPECT_EQ(tool.out.back(), '\n') << "the shell's prompt starts a line: " << tool.out;
        termios after = {};
        tcgetattr(master, &after);
        EXPECT_TRUE(SameSettings(before, after)) << "key " << int(c.key);
        close(master);
    }
    EXPECT_TRUE(SameSettings(portBefore, SettingsOf(sim->path())));
}

// The lines path over hc11sim --listen: RTS wired to RESET, DTR to the mode pins (straight or
// through inverting drivers), one connection for the whole run. The chip
// starts in expanded mode running nothing; the tool resets it into bootstrap, programs it,
// resets it into the program and shows the greeting through the monitor. The port is a
// network one: its settings are the server's, nothing to give back here.
TEST_F(BoardLoop, LinesResetIntoBootstrapProgramRunAndMonitorInOneCommand) {
    struct Case {
        std::vector<std::string> wiring;  // the same on both sides
    } cases[] = {{{"--reset-line", "rts", "--mode-line", "dtr"}},
                 {{"--reset-line", "dtr", "--mode-line", "rts"}},
                 // Inverting drivers: a connection per stage would reset the board between
                 // stages, as the server releases the lines when a client leaves.
                 {{"--reset-line", "rts", "--mode-line", "dtr", "--invert-lines"}}};
    for (const Case &c : cases) {
        std::vector<std::string> simArgs = {"--listen", "0",      "--mode",
                                            "expanded", "--xram", "2000-7FFF"};
        simArgs.insert(simArgs.end(), c.wiring.begin(), c.wiring.end());
        sim = new SimProcess(simArgs);
        ASSERT_EQ(sim->path().rfind("rfc2217://", 0), 0u) << sim->path();
        std::vector<std::string> args = {kProgram, "-d", sim->path()};
        args.insert(args.end(), c.wiring.begin(), c.wiring.end());
        for (const char *psz :
             {"-E", "-B", "-i", kExample.c_str(), "--run", "--monitor", "--monitor-for", "1"})
            args.push_back(psz);
        int out[2];
        ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
        int nullFd = open("/dev/null", O_RDONLY);
        Tool tool;
        tool.start(args, nullFd, out[1], false);
        close(out[1]);
        close(nullFd);
        tool.outFd = out[0];
        EXPECT_EQ(tool.finish(), 0) << tool.out.substr(0, 2000);
        std::string expected = "Resetting the board into bootstrap mode\nDownloading talker file\n";
        EXPECT_EQ(WithoutBanner(tool.out).substr(0, expected.size()), expected);
        size_t success = tool.out.find("Success\nResetting the board into the program\n");
        size_t greeting = tool.out.find("Hello from the 68HC11\r\n");
        EXPECT_NE(success, std::string::npos) << tool.out.substr(0, 2000);
        EXPECT_NE(greeting, std::string::npos) << tool.out.substr(0, 2000);
        EXPECT_LT(success, greeting);
        sim->stop();
        EXPECT_EQ(sim->dumped(0x2000, 0x2004), Bytes({'H', 'e', 'l', 'l', 'o'}));
        delete sim;
        sim = nullptr;
    }
}

// A wiring that does not reach RESET: no break comes, and the run says what to check.
TEST_F(BoardLoop, NoBreakAfterTheResetNamesTheWiring) {
    sim = new SimProcess({"--listen", "0", "--mode", "single", "--reset-line", "rts"});
    ProgramResult result =
        RunProgram(kProgram + " -d " + sim->path() + " --reset-line dtr -E -B -i " + kExample);
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.err,
              "No break from the boot ROM after the reset through DTR: check the wiring, "
              "--reset-line, --mode-line and --invert-lines\n");
    EXPECT_EQ(WithoutBanner(result.out), "Resetting the board into bootstrap mode\nFailure\n");
}

// --run with no file restarts the program through the reset line and watches it; the watch
// ends its output with a line end, after the chip's last byte.
TEST_F(BoardLoop, RunAloneRestartsTheProgramAndWatchesIt) {
    std::string file = WriteS19(dir, "plus1.s19", {{0xF800, kPlusOne}, {0xFFFE, {0xF8, 0x00}}});
    sim = new SimProcess(
        {"--listen", "0", "--reset-line", "rts", "--mode", "single", "--eeprom", file});
    Tool tool;
    int in = StartMonitorOnPipe(&tool, {"--reset-line", "rts", "--run", "--monitor-for", "1"});
    ASSERT_TRUE(tool.readUntil("Ctrl-] ends it\n")) << tool.out;
    ASSERT_EQ(write(in, "hal", 3), 3);
    close(in);
    EXPECT_EQ(tool.finish(), 0);
    EXPECT_EQ(WithoutBanner(tool.out), "Resetting the board into the program\nMonitoring " +
                                           sim->path() + " at 9600 baud: Ctrl-] ends it\nibm\n");
}

}  // namespace
