// The link layer through a real pseudo-terminal whose far end a test thread plays.
#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "com_port.h"
#include "fake_target.h"
#include "port_name.h"
#include "test_link.h"
#include "trace_port.h"

namespace {

class SerialPortTest : public testing::Test {
  protected:
    void SetUp() override { StartTestLink(&link, &linkTarget, 0, target.path().c_str()); }
    void TearDown() override { CloseComPort(&link); }
    Port *Open() {
        EXPECT_EQ(OpenComPort(&link, 9600), 1);
        return link.pPort;
    }
    FakeTarget target;
    LinkTarget linkTarget;
    TalkerLink link;
};

// A far end that answers each of count bytes with the byte transformed.
void Answer(FakeTarget &target, size_t count, uint8_t (*answer)(uint8_t)) {
    uint8_t byte;
    for (size_t i = 0; i < count && target.readByte(&byte); i++) target.writeByte(answer(byte));
}

TEST_F(SerialPortTest, EchoedBytesPassWithSixTraceLines) {
    linkTarget.fTrace = 1;
    Port *pPort = Open();
    target.start([](FakeTarget &t) { Answer(t, 3, [](uint8_t b) { return b; }); });
    const uint8_t pbData[] = {0x11, 0x13, 0xA5};  // flow-control characters must pass untouched
    testing::internal::CaptureStderr();
    EXPECT_EQ(SendRawCheckEcho(pPort, pbData, 3, NULL), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Write:11 \nRead:11 \nWrite:13 \nRead:13 \nWrite:A5 \nRead:A5 \n");
    target.join();
    EXPECT_EQ(target.received, std::vector<uint8_t>({0x11, 0x13, 0xA5}));
}

TEST_F(SerialPortTest, EveryWrongEchoIsReportedButTheTransferSucceeds) {
    Port *pPort = Open();
    uint32_t dwMismatches = 0;
    target.start([](FakeTarget &t) { Answer(t, 3, [](uint8_t b) { return uint8_t(b + 1); }); });
    const uint8_t pbData[] = {0x00, 0x3E, 0xFF};
    testing::internal::CaptureStderr();
    EXPECT_EQ(SendRawCheckEcho(pPort, pbData, 3, &dwMismatches), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "SendRawWithEcho: pbReadBuffer[0](1) != pbBuffer[0x0](0))\n"
              "SendRawWithEcho: pbReadBuffer[0](3f) != pbBuffer[0x1](3e))\n"
              "SendRawWithEcho: pbReadBuffer[0](0) != pbBuffer[0x2](ff))\n");
    EXPECT_EQ(dwMismatches, 3u);
    target.join();
}

TEST_F(SerialPortTest, EchoReadButNotComparedReportsNothing) {
    Port *pPort = Open();
    uint32_t dwMismatches = 0;
    target.start([](FakeTarget &t) { Answer(t, 2, [](uint8_t) { return uint8_t(0x55); }); });
    const uint8_t pbData[] = {0x00, 0x00};
    testing::internal::CaptureStderr();
    EXPECT_EQ(SendRawWithEcho(pPort, pbData, 2, 1, 1, &dwMismatches), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(dwMismatches, 0u);
    target.join();
}

TEST_F(SerialPortTest, SilentTargetTimesOutAfterAboutTwoSeconds) {
    linkTarget.fTrace = 1;
    Port *pPort = Open();
    const uint8_t bData = 0x42;
    testing::internal::CaptureStderr();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SendRawCheckEcho(pPort, &bData, 1, NULL), 0);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Write:42 \nRead:\nSendRawWithEcho: dwRead != 1\n");
    // Not a speed goal: a read that returned at once or never would be a broken time-out.
    EXPECT_GT(seconds, 1.5);
    EXPECT_LT(seconds, 5.0);
}

TEST_F(SerialPortTest, NoEchoFormReadsNothingAndLengthZeroSendsNothing) {
    Port *pPort = Open();
    const uint8_t pbData[] = {'w', 0x10, 0x35, 0x00};
    EXPECT_EQ(SendRawNoEcho(pPort, pbData, 4), 1);
    EXPECT_EQ(SendRawCheckEcho(pPort, pbData, 0, NULL), 1);
    EXPECT_EQ(target.readBytes(4), std::vector<uint8_t>(pbData, pbData + 4));
    uint8_t extra;
    EXPECT_FALSE(target.readByte(&extra, 200));
}

TEST_F(SerialPortTest, ReadFailsWhenTheFarEndHangsUp) {
    Port *pPort = Open();
    target.start([](FakeTarget &t) {
        uint8_t byte;
        t.readByte(&byte);
        t.hangUp();
    });
    const uint8_t bData = 0x01;
    testing::internal::CaptureStderr();
    EXPECT_EQ(SendRawCheckEcho(pPort, &bData, 1, NULL), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("SendRawWithEcho: Read error 0x", 0),
              0u);
    target.join();
}

TEST_F(SerialPortTest, PortIsExclusiveUntilClosedAndThenOpensAgain) {
    Open();
    static LinkTarget secondTarget;
    static TalkerLink second;
    StartTestLink(&second, &secondTarget, 0, target.path().c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenComPort(&second, 1200), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              target.path() +
                  ": Device or resource busy: another program holds the port: close it and "
                  "try again\n");
    EXPECT_EQ(second.pPort, nullptr);
    CloseComPort(&link);
    EXPECT_EQ(OpenComPort(&second, 1200), 1);
    CloseComPort(&second);
}

// The system's words, not its error number.
TEST(OpenComPort, MissingDevicesAndNonSerialFilesAreReported) {
    static LinkTarget linkTarget;
    static TalkerLink link;
    StartTestLink(&link, &linkTarget, 0, "");
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenComPort(&link, 9600), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "COM0: No such file or directory: no such port: "
              "check the port number or the -d device name\n");

    std::string strFile = MakeTempDir() + "/not-a-port";
    WriteTextFile(strFile, "S9030000FC\n");
    StartTestLink(&link, &linkTarget, 0, strFile.c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenComPort(&link, 9600), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              strFile + ": Inappropriate ioctl for device: not a serial device\n");
    EXPECT_EQ(link.pPort, nullptr);
}

}  // namespace

// A refused open names the group that owns the device: dialout on Debian, uucp elsewhere.
TEST(OpenComPort, RefusedOpenNamesTheGroupThatOwnsTheDevice) {
    static LinkTarget linkTarget;
    static TalkerLink link;
    std::string strFile = MakeTempDir() + "/owned-port";
    WriteTextFile(strFile, "");
    const struct group *pGroup = getegid() != 0 ? getgrgid(getegid()) : getgrnam("dialout");
    if (pGroup == nullptr || chown(strFile.c_str(), (uid_t)-1, pGroup->gr_gid) != 0) {
        GTEST_SKIP() << "no group other than root's to give the file";
    }
    std::string strGroup = pGroup->gr_name;
    // The words for a refusal of a port called strFile (root is never refused: the error is
    // given to an open port).
    FakeTarget target;
    StartTestLink(&link, &linkTarget, 0, target.path().c_str());
    ASSERT_EQ(OpenComPort(&link, 9600), 1);
    snprintf(link.device.szName, sizeof(link.device.szName), "%s", strFile.c_str());
    link.device.dwLastError = EACCES;
    char szWords[PORT_ERROR_ROOM];
    DescribePortError(&link.device, szWords, sizeof(szWords));
    CloseComPort(&link);
    EXPECT_EQ(std::string(szWords), "Permission denied: add your user to the " + strGroup +
                                        " group that owns " + strFile + " (sudo usermod -aG " +
                                        strGroup + " $USER), then log in again");
}  // namespace

namespace {

TEST(FormatPortName, NumbersFollowTheSerialDriversNamingAndDevicesPassWhole) {
    struct Case {
        uint32_t dwPort;
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
