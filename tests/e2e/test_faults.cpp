// Failures of the field, played by hc11sim --fault against the real hc11prog: each run ends
// within its read time-outs with a message naming what failed and status 3, never "Success",
// and the chip's memory dump holds everything the tool reported done. After a reset the boot
// ROM's break reaches the host as a $00 where a reply was due. A few faults the tool
// rides out (a sync retried, bytes it never judges): those runs end in "Success" with the file
// in the chip.
//
// The target's bytes in a run with "-B" and the fixture file (48 bytes at $F800, written as
// records of 32 and 16 bytes, which follow each other and go as one "P" block), counted from 1
// as hc11sim counts them:
//   1-256    the boot ROM's echoes of the talker load
//   257      the talker's first prompt, which the host's sync throws away
//   258      the prompt answering the sync
//   259-260  BPROT's read-back and the prompt after it
//   261      the bulk erase's prompt
//   262-293  the first record's 32 data echoes
//   294-309  the second record's 16 data echoes
//   310      the block's prompt
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <ostream>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "child_process.h"
#include "fake_target.h"
#include "run_fixtures.h"
#include "sim_process.h"
#include "srecord.h"
#include "talker_image.h"

namespace {

const std::string kProgram = HC11PROG_PATH;
const int kTargetStatus = 3;
// Longer than any run here needs (ten sync attempts of 2 s): a hang ends as status 124.
const char *const kHangLimit = "timeout -s KILL 60 ";

const uint16_t kEepromStart = 0xF800;
const size_t kFirstRecordLength = 32;
const Bytes kFileData = Pattern(48, 0x11);
const Bytes kPreload = Pattern(48, 0x80);  // differs from the file at every byte
const uint8_t kConfigValue = 0xF5;         // the default of "-C"
const uint8_t kErased = 0xFF;

const Bytes kFirstRecord(kFileData.begin(), kFileData.begin() + kFirstRecordLength);
const Bytes kSecondRecord(kFileData.begin() + kFirstRecordLength, kFileData.end());

// The target's bytes, by what they are (see the top of the file).
const char *const kInTalkerLoad = "100";  // the 100th talker byte's echo, inside image line 3
const size_t kLoadedBeforeFault = 100;
const char *const kTalkerStart = "257";
const char *const kSyncPrompt = "258";
const char *const kBprotReadBack = "259";
const char *const kBulkErasePrompt = "261";
const char *const kSixthDataEcho = "267";  // the first record's byte 5
const size_t kDataEchoIndex = 5;
const char *const kSecondRecordEcho = "294";  // the second record's byte 0
const char *const kLastPrompt = "310";

// The talker's S1 records, as the loader sends them.
std::vector<Bytes> TalkerRecords() {
    std::vector<Bytes> records;
    SRecord record;
    for (unsigned i = 0; i < dwTalkerImageLines; i++) {
        if (ParseSRecordString(TalkerImage[i], &record) && record.wType == 1)
            records.emplace_back(record.bData, record.bData + record.wLength);
    }
    return records;
}

Bytes TalkerCode() {
    Bytes code;
    for (const Bytes &record : TalkerRecords())
        code.insert(code.end(), record.begin(), record.end());
    return code;
}

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

// The messages the tool prints, as it prints them.
const std::string kNoEcho = "SendRawWithEcho: dwRead != 1\n";
const std::string kNoPrompt = "GetPrompt: Didn't read a character\n";

// A control byte is shown by its value, never written to the terminal.
std::string GotInstead(uint8_t byte) {
    if (byte < 0x20 || byte >= 0x7F) {
        char line[64];
        snprintf(line, sizeof line, "GetPrompt: Got a $%02X, expected '>'\n", byte);
        return line;
    }
    return "GetPrompt: Got a " + std::string(1, char(byte)) + "(0x" + Hex(byte) +
           "), expected '>'\n";
}

// A download whose echoes stop: where, and what to check.
std::string StoppedAt(uint16_t address) {
    char line[256];
    snprintf(line, sizeof line,
             "SendRawWithEcho: the board stopped answering at $%04X: check its power and the "
             "cable, and whether something reset it; then reset it into special bootstrap mode "
             "and run again\n",
             address);
    return kNoEcho + line;
}

std::string Mismatch(uint8_t read, size_t index, uint8_t sent) {
    return "SendRawWithEcho: pbReadBuffer[0](" + Hex(read) + ") != pbBuffer[0x" +
           Hex(unsigned(index)) + "](" + Hex(sent) + "))\n";
}

// A data byte that did not verify, at its address and its index from its record's start.
std::string DataMismatch(uint8_t read, size_t index, uint8_t sent, uint16_t recordAddress) {
    char line[128];
    snprintf(line, sizeof line,
             "WriteSRecord: $%04X (byte %u of the record at $%04X) wrote %02X, read back %02X\n",
             unsigned(recordAddress + index), unsigned(index), recordAddress, sent, read);
    return line;
}

std::string NotVerified(unsigned count) {
    return std::to_string(count) + " byte(s) did not verify: the target does not hold the file\n";
}

std::string TalkerEchoedWrong(unsigned count) {
    return "DownloadTalker: " + std::to_string(count) +
           " talker byte(s) echoed wrong: the target is not running the talker\n";
}

// What a failed talker load adds: what to check.
const std::string kCheckBoard =
    "DownloadTalker: Check that the board was reset into special bootstrap mode (MODA and MODB "
    "low), the port, and the cable\n";

// The mismatch lines for record[from...] when every echo the host reads is the one before
// it, the first being *previous; leaves the record's last byte in *previous. A file record
// has its address (a talker record -1).
std::string ShiftedEchoes(const Bytes &record, size_t from, uint8_t *previous, unsigned *mismatches,
                          long recordAddress = -1) {
    std::string lines;
    for (size_t i = from; i < record.size(); i++) {
        if (*previous != record[i]) {
            lines += recordAddress < 0
                         ? Mismatch(*previous, i, record[i])
                         : DataMismatch(*previous, i, record[i], uint16_t(recordAddress));
            ++*mismatches;
        }
        *previous = record[i];
    }
    return lines;
}

// A stray $55 after the echo of file byte `from - 1`: the block's echoes are read one late,
// listed up to the download's 20 lines, and its prompt read meets its last echo.
std::string NoiseInBlock(size_t from) {
    std::string lines;
    uint8_t previous = 0x55;
    for (size_t i = from, listed = 0; i < kFileData.size(); i++) {
        bool second = i >= kFirstRecordLength;
        size_t index = second ? i - kFirstRecordLength : i;
        uint16_t record = uint16_t(kEepromStart + (second ? kFirstRecordLength : 0));
        if (previous != kFileData[i] && listed++ < 20)
            lines += DataMismatch(previous, index, kFileData[i], record);
        previous = kFileData[i];
    }
    return lines + GotInstead(kFileData.back());
}

// A stray $55 after the echo of talker byte `after` (counted from 1): the rest of the load is
// read one late, and the loader refuses it.
std::string NoiseInTalkerLoad(size_t after) {
    std::string lines;
    uint8_t previous = 0x55;
    unsigned mismatches = 0;
    size_t start = 0;
    for (const Bytes &record : TalkerRecords()) {
        if (after < start + record.size())
            lines +=
                ShiftedEchoes(record, after > start ? after - start : 0, &previous, &mismatches);
        start += record.size();
    }
    return lines + TalkerEchoedWrong(mismatches) + "DownloadTalker: from talker byte " +
           std::to_string(after) +
           " on, each echo came one byte late: a stray byte reached the line. Reset the board "
           "into bootstrap mode and run again\n";
}

// The echo of talker byte `lost` (counted from 1) never comes: the rest of the load is read
// one early, and the load is refused. The fill's echoes are not judged.
std::string EchoLostInTalkerLoad(size_t lost) {
    std::string lines;
    unsigned mismatches = 0;
    Bytes code = TalkerCode();
    code.push_back(0x00);  // the fill's first byte
    size_t start = 0;
    for (const Bytes &record : TalkerRecords()) {
        for (size_t i = 0; i < record.size(); i++) {
            size_t at = start + i;
            if (at + 1 < lost || code[at + 1] == record[i]) continue;
            lines += Mismatch(code[at + 1], i, record[i]);
            mismatches++;
        }
        start += record.size();
    }
    return lines + TalkerEchoedWrong(mismatches) + kCheckBoard;
}

// The mismatch line for talker byte `number` (counted from 1) echoed as `read`.
std::string TalkerEchoAs(size_t number, uint8_t read) {
    size_t start = 0;
    for (const Bytes &record : TalkerRecords()) {
        if (number <= start + record.size())
            return Mismatch(read, number - 1 - start, record[number - 1 - start]);
        start += record.size();
    }
    return "";
}

std::string TalkerByteCorrupted(size_t number) {
    return TalkerEchoAs(number, uint8_t(~TalkerCode()[number - 1])) + TalkerEchoedWrong(1) +
           kCheckBoard;
}

// A sync that read nothing says once what the retries are doing.
const std::string kSyncRetrying =
    kNoPrompt +
    "GetPrompt: no answer: sending the sync again, up to 9 more times over about 18 s (is the "
    "board powered, its cable in, and was it not reset?)\n";

// Silence after the talker's start: the retries, and one line when they have ended.
std::string TenSyncAttempts() {
    return kSyncRetrying +
           "GetPrompt: the talker never answered: check the board's power and the cable, reset "
           "it into special bootstrap mode and run again\n";
}

// How far the run's standard output got. A line's dot shows once the records before it are on
// their way, so a record whose replies go wrong after its last byte went out fails after the
// next line's dot.
enum class Reached {
    FirstTalkerLine,  // "0." and the first echo read failed
    TalkerLoad,       // inside image line 3
    TalkerCut,        // inside image line 3, or every mark: the ROM restarted mid-load
    TalkerRefused,    // every mark, and the load judged failed
    TalkerLoaded,     // every mark, then the target preparation
    BulkErase,        // "Bulk Erasing EEPROM"
    FirstRecord,      // the file's second line
    SecondRecord,     // its third line
    FileEnd,          // the whole file, refused at its end
    SomeRecord,       // somewhere in the file: how far the stream got depends on the timing
};

// What the chip must hold afterwards.
struct Chip {
    // Download bytes stored from $0000, at least; 256: the talker ran. The load goes out
    // whole before its echoes are read, so a line that dies takes the rest at its own time.
    size_t talkerLoaded;
    bool erased;                // the bulk erase ran and programmed CONFIG
    size_t programmed;          // leading file bytes in EEPROM; the rest as erased or preloaded
    uint16_t stuckCell = 0;     // a cell that keeps its preloaded byte, 0 for none
    bool ramRewritten = false;  // a reset let the boot ROM take RAM (or start EEPROM code)
    bool nextMayBeIn = false;   // the bytes after them were on their way when the line died
};

// What standard error says: the whole text, or where the bytes that the boot ROM makes of the
// rest after a reset decide it, its key words, each after the one before.
struct Told {
    Told(std::string text) : whole(std::move(text)) {}
    std::string whole;
    std::vector<std::string> keyWords;
};

Told KeyWords(std::vector<std::string> keyWords) {
    Told told("");
    told.keyWords = std::move(keyWords);
    return told;
}

void ExpectKeyWordsInOrder(const std::string &text, const std::vector<std::string> &keyWords) {
    size_t at = 0;
    for (const std::string &words : keyWords) {
        at = text.find(words, at);
        ASSERT_NE(at, std::string::npos) << words << "\nis not in order in:\n" << text;
        at += words.size();
    }
}

struct FaultCase {
    const char *name;
    std::string fault;
    bool bulkErase;
    Reached reached;
    Told errors;
    Chip chip;
    // Another account the run may give: where the host's pacing decides whether one more byte
    // left before the line's silence was noticed.
    std::string errorsOr = "";
};

// Test names shown by CTest carry the fault, not the case's bytes.
void PrintTo(const FaultCase &c, std::ostream *out) {
    *out << c.fault;
}

std::string Fault(const std::string &kind, const char *number) {
    return kind + ":" + number;
}

// A run of hc11prog with "-i" and the fixture file against hc11sim preloaded with kPreload.
class FaultRun : public ::testing::Test {
  protected:
    ~FaultRun() override { std::system(("rm -rf " + dir).c_str()); }

    ProgramResult Run(SimProcess &sim, const std::string &options) {
        return RunProgram(kHangLimit + kProgram + " -d " + sim.path() + " " + options + " -i " +
                          file);
    }
    std::string ExpectedOutput(Reached reached, bool bulkErase) const;
    void ExpectChipHolds(const SimProcess &sim, const Chip &chip) const;
    void ExpectReportedRecordsInChip(const SimProcess &sim, Reached reached) const;

    std::string dir = MakeTempDir();
    std::string file = WriteS19(dir, "app.s19", {{kEepromStart, kFileData}});
    std::string preload = WriteS19(dir, "preload.s19", {{kEepromStart, kPreload}});
};

std::string FaultRun::ExpectedOutput(Reached reached, bool bulkErase) const {
    std::string out = "Downloading talker file\n";
    if (reached == Reached::FirstTalkerLine) return out + "0.\nFailure\n";
    if (reached == Reached::TalkerLoad) return out + "0.1.2.3.\nFailure\n";
    out += TalkerMarks();
    if (reached == Reached::TalkerRefused) return out + "Failure\n";
    if (reached == Reached::TalkerLoaded) return out + "Failure\n";
    if (bulkErase) out += kConfigTold + "Bulk Erasing EEPROM\n";
    if (reached == Reached::BulkErase) return out + "Failure\n";
    if (bulkErase) out += ConfigProgrammed();
    out += "Downloading " + file + "\n";
    if (reached == Reached::FirstRecord) return out + "..Failure\n";
    if (reached == Reached::SecondRecord) return out + "...Failure\n";
    if (reached == Reached::SomeRecord) {
        // A pattern: the lines so far taken literally.
        return std::regex_replace(out, std::regex(R"([\\^$.|?*+()\[\]{}])"), R"(\$&)") +
               "[.]+Failure\n";
    }
    return out + Dots(S19Lines({{kEepromStart, kFileData}})) + "Failure\n";
}

void FaultRun::ExpectChipHolds(const SimProcess &sim, const Chip &chip) const {
    Bytes ram = sim.dumped(0x0000, 0x00FF);
    Bytes code = TalkerCode();
    // Once the talker runs, its start-up code's bytes are its stack and variables: the code is
    // compared from the first byte after them.
    const size_t startup = TALKER_FREE_RAM_END + 1;
    if (chip.ramRewritten) {
        // RAM is whatever the boot ROM and the code it started made of it.
    } else {
        size_t stored =
            startup +
            (std::mismatch(code.begin() + startup, code.end(), ram.begin() + startup).first -
             (code.begin() + startup));
        EXPECT_GE(stored, std::min(chip.talkerLoaded, code.size())) << "the talker's first bytes";
        if (stored < code.size()) {
            EXPECT_EQ(Bytes(ram.begin() + stored, ram.end()), Bytes(256 - stored, 0x00))
                << "nothing after the talker's first " << stored << " bytes";
        }
    }
    Bytes eeprom = chip.erased ? Bytes(kFileData.size(), kErased) : kPreload;
    std::copy_n(kFileData.begin(), chip.programmed, eeprom.begin());
    if (chip.stuckCell)
        eeprom[chip.stuckCell - kEepromStart] = kPreload[chip.stuckCell - kEepromStart];
    Bytes held = sim.dumped(kEepromStart, uint16_t(kEepromStart + kFileData.size() - 1));
    // The talker holds two bytes while one programs: either may have gone in.
    for (size_t i = chip.programmed; chip.nextMayBeIn && i < chip.programmed + 2; i++) {
        if (held[i] != kFileData[i]) break;
        eeprom[i] = kFileData[i];
    }
    EXPECT_EQ(held, eeprom);
    EXPECT_EQ(sim.dumped(0x103F, 0x103F), Bytes({chip.erased ? kConfigValue : kErased}));
}

// Nothing reported done that was not: the records before the one the run failed in hold the
// file, whatever the table says.
void FaultRun::ExpectReportedRecordsInChip(const SimProcess &sim, Reached reached) const {
    size_t reported = reached == Reached::SecondRecord ? kFirstRecordLength : 0;
    if (reported == 0) return;
    EXPECT_EQ(sim.dumped(kEepromStart, uint16_t(kEepromStart + reported - 1)),
              Bytes(kFileData.begin(), kFileData.begin() + reported));
}

class Faults : public FaultRun, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(Faults, EndWithStatus3AndTheChipAsReported) {
    const FaultCase &c = GetParam();
    SimProcess sim({"--eeprom", preload, "--fault", c.fault});
    ProgramResult result = Run(sim, c.bulkErase ? "-B" : "");
    sim.stop();
    EXPECT_EQ(result.status, kTargetStatus);
    if (!c.errors.keyWords.empty())
        ExpectKeyWordsInOrder(result.err, c.errors.keyWords);
    else if (c.errorsOr.empty())
        EXPECT_EQ(result.err, c.errors.whole);
    else
        EXPECT_TRUE(result.err == c.errors.whole || result.err == c.errorsOr) << result.err;
    std::string out = WithoutBanner(result.out);
    std::string expected = ExpectedOutput(c.reached, c.bulkErase);
    if (c.reached == Reached::TalkerCut) {
        // Whether echoes stop at the reset or the restarted ROM echoes the load's rest
        // depends on how much of it was on the line then.
        EXPECT_TRUE(out == ExpectedOutput(Reached::TalkerLoad, c.bulkErase) ||
                    out == ExpectedOutput(Reached::TalkerRefused, c.bulkErase))
            << out;
    } else if (c.reached == Reached::SomeRecord) {
        EXPECT_TRUE(std::regex_match(out, std::regex(expected))) << result.out;
    } else {
        EXPECT_EQ(out, expected);
    }
    ExpectChipHolds(sim, c.chip);
    ExpectReportedRecordsInChip(sim, c.reached);
}

const Chip kUntouched{0, false, 0};
const Chip kHalfLoaded{kLoadedBeforeFault, false, 0};
const Chip kTalkerOnly{256, false, 0};
const Chip kErasedOnly{256, true, 0};
const Chip kSixBytes{256, true, kDataEchoIndex + 1};
const Chip kEightBytes{256, true, kDataEchoIndex + 3};
const Chip kSixBytesMaybeSeven{256, true, kDataEchoIndex + 1, 0, false, true};
const Chip kFirstRecordIn{256, true, kFirstRecordLength};
const Chip kFirstRecordAndOneMaybeTwo{256, true, kFirstRecordLength + 1, 0, false, true};
const Chip kFirstRecordAndThree{256, true, kFirstRecordLength + 3};
const Chip kWholeFile{256, true, kFileData.size()};

// After a reset the boot ROM sends its break (the host reads $00) and takes the host's next
// bytes as its first character: a byte it reads as $00 starts the EEPROM's code, any other
// switches it to 1200 baud and loads what follows into RAM. What the host reports after the
// break depends on those bytes; the EEPROM keeps what was reported.
Chip AfterReset(Chip chip) {
    chip.ramRewritten = true;
    return chip;
}

// The break read as the echo of the file's byte at `index` of its record.
std::string BreakAsDataEcho(size_t index, bool secondRecord) {
    size_t from = secondRecord ? kFirstRecordLength : 0;
    return DataMismatch(0x00, index, kFileData[from + index], uint16_t(kEepromStart + from));
}
const std::string kPromptNotGot = "GetPrompt: Got a $";

INSTANTIATE_TEST_SUITE_P(
    Field, Faults,
    ::testing::Values(
        FaultCase{"SilentBoard", "silent", true, Reached::FirstTalkerLine, kNoEcho + kCheckBoard,
                  kUntouched},
        // Inside the talker load.
        FaultCase{"DropInTalkerLoad", Fault("drop", kInTalkerLoad), true, Reached::TalkerRefused,
                  EchoLostInTalkerLoad(kLoadedBeforeFault), kTalkerOnly},
        FaultCase{"CorruptInTalkerLoad", Fault("corrupt", kInTalkerLoad), true,
                  Reached::TalkerRefused, TalkerByteCorrupted(kLoadedBeforeFault), kTalkerOnly},
        FaultCase{"NoiseInTalkerLoad", Fault("noise", kInTalkerLoad), true, Reached::TalkerRefused,
                  NoiseInTalkerLoad(kLoadedBeforeFault), kTalkerOnly},
        FaultCase{"UnplugInTalkerLoad", Fault("unplug", kInTalkerLoad), true, Reached::TalkerLoad,
                  kNoEcho + kCheckBoard, kHalfLoaded},
        FaultCase{"ResetInTalkerLoad", Fault("reset", kInTalkerLoad), true, Reached::TalkerCut,
                  KeyWords({TalkerEchoAs(kLoadedBeforeFault + 1, 0x00), kCheckBoard}),
                  AfterReset(kHalfLoaded)},
        // The prompt answering the sync: a stray byte behind it meets the BPROT write, which
        // reads it as the read-back and the read-back ($00) as the prompt.
        FaultCase{"NoiseAfterSyncPrompt", Fault("noise", kSyncPrompt), true, Reached::TalkerLoaded,
                  GotInstead(0x00), kTalkerOnly},
        FaultCase{"UnplugAfterSyncPrompt", Fault("unplug", kSyncPrompt), true,
                  Reached::TalkerLoaded, kNoEcho, kTalkerOnly},
        // The break is BPROT's read-back, which is not judged; what follows is no prompt.
        FaultCase{"ResetAfterSyncPrompt", Fault("reset", kSyncPrompt), true, Reached::TalkerLoaded,
                  KeyWords({kPromptNotGot, ", expected '>'\n"}), AfterReset(kTalkerOnly)},
        // BPROT's read-back: never judged, but a lost or extra byte shows at its prompt.
        FaultCase{"DropBprotReadBack", Fault("drop", kBprotReadBack), true, Reached::TalkerLoaded,
                  kNoPrompt, kTalkerOnly},
        FaultCase{"NoiseAfterBprotReadBack", Fault("noise", kBprotReadBack), true,
                  Reached::TalkerLoaded, GotInstead(0x55), kTalkerOnly},
        FaultCase{"UnplugAfterBprotReadBack", Fault("unplug", kBprotReadBack), true,
                  Reached::TalkerLoaded, kNoPrompt, kTalkerOnly},
        FaultCase{"ResetAfterBprotReadBack", Fault("reset", kBprotReadBack), true,
                  Reached::TalkerLoaded, KeyWords({GotInstead(0x00)}), AfterReset(kTalkerOnly)},
        // The bulk erase's prompt.
        FaultCase{"DropBulkErasePrompt", Fault("drop", kBulkErasePrompt), true, Reached::BulkErase,
                  kNoPrompt, kErasedOnly},
        FaultCase{"CorruptBulkErasePrompt", Fault("corrupt", kBulkErasePrompt), true,
                  Reached::BulkErase, GotInstead(uint8_t(~'>')), kErasedOnly},
        FaultCase{"NoiseAfterBulkErasePrompt", Fault("noise", kBulkErasePrompt), true,
                  Reached::FileEnd, NoiseInBlock(0), kWholeFile},
        FaultCase{"UnplugAfterBulkErasePrompt", Fault("unplug", kBulkErasePrompt), true,
                  Reached::FirstRecord, StoppedAt(kEepromStart), kErasedOnly},
        FaultCase{"ResetAfterBulkErasePrompt", Fault("reset", kBulkErasePrompt), true,
                  Reached::SomeRecord, KeyWords({BreakAsDataEcho(0, false), kPromptNotGot}),
                  AfterReset(kErasedOnly)},
        // A data echo inside the first record: the byte itself was programmed, and the two
        // after it, already on their way, too; their echoes in the lost one's place are
        // mismatches, from the first of which the host waits for each echo and the talker for
        // the next byte.
        FaultCase{"DropDataEcho", Fault("drop", kSixthDataEcho), true, Reached::FirstRecord,
                  DataMismatch(kFileData[kDataEchoIndex + 1], kDataEchoIndex,
                               kFileData[kDataEchoIndex], kEepromStart) +
                      DataMismatch(kFileData[kDataEchoIndex + 2], kDataEchoIndex + 1,
                                   kFileData[kDataEchoIndex + 1], kEepromStart) +
                      StoppedAt(kEepromStart + kDataEchoIndex + 2),
                  kEightBytes},
        FaultCase{"CorruptDataEcho", Fault("corrupt", kSixthDataEcho), true, Reached::FileEnd,
                  DataMismatch(uint8_t(~kFileData[kDataEchoIndex]), kDataEchoIndex,
                               kFileData[kDataEchoIndex], kEepromStart) +
                      NotVerified(1),
                  kWholeFile},
        FaultCase{"NoiseAfterDataEcho", Fault("noise", kSixthDataEcho), true, Reached::FileEnd,
                  NoiseInBlock(kDataEchoIndex + 1), kWholeFile},
        // The next bytes go ahead: the first may reach the chip before the line dies.
        FaultCase{"UnplugAfterDataEcho", Fault("unplug", kSixthDataEcho), true,
                  Reached::FirstRecord, StoppedAt(kEepromStart + kDataEchoIndex + 1),
                  kSixBytesMaybeSeven},
        FaultCase{"ResetAfterDataEcho", Fault("reset", kSixthDataEcho), true, Reached::SomeRecord,
                  KeyWords({BreakAsDataEcho(kDataEchoIndex + 1, false)}),
                  AfterReset(kSixBytesMaybeSeven)},
        // The second record's first echo: the block goes on across the records' border.
        FaultCase{
            "DropSecondRecordEcho", Fault("drop", kSecondRecordEcho), true, Reached::SecondRecord,
            DataMismatch(kSecondRecord[1], 0, kSecondRecord[0], kEepromStart + kFirstRecordLength) +
                DataMismatch(kSecondRecord[2], 1, kSecondRecord[1],
                             kEepromStart + kFirstRecordLength) +
                StoppedAt(kEepromStart + kFirstRecordLength + 2),
            kFirstRecordAndThree,
            DataMismatch(kSecondRecord[1], 0, kSecondRecord[0], kEepromStart + kFirstRecordLength) +
                StoppedAt(kEepromStart + kFirstRecordLength + 1)},
        FaultCase{"CorruptSecondRecordEcho", Fault("corrupt", kSecondRecordEcho), true,
                  Reached::FileEnd,
                  DataMismatch(uint8_t(~kSecondRecord[0]), 0, kSecondRecord[0],
                               kEepromStart + kFirstRecordLength) +
                      NotVerified(1),
                  kWholeFile},
        FaultCase{"NoiseAfterSecondRecordEcho", Fault("noise", kSecondRecordEcho), true,
                  Reached::FileEnd, NoiseInBlock(kFirstRecordLength + 1), kWholeFile},
        FaultCase{"UnplugAfterSecondRecordEcho", Fault("unplug", kSecondRecordEcho), true,
                  Reached::SecondRecord, StoppedAt(kEepromStart + kFirstRecordLength + 1),
                  kFirstRecordAndOneMaybeTwo},
        FaultCase{"ResetAfterSecondRecordEcho", Fault("reset", kSecondRecordEcho), true,
                  Reached::SomeRecord, KeyWords({BreakAsDataEcho(1, true)}),
                  AfterReset(kFirstRecordAndOneMaybeTwo)},
        // The last prompt of the file, lost: the whole file is in, but the tool cannot know.
        FaultCase{"DropLastPrompt", Fault("drop", kLastPrompt), true, Reached::FileEnd, kNoPrompt,
                  kWholeFile},
        // The talker starts and the line dies at once: ten sync attempts, 20 s.
        FaultCase{"UnplugAtTalkerStart", Fault("unplug", kTalkerStart), true, Reached::TalkerLoaded,
                  TenSyncAttempts(), kTalkerOnly},
        // A worn-out cell, after a bulk erase (program only) and without (erase and program).
        FaultCase{"StuckCellAfterBulkErase",
                  "stuck:F805",
                  true,
                  Reached::FileEnd,
                  DataMismatch(kPreload[5], 5, kFileData[5], kEepromStart) + NotVerified(1),
                  {256, true, kFileData.size(), 0xF805}},
        FaultCase{"StuckCellWithoutBulkErase",
                  "stuck:F825",
                  false,
                  Reached::FileEnd,
                  DataMismatch(kPreload[0x25], 0x25 - kFirstRecordLength, kFileData[0x25],
                               kEepromStart + kFirstRecordLength) +
                      NotVerified(1),
                  {256, false, kFileData.size(), 0xF825}}),
    [](const auto &info) { return std::string(info.param.name); });

struct RiddenOutCase {
    const char *name;
    std::string fault;
    std::string errors;
};

void PrintTo(const RiddenOutCase &c, std::ostream *out) {
    *out << c.fault;
}

class FaultsRiddenOut : public FaultRun, public ::testing::WithParamInterface<RiddenOutCase> {};

// The sync retries with a fresh "s" after a purge; the talker's first prompt is purged unread;
// the fill echoes and BPROT's read-back are never judged, and a stray byte after the last
// prompt is never read.
TEST_P(FaultsRiddenOut, EndInSuccessWithTheFileInTheChip) {
    const RiddenOutCase &c = GetParam();
    SimProcess sim({"--eeprom", preload, "--fault", c.fault});
    ProgramResult result = Run(sim, "-B");
    sim.stop();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, c.errors);
    std::string out = WithoutBanner(result.out);
    EXPECT_EQ(out.substr(out.rfind('\n', out.size() - 2) + 1),
              Dots(S19Lines({{kEepromStart, kFileData}})) + "Success\n");
    ExpectChipHolds(sim, kWholeFile);
}

INSTANTIATE_TEST_SUITE_P(
    Field, FaultsRiddenOut,
    ::testing::Values(RiddenOutCase{"DropSyncPrompt", Fault("drop", kSyncPrompt), kSyncRetrying},
                      RiddenOutCase{"CorruptSyncPrompt", Fault("corrupt", kSyncPrompt),
                                    GotInstead(uint8_t(~'>'))},
                      RiddenOutCase{"CorruptLastFillEcho", "corrupt:256", ""},
                      RiddenOutCase{"CorruptTalkerStartPrompt", Fault("corrupt", kTalkerStart), ""},
                      RiddenOutCase{"NoiseAfterTalkerStartPrompt", Fault("noise", kTalkerStart),
                                    ""},
                      RiddenOutCase{"CorruptBprotReadBack", Fault("corrupt", kBprotReadBack), ""},
                      RiddenOutCase{"NoiseAfterLastPrompt", Fault("noise", kLastPrompt),
                                    // It meets the read of the erase's unset bytes.
                                    "ReadTargetBytes: $F830-$FFFF did not match its check "
                                    "word; reading it again\n"}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace

namespace {

// The simulator ends in the middle of a read back, behind a pty and behind --listen, at the
// talker's rate and after a move to the chip's fastest: the run says in plain words that the
// device or the server went away, blames no rate, and ends with "Failure".
TEST(ConnectionLoss, IsSaidInPlainWordsAndBlamesNoRate) {
    struct {
        const char *name;
        std::vector<std::string> simArgs;
        std::vector<std::string> rateArgs;
        const char *reason;  // what the port's line says after its name
    } cases[] = {
        {"pty", {}, {}, ": Input/output error: the device was unplugged or closed\n"},
        {"pty", {}, {"-b", "125000"}, ": Input/output error: the device was unplugged or closed\n"},
        {"network", {"--listen", "0"}, {}, ": the server closed the connection"},
        {"network", {"--listen", "0"}, {"-b", "125000"}, ": the server closed the connection"},
    };
    for (auto &c : cases) c.simArgs.push_back("--realtime");  // the read lasts past the stop
    std::string dir = MakeTempDir();
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.rateArgs.empty() ? "" : " -b 125000"));
        SimProcess sim(c.simArgs);
        std::vector<std::string> args = {kProgram,    "-d", sim.path(),      "-r",
                                         "f800-ffff", "-o", dir + "/out.s19"};
        args.insert(args.end(), c.rateArgs.begin(), c.rateArgs.end());
        ChildProcess run = StartChild(args, dir + "/err");
        ASSERT_GT(run.pid, 0);
        std::string out;
        char ch;
        while (out.find("into " + dir + "/out.s19\n..") == std::string::npos &&
               read(run.stdoutFd, &ch, 1) == 1)
            out += ch;
        sim.stop();
        while (read(run.stdoutFd, &ch, 1) == 1) out += ch;
        int status = 0;
        waitpid(run.pid, &status, 0);
        close(run.stdoutFd);
        std::ifstream errFile(dir + "/err");
        std::string err((std::istreambuf_iterator<char>(errFile)),
                        std::istreambuf_iterator<char>());
        EXPECT_EQ(WEXITSTATUS(status), kTargetStatus) << out << err;
        EXPECT_NE(err.find(sim.path() + c.reason), std::string::npos) << err;
        EXPECT_EQ(err.find("can't run at"), std::string::npos) << err;
        EXPECT_TRUE(out.size() >= 8 && out.compare(out.size() - 8, 8, "Failure\n") == 0) << out;
    }
}

}  // namespace
