// The wire: hc11sim's pseudo-terminal, opened by the test as a host opens its serial port.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "chip_test_programs.h"
#include "pty_wire.h"
#include "simulator.h"

namespace {

using hc11::test::Bytes;
using hc11::test::kPlusOneAt9600;

// The host's end: the pty slave opened like a serial port, raw, at a given rate.
class HostPort {
  public:
    HostPort(const std::string &path, speed_t speed) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY);
        if (fd_ < 0) return;
        termios tio;
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        tcsetattr(fd_, TCSANOW, &tio);
    }
    ~HostPort() {
        if (fd_ >= 0) close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }
    void send(uint8_t value) { ASSERT_EQ(write(fd_, &value, 1), 1); }
    // One byte, or -1 when none comes within two seconds (the host tool's read time-out).
    int receive() {
        pollfd pfd = {fd_, POLLIN, 0};
        uint8_t value;
        if (poll(&pfd, 1, 2000) != 1 || read(fd_, &value, 1) != 1) return -1;
        return value;
    }
    void purge() { tcflush(fd_, TCIFLUSH); }

  private:
    int fd_ = -1;
};

// The simulator serving a PtyWire on a thread of its own until the test ends.
class ServedSimulator {
  public:
    ServedSimulator() {
        opened_ = wire_.open();
        if (pipe(wake_) != 0) opened_ = false;
        wire_.setWakeDescriptor(wake_[0]);
        options_.stopRequested = &stop_;
        thread_ = std::thread([this] { sim_.serve(wire_, options_); });
    }
    ~ServedSimulator() {
        stop_ = 1;
        char byte = 1;
        if (write(wake_[1], &byte, 1) != 1) std::abort();
        thread_.join();
        close(wake_[0]);
        close(wake_[1]);
    }
    bool opened() const { return opened_; }
    const std::string &path() const { return wire_.slavePath(); }

  private:
    hc11::Simulator sim_;
    hc11::PtyWire wire_;
    hc11::ServeOptions options_;
    volatile std::sig_atomic_t stop_ = 0;
    int wake_[2] = {-1, -1};
    bool opened_ = false;
    std::thread thread_;
};

TEST(PtyWire, BootstrapThroughThePtyThenTheProgramAfterTheHostReopens) {
    ServedSimulator sim;
    ASSERT_TRUE(sim.opened());
    Bytes download = hc11::test::Download(kPlusOneAt9600);
    {
        HostPort boot(sim.path(), B1200);
        ASSERT_TRUE(boot.isOpen());
        boot.send(0xFF);
        for (size_t i = 0; i < download.size(); i++) {
            boot.send(download[i]);
            int echo = boot.receive();
            ASSERT_NE(echo, -1) << "no echo for byte " << i;
            // The program's BAUD change garbles the last echo on its way out.
            if (i + 1 < download.size()) {
                EXPECT_EQ(echo, download[i]) << "echo of byte " << i;
            }
        }
    }
    HostPort talk(sim.path(), B9600);
    ASSERT_TRUE(talk.isOpen());
    talk.purge();
    for (uint8_t value : Bytes{'a', 'x', 0x00, 0xFE}) {
        talk.send(value);
        EXPECT_EQ(talk.receive(), uint8_t(value + 1));
    }
}

TEST(PtyWire, ReadsTheHostRateFromTheSlave) {
    hc11::PtyWire wire;
    ASSERT_TRUE(wire.open());
    EXPECT_EQ(wire.hostBaud(), 1200u) << "raw at 1200 until a host sets its own";
    {
        HostPort host(wire.slavePath(), B9600);
        ASSERT_TRUE(host.isOpen());
        EXPECT_EQ(wire.hostBaud(), 9600u);
    }
    EXPECT_EQ(wire.hostBaud(), 9600u) << "the tty keeps its settings when the host closes";
    HostPort again(wire.slavePath(), B1200);
    EXPECT_EQ(wire.hostBaud(), 1200u);
}

TEST(PtyWire, CarriesBytesBothWays) {
    hc11::PtyWire wire;
    ASSERT_TRUE(wire.open());
    HostPort host(wire.slavePath(), B9600);
    host.send(0x41);
    host.send(0x42);
    wire.waitForInput(2.0);
    uint8_t buffer[8];
    size_t count = 0;
    for (int i = 0; i < 100 && count < 2; i++) {
        count += wire.receive(buffer + count, sizeof buffer - count);
        if (count < 2) wire.waitForInput(0.02);
    }
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(buffer[0], 0x41);
    EXPECT_EQ(buffer[1], 0x42);
    const uint8_t reply[] = {0x10, 0x20, 0x30};
    wire.send(reply, sizeof reply);
    EXPECT_EQ(host.receive(), 0x10);
    EXPECT_EQ(host.receive(), 0x20);
    EXPECT_EQ(host.receive(), 0x30);
}

// hc11sim keeps the slave open itself: a host that closes its port leaves no hang-up behind
// that would wake every wait at once.
TEST(PtyWire, WaitStillBlocksAfterTheHostClosed) {
    hc11::PtyWire wire;
    ASSERT_TRUE(wire.open());
    { HostPort host(wire.slavePath(), B9600); }
    auto start = std::chrono::steady_clock::now();
    wire.waitForInput(0.2);
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(waited, 0.15);
    uint8_t buffer[4];
    EXPECT_EQ(wire.receive(buffer, sizeof buffer), 0u);
}

TEST(PtyWire, LinkPointsAtTheSlaveUntilTheWireCloses) {
    std::string link = ::testing::TempDir() + "hc11sim-link-test";
    unlink(link.c_str());
    {
        hc11::PtyWire wire;
        ASSERT_TRUE(wire.open());
        ASSERT_TRUE(wire.link(link));
        char target[256] = {};
        ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(std::string(target), wire.slavePath());
        HostPort host(link, B9600);
        EXPECT_TRUE(host.isOpen());
    }
    struct stat st;
    EXPECT_NE(lstat(link.c_str(), &st), 0);
}

TEST(PtyWire, LinkRefusesToReplaceAFile) {
    std::string path = ::testing::TempDir() + "hc11sim-link-file";
    FILE *file = fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    fclose(file);
    hc11::PtyWire wire;
    ASSERT_TRUE(wire.open());
    EXPECT_FALSE(wire.link(path));
    struct stat st;
    EXPECT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    unlink(path.c_str());
}

TEST(PtyWire, KnowsTheCommonRates) {
    const struct {
        speed_t speed;
        unsigned baud;
    } cases[] = {{B300, 300},     {B1200, 1200},     {B9600, 9600},
                 {B19200, 19200}, {B115200, 115200}, {B0, 0}};
    for (const auto &c : cases) EXPECT_EQ(hc11::BaudFromSpeed(c.speed), c.baud);
}

}  // namespace
