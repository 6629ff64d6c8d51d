// The file download and the whole-file check, against the talker on the simulated chip.
#include <gtest/gtest.h>

#include <cstring>

#include "com_port.h"
#include "download.h"
#include "fake_target.h"
#include "sim_port.h"
#include "srec_file.h"
#include "srecord.h"
#include "talker_protocol.h"

namespace {

std::string S1(uint16_t wAddress, std::vector<uint8_t> data) {
    char szLine[SRECORD_LINE_ROOM];
    EXPECT_EQ(FormatS1Record(wAddress, data.data(), data.size(), szLine, sizeof(szLine)), 1);
    return szLine;
}

// The file as the run holds it: read once and checked, the talker's RAM refused.
SRecordFile ReadText(const std::string &text, const std::string &path, int *pfChecked) {
    static const RefusedRange kTalkerRam[] = {{0x0000, 0x00FF, "the RAM the talker runs in"}};
    WriteTextFile(path, text);
    SRecordFile file;
    EXPECT_EQ(ReadSRecordFile(path.c_str(), &file), 1);
    *pfChecked = CheckSRecordFile(&file, kTalkerRam, 1);
    return file;
}

struct DownloadOutcome {
    int nResult;
    std::string strOut, strErr;
};

class DownloadTest : public SimLinkTest {
  protected:
    void SetUp() override {
        OpenLink(WithExternalRam());
        StartTalkerForWrites();
    }
    // A fresh chip whose EEPROM cells at these addresses won't take a value.
    void UseStuckCells(const std::vector<uint16_t> &addresses) {
        hc11::SimConfig config = WithExternalRam();
        for (uint16_t address : addresses)
            config.faults.push_back({hc11::FaultKind::Stuck, address});
        OpenLink(config);
        StartTalkerForWrites();
    }
    uint64_t Programmed() const { return sim->stats().eeprom.program; }
    DownloadOutcome Download(const std::string &text) {
        std::string path = MakeTempDir() + "/file.s19";
        int fChecked = 0;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        SRecordFile file = ReadText(text, path, &fChecked);
        int nResult = fChecked ? DownloadFile(&link, &file) : 0;
        std::string strOut = testing::internal::GetCapturedStdout();
        return {nResult, strOut, testing::internal::GetCapturedStderr()};
    }
};

TEST_F(DownloadTest, OneDotBeforeEveryRead) {
    const std::string strRecords =
        "S00600004844521B\n" + S1(0x2000, {1, 2, 3}) + "\n" + S1(0xF800, {4, 5}) + "\nS9030000FC";
    struct Case {
        std::string strText;
        const char *pszOut;
    } cases[] = {
        {strRecords + "\n", ".....Success\n"},  // 4 lines and a final newline: 5 reads
        {strRecords, "....Success\n"},          // no final newline: the last line ends the file
        {"", ".Success\n"},
    };
    for (const Case &c : cases) {
        for (uint16_t wAddress : {0x2002, 0xF800, 0xF801})  // RAM cleared, EEPROM erased
            ASSERT_TRUE(sim->poke(wAddress, wAddress == 0x2002 ? 0x00 : 0xFF));
        uint64_t qwBefore = Programmed();
        DownloadOutcome outcome = Download(c.strText);
        EXPECT_EQ(outcome.nResult, 1);
        EXPECT_EQ(outcome.strOut, c.pszOut);
        EXPECT_EQ(outcome.strErr, "");
        // The EEPROM line programs each of its bytes once; the RAM line is written, not
        // programmed.
        EXPECT_EQ(Programmed() - qwBefore, c.strText.empty() ? 0u : 2u);
        EXPECT_EQ(sim->peek(0x2002), c.strText.empty() ? 0x00 : 0x03);
        EXPECT_EQ(sim->peek(0xF801), c.strText.empty() ? 0xFF : 0x05);
    }
}

TEST_F(DownloadTest, LowercaseAndCrLfLinesAreHandledLikeOthers) {
    std::string strLine = S1(0x3000, {0xDE, 0xAD});
    strLine[0] = 's';
    DownloadOutcome outcome = Download(strLine + "\r\nS9030000FC\r\n");
    EXPECT_EQ(outcome.strOut, "...Success\n");
    EXPECT_EQ(sim->peek(0x3001), 0xAD);
}

TEST_F(DownloadTest, BlankLinesCountRecordsAndEndMarksArePassedOverWithTheirDots) {
    DownloadOutcome outcome = Download("\n  " + S1(0x2000, {7}) + " \n\t\nS5030001FB\n" +
                                       S1(0x2001, {8}) + "\r\nS804000000FB\n\x1a");
    EXPECT_EQ(outcome.nResult, 1);
    EXPECT_EQ(outcome.strOut, ".......Success\n");
    EXPECT_EQ(outcome.strErr, "");
    EXPECT_EQ(sim->peek(0x2000), 7);
    EXPECT_EQ(sim->peek(0x2001), 8);
}

TEST_F(DownloadTest, EmptyS1RecordIsPassedOver) {
    DownloadOutcome outcome = Download("S103F80004\n" + S1(0xF800, {9}) + "\n");
    EXPECT_EQ(outcome.strOut, "...Success\n");
    EXPECT_EQ(Programmed(), 1u);
    EXPECT_EQ(sim->peek(0xF800), 9);
}

TEST_F(DownloadTest, BytesThatDoNotVerifyEndInFailure) {
    UseStuckCells({0xF801, 0xF803});
    DownloadOutcome outcome = Download(S1(0xF800, {1, 2, 3, 4}) + "\n" + S1(0xF900, {5}) + "\n");
    EXPECT_EQ(outcome.nResult, 0);
    EXPECT_EQ(outcome.strOut, "...") << "the run, not the download, says \"Failure\"";
    EXPECT_EQ(outcome.strErr,
              "WriteSRecord: $F801 (byte 1 of the record at $F800) wrote 02, read back FF\n"
              "WriteSRecord: $F803 (byte 3 of the record at $F800) wrote 04, read back FF\n"
              "2 byte(s) did not verify: the target does not hold the file\n");
    EXPECT_EQ(sim->peek(0xF900), 5) << "the records after a mismatch are still written";
}

// The range's bound inside the record: the bytes before it are written as RAM is, which the
// EEPROM ignores, and the stuck byte after it still counts from the record's start.
TEST_F(DownloadTest, MismatchAfterTheSplitAtAnEepromBoundCountsFromTheRecordsStart) {
    UseStuckCells({0xF803});
    link.wEepromStart = 0xF802;
    DownloadOutcome outcome = Download(S1(0xF800, {1, 2, 3, 4}) + "\n");
    EXPECT_EQ(outcome.strErr,
              "WriteSRecord: $F800 (byte 0 of the record at $F800) wrote 01, read back FF\n"
              "WriteSRecord: $F801 (byte 1 of the record at $F800) wrote 02, read back FF\n"
              "WriteSRecord: $F803 (byte 3 of the record at $F800) wrote 04, read back FF\n"
              "3 byte(s) did not verify: the target does not hold the file\n");
    EXPECT_EQ(sim->peek(0xF802), 3);
}

struct CheckOutcome {
    int nResult;
    std::string strOut, strErr;
};

CheckOutcome Check(const std::string &text) {
    std::string path = MakeTempDir() + "/file.s19";
    int fChecked = 0;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ReadText(text, path, &fChecked);
    std::string strOut = testing::internal::GetCapturedStdout();
    std::string strErr = testing::internal::GetCapturedStderr();
    // Every message names the file by its path; the cases name it "F".
    for (size_t i; (i = strErr.find(path)) != std::string::npos;)
        strErr.replace(i, path.size(), "F");
    return {fChecked, strOut, strErr};
}

TEST(CheckSRecordFile, AcceptsWhatTheDownloadAccepts) {
    struct Case {
        std::string strText;
        uint32_t dwDataBytes;
    } cases[] = {
        {"", 0},
        {S1(0x0100, {1}) + "\nS9030000FC\n", 1},
        // A record that ends exactly at $FFFF does not wrap into the talker's RAM.
        {"S0030000FC\n" + S1(0xFFF0, std::vector<uint8_t>(16, 0)) + "\n", 16},
        // S2 and S3 inside 64 KB; S7 and S8 end records; S5 and S6 counts; an S0 of 252 bytes.
        {"S2050020000AD0\nS306000020000BCE\nS70500000000FA\nS804000000FB\n", 2},
        {"S5030001FB\nS604000001FA\n", 0},
        {"S0FF0000" + std::string(504, '0') + "00\n", 0},
        {"S1FF2000" + std::string(504, '0') + "E0\r\n\x1a\x1a", 252},
        // Text after the checksum is not read, unless it starts another record.
        {S1(0x2000, {1}) + " ; S-record\n", 1},
    };
    for (const Case &c : cases) {
        std::string path = MakeTempDir() + "/file.s19";
        int fChecked = 0;
        SRecordFile file = ReadText(c.strText, path, &fChecked);
        EXPECT_EQ(fChecked, 1) << c.strText;
        EXPECT_EQ(file.dwDataBytes, c.dwDataBytes) << c.strText;
    }
}

TEST(CheckSRecordFile, RefusesNamingTheFileTheLineAndItsText) {
    struct Case {
        std::string strText;
        const char *pszErr;
    } cases[] = {
        {S1(0x2000, {1}) + "\nS1052000010FDA\n",
         "F line 2: S1 record at $2000 has a wrong checksum (S1052000010FDA)\n"},
        {S1(0x2000, {1, 2}) + "\nS10520000102\n",
         "F line 2: S1 record at $2000 is cut short: 10 digits expected after the count, 8 "
         "found (S10520000102)\n"},
        {"S4030000FC\n",
         "ParseSRecordString: Unknown S record type = 4 (S4030000FC)\n"
         "F line 1: Can't parse S record (S4030000FC)\n"},
        {"S102000000\n",
         "ParseSRecordString: Invalid count 2, must be 3 to 255 (S102000000)\n"
         "F line 1: Can't parse S record (S102000000)\n"},
        {"S205FFFFFF01FD\n",
         "ParseSRecordString: S2 record at $FFFFFF lies beyond $FFFF (S205FFFFFF01FD)\n"
         "F line 1: Can't parse S record (S205FFFFFF01FD)\n"},
        {"hello\n", "F line 1: Can't parse S record (hello)\n"},
        // The second record would be lost: the first one's checksum ends what is read.
        {S1(0x2000, {1}) + " s104200102D8\n",
         "F line 1: Two records on one line: each record must have a line of its own "
         "(S104200001DA s104200102D8)\n"},
        {S1(0x2000, {1}) + "\r" + S1(0x2001, {2}) + "\r",
         "F line 1: Carriage return inside a line: the file's lines must end in LF or CR LF "
         "(S104200001DA\\x0DS104200102D8)\n"},
        {S1(0x00F0, {1}) + "\n",
         "F line 1: S1 record at $00F0 writes into $0000-$00FF, the RAM the talker runs in "
         "(S10400F0010A)\n"},
        {S1(0xFFFE, {1, 2, 3}) + "\n",
         "F line 1: S1 record at $FFFE writes into $0000-$00FF, the RAM the talker runs in "
         "(S106FFFE010203F6)\n"},
    };
    for (const Case &c : cases) {
        CheckOutcome outcome = Check(c.strText);
        EXPECT_EQ(outcome.nResult, 0) << c.strText;
        EXPECT_EQ(outcome.strOut, "") << "the run, not the check, says \"Failure\"";
        EXPECT_EQ(outcome.strErr, c.pszErr);
    }
}

}  // namespace
