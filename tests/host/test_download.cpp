// The file download and the whole-file check, against the scripted talker over a real pty.
#include <gtest/gtest.h>

#include <cstring>

#include "download.h"
#include "fake_target.h"
#include "scripted_talker.h"
#include "serial_port.h"
#include "settings.h"
#include "srecord.h"
#include "talker_protocol.h"

namespace {

std::string S1(uint16_t wAddress, std::vector<uint8_t> data) {
    char szLine[SRECORD_LINE_ROOM];
    EXPECT_EQ(FormatS1Record(wAddress, data.data(), data.size(), szLine, sizeof(szLine)), 1);
    return szLine;
}

FILE *OpenText(const std::string &text) {
    std::string path = MakeTempDir() + "/file.s19";
    WriteTextFile(path, text);
    return fopen(path.c_str(), "r");
}

struct DownloadOutcome {
    int nResult;
    std::string strOut, strErr;
};

class DownloadTest : public TalkerLinkTest {
protected:
    void SetUp() override {
        TalkerLinkTest::SetUp();
        StartTalker();
    }
    DownloadOutcome Download(const std::string &text) {
        FILE *pFile = OpenText(text);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int nResult = DownloadFile(hPort, pFile);
        std::string strOut = testing::internal::GetCapturedStdout();
        fclose(pFile);
        return {nResult, strOut, testing::internal::GetCapturedStderr()};
    }
};

TEST_F(DownloadTest, OneDotBeforeEveryRead) {
    const std::string strRecords = "S00600004844521B\n" + S1(0x2000, {1, 2, 3}) + "\n" +
                                   S1(0xF800, {4, 5}) + "\nS9030000FC";
    struct Case {
        std::string strText;
        const char *pszOut;
    } cases[] = {
        {strRecords + "\n", ".....Success\n"},  // 4 lines and a final newline: 5 reads
        {strRecords, "....Success\n"},          // no final newline: the last line ends the file
        {"", ".Success\n"},
    };
    for (const Case &c : cases) {
        talker.clearFrames();
        DownloadOutcome outcome = Download(c.strText);
        EXPECT_EQ(outcome.nResult, 1);
        EXPECT_EQ(outcome.strOut, c.pszOut);
        EXPECT_EQ(outcome.strErr, "");
        std::vector<TalkerFrame> frames = talker.frames();
        if (c.strText.empty()) {
            EXPECT_TRUE(frames.empty());
            continue;
        }
        ASSERT_EQ(frames.size(), 2u) << "each S1 line is written exactly once";
        EXPECT_EQ(frames[0].letter, 'W');
        EXPECT_EQ(frames[1].letter, 'P');
    }
    EXPECT_EQ(talker.memoryAt(0xF801), 5);
}

TEST_F(DownloadTest, LowercaseAndCrLfLinesAreHandledLikeOthers) {
    std::string strLine = S1(0x3000, {0xDE, 0xAD});
    strLine[0] = 's';
    DownloadOutcome outcome = Download(strLine + "\r\nS9030000FC\r\n");
    EXPECT_EQ(outcome.strOut, "...Success\n");
    EXPECT_EQ(talker.memoryAt(0x3001), 0xAD);
}

TEST_F(DownloadTest, LineThatDoesNotParseEndsTheDownloadAfterTheRecordsBeforeIt) {
    DownloadOutcome outcome = Download(S1(0x2000, {7}) + "\n\n" + S1(0x2001, {8}) + "\n");
    EXPECT_EQ(outcome.nResult, 0);
    EXPECT_EQ(outcome.strOut, "..Failure\n");
    EXPECT_EQ(outcome.strErr, "Can't parse S record\n");
    EXPECT_EQ(talker.memoryAt(0x2000), 7);
    EXPECT_EQ(talker.memoryAt(0x2001), 0);
}

TEST_F(DownloadTest, EmptyS1RecordIsPassedOver) {
    DownloadOutcome outcome = Download("S1032000DC\n" + S1(0x2000, {9}) + "\n");
    EXPECT_EQ(outcome.strOut, "...Success\n");
    ASSERT_EQ(talker.frames().size(), 1u);
    EXPECT_EQ(talker.frames()[0].count, 1);
}

TEST_F(DownloadTest, BytesThatDoNotVerifyEndInFailure) {
    talker.setStuckAddresses({0xF801, 0xF803});
    DownloadOutcome outcome = Download(S1(0xF800, {1, 2, 3, 4}) + "\n" + S1(0xF900, {5}) + "\n");
    EXPECT_EQ(outcome.nResult, 0);
    EXPECT_EQ(outcome.strOut, "...Failure\n");
    EXPECT_EQ(outcome.strErr,
              "SendRawWithEcho: pbReadBuffer[0](0) != pbBuffer[0x1](2))\n"
              "SendRawWithEcho: pbReadBuffer[0](0) != pbBuffer[0x3](4))\n"
              "2 byte(s) did not verify: the target does not hold the file\n");
    EXPECT_EQ(talker.memoryAt(0xF900), 5) << "the records after a mismatch are still written";
}

struct CheckOutcome {
    int nResult;
    std::string strOut, strErr;
};

CheckOutcome Check(const std::string &text) {
    FILE *pFile = OpenText(text);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int nResult = CheckSRecordFile(pFile);
    std::string strOut = testing::internal::GetCapturedStdout();
    fclose(pFile);
    return {nResult, strOut, testing::internal::GetCapturedStderr()};
}

TEST(CheckSRecordFile, AcceptsWhatTheDownloadAccepts) {
    EXPECT_EQ(Check("").nResult, 1);
    EXPECT_EQ(Check(S1(0x0100, {1}) + "\nS9030000FC\n").nResult, 1);
    // A record that ends exactly at $FFFF does not wrap into the talker's RAM.
    EXPECT_EQ(Check("S0030000FC\n" + S1(0xFFF0, std::vector<uint8_t>(16, 0)) + "\n").nResult, 1);
}

TEST(CheckSRecordFile, RefusesBadLinesAndTheTalkersRam) {
    struct Case {
        std::string strText;
        const char *pszErr;
    } cases[] = {
        {S1(0x2000, {1}) + "\n\n", "Can't parse S record\n"},
        {S1(0x2000, {1}) + "\nS9030000FC\n\n", "Can't parse S record\n"},
        {"S5030001FB\n",
         "ParseSRecordString: Unknown S record type = 5 (S5030001FB\n)\nCan't parse S record\n"},
        {S1(0x00F0, {1}) + "\n",
         "S1 record at $00F0 writes into $0000-$00FF, the RAM the talker runs in\n"},
        {S1(0xFFFE, {1, 2, 3}) + "\n",
         "S1 record at $FFFE writes into $0000-$00FF, the RAM the talker runs in\n"},
    };
    for (const Case &c : cases) {
        CheckOutcome outcome = Check(c.strText);
        EXPECT_EQ(outcome.nResult, 0) << c.strText;
        EXPECT_EQ(outcome.strOut, "Failure\n");
        EXPECT_EQ(outcome.strErr, c.pszErr);
    }
}

}  // namespace
