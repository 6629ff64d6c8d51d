// The hc11sim program: its command line, the pty path on the first line, --dump and
// --eeprom, --exit-after, SIGTERM, --link.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "chip_test_programs.h"
#include "missing_tool.h"
#include "options.h"
#include "srecord.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string ReadFile(const std::string &path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

struct TempFolder {
    std::string path = ::testing::TempDir() + "hc11sim-" + std::to_string(getpid());
    TempFolder() { std::filesystem::create_directories(path); }
    ~TempFolder() { std::filesystem::remove_all(path); }
};

// hc11sim as a child process: its standard output on a pipe, its standard error in a file.
class SimProgram {
  public:
    explicit SimProgram(std::vector<std::string> args) : errPath_(Temp("stderr")) {
        args.insert(args.begin(), HC11SIM_PATH);
        ChildProcess child = StartChild(args, errPath_);
        pid_ = child.pid;
        out_ = child.stdoutFd;
    }
    ~SimProgram() {
        if (pid_ > 0 && status_ < 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }

    // One line of standard output, or "" at its end or after five seconds of silence.
    std::string line() {
        std::string text;
        char c;
        pollfd pfd = {out_, POLLIN, 0};
        while (poll(&pfd, 1, 5000) == 1 && read(out_, &c, 1) == 1 && c != '\n') text += c;
        return text;
    }
    std::string rest() {
        std::string text, next;
        while (!(next = line()).empty()) text += next + "\n";
        return text;
    }
    bool running() { return status_ < 0 && waitpid(pid_, &status_, WNOHANG) == 0; }
    // The exit status, waiting at most ten seconds; -1 when it does not end by itself.
    int exitStatus() {
        for (int i = 0; i < 1000 && running(); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (status_ < 0 || !WIFEXITED(status_)) return -1;
        return WEXITSTATUS(status_);
    }
    void signal(int number) { kill(pid_, number); }
    std::string errors() const { return ReadFile(errPath_); }

    // A file in this process's own folder, which goes when the process ends.
    static std::string Temp(const std::string &name) {
        static TempFolder folder;
        return folder.path + "/" + name;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = -1;
    std::string errPath_;
};

void WriteS19(const std::string &path, uint16_t address, const Bytes &bytes) {
    std::FILE *file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(WriteS1Lines(file, address, bytes.data(), bytes.size(), 16), 1);
    std::fputs("S9030000FC\n", file);
    std::fclose(file);
}

// The bytes of first..last in an S19 file, read by an independent tool.
Bytes ReadRange(const std::string &path, unsigned first, unsigned last) {
#ifdef SIM_TEST_SREC_CAT
    std::string bin = SimProgram::Temp("range.bin");
    std::string command = std::string(SIM_TEST_SREC_CAT) + " " + path + " -crop " +
                          std::to_string(first) + " " + std::to_string(last + 1) + " -offset -" +
                          std::to_string(first) + " -o " + bin + " -binary 2>/dev/null";
    if (std::system(command.c_str()) != 0) return {};
    std::string data = ReadFile(bin);
    return Bytes(data.begin(), data.end());
#else
    (void)path, (void)first, (void)last;
    return {};
#endif
}

TEST(SimProgram, PrintsThePtyPathFirstAndExitsAfterAQuietSpell) {
    std::string dump = SimProgram::Temp("quiet.s19");
    SimProgram sim({"--exit-after", "0.3", "--dump", dump, "--stats"});
    std::string path = sim.line();
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0) << "first line: " << path;
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(sim.exitStatus(), 0);
    std::string stats = sim.rest();
    EXPECT_NE(stats.find("\nrx_bytes 0\n"), std::string::npos) << stats;
    EXPECT_EQ(ReadFile(dump).rfind("S9030000FC\n"), ReadFile(dump).size() - 11);
    unlink(dump.c_str());
}

TEST(SimProgram, WireActivityPostponesTheExit) {
    SimProgram sim({"--exit-after", "1"});
    std::string path = sim.line();
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < 8; i++) {
        uint8_t byte = 0x55;
        ASSERT_EQ(write(fd, &byte, 1), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_TRUE(sim.running()) << "1.6 s in, never 1 s without a byte";
    close(fd);
    EXPECT_EQ(sim.exitStatus(), 0);
}

// Everything the target sent within one adapter packet reaches the host at once; the rest
// waits for the latency timer, here far beyond the read.
TEST(SimProgram, LatencyHoldsBytesUntilAPacketIsFull) {
    SimProgram sim({"--latency", "20000"});
    int fd = open(sim.line().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    Bytes load(71, 0x5A);
    load[0] = 0xFF;  // at 1200 baud: the ROM switches to 1200 and echoes the 70 that follow
    ASSERT_EQ(write(fd, load.data(), load.size()), ssize_t(load.size()));
    size_t received = 0;
    pollfd pfd = {fd, POLLIN, 0};
    uint8_t buffer[128];
    while (poll(&pfd, 1, 1500) == 1) {
        ssize_t count = read(fd, buffer, sizeof buffer);
        if (count <= 0) break;
        received += size_t(count);
    }
    close(fd);
    EXPECT_EQ(received, 62u) << "one full packet, the other 8 echoes held";
}

TEST(SimProgram, EepromPreloadAndDumpRoundTrip) {
#ifndef SIM_TEST_SREC_CAT
    SKIP_FOR_MISSING_TOOL("srec_cat not installed");
#endif
    std::string in = SimProgram::Temp("in.s19"), first = SimProgram::Temp("first.s19"),
                second = SimProgram::Temp("second.s19");
    Bytes code;
    for (unsigned i = 0; i < 0x800; i++) code.push_back(uint8_t(i * 13 + 1));
    WriteS19(in, 0xF800, code);
    std::ofstream(in, std::ios::app) << "S104103FF5B7\nS1050010AABB85\n";  // CONFIG, RAM
    {
        SimProgram sim({"--eeprom", in, "--dump", first, "--exit-after", "0.2"});
        EXPECT_EQ(sim.exitStatus(), 0) << sim.errors();
        EXPECT_NE(sim.errors().find("2 bytes outside EEPROM and CONFIG left out"),
                  std::string::npos);
    }
    EXPECT_EQ(ReadRange(first, 0xF800, 0xFFFF), code);
    EXPECT_EQ(ReadRange(first, 0x103F, 0x103F), Bytes({0xF5}));
    EXPECT_EQ(ReadRange(first, 0x0010, 0x0011), Bytes({0x00, 0x00}));
    {
        SimProgram sim({"--eeprom", first, "--dump", second, "--exit-after", "0.2"});
        EXPECT_EQ(sim.exitStatus(), 0) << sim.errors();
    }
    EXPECT_EQ(ReadFile(first), ReadFile(second));
    for (const std::string &path : {in, first, second}) unlink(path.c_str());
}

// The pty as a terminal program opens it: raw, at speed.
int OpenRaw(const std::string &path, speed_t speed) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    termios tio;
    if (fd < 0 || tcgetattr(fd, &tio) != 0) return -1;
    cfmakeraw(&tio);
    cfsetspeed(&tio, speed);
    return tcsetattr(fd, TCSANOW, &tio) == 0 ? fd : -1;
}

// The mode pins are read at power-up: a program in EEPROM answers at once, with no reset.
TEST(SimProgram, PowerUpInSingleChipModeRunsTheProgramAtOnce) {
    const Bytes kPlusOne = {0x8E, 0x00, 0xFF, 0xCE, 0x10, 0x00,  // LDS #$00FF; LDX #$1000
                            0x86, 0x30, 0xA7, 0x2B,              // BAUD  <- 9600
                            0x86, 0x0C, 0xA7, 0x2D,              // SCCR2 <- TE RE
                            0x1F, 0x2E, 0x20, 0xFC,              // $F80E BRCLR SCSR,X #RDRF *
                            0xA6, 0x2F, 0x4C,                    // LDAA SCDR,X; INCA
                            0x1F, 0x2E, 0x80, 0xFC,              // BRCLR SCSR,X #TDRE *
                            0xA7, 0x2F, 0x20, 0xF1};             // STAA SCDR,X; BRA $F80E
    Bytes eeprom = kPlusOne;
    eeprom.resize(0x7FE, 0xFF);
    eeprom.insert(eeprom.end(), {0xF8, 0x00});  // the reset vector
    std::string file = SimProgram::Temp("plus_one.s19");
    WriteS19(file, 0xF800, eeprom);
    SimProgram sim({"--mode", "single", "--eeprom", file});
    int fd = OpenRaw(sim.line(), B9600);
    ASSERT_GE(fd, 0);
    uint8_t byte = 'a';
    ASSERT_EQ(write(fd, &byte, 1), 1);
    pollfd pfd = {fd, POLLIN, 0};
    ASSERT_EQ(poll(&pfd, 1, 3000), 1);
    ASSERT_EQ(read(fd, &byte, 1), 1);
    EXPECT_EQ(byte, 'b');
    close(fd);
}

// External RAM can't overlap the chip's memories at start, but a CONFIG can move the 811E2's
// EEPROM onto it: the dump then holds the EEPROM there, and the external RAM around it.
// Reads count bytes, or what came until a second passed without one.
Bytes ReadBytes(int fd, size_t count) {
    Bytes bytes;
    uint8_t buffer[256];
    pollfd pfd = {fd, POLLIN, 0};
    while (bytes.size() < count && poll(&pfd, 1, 1000) == 1) {
        ssize_t got = read(fd, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (got <= 0) break;
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

// A 9.8304 MHz crystal makes the boot ROM's E/256 exactly 9600 baud: the host loads there.
TEST(SimProgram, BootRomAnswersAtTheCrystalsRate) {
    SimProgram sim({"--crystal", "9.8304"});
    int fd = OpenRaw(sim.line(), B9600);
    ASSERT_GE(fd, 0);
    Bytes load = hc11::test::Download(hc11::test::kPlusOne);
    load.insert(load.begin(), 0xFF);
    ASSERT_EQ(write(fd, load.data(), load.size()), ssize_t(load.size()));
    EXPECT_EQ(ReadBytes(fd, 256), Bytes(load.begin() + 1, load.end())) << "the echoes";
    uint8_t byte = 'x';
    ASSERT_EQ(write(fd, &byte, 1), 1);
    EXPECT_EQ(ReadBytes(fd, 1), Bytes({'y'}));
    close(fd);
}

TEST(SimProgram, DumpHoldsExternalRamNotHiddenByTheChip) {
#ifndef SIM_TEST_SREC_CAT
    SKIP_FOR_MISSING_TOOL("srec_cat not installed");
#endif
    std::string preload = SimProgram::Temp("moved.s19"), dump = SimProgram::Temp("xram.s19");
    WriteS19(preload, 0x2800, Bytes(0x800, 0x5A));
    std::ofstream(preload, std::ios::app) << "S104103F2F7D\n";  // CONFIG $2F: EEPROM at $2800
    SimProgram sim(
        {"--xram", "2000-3FFF", "--eeprom", preload, "--dump", dump, "--exit-after", "0.2"});
    EXPECT_EQ(sim.exitStatus(), 0) << sim.errors();
    EXPECT_EQ(ReadRange(dump, 0x2000, 0x27FF), Bytes(0x800, 0x00));
    EXPECT_EQ(ReadRange(dump, 0x2800, 0x2FFF), Bytes(0x800, 0x5A)) << "the EEPROM, once";
    EXPECT_EQ(ReadRange(dump, 0x3000, 0x3FFF), Bytes(0x1000, 0x00));
    unlink(dump.c_str());
}

// hc11sim's own inputs are checked before it serves: a preload line with a wrong checksum, a
// dump it could not write at exit, external RAM over the chip's own memories.
TEST(SimProgram, RefusesItsOwnBadInputsAtStart) {
    std::string preload = SimProgram::Temp("bad_sum.s19");
    WriteS19(preload, 0xF800, Bytes(32, 0x11));
    std::string text = ReadFile(preload);
    text[text.find('\n') - 1] ^= 1;  // the first line's checksum, one bit off
    std::ofstream(preload) << text;
    const struct {
        std::vector<std::string> args;
        int status;
        std::string message;
    } cases[] = {
        {{"--eeprom", preload}, 1, "has a wrong checksum"},
        {{"--eeprom", preload}, 1, "hc11sim: --eeprom " + preload + ": line 1 is no S-record"},
        {{"--dump", "/nonexistent/x"}, 1, "hc11sim: --dump /nonexistent/x: "},
        {{"--dump", SimProgram::Temp("")}, 1, "hc11sim: --dump "},
        {{"--xram", "0000-FFFF"},
         2,
         "hc11sim: --xram 0000-FFFF overlaps the 811E2's own RAM $0000-$00FF, registers "
         "$1000-$103F, EEPROM $F800-$FFFF"},
        {{"--part", "E9", "--xram", "B000-B7FF"}, 2, "EEPROM $B600-$B7FF"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.back());
        SimProgram sim(c.args);
        EXPECT_EQ(sim.line(), "") << "no terminal offered";
        EXPECT_EQ(sim.exitStatus(), c.status);
        EXPECT_NE(sim.errors().find(c.message), std::string::npos) << sim.errors();
    }
}

// A dump that does not exist yet is only tried at start: it appears at exit.
TEST(SimProgram, ANewDumpIsWrittenOnlyAtExit) {
    std::string dump = SimProgram::Temp("later.s19");
    unlink(dump.c_str());
    SimProgram sim({"--dump", dump, "--exit-after", "0.3"});
    ASSERT_NE(sim.line(), "");
    struct stat st;
    EXPECT_NE(stat(dump.c_str(), &st), 0) << "not left behind by the check";
    EXPECT_EQ(sim.exitStatus(), 0);
    EXPECT_EQ(stat(dump.c_str(), &st), 0);
    unlink(dump.c_str());
}

TEST(SimProgram, SigtermDumpsAndExitsCleanly) {
    std::string dump = SimProgram::Temp("term.s19");
    unlink(dump.c_str());
    SimProgram sim({"--dump", dump});
    ASSERT_FALSE(sim.line().empty());
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.exitStatus(), 0);
    EXPECT_NE(ReadFile(dump).find("S9030000FC"), std::string::npos);
    unlink(dump.c_str());
}

TEST(SimProgram, LinkExistsWhileRunning) {
    std::string link = SimProgram::Temp("link");
    SimProgram sim({"--link", link, "--exit-after", "0.5"});
    std::string path = sim.line();
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(path, target);
    EXPECT_EQ(sim.exitStatus(), 0);
    struct stat st;
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "removed at exit";
}

TEST(SimProgram, RefusedArgumentsExitWithStatus2) {
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"}, {"--xram", "7FFF-2000"}, {"--exit-after", "0"}, {"--link"}};
    for (const auto &args : cases) {
        SimProgram sim(args);
        EXPECT_EQ(sim.exitStatus(), 2) << args[0];
        EXPECT_NE(sim.errors().find("hc11sim: "), std::string::npos) << args[0];
    }
}

TEST(SimProgram, HelpListsTheOptions) {
    SimProgram sim({"-h"});
    std::string usage = sim.rest();
    EXPECT_EQ(sim.exitStatus(), 0);
    for (const char *option :
         {"--link",      "--dump",        "--eeprom",     "--xram",     "--exit-after",
          "--realtime",  "--trace",       "--stats",      "--fault",    "silent",
          "drop:N",      "corrupt:N",     "noise:N",      "stuck:ADDR", "unplug:N",
          "reset:N",     "--crystal",     "--reset-mode", "--listen",   "--reset-line",
          "--mode-line", "--invert-lines"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

struct OptionCase {
    std::vector<const char *> args;
    hc11::ParseResult result;
};

class SimOptionParse : public ::testing::TestWithParam<OptionCase> {};

TEST_P(SimOptionParse, AcceptsOrRefuses) {
    std::vector<char *> argv = {const_cast<char *>("hc11sim")};
    for (const char *arg : GetParam().args) argv.push_back(const_cast<char *>(arg));
    hc11::SimOptions options;
    testing::internal::CaptureStderr();
    EXPECT_EQ(hc11::ParseSimOptions(int(argv.size()), argv.data(), &options), GetParam().result);
    testing::internal::GetCapturedStderr();
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, SimOptionParse,
    ::testing::Values(
        OptionCase{{}, hc11::ParseResult::Run},
        OptionCase{{"--xram", "2000-7FFF"}, hc11::ParseResult::Run},
        OptionCase{{"--xram", "2000-7fff"}, hc11::ParseResult::Run},
        OptionCase{{"--xram", "2000"}, hc11::ParseResult::Error},
        OptionCase{{"--xram", "12000-13000"}, hc11::ParseResult::Error},
        OptionCase{{"--xram", "8000-7FFF"}, hc11::ParseResult::Error},
        OptionCase{{"--xram", "20g0-7FFF"}, hc11::ParseResult::Error},
        OptionCase{{"--xram", "0000-1FFF"}, hc11::ParseResult::Error},
        OptionCase{{"--xram", "C000-F7FF"}, hc11::ParseResult::Run},
        OptionCase{{"--xram", "1040-F7FF"}, hc11::ParseResult::Run},
        OptionCase{{"--xram", "0100-1000"}, hc11::ParseResult::Error},
        OptionCase{{"--exit-after", "2.5"}, hc11::ParseResult::Run},
        OptionCase{{"--exit-after", "-1"}, hc11::ParseResult::Error},
        OptionCase{{"--exit-after", "soon"}, hc11::ParseResult::Error},
        OptionCase{{"--dump"}, hc11::ParseResult::Error},
        OptionCase{{"--realtime", "--trace", "--stats"}, hc11::ParseResult::Run},
        OptionCase{{"--stats", "-h"}, hc11::ParseResult::Help},
        OptionCase{{"--fault", "drop:3", "--fault", "stuck:F800"}, hc11::ParseResult::Run},
        OptionCase{{"--fault", "drop:0"}, hc11::ParseResult::Error},
        OptionCase{{"--fault", "melt:1"}, hc11::ParseResult::Error},
        OptionCase{{"--fault"}, hc11::ParseResult::Error},
        OptionCase{{"-x"}, hc11::ParseResult::Error},
        OptionCase{{"--crystal", "7.3728"}, hc11::ParseResult::Run},
        OptionCase{{"--crystal", "16"}, hc11::ParseResult::Run},
        OptionCase{{"--crystal", "0"}, hc11::ParseResult::Error},
        OptionCase{{"--crystal", "-8"}, hc11::ParseResult::Error},
        OptionCase{{"--crystal", "8MHz"}, hc11::ParseResult::Error},
        OptionCase{{"--crystal", "8000000"}, hc11::ParseResult::Error},
        OptionCase{{"--crystal", "nan"}, hc11::ParseResult::Error},
        OptionCase{{"--crystal", "0x10"}, hc11::ParseResult::Error},  // as hc11prog's -x
        OptionCase{{"--crystal", "1e1"}, hc11::ParseResult::Error},
        OptionCase{{"--crystal"}, hc11::ParseResult::Error},
        OptionCase{{"--reset-mode", "single"}, hc11::ParseResult::Run},
        OptionCase{{"--reset-mode", "normal"}, hc11::ParseResult::Error},
        OptionCase{{"--listen", "4000"}, hc11::ParseResult::Run},
        OptionCase{{"--listen", "0.0.0.0:4000"}, hc11::ParseResult::Run},
        OptionCase{{"--listen", "65536"}, hc11::ParseResult::Error},
        OptionCase{{"--listen", "lab:4000"}, hc11::ParseResult::Error},
        OptionCase{{"--listen", "127.0.0.1:"}, hc11::ParseResult::Error},
        OptionCase{{"--listen", "0", "--reset-line", "dtr", "--mode-line", "rts", "--invert-lines"},
                   hc11::ParseResult::Run},
        OptionCase{{"--listen", "0", "--reset-line", "cts"}, hc11::ParseResult::Error},
        OptionCase{{"--listen", "0", "--reset-line", "rts", "--mode-line", "rts"},
                   hc11::ParseResult::Error},
        OptionCase{{"--reset-line", "dtr"}, hc11::ParseResult::Error},
        OptionCase{{"--invert-lines"}, hc11::ParseResult::Error}));

TEST(SimOptions, KeepTheValuesGiven) {
    const char *args[] = {"hc11sim", "--link", "/tmp/x",    "--dump",       "d.s19", "--eeprom",
                          "e.s19",   "--xram", "2000-7FFF", "--exit-after", "1.5",   "--realtime"};
    hc11::SimOptions options;
    ASSERT_EQ(hc11::ParseSimOptions(12, const_cast<char **>(args), &options),
              hc11::ParseResult::Run);
    EXPECT_EQ(options.linkPath, "/tmp/x");
    EXPECT_EQ(options.dumpPath, "d.s19");
    EXPECT_EQ(options.eepromPath, "e.s19");
    ASSERT_TRUE(options.xram.has_value());
    EXPECT_EQ(options.xram->first, 0x2000);
    EXPECT_EQ(options.xram->last, 0x7FFF);
    EXPECT_DOUBLE_EQ(options.exitAfterSeconds, 1.5);
    EXPECT_TRUE(options.realtime);
    EXPECT_FALSE(options.trace);
}

TEST(SimOptions, KeepEveryFaultInTheOrderGiven) {
    const char *args[] = {"hc11sim", "--fault", "reset:300", "--fault",
                          "silent",  "--fault", "stuck:f805"};
    hc11::SimOptions options;
    ASSERT_EQ(hc11::ParseSimOptions(7, const_cast<char **>(args), &options),
              hc11::ParseResult::Run);
    ASSERT_EQ(options.faults.size(), 3u);
    EXPECT_EQ(options.faults[0].kind, hc11::FaultKind::Reset);
    EXPECT_EQ(options.faults[0].value, 300u);
    EXPECT_EQ(options.faults[1].kind, hc11::FaultKind::Silent);
    EXPECT_EQ(options.faults[2].kind, hc11::FaultKind::Stuck);
    EXPECT_EQ(options.faults[2].value, 0xF805u);
}

}  // namespace
