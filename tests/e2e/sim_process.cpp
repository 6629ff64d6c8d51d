#include "sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "child_process.h"
#include "fake_target.h"

namespace {

// Reads one line from fd, waiting at most timeoutMs for each character.
bool ReadLine(int fd, std::string *line, int timeoutMs) {
    line->clear();
    char c;
    for (;;) {
        struct pollfd pfd = {fd, POLLIN, 0};
        if (poll(&pfd, 1, timeoutMs) != 1 || read(fd, &c, 1) != 1) return false;
        if (c == '\n') return true;
        *line += c;
    }
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string> &extraArgs) {
    dir_ = MakeTempDir();
    dumpPath_ = dir_ + "/dump.s19";
    std::vector<std::string> args = {HC11SIM_PATH, "--dump", dumpPath_, "--stats"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    ChildProcess child = StartChild(args, dir_ + "/stderr");
    if (child.pid < 0) throw std::runtime_error("hc11sim did not start");
    pid_ = child.pid;
    stdout_ = child.stdoutFd;
    if (!ReadLine(stdout_, &path_, 5000)) throw std::runtime_error("hc11sim printed no path");
}

SimProcess::~SimProcess() {
    stop();
    if (stdout_ >= 0) close(stdout_);
    system(("rm -rf " + dir_).c_str());
}

void SimProcess::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    std::string line;
    while (ReadLine(stdout_, &line, 10000)) {
        std::istringstream fields(line);
        std::string name;
        double value;
        if (fields >> name >> value) stats_[name] = value;
    }
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

void SimProcess::reset() {
    kill(pid_, SIGUSR1);
    usleep(200 * 1000);  // the simulator takes the signal between two of its steps
}

std::vector<uint8_t> SimProcess::converse(const std::vector<uint8_t> &bytes, unsigned baud,
                                          size_t count, int timeoutMs) const {
    int fd = open(path_.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) throw std::runtime_error("cannot open " + path_);
    termios tio;
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    speed_t speed = baud == 1200 ? B1200 : baud == 9600 ? B9600 : B38400;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tcsetattr(fd, TCSANOW, &tio);
    std::vector<uint8_t> answer;
    if (write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size())) {
        uint8_t byte;
        pollfd pfd = {fd, POLLIN, 0};
        while (answer.size() < count && poll(&pfd, 1, timeoutMs) == 1 && read(fd, &byte, 1) == 1)
            answer.push_back(byte);
    }
    close(fd);
    return answer;
}

double SimProcess::stat(const std::string &name) const {
    auto found = stats_.find(name);
    if (found == stats_.end()) throw std::runtime_error("no statistic " + name);
    return found->second;
}

std::vector<uint8_t> SimProcess::dumped(uint16_t first, uint16_t last) const {
    return ReadS19Range(dumpPath_, first, last);
}

std::string SimProcess::errors() const {
    std::ifstream file(dir_ + "/stderr");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<uint8_t> ReadS19Range(const std::string &file, uint16_t first, uint16_t last,
                                  uint8_t fill) {
    // Without the independent reader the chip's memory cannot be judged: fail, never pass.
    if (std::string(SREC_CAT_PATH).empty()) {
        throw std::runtime_error("srec_cat is not installed (Debian: apt-get install srecord)");
    }
    std::string bin = MakeTempDir() + "/range.bin";
    char range[128];
    snprintf(range, sizeof range, "0x%X 0x%X", first, last + 1u);
    char fillValue[16];
    snprintf(fillValue, sizeof fillValue, "0x%02X", fill);
    std::string command = std::string(SREC_CAT_PATH) + " " + file + " -fill " + fillValue + " " +
                          range + " -crop " + range + " -offset -" + std::to_string(first) +
                          " -o " + bin + " -binary";
    if (system(command.c_str()) != 0) throw std::runtime_error("srec_cat failed: " + command);
    std::ifstream in(bin, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    return bytes;
}
