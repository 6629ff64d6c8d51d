// The input image: the same program from S19, Intel HEX and ELF as the toolchain writes them,
// the rules every format shares and their messages, the walks the writers make, and the
// read-back formats as srec_cat reads them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "missing_tool.h"
#include "program_image.h"

namespace {

const RefusedRange kTalkerRam[] = {{0x0000, 0x00FF, "the RAM the talker runs in"}};
const RefusedRange kE9Map[] = {
    {0x0000, 0x01FF, "RAM"}, {0x1000, 0x103F, "registers"}, {0xB600, 0xB7FF, "EEPROM"}};

std::string ReadFileText(const std::string &strPath) {
    std::ifstream file(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The image as one value per address, -1 where it holds no byte.
std::vector<int> BytesOf(const ProgramImage &image) {
    std::vector<int> bytes(IMAGE_ADDRESS_SPACE, -1);
    for (size_t a = 0; a < bytes.size(); a++)
        if (image.rgbState[a] != BYTE_ABSENT) bytes[a] = image.rgbValue[a];
    return bytes;
}

std::string SourceName(const ProgramImage &image, uint16_t wAddress) {
    const ImageSource *pSource = ImageSourceOf(&image, wAddress);
    if (pSource == nullptr) return "none";
    char szText[80];
    FormatImageSource(&image, pSource, szText, sizeof szText);
    return szText;
}

class ProgramImageTest : public testing::Test {
  protected:
    void SetUp() override {
        char szTemplate[] = "/tmp/test_program_image.XXXXXX";
        ASSERT_NE(mkdtemp(szTemplate), nullptr);
        strDirectory = szTemplate;
        rules.prgRefused = kTalkerRam;
        rules.dwRefused = 1;
    }
    void TearDown() override { std::filesystem::remove_all(strDirectory); }

    std::string PathOf(const std::string &strName) const { return strDirectory + "/" + strName; }

    // Loads the text as the file strName; the message the load printed, if any.
    std::string Load(const std::string &strName, const std::string &strText,
                     ProgramImage *pInto = nullptr) {
        std::ofstream(PathOf(strName), std::ios::binary) << strText;
        return LoadPath(PathOf(strName), pInto);
    }
    std::string LoadPath(const std::string &strPath, ProgramImage *pInto = nullptr) {
        testing::internal::CaptureStderr();
        fResult = LoadProgramImage(strPath.c_str(), &rules, pInto ? pInto : pImage.get());
        return testing::internal::GetCapturedStderr();
    }
    // What the file's line says in a message: "<path> line N: ".
    std::string Where(const std::string &strName, int nLine) const {
        return PathOf(strName) + " line " + std::to_string(nLine) + ": ";
    }

    std::string strDirectory;
    ImageRules rules = {};
    std::unique_ptr<ProgramImage> pImage = std::make_unique<ProgramImage>();
    int fResult = 0;
};

// ---------------------------------------------------------------------------------------------
// One program, every format the toolchain writes, one image.

#ifdef IMAGE_FIXTURE_DIR
const std::string kFixtureDir = IMAGE_FIXTURE_DIR;
#else
const std::string kFixtureDir;
#endif

TEST_F(ProgramImageTest, TheToolchainsFormatsGiveOneImage) {
    if (kFixtureDir.empty())
        SKIP_FOR_MISSING_TOOL("the 68HC11 binutils or srec_cat are not installed");
    struct Fixture {
        const char *pszName;
        uint16_t wCode, wData;  // .data's load address: after the code, or its own
    } const kFixtures[] = {{"at_f800", 0xF800, 0xF854}, {"at_2000", 0x2000, 0x2100}};
    const std::vector<int> kData = {0x12, 0x34, 0xA5, 0x5A, 0xC3};
    for (const Fixture &fixture : kFixtures) {
        SCOPED_TRACE(fixture.pszName);
        std::string strBase = kFixtureDir + "/" + fixture.pszName;
        ASSERT_EQ(LoadPath(strBase + ".s19"), "");
        ASSERT_EQ(fResult, 1);
        std::vector<int> expected = BytesOf(*pImage);
        EXPECT_EQ(std::vector<int>(&expected[fixture.wData], &expected[fixture.wData + 5]), kData);
        EXPECT_EQ(pImage->dwBytes, 0x54u + 5u);
        for (const char *pszExtension : {".elf", ".hex", ".ihx"}) {
            SCOPED_TRACE(pszExtension);
            auto pOther = std::make_unique<ProgramImage>();
            ASSERT_EQ(LoadPath(strBase + pszExtension, pOther.get()), "");
            ASSERT_EQ(fResult, 1);
            EXPECT_TRUE(BytesOf(*pOther) == expected);
            EXPECT_EQ(pOther->dwBytes, pImage->dwBytes);
        }
    }
}

// The ELF file's segments start with its headers ($F000) or cover the gap between the
// sections ($2054-$20FF): none of that is loaded; messages name the section.
TEST_F(ProgramImageTest, ElfLoadsSectionsNotSegments) {
    if (kFixtureDir.empty())
        SKIP_FOR_MISSING_TOOL("the 68HC11 binutils or srec_cat are not installed");
    ASSERT_EQ(LoadPath(kFixtureDir + "/at_f800.elf"), "");
    EXPECT_EQ(pImage->eFormat, IMAGE_ELF);
    EXPECT_EQ(SourceName(*pImage, 0xF7FF), "none");
    EXPECT_EQ(SourceName(*pImage, 0xF853), "section .text");
    EXPECT_EQ(SourceName(*pImage, 0xF854), "section .data");
    EXPECT_EQ(ImageSourceOf(pImage.get(), 0xF856)->wAddress, 0xF854);
    EXPECT_EQ(pImage->dwDots, 2u);  // one per section
    ASSERT_EQ(LoadPath(kFixtureDir + "/at_2000.elf"), "");
    EXPECT_EQ(SourceName(*pImage, 0x2054), "none");
    EXPECT_EQ(SourceName(*pImage, 0x20FF), "none");

    rules.prgAllowed = kE9Map;
    rules.dwAllowed = 3;
    rules.pszMapName = "the E9's memory map";
    std::string strPath = kFixtureDir + "/at_2000.elf";
    EXPECT_EQ(LoadPath(strPath),
              strPath +
                  " section .text: data at $2000 writes $2000, outside the E9's memory map "
                  "($0000-$01FF RAM, $1000-$103F registers, $B600-$B7FF EEPROM)\n");
    EXPECT_EQ(fResult, 0);
}

void PutBe32(std::string *pstrBytes, size_t dwOffset, uint32_t dwValue) {
    for (int i = 0; i < 4; i++)
        (*pstrBytes)[dwOffset + i] = static_cast<char>(dwValue >> (24 - 8 * i));
}

uint32_t Be32At(const std::string &strBytes, size_t dwOffset) {
    uint32_t dwValue = 0;
    for (int i = 0; i < 4; i++)
        dwValue = dwValue << 8 | static_cast<uint8_t>(strBytes[dwOffset + i]);
    return dwValue;
}

TEST_F(ProgramImageTest, ElfFilesThatCannotBeLoadedAreRefused) {
    if (kFixtureDir.empty())
        SKIP_FOR_MISSING_TOOL("the 68HC11 binutils or srec_cat are not installed");
    const std::string strElf = ReadFileText(kFixtureDir + "/at_f800.elf");
    const std::string strPath = PathOf("x.elf");
    std::string strOtherMachine = strElf;
    strOtherMachine[19] = 53;  // the 68HC12
    std::string strLittle = strElf;
    strLittle[5] = 1;
    // The one segment over both sections loaded at $FFF0: the sections follow it there.
    std::string strHigh = ReadFileText(kFixtureDir + "/at_2000.elf");
    PutBe32(&strHigh, Be32At(strHigh, 28) + 12, 0xFFF0);
    // .text's contents placed past the file's end.
    std::string strFar = strElf;
    PutBe32(&strFar, Be32At(strFar, 32) + 40 + 16, 0x10000);
    const struct {
        const char *pszWhat;
        std::string strContent, strErr;
    } kCases[] = {
        {"another machine", strOtherMachine,
         "File Error: " + strPath + " is an ELF file for machine 53, not the 68HC11 (70)\n"},
        {"little-endian", strLittle,
         "File Error: " + strPath +
             " is an ELF file but not 32-bit big-endian, as 68HC11 ones are\n"},
        {"loaded beyond $FFFF", strHigh,
         strPath + " section .text: loaded at $FFF0 lies beyond $FFFF\n"},
        {"contents beyond the end", strFar,
         strPath + " section .text: contents for $F800 lie beyond the file's end\n"},
        {"header cut", strElf.substr(0, 40),
         "File Error: " + strPath + " is an ELF file cut short\n"},
        {"tables cut", strElf.substr(0, strElf.size() - 10),
         "File Error: " + strPath + " is an ELF file whose header tables lie beyond its end\n"},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.pszWhat);
        EXPECT_EQ(Load("x.elf", c.strContent), c.strErr);
        EXPECT_EQ(fResult, 0);
    }
}

// ---------------------------------------------------------------------------------------------
// The rules every format shares, with the reproducers of the issues.

TEST_F(ProgramImageTest, S19FilesAreRefusedNamingTheLine) {
    const std::string strFirst = "S113F800000102030405060708090A0B0C0D0E0F7C";
    const struct {
        const char *pszWhat;
        std::string strText, strErr;  // strErr after "<path> line N: "; empty: accepted
        int nLine;
    } kCases[] = {
        {"two values for one byte", strFirst + "\nS10BF808AAAAAAAAAAAAAAAAA4\n",
         "S1 record at $F808 gives $F808 the value AA where line 1 gave 08 "
         "(S10BF808AAAAAAAAAAAAAAAAA4)\n",
         2},
        {"the same value twice", strFirst + "\n" + strFirst + "\n", "", 0},
        {"hex digits after the count's end", "S105F8000102FF030405060708090A0B\n",
         "S1 record at $F800 goes on in hex digits after its checksum: its count ($05) ends "
         "before them (S105F8000102FF030405060708090A0B)\n",
         1},
        {"other text after the checksum", "S105F8000102FF ; a comment\n", "", 0},
        {"S5 count too large", strFirst + "\nS5030002FA\nS9030000FC\n",
         "S5 record counts 2 data records, the file holds 1 before it (S5030002FA)\n", 2},
        {"S5 count right", strFirst + "\nS5030001FB\nS9030000FC\n", "", 0},
        {"S6 count wrong", strFirst + "\nS604000000FB\n",
         "S6 record counts 0 data records, the file holds 1 before it (S604000000FB)\n", 2},
        {"the talker's RAM", "S0030000FC\nS1050010AABB85\n",
         "S1 record at $0010 writes into $0000-$00FF, the RAM the talker runs in "
         "(S1050010AABB85)\n",
         2},
        {"a wrap past $FFFF", "S105FFFFAABB97\n",
         "S1 record at $FFFF lies beyond $FFFF (S105FFFFAABB97)\n", 1},
        {"an S2 record up to $FFFF", "S20600FFFEAABB97\n", "", 0},
        {"an S1 record up to $FFFF", "S107FFFC01020304F3\n", "", 0},
        {"S1 at $FFFE with 4 bytes", "S107FFFE01020304F1\n",
         "S1 record at $FFFE lies beyond $FFFF (S107FFFE01020304F1)\n", 1},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.pszWhat);
        std::string strErr = Load("f.s19", c.strText);
        EXPECT_EQ(strErr, c.strErr.empty() ? "" : Where("f.s19", c.nLine) + c.strErr);
        EXPECT_EQ(fResult, c.strErr.empty() ? 1 : 0);
    }
}

// Today's check and the image refuse the same S19 files with the same words.
TEST_F(ProgramImageTest, S19MessagesAreTheWholeFileChecksOwn) {
    const std::string kTexts[] = {
        "S1050010AABB85\n",           "S1131000010203\n",   "S1050010AABB00\n",
        "S1050010AABB85S9030000FC\n", "S1051000AAZZ00\n",   "S4030000FC\n",
        "S1050010AABB85\rS1\n",       "S2060100000102F5\n", "S105F8000102FF030405060708090A0B\n",
    };
    for (const std::string &strText : kTexts) {
        SCOPED_TRACE(strText);
        std::string strErr = Load("same.s19", strText);
        EXPECT_EQ(fResult, 0);
        SRecordFile file;
        const std::string strPath = PathOf("same.s19");  // the file keeps its name
        ASSERT_EQ(ReadSRecordFile(strPath.c_str(), &file), 1);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(CheckSRecordFile(&file, kTalkerRam, 1), 0);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(strErr, testing::internal::GetCapturedStderr());
    }
}

TEST_F(ProgramImageTest, AFileWithoutDataIsRefusedUnlessTheRunAllowsIt) {
    for (const std::string strText :
         {"", "\n", "S00600004844521B\nS9030000FC\n", ":00000001FF\n", "S1031234B6\n"}) {
        SCOPED_TRACE(strText);
        rules.fEmptyAllowed = 0;
        EXPECT_EQ(Load("empty.s19", strText),
                  "File Error: " + PathOf("empty.s19") + " holds no data records\n");
        EXPECT_EQ(fResult, 0);
        rules.fEmptyAllowed = 1;
        EXPECT_EQ(Load("empty.s19", strText), "");
        EXPECT_EQ(fResult, 1);
        EXPECT_EQ(pImage->dwBytes, 0u);
    }
}

TEST_F(ProgramImageTest, PartMapRefusesWhatLiesOutsideIt) {
    rules.prgAllowed = kE9Map;
    rules.dwAllowed = 3;
    rules.pszMapName = "the E9's memory map";
    EXPECT_EQ(Load("map.s19", "S107B7FE0102030439\n"),
              Where("map.s19", 1) +
                  "S1 record at $B7FE writes $B800, outside the E9's memory map ($0000-$01FF "
                  "RAM, $1000-$103F registers, $B600-$B7FF EEPROM) (S107B7FE0102030439)\n");
    EXPECT_EQ(fResult, 0);
    EXPECT_EQ(Load("map.s19", "S105B7FE010242\n"), "");
    EXPECT_EQ(fResult, 1);
}

TEST_F(ProgramImageTest, IntelHexRecordsAndTheirRefusals) {
    const std::string kEnd = ":00000001FF\n";
    const struct {
        const char *pszWhat;
        std::string strText, strErr;  // strErr after "<path> line N: "; empty: accepted
        int nLine;
    } kCases[] = {
        {"CR LF line ends", ":01080000AA4D\r\n" + kEnd, "", 0},
        {"a line too long", ":01080000AA4D" + std::string(520, ' ') + "x\n",
         "Line too long for an Intel HEX record (:01080000AA4D" + std::string(47, ' ') + "...)\n",
         1},
        {"segment base inside 16 bits", ":020000020F00ED\n:01080000AA4D\n" + kEnd, "", 0},
        {"linear base pushing beyond 16 bits", ":020000040001F9\n:0100000055AA\n" + kEnd,
         "data record at $10000 lies beyond $FFFF (:0100000055AA)\n", 2},
        {"segment base pushing beyond 16 bits", ":020000021000EC\n:0100000055AA\n",
         "data record at $10000 lies beyond $FFFF (:0100000055AA)\n", 2},
        {"data running past $FFFF", ":02FFFF00AABB9B\n",
         "data record at $0FFFF lies beyond $FFFF (:02FFFF00AABB9B)\n", 1},
        {"wrong checksum", ":01080000AA4E\n", "has a wrong checksum (:01080000AA4E)\n", 1},
        {"cut short", ":01080000AA\n", "is cut short (:01080000AA)\n", 1},
        {"hex digits after the checksum", ":01080000AA4D00\n",
         "goes on in hex digits after its checksum (:01080000AA4D00)\n", 1},
        {"no hex digit", ":01080000XA4D\n",
         "holds a character that is no hex digit (:01080000XA4D)\n", 1},
        {"type 06", ":00000006FA\n", "is of a record type that is not 00 to 05 (:00000006FA)\n", 1},
        {"base of one byte", ":0100000400FB\n",
         "record of type 04 has count 1, 2 expected (:0100000400FB)\n", 1},
        {"a record after the end", ":01080000AA4D\n" + kEnd + ":01080000AA4D\n",
         "follows the end record of line 2 (:01080000AA4D)\n", 3},
        {"an S record among them", ":01080000AA4D\nS1050010AABB85\n",
         "is no Intel HEX record (S1050010AABB85)\n", 2},
        {"two values for one byte", ":01F80000AA5D\n:01F8000055B2\n",
         "data record at $F800 gives $F800 the value 55 where line 1 gave AA (:01F8000055B2)\n", 2},
        {"the talker's RAM", ":01001000559A\n",
         "data record at $0010 writes into $0000-$00FF, the RAM the talker runs in "
         "(:01001000559A)\n",
         1},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.pszWhat);
        std::string strErr = Load("f.hex", c.strText);
        EXPECT_EQ(strErr, c.strErr.empty() ? "" : Where("f.hex", c.nLine) + c.strErr);
        EXPECT_EQ(fResult, c.strErr.empty() ? 1 : 0);
    }
    Load("f.hex", ":020000020F00ED\n:01080000AA4D\n" + kEnd);  // the segment base
    EXPECT_EQ(pImage->rgbValue[0xF800], 0xAA);
    EXPECT_EQ(SourceName(*pImage, 0xF800), "line 2");
}

TEST_F(ProgramImageTest, BinaryLoadsAtItsBaseOnlyWhenAskedFor) {
    std::string strBytes(70, '\0');
    for (size_t i = 0; i < strBytes.size(); i++) strBytes[i] = static_cast<char>(i * 7);
    strBytes[0] = ':';    // would read as Intel HEX by its content
    strBytes[69] = 0x1A;  // and a text's end-of-file mark is a byte like any other
    rules.fBinary = 1;
    rules.wBinaryBase = 0xF800;
    EXPECT_EQ(Load("f.bin", strBytes), "");
    ASSERT_EQ(fResult, 1);
    EXPECT_EQ(pImage->dwBytes, 70u);
    EXPECT_EQ(pImage->rgbValue[0xF844], 68 * 7 & 0xFF);
    EXPECT_EQ(pImage->rgbValue[0xF845], 0x1A);
    EXPECT_EQ(SourceName(*pImage, 0xF845), "offset $0040");
    EXPECT_EQ(pImage->dwDots, 3u);  // one per block of 32 bytes
    rules.wBinaryBase = 0xFFC0;
    EXPECT_EQ(Load("f.bin", strBytes), "File Error: " + PathOf("f.bin") +
                                           " holds 70 bytes: from $FFC0 they run past $FFFF\n");
    EXPECT_EQ(fResult, 0);
}

// strForm with each "%s" replaced by the next of the values, and each "<path>" by strPath.
std::string Fill(std::string strForm, std::vector<std::string> values,
                 const std::string &strPath = "<path>") {
    size_t iValue = 0;
    for (size_t i; iValue < values.size() && (i = strForm.find("%s")) != std::string::npos;)
        strForm.replace(i, 2, values[iValue++]);
    for (size_t i; (i = strForm.find("<path>")) != std::string::npos && strPath != "<path>";)
        strForm.replace(i, 6, strPath);
    return strForm;
}

// What the content shows decides: --base is refused for a file that is S19, Intel HEX or ELF
// by its content (its text would be programmed as bytes), and a file that is none of them and
// fails as S19 is told about --base. An Intel HEX file must end with its end record.
TEST_F(ProgramImageTest, TheFilesFormDecidesBeforeAnyByteIsTaken) {
    const std::string kRecords = ":01F80000AA5D\n:01F80100BB4B\n";
    const std::string kBase =
        "File Error: <path> is %s file by its content: --base is for raw "
        "binaries only\n";
    const std::string kCutShort =
        "<path> line %s: is the last line, and no end record (:00000001FF) came: the file is "
        "cut short (%s)\n";
    const struct {
        const char *pszWhat;
        std::string strText;
        int fBinary;
        std::string strErr;  // "<path>" stands for the file's; empty: accepted
    } kCases[] = {
        {"S19 with --base", "S105F800AABB95\n", 1, Fill(kBase, {"an S-record"})},
        {"lower-case S19 after blank lines", "\n \ns105F800AABB95\n", 1,
         Fill(kBase, {"an S-record"})},
        {"Intel HEX with --base", kRecords + ":00000001FF\n", 1, Fill(kBase, {"an Intel HEX"})},
        {"ELF with --base",
         std::string("\x7F"
                     "ELF\x01\x02",
                     6),
         1, Fill(kBase, {"an ELF"})},
        {"a colon without hex digits, with --base", ":\x07\x10", 1, ""},
        {"an S without a type digit, with --base", "SX\x10", 1, ""},
        {"garbage without --base", "\x01\x02garbage\n", 0,
         "<path> line 1: Can't parse S record (\\x01\\x02garbage)\n<path> is no S19, Intel HEX or "
         "ELF file: a raw binary needs --base ADDR\n"},
        {"Intel HEX cut short", kRecords + "\n", 0, Fill(kCutShort, {"2", ":01F80100BB4B"})},
        {"Intel HEX ending in a start record", kRecords + ":0400000500000000F7\n", 0,
         Fill(kCutShort, {"3", ":0400000500000000F7"})},
        {"Intel HEX whole", kRecords + ":00000001FF\n\n", 0, ""},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.pszWhat);
        rules.fBinary = c.fBinary;
        rules.wBinaryBase = 0xF800;
        std::string strErr = Load("f.in", c.strText);
        EXPECT_EQ(strErr, Fill(c.strErr, {}, PathOf("f.in")));
        EXPECT_EQ(fResult, c.strErr.empty() ? 1 : 0);
    }
}

// ---------------------------------------------------------------------------------------------
// The walks of the writers.

std::vector<std::pair<int, int>> RunsOf(const ProgramImage &image, const ImageWalk &walk) {
    std::vector<std::pair<int, int>> runs;
    ImageRun run;
    for (uint32_t dw = 0; NextImageRun(&image, &walk, dw, &run); dw = run.wFirst + run.dwLength)
        runs.push_back({run.wFirst, static_cast<int>(run.dwLength)});
    return runs;
}

// Records in any order, any length, make one run per stretch of present bytes, cut at the
// caller's bounds and length.
TEST_F(ProgramImageTest, RunsFollowAddressesNotRecords) {
    const std::string strText =
        "S00600004844521B\n"
        "S107B7FE0102030439\n"  // $B7FE-$B801, across the EEPROM's end
        "S105B7FC0A0B32\n"      // $B7FC-$B7FD, before it
        "S1050010AABB85\n"
        "S9030000FC\n";
    rules.dwRefused = 0;
    ASSERT_EQ(Load("runs.s19", strText), "");
    const uint32_t kBounds[] = {0xB600, 0xB800};
    EXPECT_EQ(RunsOf(*pImage, {kBounds, 2, 0, 0}),
              (std::vector<std::pair<int, int>>{{0x0010, 2}, {0xB7FC, 4}, {0xB800, 2}}));
    EXPECT_EQ(RunsOf(*pImage, {nullptr, 0, 3, 0}),
              (std::vector<std::pair<int, int>>{{0x0010, 2}, {0xB7FC, 3}, {0xB7FF, 3}}));
    EXPECT_EQ(SourceName(*pImage, 0xB7FD), "line 3");
    EXPECT_EQ(ImageSourceOf(pImage.get(), 0xB801)->wAddress, 0xB7FE);

    // Reprogramming: what the chip holds already is left out.
    const uint8_t kChip[] = {0x0A, 0xFF, 0x01, 0x02};
    EXPECT_EQ(MarkImageBytesHeld(pImage.get(), 0xB7FC, kChip, sizeof kChip), 3u);
    EXPECT_EQ(RunsOf(*pImage, {kBounds, 2, 0, 1}),
              (std::vector<std::pair<int, int>>{{0x0010, 2}, {0xB7FD, 1}, {0xB800, 2}}));
    EXPECT_EQ(RunsOf(*pImage, {kBounds, 2, 0, 0}).size(), 3u);
}

// One dot per line as the walk of the text prints them (and one after a last line end), each
// due once its line's bytes have gone out in address order; a line without data goes with the
// line with data before it.
TEST_F(ProgramImageTest, DotsComeDueAsTheirLinesAreSent) {
    const std::string strText =
        "S00600004844521B\n"  // at the start
        "S105F8100102EF\n"    // due after $F811
        "S105F800AABB9D\n"    // due after $F801
        "\n"                  // with the line before: after $F801
        "S9030000FC\n";       // after $F801, and the line end's dot too
    ASSERT_EQ(Load("dots.s19", strText), "");
    EXPECT_EQ(pImage->dwDots, 6u);
    EXPECT_EQ(pImage->dwDotsAtStart, 1u);
    EXPECT_EQ(ImageDotsIn(pImage.get(), 0, 0xF801), 1u);
    EXPECT_EQ(ImageDotsIn(pImage.get(), 0xF801, 0xF802), 4u);
    EXPECT_EQ(ImageDotsIn(pImage.get(), 0xF802, 0xF812), 1u);
    ASSERT_EQ(Load("dots.s19", strText.substr(0, strText.size() - 1)), "");
    EXPECT_EQ(pImage->dwDots, 5u);
}

// ---------------------------------------------------------------------------------------------
// Read-back output, read back by srec_cat and by the image.

const std::string kSrecCat = SREC_CAT_PATH;

TEST(OutputFormatOfName, FollowsTheExtension) {
    const struct {
        const char *pszName;
        OutputFormat eFormat;
    } kCases[] = {{"x.s19", OUTPUT_S19},       {"x.srec", OUTPUT_S19},
                  {"x.mot", OUTPUT_S19},       {"x.hex", OUTPUT_INTEL_HEX},
                  {"X.HEX", OUTPUT_INTEL_HEX}, {"x.ihx", OUTPUT_INTEL_HEX},
                  {"x.bin", OUTPUT_BINARY},    {"x", OUTPUT_S19},
                  {".bin", OUTPUT_S19},        {"x.txt", OUTPUT_S19}};
    for (const auto &c : kCases) EXPECT_EQ(OutputFormatOfName(c.pszName), c.eFormat) << c.pszName;
}

TEST_F(ProgramImageTest, SrecCatAndTheImageReadEveryOutputFormat) {
    if (kSrecCat.empty()) SKIP_FOR_MISSING_TOOL("srec_cat not found");
    std::mt19937 rng(9);
    const struct {
        const char *pszName, *pszSrecCatFormat;
    } kFormats[] = {{"out.s19", ""}, {"out.hex", "-intel"}, {"out.bin", "-binary -offset 0xF7F0"}};
    for (uint32_t dwLength : {1u, 31u, 32u, 33u, 2064u}) {
        std::vector<uint8_t> bytes(dwLength);
        for (auto &b : bytes) b = static_cast<uint8_t>(rng());
        const uint16_t wFirst = 0xF7F0;
        for (const auto &format : kFormats) {
            SCOPED_TRACE(std::string(format.pszName) + " of " + std::to_string(dwLength));
            FILE *pFile = fopen(PathOf(format.pszName).c_str(), "wb");
            ASSERT_NE(pFile, nullptr);
            EXPECT_EQ(WriteOutputFile(pFile, OutputFormatOfName(format.pszName), wFirst,
                                      bytes.data(), dwLength, "68HC11 E9 $F7F0"),
                      1);
            fclose(pFile);
            std::string strCommand = kSrecCat + " '" + PathOf(format.pszName) + "' " +
                                     format.pszSrecCatFormat + " -offset -0xF7F0 -o '" +
                                     PathOf("check.bin") + "' -binary 2>&1";
            int nStatus = std::system(strCommand.c_str());
            ASSERT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << strCommand;
            EXPECT_EQ(ReadFileText(PathOf("check.bin")), std::string(bytes.begin(), bytes.end()));

            rules.dwRefused = 0;
            rules.fBinary = OutputFormatOfName(format.pszName) == OUTPUT_BINARY;
            rules.wBinaryBase = wFirst;
            ASSERT_EQ(LoadPath(PathOf(format.pszName)), "");
            EXPECT_EQ(pImage->dwBytes, dwLength);
            EXPECT_EQ(std::vector<uint8_t>(&pImage->rgbValue[wFirst],
                                           &pImage->rgbValue[wFirst] + dwLength),
                      bytes);
        }
    }
}

}  // namespace
