#include "fake_target.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "talker_image.h"

FakeTarget::FakeTarget() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    path_ = ptsname(master_);
    slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
    struct termios tio;
    tcgetattr(slave_, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
}

FakeTarget::~FakeTarget() {
    join();
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
}

void FakeTarget::start(std::function<void(FakeTarget &)> script) {
    thread_ = std::thread([this, script] { script(*this); });
}

void FakeTarget::join() {
    if (thread_.joinable()) thread_.join();
}

bool FakeTarget::readByte(uint8_t *byte, int timeoutMs) {
    struct pollfd pfd = {master_, POLLIN, 0};
    if (master_ < 0 || poll(&pfd, 1, timeoutMs) != 1) return false;
    if (read(master_, byte, 1) != 1) return false;
    received.push_back(*byte);
    return true;
}

std::vector<uint8_t> FakeTarget::readBytes(size_t count) {
    std::vector<uint8_t> bytes;
    uint8_t byte;
    while (bytes.size() < count && readByte(&byte)) bytes.push_back(byte);
    return bytes;
}

void FakeTarget::writeBytes(const std::vector<uint8_t> &bytes) {
    if (!bytes.empty() && write(master_, bytes.data(), bytes.size()) < 0) {
        throw std::runtime_error("write to pseudo-terminal failed");
    }
}

void FakeTarget::hangUp() {
    close(slave_);
    slave_ = -1;
    close(master_);
    master_ = -1;
}

namespace {

std::string ReadFile(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

namespace {

// Every folder a test process made, removed when that process ends (not when a forked child,
// such as a death test's, ends: the folders are the parent's).
struct TempDirs {
    pid_t owner = getpid();
    std::vector<std::string> paths;
    ~TempDirs() {
        if (getpid() != owner) return;
        for (const std::string &path : paths) system(("rm -rf '" + path + "'").c_str());
    }
};

TempDirs &MadeTempDirs() {
    static TempDirs dirs;
    return dirs;
}

}  // namespace

std::string MakeTempDir() {
    char pattern[] = "/tmp/hc11test.XXXXXX";
    std::string path = mkdtemp(pattern);
    MadeTempDirs().paths.push_back(path);
    return path;
}

void WriteTextFile(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

ProgramResult RunProgram(const std::string &commandLine) {
    std::string dir = MakeTempDir();
    std::string out = dir + "/out", err = dir + "/err";
    int status = system((commandLine + " >" + out + " 2>" + err + " </dev/null").c_str());
    ProgramResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out),
                         ReadFile(err)};
    system(("rm -rf " + dir).c_str());
    return result;
}

ProgramResult RunProgramOnTerminal(const std::string &commandLine, FakeTarget &terminal) {
    terminal.start([](FakeTarget &far) {
        uint8_t byte;
        while (far.readByte(&byte, 1000)) {
        }
    });
    std::string dir = MakeTempDir();
    int status =
        system((commandLine + " >" + terminal.path() + " 2>" + dir + "/err </dev/null").c_str());
    terminal.join();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            std::string(terminal.received.begin(), terminal.received.end()),
            ReadFile(dir + "/err")};
}

std::string WithoutBanner(const std::string &out) {
    size_t end = out.find("\n\n");
    return end == std::string::npos ? out : out.substr(end + 2);
}

std::string UsageText(const std::string &program, const std::string &range) {
    return program +
           ": [options][-i <filename>]\n"
           "\twhere\n\t-c n\tn specifies COM port (1 is default)\n"
           "\t-i <filename> is input file\n"
           "\t-E enable expanded memory bus\n"
           "\t-B Bulk erase EEPROM\n"
           "\t-h Help message\n"
           "\t-C <n> Config register value\n"
           "\t-e <start>-<stop> EEPROM address range (default " +
           range +
           ")\n"
           "\t-d <device> serial device to use instead of the COM port\n"
           "\t-l list the serial ports\n"
           "\t-r <start>-<end> read that range back into the -o file\n"
           "\t-o <filename> file the read-back is written to: S19, Intel HEX (.hex), binary "
           "(.bin)\n"
           "\t-n verify only: compare the chip with the -i file, write nothing\n"
           "\t-I forget an earlier -i\n"
           "\t-V trace every byte on the wire on standard error\n"
           "\t-s accepted, without effect\n"
           "\t-S accepted, without effect\n"
           "\t-p <part> 68HC11 part: 811E2 (default), E9, E1, E20, A8, A1, F1\n"
           "\t-b <rate> talker link rate: 9600 (default), 15625, 31250, 62500 or 125000\n"
           "\t-x <MHz> the board's crystal frequency (default 8), from 1 to 20\n"
           "\t--confirm-config let -B -C program a CONFIG that turns security on or the "
           "EEPROM off\n"
           "\t--reset-line dtr|rts the line wired to RESET: reset the board for the load\n"
           "\t--mode-line dtr|rts the line wired to MODA and MODB: bootstrap mode\n"
           "\t--invert-lines the lines hold their pins low while released\n"
           "\t--run reset into the program after the run (needs --reset-line)\n"
           "\t--wait <seconds> wait that long for a reset by hand when the board does not "
           "answer\n"
           "\t--monitor [rate] show what the chip sends, send what is typed; Ctrl-] ends it "
           "(9600 default)\n"
           "\t--raw the monitor shows every byte as it is, not \\xHH\n"
           "\t--monitor-for <seconds> the monitor ends after that long\n"
           "\t--base <addr> the -i file is raw binary, its first byte at addr\n"
           "\t-d may be given once a board: the boards are programmed at once\n"
           "\t--boards <filename> the boards' ports, one a line (# comments)\n"
           "\t--serial <addr>:<bytes> give each board the next number of the --serial-file, "
           "big-endian at addr\n"
           "\t--serial-file <filename> holds the next free serial number\n"
           "\t--log <filename> append a JSON line per board with what it got\n"
           "\t--json write JSON events on standard output instead of text\n"
           "\t--station program board after board on each port, as each is reset\n"
           "\t--count <n> with --station: end after n boards per port\n"
           "\nNormal operation on COM1 is as follows:\n" +
           program + " -c 1 -i myprog.s19\n\n";
}

std::string TalkerMarks() {
    std::string marks;
    unsigned records = 0;
    for (unsigned i = 0; i < dwTalkerImageLines; i++) {
        if (TalkerImage[i][1] == '1') marks += std::to_string(records++) + ".";
    }
    return marks + std::to_string(records) + ".\n";
}
