// The port interface's own kinds over a real pseudo-terminal: the native port (termios) and
// the tracing port over it, and the open dispatcher.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "fake_target.h"
#include "native_port.h"
#include "port_open.h"
#include "trace_port.h"

namespace {

// The pty's line settings as another program sees them.
struct termios LineOf(const std::string &path) {
    struct termios tio = {};
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(tcgetattr(fd, &tio), 0);
    close(fd);
    return tio;
}

// A cooked 2400-baud line, as a terminal program would leave it.
void SetCookedLine(const std::string &path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    struct termios tio = {};
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    tio.c_lflag |= ICANON | ECHO;
    cfsetispeed(&tio, B2400);
    cfsetospeed(&tio, B2400);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &tio), 0);
    close(fd);
}

int OpenByPath(Port *pPort, const std::string &path, uint32_t dwBaudRate) {
    PortName name;
    FormatPortName(0, path.c_str(), &name);
    return OpenPortByName(pPort, &name, dwBaudRate);
}

std::string WordsOf(const Port *pPort) {
    char szWords[PORT_ERROR_ROOM];
    DescribePortError(pPort, szWords, sizeof(szWords));
    return szWords;
}

class NativePortTest : public testing::Test {
  protected:
    void TearDown() override { ClosePort(&port); }
    FakeTarget target;
    Port port = {};
};

TEST_F(NativePortTest, LineIsRawWhileOpenAndAsBeforeOnceClosed) {
    SetCookedLine(target.path());
    ASSERT_EQ(OpenByPath(&port, target.path(), 9600), 1);
    struct termios open = LineOf(target.path());
    EXPECT_EQ(open.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(cfgetospeed(&open), (speed_t)B9600);
    EXPECT_EQ(port.dwBaudRate, 9600u);
    ClosePort(&port);
    EXPECT_EQ(port.pOps, nullptr);
    struct termios closed = LineOf(target.path());
    EXPECT_EQ(closed.c_lflag & (ICANON | ECHO), (tcflag_t)(ICANON | ECHO));
    EXPECT_EQ(cfgetospeed(&closed), (speed_t)B2400);
}

// The interrupt handler's release: every port open gets its line back and can be opened
// again at once.
TEST_F(NativePortTest, ReleaseGivesEveryOpenPortBack) {
    FakeTarget second;
    SetCookedLine(target.path());
    SetCookedLine(second.path());
    Port other = {};
    ASSERT_EQ(OpenByPath(&port, target.path(), 1200), 1);
    ASSERT_EQ(OpenByPath(&other, second.path(), 125000), 1);
    ReleaseNativePorts();
    port.pOps = other.pOps = nullptr;  // released behind their backs, as the handler does
    for (const std::string &path : {target.path(), second.path()}) {
        EXPECT_EQ(LineOf(path).c_lflag & ICANON, (tcflag_t)ICANON) << path;
        Port again = {};
        EXPECT_EQ(OpenByPath(&again, path, 9600), 1) << path;
        ClosePort(&again);
    }
}

TEST_F(NativePortTest, ReadReturnsWhatCameAndATimeOutIsNoError) {
    ASSERT_EQ(OpenByPath(&port, target.path(), 9600), 1);
    uint8_t pbBuffer[8] = {};
    uint32_t dwRead = 99;
    EXPECT_EQ(ReadPort(&port, pbBuffer, sizeof pbBuffer, 50, &dwRead), 1);
    EXPECT_EQ(dwRead, 0u);
    target.writeBytes({0x11, 0x13, 0x00});
    uint32_t dwTotal = 0;
    while (dwTotal < 3 && ReadPort(&port, pbBuffer + dwTotal, 8 - dwTotal, 2000, &dwRead) == 1 &&
           dwRead > 0) {
        dwTotal += dwRead;
    }
    ASSERT_EQ(dwTotal, 3u);
    EXPECT_EQ(pbBuffer[0], 0x11);
    EXPECT_EQ(pbBuffer[1], 0x13);
    EXPECT_EQ(pbBuffer[2], 0x00);
}

// A pty has no modem lines: the refusal is the system's, in words.
TEST_F(NativePortTest, ModemLinesOnAPtyFailWithTheSystemsWords) {
    ASSERT_EQ(OpenByPath(&port, target.path(), 9600), 1);
    EXPECT_EQ(SetPortLine(&port, PORT_LINE_DTR, 1), 0);
    EXPECT_EQ(WordsOf(&port).rfind("Inappropriate ioctl for device", 0), 0u) << WordsOf(&port);
    EXPECT_EQ(SetPortLine(&port, PORT_LINE_RTS, 0), 0);
}

TEST_F(NativePortTest, TracePortPrintsEachByteAndPassesTheInnerError) {
    ASSERT_EQ(OpenByPath(&port, target.path(), 9600), 1);
    Port trace = {};
    OpenTracePort(&trace, &port);
    EXPECT_STREQ(trace.szName, port.szName);
    const uint8_t pbData[] = {'w', 0xA5};
    uint32_t dwWritten = 0, dwRead = 0;
    uint8_t bReply = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(WritePort(&trace, pbData, 2, 1000, &dwWritten), 1);
    EXPECT_EQ(target.readBytes(2), std::vector<uint8_t>({'w', 0xA5}));
    target.writeByte('>');
    EXPECT_EQ(ReadPort(&trace, &bReply, 1, 2000, &dwRead), 1);
    EXPECT_EQ(ReadPort(&trace, &bReply, 1, 20, &dwRead), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Write:77 \nWrite:A5 \nRead:3E \nRead:\n");
    EXPECT_EQ(SetPortLine(&trace, PORT_LINE_DTR, 1), 0);
    EXPECT_EQ(trace.dwLastError, port.dwLastError);
    EXPECT_EQ(WordsOf(&trace), WordsOf(&port));
    ClosePort(&trace);
    EXPECT_EQ(port.pOps, nullptr) << "closing the trace closes the port under it";
}

// A network port's name never reaches the system's open as a file name.
TEST(OpenPortByName, NetworkNamesGoToTheNetworkPort) {
    Port port = {};
    PortName name;
    FormatPortName(0, "rfc2217://127.0.0.1:1", &name);
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenPortByName(&port, &name, 9600), 0);
    std::string strErr = testing::internal::GetCapturedStderr();
    EXPECT_EQ(port.pOps, nullptr);
    EXPECT_EQ(strErr.find("No such file or directory"), std::string::npos) << strErr;
    EXPECT_NE(strErr.find("rfc2217://127.0.0.1:1"), std::string::npos) << strErr;
}

}  // namespace
