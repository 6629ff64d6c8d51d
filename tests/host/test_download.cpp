// The file download, the block read and the whole-file check, against the talker on the
// simulated chip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "com_port.h"
#include "download.h"
#include "fake_target.h"
#include "program_image.h"
#include "sim_port.h"
#include "srec_file.h"
#include "srecord.h"
#include "talker_protocol.h"
#include "target_read.h"

namespace {

using Bytes = std::vector<uint8_t>;

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

// The file as the run holds it for the download: its image (1 MB: one, static).
ProgramImage *LoadImage(const std::string &text, const std::string &path) {
    static const RefusedRange kTalkerRam[] = {{0x0000, 0x00FF, "the RAM the talker runs in"}};
    static const ImageRules kRules = {kTalkerRam, 1, nullptr, 0, "", 0, 0, 1};
    static ProgramImage image;
    WriteTextFile(path, text);
    EXPECT_EQ(LoadProgramImage(path.c_str(), &kRules, &image), 1);
    return &image;
}

// What the host sends for dwBlocks blocks carrying dwBytes in all.
uint64_t BlockBytes(uint64_t dwBlocks, uint64_t dwBytes) {
    return dwBlocks * FRAME_LENGTH + dwBytes;
}

// The talker on a chip with external RAM from $2000 up to the EEPROM, so that a block can
// end where the EEPROM starts; the blocks show as the bytes the chip got and what it did.
class DownloadTest : public SimLinkTest {
  protected:
    void SetUp() override { UseStuckCells({}); }
    // A fresh chip whose EEPROM cells at these addresses won't take a value.
    void UseStuckCells(const std::vector<uint16_t> &addresses) {
        hc11::SimConfig config;
        config.xram = hc11::AddressRange{0x2000, 0xF7FF};
        for (uint16_t address : addresses)
            config.faults.push_back({hc11::FaultKind::Stuck, address});
        OpenLink(config);
        StartTalkerForWrites();
    }
    uint64_t Sent() const { return sim->stats().rxBytes; }
    uint64_t Programmed() const { return sim->stats().eeprom.program; }
    void SetChip(uint16_t wAddress, const Bytes &bytes) {
        for (size_t i = 0; i < bytes.size(); i++)
            ASSERT_TRUE(sim->poke(uint16_t(wAddress + i), bytes[i]));
    }
    // fErased: as after -B, the chip is not read first.
    DownloadOutcome Download(const std::string &text, int fErased = 1) {
        ProgramImage *pImage = LoadImage(text, MakeTempDir() + "/file.s19");
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int nResult = DownloadImage(&link, pImage, fErased);
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
        {strRecords + "\n", "....."},  // 4 lines and a final newline: 5 reads
        {strRecords, "...."},          // no final newline: the last line ends the file
        {"", "."},
    };
    for (const Case &c : cases) {
        SetChip(0x2000, {0, 0, 0});  // RAM cleared, EEPROM erased
        SetChip(0xF800, {0xFF, 0xFF});
        uint64_t qwSentBefore = Sent(), qwProgrammedBefore = Programmed();
        DownloadOutcome outcome = Download(c.strText);
        EXPECT_EQ(outcome.nResult, 1);
        EXPECT_EQ(outcome.strOut, c.pszOut);
        EXPECT_EQ(outcome.strErr, "");
        int fData = !c.strText.empty();
        EXPECT_EQ(Sent() - qwSentBefore, fData ? BlockBytes(2, 5) : 0)
            << "each S1 line is written exactly once";
        EXPECT_EQ(Programmed() - qwProgrammedBefore, fData ? 2u : 0u) << "the RAM's are not";
        EXPECT_EQ(sim->peek(0x2002), fData ? 3 : 0);
        EXPECT_EQ(sim->peek(0xF801), fData ? 5 : 0xFF);
    }
}

TEST_F(DownloadTest, LowercaseAndCrLfLinesAreHandledLikeOthers) {
    std::string strLine = S1(0x3000, {0xDE, 0xAD});
    strLine[0] = 's';
    DownloadOutcome outcome = Download(strLine + "\r\nS9030000FC\r\n");
    EXPECT_EQ(outcome.strOut, "...");
    EXPECT_EQ(sim->peek(0x3001), 0xAD);
}

TEST_F(DownloadTest, BlankLinesCountRecordsAndEndMarksArePassedOverWithTheirDots) {
    DownloadOutcome outcome = Download("\n  " + S1(0x2000, {7}) + " \n\t\nS5030001FB\n" +
                                       S1(0x2001, {8}) + "\r\nS804000000FB\n\x1a");
    EXPECT_EQ(outcome.nResult, 1);
    EXPECT_EQ(outcome.strOut, ".......");
    EXPECT_EQ(outcome.strErr, "");
    EXPECT_EQ(sim->peek(0x2000), 7);
    EXPECT_EQ(sim->peek(0x2001), 8);
}

TEST_F(DownloadTest, EmptyS1RecordIsPassedOver) {
    uint64_t qwSentBefore = Sent();
    DownloadOutcome outcome = Download("S1032000DC\n" + S1(0x2000, {9}) + "\n");
    EXPECT_EQ(outcome.strOut, "...");
    EXPECT_EQ(Sent() - qwSentBefore, BlockBytes(1, 1));
    EXPECT_EQ(sim->peek(0x2000), 9);
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

TEST_F(DownloadTest, MismatchAfterTheSplitAtAnEepromBoundCountsFromTheRecordsStart) {
    UseStuckCells({0xF801});
    uint64_t qwSentBefore = Sent();
    DownloadOutcome outcome = Download(S1(0xF7FE, {1, 2, 3, 4}) + "\n");
    EXPECT_EQ(Sent() - qwSentBefore, BlockBytes(2, 4));
    EXPECT_EQ(outcome.strErr,
              "WriteSRecord: $F801 (byte 3 of the record at $F7FE) wrote 04, read back FF\n"
              "1 byte(s) did not verify: the target does not hold the file\n");
    EXPECT_EQ(sim->peek(0xF7FF), 2);
    EXPECT_EQ(sim->peek(0xF800), 3);
}

// Records that follow each other go as one block; a block never crosses the EEPROM's start.
TEST_F(DownloadTest, ContiguousRecordsGoAsOneBlockSplitAtTheEepromStart) {
    uint64_t qwSentBefore = Sent();
    DownloadOutcome outcome = Download(S1(0x2000, {1, 2}) + "\n" + S1(0x2002, {3}) + "\n" +
                                       S1(0xF7FE, {4, 5, 6}) + "\n" + S1(0xF801, {7}) + "\n");
    EXPECT_EQ(outcome.nResult, 1) << outcome.strErr;
    EXPECT_EQ(outcome.strOut, ".....");
    // $2000-$2002, $F7FE-$F7FF written, $F800-$F801 programmed: three blocks.
    EXPECT_EQ(Sent() - qwSentBefore, BlockBytes(3, 7));
    EXPECT_EQ(Programmed(), 2u);
    EXPECT_EQ(sim->peek(0x2002), 3);
    EXPECT_EQ(sim->peek(0xF7FF), 5);
    EXPECT_EQ(sim->peek(0xF801), 7);
}

// A reflash reads the EEPROM the file touches and programs only the bytes that differ.
TEST_F(DownloadTest, ReflashProgramsOnlyTheBytesThatDiffer) {
    Bytes chip(64);
    for (size_t i = 0; i < chip.size(); i++) chip[i] = uint8_t(i * 7);
    Bytes file = chip;
    file[5] ^= 0x11;
    file[6] ^= 0x22;
    file[40] ^= 0x33;
    SetChip(0xF800, chip);
    uint64_t qwSentBefore = Sent(), qwHeardBefore = sim->stats().txBytes;
    DownloadOutcome outcome = Download(S1(0xF800, Bytes(file.begin(), file.begin() + 32)) + "\n" +
                                           S1(0xF820, Bytes(file.begin() + 32, file.end())) + "\n",
                                       0);
    EXPECT_EQ(outcome.nResult, 1) << outcome.strErr;
    EXPECT_EQ(outcome.strOut, "...");
    // The read's frame, then $F805-$F806 and $F828 as two blocks.
    EXPECT_EQ(Sent() - qwSentBefore, BlockBytes(3, 3));
    // The 64 bytes read with their check word and prompt; each byte programmed read back.
    EXPECT_EQ(sim->stats().txBytes - qwHeardBefore, 64 + 3 + 3 + 2u);
    EXPECT_EQ(Programmed(), 3u);
    for (size_t i = 0; i < file.size(); i++) EXPECT_EQ(sim->peek(uint16_t(0xF800 + i)), file[i]);
}

// A reflash of a chip that holds the file already sends nothing after its read.
TEST_F(DownloadTest, ReflashOfAnUnchangedChipSendsNoBlock) {
    Bytes file(100);
    for (size_t i = 0; i < file.size(); i++) file[i] = uint8_t(3 + i);
    SetChip(0xFF00, file);
    uint64_t qwSentBefore = Sent();
    DownloadOutcome outcome = Download(S1(0xFF00, file) + "\n", 0);
    EXPECT_EQ(outcome.nResult, 1) << outcome.strErr;
    EXPECT_EQ(Sent() - qwSentBefore, BlockBytes(1, 0)) << "the read's frame alone";
    EXPECT_EQ(Programmed(), 0u);
}

// Without -B, a reflash of a file that sets most of the EEPROM, whose reading finds most bytes in
// need of an erase byte by byte, says once that -B would take about half the time; one that
// only clears bits, finds the file mostly there, or sets a small part of the EEPROM (which -B
// would clear whole) says nothing of it.
TEST_F(DownloadTest, ReflashThatMustEraseMostBytesSuggestsTheBulkErase) {
    const std::string kHint =
        "Most of the EEPROM differs from the file and must be erased byte by byte: -B (one bulk "
        "erase first) would take about half the time\n";
    Bytes file(0x480);
    for (size_t i = 0; i < file.size(); i++) file[i] = uint8_t(0x81 + i % 0x70);
    Bytes mostlyThere = file;
    for (size_t i = 0; i < file.size(); i += 8) mostlyThere[i] = 0x00;
    struct Case {
        const char *name;
        Bytes chip;
        size_t dwFileBytes;
        bool hinted;
    } cases[] = {
        {"AllZeros", Bytes(file.size(), 0x00), file.size(), true},
        {"Erased", Bytes(file.size(), 0xFF), file.size(), false},
        {"MostlyThere", mostlyThere, file.size(), false},
        {"SmallFile", Bytes(file.size(), 0x00), 0x100, false},
    };
    for (const Case &c : cases) {
        UseStuckCells({});
        SetChip(0xF800, c.chip);
        std::string text;
        for (size_t i = 0; i < c.dwFileBytes; i += 32)
            text += S1(uint16_t(0xF800 + i), Bytes(file.begin() + i, file.begin() + i + 32)) + "\n";
        DownloadOutcome outcome = Download(text, 0);
        EXPECT_EQ(outcome.nResult, 1) << c.name << outcome.strErr;
        EXPECT_EQ(outcome.strErr, c.hinted ? kHint : "") << c.name;
        EXPECT_EQ(sim->peek(uint16_t(0xF800 + c.dwFileBytes - 1)), file[c.dwFileBytes - 1])
            << c.name;
    }
}

// Past 20, the bytes that did not verify are counted, not listed. Not one EEPROM byte took
// its value, each left erased: the programming time, which follows -x, is named.
TEST_F(DownloadTest, MismatchLinesStopAtTwentyThenACount) {
    std::vector<uint16_t> stuck;
    for (uint16_t a = 0xF800; a < 0xF819; a++) stuck.push_back(a);
    UseStuckCells(stuck);
    DownloadOutcome outcome = Download(S1(0xF800, Bytes(25, 0x5A)) + "\n");
    EXPECT_EQ(outcome.nResult, 0);
    EXPECT_EQ(std::count(outcome.strErr.begin(), outcome.strErr.end(), '\n'), 23);
    EXPECT_NE(outcome.strErr.find("$F813 (byte 19 of the record at $F800) wrote 5A, read back FF\n"
                                  "... and 5 more\n"
                                  "25 byte(s) did not verify: the target does not hold the file\n"
                                  "Each byte that did not verify is an EEPROM byte left erased "
                                  "($FF): programming takes the time the crystal sets; check that "
                                  "-x names the board's crystal (now 8 MHz)\n"),
              std::string::npos)
        << outcome.strErr;
}

// $F000-$FFFF of a chip with external RAM below its EEPROM, read through "R" blocks.
class BlockReadTest : public SimLinkTest {
  protected:
    void SetUp() override {
        for (size_t i = 0; i < chip.size(); i++) chip[i] = uint8_t(i * 13 + i / 256);
        UseChipCorrupting(0);
        dwSentBefore = uint32_t(sim->targetSent().size());
    }
    // A fresh chip whose line inverts every dwEvery-th byte it sends (from the first of
    // the read on, none when 0), as a noisy line would.
    void UseChipCorrupting(uint32_t dwEvery) {
        hc11::SimConfig config;
        config.xram = hc11::AddressRange{0xF000, 0xF7FF};
        for (uint32_t n = dwEvery; dwEvery != 0 && n < 20000; n += dwEvery)
            config.faults.push_back({hc11::FaultKind::Corrupt, dwSentBefore + n});
        OpenLink(config);
        StartTalkerForWrites();
        for (size_t i = 0; i < chip.size(); i++)
            ASSERT_TRUE(sim->poke(uint16_t(0xF000 + i), chip[i]));
    }
    Bytes chip = Bytes(4096);
    uint32_t dwSentBefore = 0;  // what the chip sends before the read
};

// A byte the line changed is caught by its span's check bytes and that span alone is read
// again; a line that keeps changing bytes fails the read rather than return them.
TEST_F(BlockReadTest, SpanChecksCatchChangedBytesAndReadTheirSpansAgain) {
    struct Case {
        uint32_t dwCorruptEvery;
        int nResult;
        size_t dwSpansReadAgain;  // bytes changed in the read's first answer, each in a span
        const char *pszFailure;
    } cases[] = {
        {0, 1, 0, ""},
        {3000, 1, 1, ""},
        {1000, 1, 4, ""},
        {100, 0, 0,
         "did not match its check word in 3 reads: the line changes what the chip sends "
         "(check the cable, or try a lower -b)\n"},
    };
    for (const Case &c : cases) {
        UseChipCorrupting(c.dwCorruptEvery);
        Bytes read(chip.size());
        testing::internal::CaptureStderr();
        int nResult =
            ReadTargetBytes(&link, 0xF000, read.data(), uint32_t(read.size()), nullptr, nullptr);
        std::string strErr = testing::internal::GetCapturedStderr();
        EXPECT_EQ(nResult, c.nResult) << c.dwCorruptEvery;
        EXPECT_NE(strErr.find(c.pszFailure), std::string::npos) << strErr;
        if (c.nResult == 0) continue;
        EXPECT_EQ(read, chip) << c.dwCorruptEvery;
        std::istringstream lines(strErr);
        size_t dwLines = 0;
        for (std::string line; std::getline(lines, line); dwLines++) {
            unsigned first = 0, last = 0;
            ASSERT_EQ(sscanf(line.c_str(),
                             "ReadTargetBytes: $%4X-$%4X did not match its check word; reading "
                             "it again",
                             &first, &last),
                      2)
                << line;
            EXPECT_EQ(first % READ_SPAN, 0u) << line;
            EXPECT_EQ(last - first + 1, unsigned(READ_SPAN)) << line;
        }
        EXPECT_EQ(dwLines, c.dwSpansReadAgain) << strErr;
    }
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
