// Hostile input files through the real hc11prog. A file that the whole-file check refuses is
// refused before the port is opened, so those run with "-d /dev/null": a run that got as far
// as the port would end with status 3 there, not 2. Files the tool takes, and files that must
// leave the chip untouched, run against the real hc11sim and are judged by its memory dump.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "fake_target.h"
#include "run_fixtures.h"
#include "sim_process.h"
#include "srecord.h"

namespace {

const std::string kProgram = HC11PROG_PATH;
const int kInputFileStatus = 2;

std::string S1Line(uint16_t address, const Bytes &data) {
    char line[SRECORD_LINE_ROOM];
    EXPECT_EQ(FormatS1Record(address, data.data(), data.size(), line, sizeof line), 1);
    return line;
}

// Two EEPROM records at $F800 and $F810 between a header and an end record.
const Bytes kFirst = Pattern(16, 0x11), kSecond = Pattern(16, 0x0F);
const std::string kLastS1 = S1Line(0xF810, kSecond);
const std::string kValidFile =
    "S00600004844521B\n" + S1Line(0xF800, kFirst) + "\n" + kLastS1 + "\nS9030000FC\n";

std::string Text(const Bytes &bytes) {
    return std::string(bytes.begin(), bytes.end());
}

Bytes RandomBytes(size_t length, unsigned seed) {
    std::mt19937 generator(seed);
    Bytes bytes(length);
    for (uint8_t &byte : bytes) byte = uint8_t(generator());
    return bytes;
}

// The text as UTF-16 with its byte order mark, little- or big-endian.
std::string Utf16(const std::string &text, bool bigEndian) {
    std::string wide = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : text) wide += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return wide;
}

std::string ReadWholeFile(const std::string &path) {
    FILE *file = fopen(path.c_str(), "rb");
    std::string text;
    for (int c; file != nullptr && (c = fgetc(file)) != EOF;) text += char(c);
    if (file != nullptr) fclose(file);
    return text;
}

bool EndsWith(const std::string &text, const std::string &end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class HostileInput : public testing::Test {
  protected:
    ~HostileInput() override { system(("rm -rf " + dir).c_str()); }

    std::string WriteInput(const std::string &name, const std::string &content) {
        std::string path = dir + "/" + name;
        WriteTextFile(path, content);
        return path;
    }
    // A file the check must refuse: status 2, "Failure" as the last output, nothing on the port.
    ProgramResult Refused(const std::string &path) {
        ProgramResult result = RunProgram(kProgram + " -d /dev/null -i '" + path + "'");
        EXPECT_EQ(result.status, kInputFileStatus) << result.err;
        EXPECT_EQ(WithoutBanner(result.out), "Failure\n");
        return result;
    }
    // The refusal's last line names the file and the line, and shows the line's text in
    // parentheses with no line end inside them.
    void ExpectNamesTheLine(const std::string &err, const std::string &path, int line) {
        size_t lastLine = err.rfind('\n', err.size() - 2) + 1;  // npos + 1 is 0
        std::string where = path + " line " + std::to_string(line) + ": ";
        EXPECT_EQ(err.compare(lastLine, where.size(), where), 0) << err;
        EXPECT_TRUE(EndsWith(err, ")\n")) << err;
    }
    ProgramResult ProgramInto(SimProcess &sim, const std::string &path) {
        return RunProgram(kProgram + " -d " + sim.path() + " -i '" + path + "'");
    }
    std::string dir = MakeTempDir();
};

// Nothing that starts a line with 'S' or 's': refused at the first line, its text shown with
// control characters and other bytes outside printable ASCII escaped, and one more line: such
// a file is no format the tool knows, and a raw binary needs --base.
TEST_F(HostileInput, BinaryGarbageAndUtf16AreRefusedAtTheirFirstLine) {
    const struct {
        const char *name;
        std::string content;
    } cases[] = {
        {"random.bin", Text(RandomBytes(4096, 1))},    {"every_byte.bin", Text(EveryByteValue())},
        {"utf16le.s19", Utf16(kValidFile, false)},     {"utf16be.s19", Utf16(kValidFile, true)},
        {"utf8_bom.s19", "\xEF\xBB\xBF" + kValidFile},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_GT(c.content.size(), 100u);
        ASSERT_TRUE(c.content[0] != 'S' && c.content[0] != 's');
        std::string path = WriteInput(c.name, c.content);
        std::string err = Refused(path).err;
        const std::string hint =
            path + " is no S19, Intel HEX or ELF file: a raw binary needs --base ADDR\n";
        ASSERT_TRUE(EndsWith(err, hint)) << err;
        err.resize(err.size() - hint.size());
        ExpectNamesTheLine(err, path, 1);
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_TRUE(std::all_of(err.begin(), err.end() - 1, [](char c) {
            return c >= ' ' && c < 0x7F;
        })) << err;
    }
}

// An ELF file is taken as one by its content; the host's own is not a 68HC11's.
TEST_F(HostileInput, HostExecutableIsRefusedAsAnotherMachinesElf) {
    std::string path = WriteInput("own_executable", ReadWholeFile(kProgram));
    EXPECT_EQ(
        Refused(path).err,
        "File Error: " + path + " is an ELF file but not 32-bit big-endian, as 68HC11 ones are\n");
}

// Random bytes behind an "S" and a type digit reach the parser's later steps.
TEST_F(HostileInput, GarbageAfterARecordStartIsRefusedByTheParser) {
    for (unsigned seed = 1; seed <= 8; seed++) {
        for (const char *start : {"S0", "S1", "S9"}) {
            SCOPED_TRACE(std::string(start) + " seed " + std::to_string(seed));
            std::string path = WriteInput("s_garbage.s19", start + Text(RandomBytes(300, seed)));
            ExpectNamesTheLine(Refused(path).err, path, 1);
        }
    }
}

TEST_F(HostileInput, DirectoryCannotBeOpened) {
    ProgramResult result = RunProgram(kProgram + " -d /dev/null -i " + dir);
    EXPECT_EQ(result.status, kInputFileStatus);
    EXPECT_EQ(result.err, "File Error: Could not open " + dir + ": Is a directory\n");
    EXPECT_EQ(WithoutBanner(result.out), "Failure\n");
}

// A file without data is refused before the port opens, unless -B gives the run its work:
// then nothing is downloaded.
TEST_F(HostileInput, EmptyFileIsRefusedUnlessTheRunHasOtherWork) {
    for (const char *text : {"", "S0030000FC\nS9030000FC\n"}) {
        std::string path = WriteInput("empty.s19", text);
        EXPECT_EQ(Refused(path).err, "File Error: " + path + " holds no data records\n");
    }
    std::string path = WriteInput("empty.s19", "");
    SimProcess sim;
    ProgramResult result = RunProgram(kProgram + " -d " + sim.path() + " -B -i '" + path + "'");
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.find("Downloading " + path), std::string::npos) << result.out;
    EXPECT_EQ(sim.stat("eeprom_bulk_erase"), 1);
    EXPECT_EQ(sim.stat("eeprom_byte_erase"), 0);
    EXPECT_EQ(sim.dumped(0xF800, 0xFFFF), Bytes(0x800, 0xFF));
}

// No record is longer than 514 characters: a longer line is refused, its text cut short.
TEST_F(HostileInput, TenThousandCharacterLinesAreRefused) {
    const std::string preview = "(S1" + std::string(58, 'F') + "...)\n";
    const struct {
        const char *name;
        std::string content;
        int line;
    } cases[] = {
        {"hex_digits", "S1" + std::string(9998, 'F') + "\n", 1},
        {"record_then_text", S1Line(0xF800, kFirst) + std::string(10000 - 42, 'x') + "\n", 1},
        {"second_line", kValidFile + std::string(10000, 'S') + "\n", 5},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = WriteInput(c.name, c.content);
        std::string err = Refused(path).err;
        ExpectNamesTheLine(err, path, c.line);
        EXPECT_NE(err.find("Line too long for an S record ("), std::string::npos) << err;
    }
    std::string path = WriteInput("preview", "S1" + std::string(9998, 'F') + "\n");
    EXPECT_TRUE(EndsWith(Refused(path).err, preview));
}

// Records laid end to end on one line, which pieces of a line buffer once took one by one,
// are refused whole: the line is no record.
TEST_F(HostileInput, TenThousandCharacterLineOfWholePiecesIsRefused) {
    const size_t lineLength = 10000, pieceLength = 254;
    std::string line;
    for (uint16_t address = 0xF800; line.size() < lineLength; address += 16) {
        std::string piece = S1Line(address, Pattern(16, uint8_t(address >> 4)));
        piece.resize(std::min(pieceLength, lineLength - line.size()), ' ');
        line += piece;
    }
    std::string path = WriteInput("long_line.s19", line + "\n");
    ExpectNamesTheLine(Refused(path).err, path, 1);
}

std::string WithNulAt(const std::string &line, size_t position) {
    return line.substr(0, position) + '\0' + line.substr(position);
}

// The parser sees a line only up to its first NUL byte; the whole-record check sees the NUL.
TEST_F(HostileInput, NulBytesInsideARecordRefuseTheFile) {
    const std::string twoBytes = S1Line(0xF800, {0xAB, 0x0F});  // S105F800AB0F48
    const std::string threeBytes = S1Line(0xF800, {0xAB, 0xCD, 0xEF});
    const std::string noHex = "S1 record at $F800 holds a character that is no hex digit (";
    const struct {
        const char *name;
        std::string content;
        int line;
        std::string err;  // what the message holds
    } cases[] = {
        {"before_the_data", WithNulAt(kLastS1, 8) + "\n", 1,
         "ParseSRecordString: String truncated (S113F810)\n"},
        {"between_bytes", WithNulAt(threeBytes, 10) + "\n", 1,
         "ParseSRecordString: Parse error (S106F800AB) at \n"},
        {"inside_the_last_byte", WithNulAt(twoBytes, 11) + "\n", 1, noHex + "S105F800AB0\\x00F48)"},
        {"inside_the_checksum", WithNulAt(twoBytes, 13) + "\n", 1, noHex + "S105F800AB0F4\\x008)"},
        {"line_start", kValidFile + WithNulAt(kLastS1, 0) + "\n", 5,
         "Can't parse S record (\\x00S1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = WriteInput(c.name, c.content);
        std::string err = Refused(path).err;
        ExpectNamesTheLine(err, path, c.line);
        EXPECT_NE(err.find(c.err), std::string::npos) << err;
    }
}

// What follows a whole record's checksum is never read, a NUL byte as much as any other text.
TEST_F(HostileInput, NulByteAfterTheChecksumIsTrailingText) {
    const std::string record = S1Line(0xF800, {0xAB, 0x0F});
    std::string path =
        WriteInput("nul_after.s19", WithNulAt(record + "junk", record.size()) + "\n");
    SimProcess sim;
    ProgramResult result = ProgramInto(sim, path);
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(sim.dumped(0xF800, 0xF802), Bytes({0xAB, 0x0F, 0xFF}));
}

std::string WithLineEnds(const std::string &text, const std::string &lineEnd) {
    std::string converted;
    for (char c : text) converted += c == '\n' ? lineEnd : std::string(1, c);
    return converted;
}

// Lines ending in CR alone read as one long line whose first record hides the rest as
// trailing text: refused, where the tool would otherwise program only that first record.
TEST_F(HostileInput, LinesEndingInCarriageReturnAloneAreRefused) {
    std::string path = WriteInput("cr.s19", WithLineEnds(kValidFile, "\r"));
    EXPECT_EQ(Refused(path).err,
              path +
                  " line 1: Carriage return inside a line: the file's lines must end in LF or "
                  "CR LF (" +
                  WithLineEnds(kValidFile.substr(0, kValidFile.size() - 1), "\\x0D") + ")\n");
}

TEST_F(HostileInput, CrLfAndCrCrLfLineEndsAreProgrammed) {
    Bytes both = kFirst;
    both.insert(both.end(), kSecond.begin(), kSecond.end());
    for (const char *lineEnd : {"\r\n", "\r\r\n"}) {
        SCOPED_TRACE(testing::PrintToString(lineEnd));
        std::string path = WriteInput("ends.s19", WithLineEnds(kValidFile, lineEnd));
        SimProcess sim;
        ProgramResult result = ProgramInto(sim, path);
        sim.stop();
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(sim.dumped(0xF800, 0xF81F), both);
    }
}

// A valid file cut inside its last S1 line, at every kind of place: refused whole, before
// the chip is touched, even where the parser alone takes the piece left of the line.
TEST_F(HostileInput, FileCutInsideItsLastRecordLeavesTheChipUntouched) {
    const std::string head = kValidFile.substr(0, kValidFile.find(kLastS1));
    const std::string where = dir + "/cut.s19 line 3: ";
    auto parserErr = [&where](const std::string &message, size_t kept) {
        return "ParseSRecordString: " + message + "\n" + where + "Can't parse S record (" +
               kLastS1.substr(0, kept) + ")\n";
    };
    auto cutShortErr = [&where](size_t found) {
        return where + "S1 record at $F810 is cut short: 38 digits expected after the count, " +
               std::to_string(found) + " found (" + kLastS1.substr(0, found + 4) + ")\n";
    };
    const struct {
        size_t kept;  // characters of the last S1 line left in the file
        std::string err;
    } cases[] = {
        {1, parserErr("Invalid S record type (S)", 1)},
        {3, parserErr("Invalid count 1, must be 3 to 255 (S11)", 3)},
        {6, parserErr("String truncated (S113F8)", 6)},
        {24, parserErr("Parse error (" + kLastS1.substr(0, 24) + ") at ", 24)},
        {39, cutShortErr(35)},  // one digit of the last data byte, which the parser takes
        {40, cutShortErr(36)},  // the data whole, the checksum missing
        {41, cutShortErr(37)},
    };
    ASSERT_EQ(kLastS1.size(), 42u);
    ASSERT_NE(kSecond.back() >> 4, kSecond.back()) << "the lone digit must read as another byte";
    for (const auto &c : cases) {
        SCOPED_TRACE("kept " + std::to_string(c.kept));
        std::string path = WriteInput("cut.s19", head + kLastS1.substr(0, c.kept));
        SimProcess sim;
        ProgramResult result = ProgramInto(sim, path);
        sim.stop();
        EXPECT_EQ(result.status, kInputFileStatus);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(WithoutBanner(result.out), "Failure\n");
        EXPECT_EQ(sim.stat("rx_bytes"), 0);
        EXPECT_EQ(sim.dumped(0xF800, 0xF81F), Bytes(32, 0xFF));
    }
}

TEST_F(HostileInput, FileEndingRightAfterItsLastChecksumIsWhole) {
    const std::string whole = kValidFile.substr(0, kValidFile.find(kLastS1) + kLastS1.size());
    std::string path = WriteInput("whole.s19", whole);
    SimProcess sim;
    ProgramResult result = ProgramInto(sim, path);
    sim.stop();
    EXPECT_EQ(result.status, 0) << result.err;
    Bytes both = kFirst;
    both.insert(both.end(), kSecond.begin(), kSecond.end());
    EXPECT_EQ(sim.dumped(0xF800, 0xF81F), both);
}

}  // namespace
