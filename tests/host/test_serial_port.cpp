// The link layer through a real pseudo-terminal whose far end a test thread plays.
#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "fake_target.h"
#include "link_settings.h"
#include "platform.h"
#include "port_name.h"
#include "serial_port.h"

namespace {

class SerialPortTest : public testing::Test {
  protected:
    void SetUp() override {
        ResetLinkSettings();
        strcpy(g_LinkSettings.szDevice, target.path().c_str());
    }
    HANDLE Open() {
        HANDLE hPort = OpenComPort(0, 9600);
        EXPECT_NE(hPort, INVALID_HANDLE_VALUE);
        return hPort;
    }
    FakeTarget target;
};

// A far end that answers each of count bytes with the byte transformed.
void Answer(FakeTarget &target, size_t count, uint8_t (*answer)(uint8_t)) {
    uint8_t byte;
    for (size_t i = 0; i < count && target.readByte(&byte); i++) target.writeByte(answer(byte));
}

TEST_F(SerialPortTest, EchoedBytesPassWithSixTraceLines) {
    g_LinkSettings.fVerbose = 1;
    HANDLE hPort = Open();
    target.start([](FakeTarget &t) { Answer(t, 3, [](uint8_t b) { return b; }); });
    const BYTE pbData[] = {0x11, 0x13, 0xA5};  // flow-control characters must pass untouched
    testing::internal::CaptureStderr();
    EXPECT_EQ(SendRawCheckEcho(hPort, pbData, 3, NULL), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Write:11 \nRead:11 \nWrite:13 \nRead:13 \nWrite:A5 \nRead:A5 \n");
    target.join();
    EXPECT_EQ(target.received, std::vector<uint8_t>({0x11, 0x13, 0xA5}));
    CloseHandle(hPort);
}

TEST_F(SerialPortTest, EveryWrongEchoIsReportedButTheTransferSucceeds) {
    HANDLE hPort = Open();
    DWORD dwMismatches = 0;
    target.start([](FakeTarget &t) { Answer(t, 3, [](uint8_t b) { return uint8_t(b + 1); }); });
    const BYTE pbData[] = {0x00, 0x3E, 0xFF};
    testing::internal::CaptureStderr();
    EXPECT_EQ(SendRawCheckEcho(hPort, pbData, 3, &dwMismatches), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "SendRawWithEcho: pbReadBuffer[0](1) != pbBuffer[0x0](0))\n"
              "SendRawWithEcho: pbReadBuffer[0](3f) != pbBuffer[0x1](3e))\n"
              "SendRawWithEcho: pbReadBuffer[0](0) != pbBuffer[0x2](ff))\n");
    EXPECT_EQ(dwMismatches, 3u);
    target.join();
    CloseHandle(hPort);
}

TEST_F(SerialPortTest, EchoReadButNotComparedReportsNothing) {
    HANDLE hPort = Open();
    DWORD dwMismatches = 0;
    target.start([](FakeTarget &t) { Answer(t, 2, [](uint8_t) { return uint8_t(0x55); }); });
    const BYTE pbData[] = {0x00, 0x00};
    testing::internal::CaptureStderr();
    EXPECT_EQ(SendRawWithEcho(hPort, pbData, 2, 1, 1, &dwMismatches), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(dwMismatches, 0u);
    target.join();
    CloseHandle(hPort);
}

TEST_F(SerialPortTest, SilentTargetTimesOutAfterAboutTwoSeconds) {
    g_LinkSettings.fVerbose = 1;
    HANDLE hPort = Open();
    const BYTE bData = 0x42;
    testing::internal::CaptureStderr();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SendRawCheckEcho(hPort, &bData, 1, NULL), 0);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Write:42 \nRead:\nSendRawWithEcho: dwRead != 1\n");
    // Not a speed goal: a read that returned at once or never would be a broken time-out.
    EXPECT_GT(seconds, 1.5);
    EXPECT_LT(seconds, 5.0);
    CloseHandle(hPort);
}

TEST_F(SerialPortTest, NoEchoFormReadsNothingAndLengthZeroSendsNothing) {
    HANDLE hPort = Open();
    const BYTE pbData[] = {'w', 0x10, 0x35, 0x00};
    EXPECT_EQ(SendRawNoEcho(hPort, pbData, 4), 1);
    EXPECT_EQ(SendRawCheckEcho(hPort, pbData, 0, NULL), 1);
    EXPECT_EQ(target.readBytes(4), std::vector<uint8_t>(pbData, pbData + 4));
    uint8_t extra;
    EXPECT_FALSE(target.readByte(&extra, 200));
    CloseHandle(hPort);
}

TEST_F(SerialPortTest, ReadFailsWhenTheFarEndHangsUp) {
    HANDLE hPort = Open();
    target.start([](FakeTarget &t) {
        uint8_t byte;
        t.readByte(&byte);
        t.hangUp();
    });
    const BYTE bData = 0x01;
    testing::internal::CaptureStderr();
    EXPECT_EQ(SendRawCheckEcho(hPort, &bData, 1, NULL), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("SendRawWithEcho: Read error 0x", 0),
              0u);
    target.join();
    CloseHandle(hPort);
}

TEST_F(SerialPortTest, PortIsExclusiveUntilClosedAndThenOpensAgain) {
    HANDLE hFirst = Open();
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenComPort(0, 1200), INVALID_HANDLE_VALUE);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "CreateFile on " + target.path() + " error: 10\n" + target.path() +
                  ": Device or resource busy: another program holds the port: close it and "
                  "try again\n");
    EXPECT_TRUE(CloseHandle(hFirst));
    HANDLE hSecond = OpenComPort(0, 1200);
    EXPECT_NE(hSecond, INVALID_HANDLE_VALUE);
    CloseHandle(hSecond);
}

TEST(OpenComPort, MissingDevicesAndNonSerialFilesAreReported) {
    ResetLinkSettings();
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenComPort(0, 9600), INVALID_HANDLE_VALUE);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "CreateFile on COM0 error: 2\nCOM0: No such file or directory: no such port: "
              "check the port number or the -d device name\n");

    std::string strFile = MakeTempDir() + "/not-a-port";
    WriteTextFile(strFile, "S9030000FC\n");
    strcpy(g_LinkSettings.szDevice, strFile.c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenComPort(0, 9600), INVALID_HANDLE_VALUE);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "GetCommState failed 19\n" + strFile +
                  ": Inappropriate ioctl for device: not a serial device\n");
}

}  // namespace

// A refused open names the group that owns the device: dialout on Debian, uucp elsewhere.
TEST(OpenComPort, RefusedOpenNamesTheGroupThatOwnsTheDevice) {
    ResetLinkSettings();
    std::string strFile = MakeTempDir() + "/owned-port";
    WriteTextFile(strFile, "");
    const struct group *pGroup = getegid() != 0 ? getgrgid(getegid()) : getgrnam("dialout");
    if (pGroup == nullptr || chown(strFile.c_str(), (uid_t)-1, pGroup->gr_gid) != 0) {
        GTEST_SKIP() << "no group other than root's to give the file";
    }
    std::string strGroup = pGroup->gr_name;
    strcpy(g_LinkSettings.szDevice, strFile.c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenComPort(0, 9600), INVALID_HANDLE_VALUE);
    testing::internal::GetCapturedStderr();
    char szHint[PORT_HINT_ROOM];
    DescribePortError(EACCES, szHint, sizeof(szHint));
    EXPECT_EQ(std::string(szHint), "Permission denied: add your user to the " + strGroup +
                                       " group that owns " + strFile + " (sudo usermod -aG " +
                                       strGroup + " $USER), then log in again");
}  // namespace

namespace {

TEST(FormatPortName, NumbersFollowTheSerialDriversNamingAndDevicesPassWhole) {
    struct Case {
        DWORD dwPort;
        const char *pszDevice;
        const char *pszOpen, *pszShown;
    } cases[] = {
        {1, "", "/dev/ttyS0", "/dev/ttyS0"},
        {12, "", "/dev/ttyS11", "/dev/ttyS11"},
        {0, "", "", "COM0"},
        {3, "/dev/ttyUSB0", "/dev/ttyUSB0", "/dev/ttyUSB0"},
    };
    for (const Case &c : cases) {
        PortName name;
        FormatPortName(c.dwPort, c.pszDevice, &name);
        EXPECT_STREQ(name.szOpen, c.pszOpen) << c.dwPort;
        EXPECT_STREQ(name.szShown, c.pszShown) << c.dwPort;
    }
}

}  // namespace
