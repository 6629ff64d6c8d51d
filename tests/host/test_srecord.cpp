// S-record text: the line parser (its field conversion against the C library's sscanf, its
// accepted lines, its refusals and their exact messages) and the writer, both checked
// against srec_cat on generated files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "field_scan.h"
#include "hex_digit.h"
#include "missing_tool.h"
#include "srecord.h"

namespace {

struct ParseOutcome {
    int fResult;
    SRecord record;
    std::string strStderr;
};

ParseOutcome Parse(const std::string &strLine) {
    ParseOutcome outcome{};
    testing::internal::CaptureStderr();
    outcome.fResult = ParseSRecordString(strLine.c_str(), &outcome.record);
    outcome.strStderr = testing::internal::GetCapturedStderr();
    return outcome;
}

std::string Message(const std::string &strText) {
    return "ParseSRecordString: " + strText;
}

std::vector<uint8_t> RecordData(const SRecord &record) {
    return std::vector<uint8_t>(record.bData, record.bData + record.wLength);
}

std::string FormatS1(uint16_t wAddress, const std::vector<uint8_t> &data) {
    char szLine[SRECORD_LINE_ROOM];
    EXPECT_EQ(FormatS1Record(wAddress, data.data(), data.size(), szLine, sizeof szLine), 1);
    return szLine;
}

std::vector<uint8_t> RandomBytes(std::mt19937 &rng, size_t dwCount) {
    std::vector<uint8_t> bytes(dwCount);
    for (auto &b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
}

// ---------------------------------------------------------------------------------------------
// The field conversion reads what sscanf reads with the same one-field format.

struct ScanFormat {
    const char *pszFormat;
    uint32_t dwWidth;
    uint32_t dwBase;
};

const ScanFormat kScanFormats[] = {
    {"%1u", 1, 10}, {"%2u", 2, 10}, {"%1x", 1, 16}, {"%2x", 2, 16}, {"%4x", 4, 16}, {"%8x", 8, 16},
};

// Characters that steer sscanf: white space, signs, the "0x" prefix, digits of both cases and
// characters that stop a conversion.
const char kScanAlphabet[] = " \t\n\r+-019aAfFxXgG";

void ExpectScanLikeSscanf(const ScanFormat &format, const std::string &strText) {
    unsigned uExpected = 0;
    int fExpected = sscanf(strText.c_str(), format.pszFormat, &uExpected) == 1;
    uint32_t dwValue = 0;
    int fResult =
        ScanField(strText.data(), strText.size(), format.dwWidth, format.dwBase, &dwValue);
    ASSERT_EQ(fResult, fExpected) << format.pszFormat << " on \"" << strText << "\"";
    if (fExpected) {
        ASSERT_EQ(dwValue, uExpected) << format.pszFormat << " on \"" << strText << "\"";
    }
}

// Every character against the C library's own idea of a hex digit and its value.
TEST(HexDigitValue, AgreesWithTheCLibraryOnEveryCharacter) {
    for (int ch = -128; ch < 128; ch++) {
        char sz[2] = {char(ch), '\0'};
        int nExpected = ch > 0 && isxdigit(ch) ? int(strtol(sz, nullptr, 16)) : -1;
        EXPECT_EQ(HexDigitValue(char(ch)), nExpected) << ch;
    }
}

TEST(ScanField, MatchesSscanfOnEveryShortText) {
    const size_t cchAlphabet = sizeof kScanAlphabet - 1;
    for (const ScanFormat &format : kScanFormats) {
        std::string strText;
        ExpectScanLikeSscanf(format, strText);
        for (size_t cch = 1; cch <= 4; cch++) {
            size_t dwCombinations = 1;
            for (size_t i = 0; i < cch; i++) dwCombinations *= cchAlphabet;
            for (size_t n = 0; n < dwCombinations; n++) {
                strText.clear();
                for (size_t k = 0, m = n; k < cch; k++, m /= cchAlphabet)
                    strText += kScanAlphabet[m % cchAlphabet];
                ExpectScanLikeSscanf(format, strText);
            }
        }
    }
}

TEST(ScanField, MatchesSscanfOnRandomLongerTexts) {
    std::mt19937 rng(20240311);
    const size_t cchAlphabet = sizeof kScanAlphabet - 1;
    for (const ScanFormat &format : kScanFormats) {
        for (int n = 0; n < 20000; n++) {
            std::string strText(5 + rng() % 8, ' ');
            for (char &ch : strText) ch = kScanAlphabet[rng() % cchAlphabet];
            ExpectScanLikeSscanf(format, strText);
        }
    }
}

// The text's end is its given length, not a terminating zero: digits after it are not read.
TEST(ScanField, StopsAtTheGivenLength) {
    struct Case {
        const char *pchText;
        size_t cchText;
        uint32_t dwWidth;
        int fResult;
        uint32_t dwValue;
    } const kCases[] = {
        {"12", 1, 2, 1, 0x1}, {"1234", 3, 4, 1, 0x123}, {"  12", 2, 2, 0, 0},
        {"-1", 1, 2, 0, 0},   {"0x12", 2, 4, 1, 0},     {"AB", 0, 2, 0, 0},
    };
    for (const Case &c : kCases) {
        uint32_t dwValue = 0;
        EXPECT_EQ(ScanField(c.pchText, c.cchText, c.dwWidth, 16, &dwValue), c.fResult)
            << c.pchText << " cut at " << c.cchText;
        EXPECT_EQ(dwValue, c.dwValue) << c.pchText << " cut at " << c.cchText;
    }
}

// ---------------------------------------------------------------------------------------------
// The parser converts each field from its own position as sscanf would from there.

std::string RandomScanText(std::mt19937 &rng, size_t cchMin) {
    std::string strText(cchMin + rng() % 5, ' ');
    for (char &ch : strText) ch = kScanAlphabet[rng() % (sizeof kScanAlphabet - 1)];
    return strText;
}

TEST(ParseSRecordString, FieldsConvertLikeSscanfFromTheirPositions) {
    std::mt19937 rng(7);
    for (int n = 0; n < 3000; n++) {
        unsigned uExpected = 0;
        std::string strAddress = RandomScanText(rng, 3);  // count 03 needs three characters
        int fAddress = sscanf(strAddress.c_str(), "%4x", &uExpected) == 1;
        ParseOutcome outcome = Parse("S103" + strAddress);
        ASSERT_EQ(outcome.fResult, fAddress) << "S103" << strAddress;
        if (fAddress) {
            ASSERT_EQ(outcome.record.wAddress, uExpected & 0xFFFF) << strAddress;
        }

        std::string strData = RandomScanText(rng, 1);
        int fData = sscanf(strData.c_str(), "%2x", &uExpected) == 1;
        outcome = Parse("S1040000" + strData);
        ASSERT_EQ(outcome.fResult, fData) << "S1040000" << strData;
        if (fData) {
            ASSERT_EQ(outcome.record.bData[0], uExpected & 0xFF) << strData;
        }
    }
}

// What the type step says of "S" and a type field, as sscanf reads the field; "" when it passes.
std::string TypeStepMessage(const std::string &strLine) {
    unsigned uType = 0;
    if (sscanf(strLine.c_str() + 1, "%1u", &uType) != 1)
        return Message("Invalid S record type (" + strLine + ")\n");
    if (uType == 4)
        return Message("Unknown S record type = " + std::to_string(uType) + " (" + strLine + ")\n");
    return "";
}

// What the count step says of "S1" and a count field, as sscanf reads the field; "" when it passes.
std::string CountStepMessage(const std::string &strLine) {
    unsigned uCount = 0;
    if (sscanf(strLine.c_str() + 2, "%2x", &uCount) != 1)
        return Message("Invalid length (" + strLine + ")\n");
    if (uCount < 3 || uCount > 255)
        return Message("Invalid count " + std::to_string(uCount) + ", must be 3 to 255 (" +
                       strLine + ")\n");
    return "";
}

TEST(ParseSRecordString, TypeAndCountStepsFollowSscanf) {
    std::mt19937 rng(11);
    int nRefused = 0;
    auto ExpectRefusal = [&nRefused](const std::string &strLine, const std::string &strExpected) {
        if (strExpected.empty()) return;
        nRefused++;
        EXPECT_EQ(Parse(strLine).strStderr, strExpected);
    };
    for (int n = 0; n < 1500; n++) {
        std::string strTypeLine = "S" + RandomScanText(rng, 0);
        ExpectRefusal(strTypeLine, TypeStepMessage(strTypeLine));
        std::string strCountLine = "S1" + RandomScanText(rng, 0);
        ExpectRefusal(strCountLine, CountStepMessage(strCountLine));
    }
    EXPECT_GT(nRefused, 1000);  // the generated fields reach both steps' refusals
}

// ---------------------------------------------------------------------------------------------
// Lines that parse.

struct AcceptedLine {
    const char *pszWhat;
    std::string strLine;
    uint16_t wType;
    uint16_t wAddress;
    std::vector<uint8_t> data;
};

std::vector<uint8_t> Sequence(uint8_t bFirst, size_t dwCount) {
    std::vector<uint8_t> bytes(dwCount);
    for (size_t i = 0; i < dwCount; i++) bytes[i] = static_cast<uint8_t>(bFirst + i);
    return bytes;
}

std::vector<AcceptedLine> AcceptedLines() {
    std::string strSixteen = "000102030405060708090A0B0C0D0E0F";
    std::string strImageLine = FormatS1(0x001E, Sequence(0xE0, 30));  // 70 characters, no end
    return {
        {"end record", "S9030000FC", 9, 0x0000, {}},
        {"sixteen bytes, wrong checksum", "S1131000" + strSixteen + "00\n", 1, 0x1000,
         Sequence(0, 16)},
        {"lowercase s and digits", "s113f8a0" + strSixteen + "ff\n", 1, 0xF8A0, Sequence(0, 16)},
        {"lowercase hex data", "S1050010aabb85\n", 1, 0x0010, {0xAA, 0xBB}},
        {"CR LF line end", "S1050010AABB85\r\n", 1, 0x0010, {0xAA, 0xBB}},
        {"count 03, no data", "S1031234B6\n", 1, 0x1234, {}},
        {"header record", "S00600004844521B\n", 0, 0x0000, {0x48, 0x44, 0x52}},
        {"checksum missing", "S1050010AABB", 1, 0x0010, {0xAA, 0xBB}},
        {"text after the checksum", "S1050010AABB85 trailing text\n", 1, 0x0010, {0xAA, 0xBB}},
        {"70-character image line", strImageLine, 1, 0x001E, Sequence(0xE0, 30)},
        {"count 69", FormatS1(0xF800, Sequence(1, 66)) + "\n", 1, 0xF800, Sequence(1, 66)},
        {"largest count, FF", FormatS1(0x2000, Sequence(0, 252)), 1, 0x2000, Sequence(0, 252)},
        {"S2 inside 64 KB", "S20600FFFE0102F9", 2, 0xFFFE, {1, 2}},
        {"S3 inside 64 KB", "S3060000200011C8", 3, 0x2000, {0x11}},
        {"S5 count", "S5030001FB", 5, 0x0001, {}},
        {"S7 end", "S70500001000EA", 7, 0x1000, {}},
        {"S8 end", "S804001000EB", 8, 0x1000, {}},
        {"short address field", "S1030 12\n", 1, 0x0000, {}},
        {"short last data byte", "S1040000A", 1, 0x0000, {0x0A}},
    };
}

TEST(ParseSRecordString, AcceptsEveryRecordTypeButS4) {
    for (const AcceptedLine &line : AcceptedLines()) {
        SCOPED_TRACE(line.pszWhat);
        ParseOutcome outcome = Parse(line.strLine);
        EXPECT_EQ(outcome.fResult, 1);
        EXPECT_EQ(outcome.strStderr, "");
        EXPECT_EQ(outcome.record.wType, line.wType);
        EXPECT_EQ(outcome.record.wAddress, line.wAddress);
        EXPECT_EQ(RecordData(outcome.record), line.data);
    }
}

// ---------------------------------------------------------------------------------------------
// Lines that are refused, each with its one message (or none).

struct RefusedLine {
    const char *pszWhat;
    std::string strLine;
    std::string strStderr;
};

std::vector<RefusedLine> RefusedLines() {
    const std::string strTen = "S1131000" + std::string("0102030405060708090A") + "D2";
    return {
        {"empty line", "", ""},
        {"blank line", "\n", ""},
        {"leading space", " S1050010AABB85\n", ""},
        {"comment", "# S1050010AABB85\n", ""},
        {"S alone", "S", Message("Invalid S record type (S)\n")},
        {"S and newline", "S\n", Message("Invalid S record type (S\n)\n")},
        {"letter as type", "SX050010AABB85\n",
         Message("Invalid S record type (SX050010AABB85\n)\n")},
        {"S1 alone", "S1", Message("Invalid length (S1)\n")},
        {"S1 and newline", "S1\n", Message("Invalid length (S1\n)\n")},
        {"count not hex", "S1Z50010AABB85\n", Message("Invalid length (S1Z50010AABB85\n)\n")},
        {"count 00", "S1000000\n", Message("Invalid count 0, must be 3 to 255 (S1000000\n)\n")},
        {"count 02", "S1020000FD\n", Message("Invalid count 2, must be 3 to 255 (S1020000FD\n)\n")},
        {"S3 count 04", "S30400000000FB",
         Message("Invalid count 4, must be 5 to 255 (S30400000000FB)\n")},
        {"count FF, cut", "S1FF0000\n", Message("String truncated (S1FF0000\n)\n")},
        {"S2 beyond $FFFF", "S2060100000102F5",
         Message("S2 record at $010000 lies beyond $FFFF (S2060100000102F5)\n")},
        {"S3 running past $FFFF", "S3070000FFFF0102F7",
         Message("S3 record at $0000FFFF lies beyond $FFFF (S3070000FFFF0102F7)\n")},
        {"18 characters after the count 13", "S1131000" + std::string("01020304050607"),
         Message("String truncated (S113100001020304050607)\n")},
        {"19 characters after the count 13", "S1131000" + std::string("01020304050607") + "\n",
         Message("Parse error (S113100001020304050607\n) at \n\n")},
        {"truncated after count", "S105", Message("String truncated (S105)\n")},
        {"address not hex", "S103XYZW\n", Message("Invalid address (S103XYZW\n)\n")},
        {"address blank", "S103   \n", Message("Invalid address (S103   \n)\n")},
        {"ten of sixteen bytes, newline", strTen + "\n",
         Message("Parse error (" + strTen + "\n) at \n\n")},
        {"ten of sixteen bytes, no newline", strTen, Message("Parse error (" + strTen + ") at \n")},
        {"data runs past the end", strTen + "F", Message("Parse error (" + strTen + "F) at \n")},
        {"non-hex data", "S1051000AAZZ00\n", Message("Parse error (S1051000AAZZ00\n) at ZZ00\n\n")},
    };
}

TEST(ParseSRecordString, RefusesWithExactlyOneMessage) {
    for (const RefusedLine &line : RefusedLines()) {
        SCOPED_TRACE(line.pszWhat);
        ParseOutcome outcome = Parse(line.strLine);
        EXPECT_EQ(outcome.fResult, 0);
        EXPECT_EQ(outcome.strStderr, line.strStderr);
    }
}

// The line ends at its terminating zero even when digits follow in the caller's buffer.
TEST(ParseSRecordString, NeverReadsPastTheLineEnd) {
    using namespace std::string_literals;
    const std::string strTen = "S1131000"s + "0102030405060708090A" + "D2";
    const RefusedLine kCases[] = {
        {"type field at the end", "S\0"s + "1030000FC", Message("Invalid S record type (S)\n")},
        {"count field at the end", "S1\0"s + "030000FC", Message("Invalid length (S1)\n")},
        {"count cut short", "S11\0"s + "30000",
         Message("Invalid count 1, must be 3 to 255 (S11)\n")},
        {"nothing after the count", "S103\0"s + "0000FC", Message("String truncated (S103)\n")},
        {"data field at the end", "S1040000\0"s + "AB", Message("Parse error (S1040000) at \n")},
        {"data field past the end", strTen + "F\0"s + std::string(40, 'A'),
         Message("Parse error (" + strTen + "F) at \n")},
    };
    for (const RefusedLine &line : kCases) {
        SCOPED_TRACE(line.pszWhat);
        ParseOutcome outcome = Parse(line.strLine);
        EXPECT_EQ(outcome.fResult, 0);
        EXPECT_EQ(outcome.strStderr, line.strStderr);
    }
}

TEST(ParseSRecordString, RefusesTheTypeThatDoesNotExist) {
    for (char cType : std::string("4")) {
        std::string strLine = std::string("S") + cType + "030000FC\n";
        SCOPED_TRACE(strLine);
        ParseOutcome outcome = Parse(strLine);
        EXPECT_EQ(outcome.fResult, 0);
        EXPECT_EQ(outcome.strStderr, Message(std::string("Unknown S record type = ") + cType +
                                             " (" + strLine + ")\n"));
        EXPECT_EQ(outcome.record.wType, cType - '0');  // stored before it is refused
    }
}

// No count can store past the record's data room into whatever follows it.
TEST(ParseSRecordString, NeverWritesPastTheDataRoom) {
    struct Guarded {
        SRecord record;
        uint8_t bGuard[256];
    } guarded;
    for (size_t dwLength : {66u, 67u, 100u, 252u}) {
        std::memset(&guarded, 0x5A, sizeof guarded);
        std::string strLine = FormatS1(0x2000, std::vector<uint8_t>(dwLength, 0xA5)) + "\n";
        testing::internal::CaptureStderr();
        int fResult = ParseSRecordString(strLine.c_str(), &guarded.record);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(fResult, dwLength <= SRECORD_DATA_ROOM ? 1 : 0) << dwLength;
        EXPECT_EQ(std::count(guarded.bGuard, std::end(guarded.bGuard), 0x5A), 256) << dwLength;
    }
}

// ---------------------------------------------------------------------------------------------
// The writer's own contract.

TEST(FormatS1Record, WritesUpperCaseDigitsWithoutSpaces) {
    std::mt19937 rng(3);
    const std::regex kShape("S1[0-9A-F]+");
    for (size_t dwLength : {0u, 1u, 30u, 66u, 252u}) {
        std::string strLine = FormatS1(static_cast<uint16_t>(rng()), RandomBytes(rng, dwLength));
        EXPECT_TRUE(std::regex_match(strLine, kShape)) << strLine;
        EXPECT_EQ(strLine.size(), 10 + 2 * dwLength) << strLine;
    }
}

TEST(FormatS1Record, RefusesWhatDoesNotFit) {
    const std::vector<uint8_t> bytes(SRECORD_MAX_DATA_PER_LINE + 1, 0x11);
    char szLine[SRECORD_LINE_ROOM + 2];
    struct Case {
        size_t dwLength;
        size_t cchLine;
        int fResult;
        const char *pszStderr;
    } const kCases[] = {
        {252, SRECORD_LINE_ROOM, 1, ""},
        {253, sizeof szLine, 0, "FormatS1Record: 253 data bytes, at most 252 fit one record\n"},
        {4, 19, 1, ""},
        {4, 18, 0, "FormatS1Record: Line room of 18 characters, 19 needed\n"},
        {0, 0, 0, "FormatS1Record: Line room of 0 characters, 11 needed\n"},
    };
    for (const Case &c : kCases) {
        std::memset(szLine, '#', sizeof szLine);
        testing::internal::CaptureStderr();
        EXPECT_EQ(FormatS1Record(0x1000, bytes.data(), c.dwLength, szLine, c.cchLine), c.fResult);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.pszStderr);
        if (c.cchLine < sizeof szLine) {
            EXPECT_EQ(szLine[c.cchLine], '#') << "wrote past the room of " << c.cchLine;
        }
    }
}

TEST(FormatS9Record, WritesTheEndRecord) {
    char szLine[11];
    ASSERT_EQ(FormatS9Record(0x0000, szLine, sizeof szLine), 1);
    EXPECT_STREQ(szLine, "S9030000FC");
    testing::internal::CaptureStderr();
    EXPECT_EQ(FormatS9Record(0x0000, szLine, sizeof szLine - 1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "FormatS9Record: Line room of 10 characters, 11 needed\n");
}

struct LineSpan {
    uint16_t wAddress;
    uint16_t wLength;
    bool operator==(const LineSpan &other) const {
        return wAddress == other.wAddress && wLength == other.wLength;
    }
};

std::ostream &operator<<(std::ostream &os, const LineSpan &span) {
    return os << std::hex << "$" << span.wAddress << "+" << std::dec << span.wLength;
}

std::string ReadFileText(const std::string &strPath) {
    std::ifstream file(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::string> SplitLines(const std::string &strText) {
    std::vector<std::string> lines;
    size_t iStart = 0;
    for (size_t iEnd; (iEnd = strText.find('\n', iStart)) != std::string::npos; iStart = iEnd + 1)
        lines.push_back(strText.substr(iStart, iEnd + 1 - iStart));
    if (iStart < strText.size()) lines.push_back(strText.substr(iStart));
    return lines;
}

// Writes the bytes with WriteS1Lines into a memory stream and returns its text.
std::string WriteLinesToText(uint16_t wAddress, const std::vector<uint8_t> &bytes, size_t dwPerLine,
                             int *pfResult) {
    char *pszText = nullptr;
    size_t cchText = 0;
    FILE *pFile = open_memstream(&pszText, &cchText);
    *pfResult = WriteS1Lines(pFile, wAddress, bytes.data(), bytes.size(), dwPerLine);
    fclose(pFile);
    std::string strText(pszText, cchText);
    free(pszText);
    return strText;
}

TEST(WriteS1Lines, SplitsAtTheLineLengthAndAtTheWrap) {
    struct Case {
        uint16_t wAddress;
        size_t dwLength;
        size_t dwPerLine;
        std::vector<LineSpan> spans;
    } const kCases[] = {
        {0x1000, 40, 16, {{0x1000, 16}, {0x1010, 16}, {0x1020, 8}}},
        {0x2000, 32, 32, {{0x2000, 32}}},
        {0xFFF0, 40, 16, {{0xFFF0, 16}, {0x0000, 16}, {0x0010, 8}}},
        {0xFFF8, 20, 16, {{0xFFF8, 8}, {0x0000, 12}}},
        {0xFFFF, 2, 16, {{0xFFFF, 1}, {0x0000, 1}}},
        {0x0100, 3, 1, {{0x0100, 1}, {0x0101, 1}, {0x0102, 1}}},
        {0x0100, 0, 16, {}},
    };
    std::mt19937 rng(5);
    for (const Case &c : kCases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.wAddress << " " << c.dwLength);
        std::vector<uint8_t> bytes = RandomBytes(rng, c.dwLength);
        int fResult = 0;
        std::vector<std::string> lines =
            SplitLines(WriteLinesToText(c.wAddress, bytes, c.dwPerLine, &fResult));
        EXPECT_EQ(fResult, 1);
        std::vector<LineSpan> spans;
        std::vector<uint8_t> written;
        for (const std::string &strLine : lines) {
            ParseOutcome outcome = Parse(strLine);
            ASSERT_EQ(outcome.fResult, 1) << strLine;
            spans.push_back({outcome.record.wAddress, outcome.record.wLength});
            std::vector<uint8_t> data = RecordData(outcome.record);
            written.insert(written.end(), data.begin(), data.end());
        }
        EXPECT_EQ(spans, c.spans);
        EXPECT_EQ(written, bytes);
    }
}

TEST(WriteS1Lines, RefusesLineLengthsThatDoNotFit) {
    const uint8_t bytes[4] = {1, 2, 3, 4};
    for (size_t dwPerLine : {0u, 253u}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(WriteS1Lines(stdout, 0, bytes, sizeof bytes, dwPerLine), 0);
        EXPECT_EQ(
            testing::internal::GetCapturedStderr(),
            "WriteS1Lines: " + std::to_string(dwPerLine) + " bytes per line, must be 1 to 252\n");
    }
}

TEST(WriteS1Lines, ReportsAWriteError) {
    FILE *pFile = fopen("/dev/full", "w");
    if (pFile == nullptr) GTEST_SKIP() << "no /dev/full";
    setvbuf(pFile, nullptr, _IONBF, 0);
    const uint8_t bytes[4] = {1, 2, 3, 4};
    testing::internal::CaptureStderr();
    EXPECT_EQ(WriteS1Lines(pFile, 0xF800, bytes, sizeof bytes, 16), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WriteS1Lines: Can't write the record at $F800\n");
    fclose(pFile);
}

// ---------------------------------------------------------------------------------------------
// Cross-checks against srec_cat, an independent reader and writer of S-records.

const std::string kSrecCat = SREC_CAT_PATH;

// A 64 KiB memory image; -1 marks an address that holds no byte.
using Image = std::vector<int>;

class SrecCatCrossCheck : public testing::Test {
  protected:
    void SetUp() override {
        if (kSrecCat.empty()) SKIP_FOR_MISSING_TOOL("srec_cat not found");
        char szTemplate[] = "/tmp/test_srecord.XXXXXX";
        ASSERT_NE(mkdtemp(szTemplate), nullptr);
        strDirectory = szTemplate;
    }
    void TearDown() override {
        if (!strDirectory.empty()) std::filesystem::remove_all(strDirectory);
    }

    std::string PathOf(const std::string &strName) const { return strDirectory + "/" + strName; }

    // Runs srec_cat with the arguments; its warnings (no header record, and so on) are kept
    // out of the test's output unless it fails.
    void RunSrecCat(const std::string &strArguments) const {
        std::string strLog = PathOf("srec_cat.log");
        int nStatus = std::system((kSrecCat + " " + strArguments + " 2>'" + strLog + "'").c_str());
        ASSERT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0)
            << "srec_cat " << strArguments << "\n"
            << ReadFileText(strLog);
    }

    std::string strDirectory;
};

void WriteFileText(const std::string &strPath, const std::string &strText) {
    std::ofstream(strPath, std::ios::binary) << strText;
}

// Parses every line with our parser into an image; every line must parse.
Image ParseLinesIntoImage(const std::string &strText) {
    Image image(0x10000, -1);
    for (const std::string &strLine : SplitLines(strText)) {
        ParseOutcome outcome = Parse(strLine);
        EXPECT_EQ(outcome.fResult, 1) << strLine << outcome.strStderr;
        if (outcome.record.wType != 1) continue;
        for (size_t i = 0; i < outcome.record.wLength; i++)
            image[(outcome.record.wAddress + i) & 0xFFFF] = outcome.record.bData[i];
    }
    return image;
}

// srec_cat's binary output starts at address 0 and leaves the holes zero.
void ExpectBinaryHoldsImage(const std::string &strBinary, const Image &image) {
    size_t dwEnd = 0;
    for (size_t a = 0; a < image.size(); a++)
        if (image[a] >= 0) dwEnd = a + 1;
    ASSERT_EQ(strBinary.size(), dwEnd);
    for (size_t a = 0; a < dwEnd; a++)
        ASSERT_EQ(static_cast<uint8_t>(strBinary[a]), image[a] < 0 ? 0 : image[a])
            << "at $" << std::hex << a;
}

// Random blocks at random addresses below $10000; a block stops where it meets another.
Image RandomImage(std::mt19937 &rng, size_t dwBlocks, size_t dwMaxBlock) {
    Image image(0x10000, -1);
    for (size_t n = 0; n < dwBlocks; n++) {
        size_t dwStart = rng() % image.size(), dwLength = 1 + rng() % dwMaxBlock;
        for (size_t a = dwStart; a < dwStart + dwLength && a < image.size() && image[a] < 0; a++)
            image[a] = static_cast<uint8_t>(rng());
    }
    return image;
}

// Compares two images by their first difference, not by printing 64 KiB.
void ExpectSameImage(const Image &actual, const Image &expected) {
    auto mismatch = std::mismatch(actual.begin(), actual.end(), expected.begin());
    EXPECT_TRUE(mismatch.first == actual.end())
        << "first difference at $" << std::hex << (mismatch.first - actual.begin()) << ": "
        << std::dec << *mismatch.first << " instead of " << *mismatch.second;
}

// Our FormatS1Record lines, one record per run of bytes of at most dwMax, in random order.
std::string FormatImageAsRecords(std::mt19937 &rng, const Image &image, size_t dwMax) {
    std::vector<std::string> lines;
    for (size_t a = 0; a < image.size();) {
        std::vector<uint8_t> data;
        size_t dwLimit = 1 + rng() % dwMax;
        while (a + data.size() < image.size() && image[a + data.size()] >= 0 &&
               data.size() < dwLimit)
            data.push_back(static_cast<uint8_t>(image[a + data.size()]));
        if (data.empty()) {
            a++;
            continue;
        }
        lines.push_back(FormatS1(static_cast<uint16_t>(a), data) + "\n");
        a += data.size();
    }
    std::shuffle(lines.begin(), lines.end(), rng);
    std::string strText;
    for (const std::string &strLine : lines) strText += strLine;
    return strText;
}

// srec_cat checks every count and checksum of our records and must find the same bytes there
// as our parser does.
TEST_F(SrecCatCrossCheck, SrecCatReadsOurRecordsAsOurParserDoes) {
    std::mt19937 rng(1);
    for (int nFile = 0; nFile < 12; nFile++) {
        SCOPED_TRACE(testing::Message() << "file " << nFile);
        Image image = RandomImage(rng, 1 + rng() % 12, 400);
        std::string strText = FormatImageAsRecords(rng, image, 66);
        char szEnd[SRECORD_LINE_ROOM];
        ASSERT_EQ(FormatS9Record(0, szEnd, sizeof szEnd), 1);
        WriteFileText(PathOf("in.s19"), strText + szEnd + "\n");
        ASSERT_NO_FATAL_FAILURE(
            RunSrecCat("'" + PathOf("in.s19") + "' -o '" + PathOf("out.bin") + "' -binary"));
        ExpectSameImage(ParseLinesIntoImage(strText), image);
        ExpectBinaryHoldsImage(ReadFileText(PathOf("out.bin")), image);
    }
}

// The dump writer's lines, wrap included, as srec_cat reads them.
TEST_F(SrecCatCrossCheck, SrecCatReadsOurDumpLines) {
    std::mt19937 rng(2);
    for (int nFile = 0; nFile < 12; nFile++) {
        SCOPED_TRACE(testing::Message() << "file " << nFile);
        uint16_t wAddress = nFile % 3 == 0 ? static_cast<uint16_t>(0xFF00 + rng() % 0x100)
                                           : static_cast<uint16_t>(rng());
        std::vector<uint8_t> bytes = RandomBytes(rng, 1 + rng() % 1500);
        int fResult = 0;
        std::string strText = WriteLinesToText(wAddress, bytes, 1 + rng() % 252, &fResult);
        ASSERT_EQ(fResult, 1);
        WriteFileText(PathOf("dump.s19"), strText);
        ASSERT_NO_FATAL_FAILURE(
            RunSrecCat("'" + PathOf("dump.s19") + "' -o '" + PathOf("out.bin") + "' -binary"));
        Image image(0x10000, -1);
        for (size_t i = 0; i < bytes.size(); i++) image[(wAddress + i) & 0xFFFF] = bytes[i];
        ExpectBinaryHoldsImage(ReadFileText(PathOf("out.bin")), image);
    }
}

// srec_cat writes random binary data as S-records (with its S0 header, S9 end record and a
// random line length); our parser reads back exactly those bytes.
TEST_F(SrecCatCrossCheck, ParserReadsSrecCatRecords) {
    std::mt19937 rng(4);
    for (int nFile = 0; nFile < 12; nFile++) {
        SCOPED_TRACE(testing::Message() << "file " << nFile);
        std::vector<uint8_t> bytes = RandomBytes(rng, 1 + rng() % 2000);
        size_t dwOffset = rng() % (0x10000 - bytes.size());
        WriteFileText(PathOf("in.bin"), std::string(bytes.begin(), bytes.end()));
        std::string strArguments =
            "'" + PathOf("in.bin") + "' -binary -offset " + std::to_string(dwOffset) + " -o '" +
            PathOf("out.s19") + "' -address-length=2 -disable=data-count" +
            " -execution-start-address=0 -obs=" + std::to_string(1 + rng() % 66);
        if (nFile % 2) strArguments += " -line-termination=crlf";
        ASSERT_NO_FATAL_FAILURE(RunSrecCat(strArguments));
        Image image(0x10000, -1);
        for (size_t i = 0; i < bytes.size(); i++) image[dwOffset + i] = bytes[i];
        ExpectSameImage(ParseLinesIntoImage(ReadFileText(PathOf("out.s19"))), image);
    }
}

// The end record for any address, as srec_cat writes its execution start address.
TEST_F(SrecCatCrossCheck, EndRecordMatchesSrecCat) {
    std::mt19937 rng(6);
    for (int n = 0; n < 6; n++) {
        uint16_t wAddress = static_cast<uint16_t>(rng());
        std::string strArguments = "-generate 0 1 -constant 0 -o '" + PathOf("end.s19") +
                                   "' -address-length=2 -disable=header -disable=data-count" +
                                   " -execution-start-address=" + std::to_string(wAddress);
        ASSERT_NO_FATAL_FAILURE(RunSrecCat(strArguments));
        std::vector<std::string> lines = SplitLines(ReadFileText(PathOf("end.s19")));
        ASSERT_FALSE(lines.empty());
        char szEnd[SRECORD_LINE_ROOM];
        ASSERT_EQ(FormatS9Record(wAddress, szEnd, sizeof szEnd), 1);
        EXPECT_EQ(std::string(szEnd) + "\n", lines.back());
    }
}

}  // namespace
