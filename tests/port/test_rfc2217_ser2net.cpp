// The network serial port through ser2net, the usual server, in front of a pty this test
// holds: the rate the client sets reaches the pty's termios, and every byte value passes
// both ways. A pty has no modem lines: ser2net leaves SET-CONTROL unanswered there.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "missing_tool.h"
#include "rfc2217_port.h"
#include "ser2net_process.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// The kernel's termios2, whose c_ospeed holds any rate in bit/s (<asm/termbits.h> can't be
// included beside <termios.h>).
struct KernelTermios2 {
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};

unsigned PtyRate(int fd) {
    KernelTermios2 tio;
    return ioctl(fd, _IOR('T', 0x2A, KernelTermios2), &tio) == 0 ? tio.c_ospeed : 0;  // TCGETS2
}

Bytes EveryByteValue() {
    Bytes bytes;
    for (int i = 0; i < 256; i++) bytes.push_back(uint8_t(i));
    bytes.insert(bytes.end(), {255, 255, 0});
    return bytes;
}

class Ser2netPort : public testing::Test {
  protected:
    void SetUp() override {
        if (std::string(SER2NET_PATH).empty()) SKIP_FOR_MISSING_TOOL("ser2net is not installed");
        ASSERT_EQ(openpty(&masterFd_, &slaveFd_, NULL, NULL, NULL), 0);
        termios tio;
        tcgetattr(slaveFd_, &tio);
        cfmakeraw(&tio);
        tcsetattr(slaveFd_, TCSANOW, &tio);
        char szDir[] = "/tmp/rfc2217_ser2net_XXXXXX";
        ASSERT_NE(mkdtemp(szDir), nullptr);
        dir_ = szDir;
        url_ = "rfc2217://127.0.0.1:" + std::to_string(FreeLoopbackPort());
        StartSer2net();
        OpenThroughSer2net();
    }

    // The configuration the README shows, on a free loopback port in front of the pty. With
    // -d, ser2net tells on standard output what it did with it.
    void StartSer2net() {
        uint16_t wPort = uint16_t(std::stoi(url_.substr(url_.rfind(':') + 1)));
        ser2net_ = ::StartSer2net(SER2NET_PATH, dir_, Ser2netYaml(wPort, ttyname(slaveFd_)));
        ASSERT_GT(ser2net_.pid, 0);
    }

    std::string Ser2netOutput() {
        std::string strOutput;
        char rgchBuffer[512];
        pollfd entry = {ser2net_.stdoutFd, POLLIN, 0};
        while (poll(&entry, 1, 0) > 0) {
            ssize_t cbRead = read(ser2net_.stdoutFd, rgchBuffer, sizeof(rgchBuffer));
            if (cbRead <= 0) break;
            strOutput.append(rgchBuffer, size_t(cbRead));
        }
        return strOutput;
    }

    // ser2net listens a moment after it starts: the open is tried again until then.
    void OpenThroughSer2net() {
        for (int i = 0; i < 50 && port_.pOps == NULL; i++) {
            testing::internal::CaptureStderr();
            if (!OpenRfc2217Port(&port_, url_.c_str(), 9600)) usleep(100000);
            lastOpenMessage_ = testing::internal::GetCapturedStderr();
        }
        ASSERT_NE(port_.pOps, nullptr) << lastOpenMessage_ << Ser2netOutput();
    }

    void TearDown() override {
        if (port_.pOps != NULL) port_.pOps->pfnClose(&port_);
        if (!dir_.empty()) StopSer2net(&ser2net_, dir_);
        if (masterFd_ >= 0) close(masterFd_);
        if (slaveFd_ >= 0) close(slaveFd_);
        if (!dir_.empty()) rmdir(dir_.c_str());
    }

    Bytes ReadFromPty(size_t cbCount) {
        Bytes bytes;
        pollfd entry = {masterFd_, POLLIN, 0};
        while (bytes.size() < cbCount && poll(&entry, 1, 3000) > 0) {
            uint8_t rgbBuffer[512];
            ssize_t cbRead = read(masterFd_, rgbBuffer, sizeof(rgbBuffer));
            if (cbRead <= 0) break;
            bytes.insert(bytes.end(), rgbBuffer, rgbBuffer + cbRead);
        }
        return bytes;
    }

    Bytes ReadFromPort(size_t cbCount) {
        Bytes bytes;
        for (int iQuiet = 0; bytes.size() < cbCount && iQuiet < 30;) {
            uint8_t rgbBuffer[512];
            uint32_t dwRead = 0;
            if (!port_.pOps->pfnRead(&port_, rgbBuffer, sizeof(rgbBuffer), 100, &dwRead)) break;
            bytes.insert(bytes.end(), rgbBuffer, rgbBuffer + dwRead);
            iQuiet = dwRead == 0 ? iQuiet + 1 : 0;
        }
        return bytes;
    }

    void ExpectBytesBothWays(const Bytes &bytes) {
        uint32_t dwWritten = 0;
        ASSERT_TRUE(
            port_.pOps->pfnWrite(&port_, bytes.data(), uint32_t(bytes.size()), 2000, &dwWritten));
        EXPECT_EQ(ReadFromPty(bytes.size()), bytes);
        ASSERT_EQ(write(masterFd_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        EXPECT_EQ(ReadFromPort(bytes.size()), bytes);
    }

    int masterFd_ = -1, slaveFd_ = -1;
    ChildProcess ser2net_;
    std::string dir_, url_, lastOpenMessage_;
    Port port_ = {};
};

TEST_F(Ser2netPort, TheRateReachesThePtyAndEveryByteValuePassesBothWays) {
    EXPECT_EQ(PtyRate(slaveFd_), 9600u);
    ExpectBytesBothWays(EveryByteValue());
    for (uint32_t dwRate : {125000u, 1200u}) {
        SCOPED_TRACE(dwRate);
        ASSERT_TRUE(port_.pOps->pfnSetRate(&port_, dwRate));
        EXPECT_EQ(PtyRate(slaveFd_), dwRate);
        ExpectBytesBothWays(EveryByteValue());
    }
}

TEST_F(Ser2netPort, LinesBreakDrainAndPurgeGoOnWithoutModemLines) {
    EXPECT_TRUE(port_.pOps->pfnSetLine(&port_, PORT_LINE_DTR, 1));
    EXPECT_TRUE(port_.pOps->pfnSetLine(&port_, PORT_LINE_RTS, 1));
    EXPECT_TRUE(port_.pOps->pfnSetLine(&port_, PORT_LINE_DTR, 0));
    EXPECT_TRUE(port_.pOps->pfnSendBreak(&port_, 10));
    ASSERT_EQ(write(masterFd_, "stale", 5), 5);
    EXPECT_EQ(ReadFromPort(5), (Bytes{'s', 't', 'a', 'l', 'e'}));
    EXPECT_TRUE(port_.pOps->pfnPurgeInput(&port_));
    EXPECT_TRUE(port_.pOps->pfnDrain(&port_));
    ExpectBytesBothWays({'o', 'k', 255});
}

}  // namespace

namespace {

// ser2net says "Port already in use" and ends the connection; whether its words arrive
// before the end depends on timing. The open fails at once, in one line.
TEST_F(Ser2netPort, ASecondClientIsRefusedAtOnce) {
    Port second;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(OpenRfc2217Port(&second, url_.c_str(), 9600));
    std::string strMessage = testing::internal::GetCapturedStderr();
    EXPECT_EQ(strMessage.rfind(url_ + ": ", 0), 0u) << strMessage;
    EXPECT_EQ(strMessage.find('\n'), strMessage.size() - 1) << strMessage;
}

}  // namespace
