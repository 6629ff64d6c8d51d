// The talker load against a far end that plays the bootstrap ROM: the bytes on the wire,
// the progress marks, and what an echo that differs from a talker byte does to the run; and
// how the probe before it judges the answers to its "s".
#include <gtest/gtest.h>

#include <cstring>

#include "bootstrap_loader.h"
#include "com_port.h"
#include "fake_target.h"
#include "part_table.h"
#include "srecord.h"
#include "talker_image.h"
#include "talker_probe.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The talker's bytes as the image holds them, then the zero fill up to 256.
Bytes ExpectedDownload() {
    Bytes bytes;
    SRecord record;
    for (unsigned i = 0; i < dwTalkerImageLines; i++) {
        testing::internal::CaptureStderr();
        bool parsed = ParseSRecordString(TalkerImage[i], &record) == 1;
        testing::internal::GetCapturedStderr();
        if (parsed && record.wType == 1) {
            bytes.insert(bytes.end(), record.bData, record.bData + record.wLength);
        }
    }
    bytes.resize(256, 0x00);
    return bytes;
}

// The talker's own bytes, without the fill.
size_t TalkerLength() {
    size_t length = 0;
    SRecord record;
    for (unsigned i = 0; i < dwTalkerImageLines; i++) {
        testing::internal::CaptureStderr();
        if (ParseSRecordString(TalkerImage[i], &record) == 1 && record.wType == 1)
            length += record.wLength;
        testing::internal::GetCapturedStderr();
    }
    return length;
}

// A bootstrap ROM: takes the $FF without an answer, then echoes 256 bytes, the one at
// wrongAt (if any) changed.
void PlayBootRom(FakeTarget &target, int wrongAt) {
    uint8_t byte;
    if (!target.readByte(&byte)) return;
    for (int i = 0; i < 256 && target.readByte(&byte); i++) {
        target.writeByte(i == wrongAt ? uint8_t(byte ^ 0x01) : byte);
    }
}

class BootstrapLoader : public testing::Test {
  protected:
    void SetUp() override { StartTalkerLink(&link, 0, target.path().c_str()); }
    FakeTarget target;
    TalkerLink link;
};

TEST_F(BootstrapLoader, SendsFFTheTalkerAndTheFillAndReadsEveryEcho) {
    target.start([](FakeTarget &t) { PlayBootRom(t, -1); });
    testing::internal::CaptureStdout();
    EXPECT_EQ(DownloadTalker(&link, BOOT_BAUD_1200, 0), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), TalkerMarks());
    target.join();
    Bytes expected = ExpectedDownload();
    expected.insert(expected.begin(), 0xFF);
    EXPECT_EQ(target.received, expected);
}

// The boot ROM's break from a reset reads as $00: one waiting in the port before the load, or
// one that arrives ahead of the first echo, is no echo and the load goes through.
TEST_F(BootstrapLoader, BreakFromAResetBeforeTheFirstEchoIsNotAnEcho) {
    for (bool fBeforeOpen : {true, false}) {
        SCOPED_TRACE(fBeforeOpen ? "waiting before the open" : "after the $FF");
        FakeTarget board;
        StartTalkerLink(&link, 0, board.path().c_str());
        if (fBeforeOpen) board.writeByte(0x00);
        board.start([fBeforeOpen](FakeTarget &t) {
            uint8_t byte;
            if (!t.readByte(&byte)) return;
            if (!fBeforeOpen) t.writeByte(0x00);
            for (int i = 0; i < 256 && t.readByte(&byte); i++) t.writeByte(byte);
        });
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(DownloadTalker(&link, BOOT_BAUD_1200, 0), 1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), TalkerMarks());
        board.join();
    }
}

// A variable-length part takes the talker alone: every byte sent is the talker's, and every
// echo is judged.
TEST_F(BootstrapLoader, VariableLengthLoadSendsTheTalkerAlone) {
    link.pPart = FindPart("E9");  // a variable-length load
    link.dwLoadLength = 512;
    Bytes talker = ExpectedDownload();
    talker.resize(TalkerLength());
    target.start([&talker](FakeTarget &t) {
        uint8_t byte;
        if (!t.readByte(&byte)) return;
        for (size_t i = 0; i < talker.size() && t.readByte(&byte); i++)
            t.writeByte(i + 1 == talker.size() ? uint8_t(byte ^ 0x80) : byte);
        t.readByte(&byte, 200);  // nothing more comes
    });
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(DownloadTalker(&link, BOOT_BAUD_1200, 0), 0)
        << "the last talker byte's echo is judged";
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), TalkerMarks());
    target.join();
    talker.insert(talker.begin(), 0xFF);
    EXPECT_EQ(target.received, talker);
}

TEST_F(BootstrapLoader, WrongEchoOfATalkerByteFailsTheLoadOnceAllIsSent) {
    target.start([](FakeTarget &t) { PlayBootRom(t, 17); });
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(DownloadTalker(&link, BOOT_BAUD_1200, 0), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), TalkerMarks());
    target.join();
    EXPECT_EQ(target.received.size(), 257u) << "the load is completed before it is judged";
    uint8_t sent = ExpectedDownload()[17];
    char mismatch[128];
    snprintf(mismatch, sizeof mismatch,
             "SendRawWithEcho: pbReadBuffer[0](%x) != pbBuffer[0x%x](%x))\n", sent ^ 0x01, 17,
             sent);
    EXPECT_EQ(err.rfind(mismatch, 0), 0u) << err;
    EXPECT_NE(err.find("DownloadTalker: 1 talker byte(s) echoed wrong"), std::string::npos);
    EXPECT_NE(err.find("special bootstrap mode (MODA and MODB low)"), std::string::npos);
}

TEST_F(BootstrapLoader, WrongEchoOfAFillByteIsNotAFailure) {
    target.start([](FakeTarget &t) { PlayBootRom(t, 255); });
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_EQ(DownloadTalker(&link, BOOT_BAUD_1200, 0), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(BootstrapLoader, RunEndsBeforeReopeningThePortWhenTheLoadFailed) {
    target.start([](FakeTarget &t) {
        PlayBootRom(t, 3);
        uint8_t byte;
        t.readByte(&byte, 1000);  // a reopened port would send its sync "s" here
    });
    ProgramResult result = RunProgram(std::string(HC11PROG_PATH) + " -B -d " + target.path());
    target.join();
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(WithoutBanner(result.out), "Downloading talker file\n" + TalkerMarks() + "Failure\n");
    EXPECT_EQ(target.received.size(), 257u) << "nothing may follow a failed load";
}

// The ROM's own 7812 baud only for a fixed-length part on a -b run, behind a $FF probe; a
// variable-length part loads at 1200 always: unprobed, its load must be one a running talker
// reads as no command.
TEST_F(BootstrapLoader, LoadRateByPartAndTalkerRate) {
    const struct {
        const char *pszPart;
        uint32_t dwTalkerRate, dwLoadBaud;
    } kCases[] = {{"811E2", 9600, 1200}, {"811E2", 125000, 7812}, {"A8", 15625, 7812},
                  {"A1", 9600, 1200},    {"E9", 125000, 1200},    {"E20", 62500, 1200},
                  {"F1", 31250, 1200},   {"E1", 9600, 1200}};
    for (const auto &c : kCases) {
        SCOPED_TRACE(std::string(c.pszPart) + " " + std::to_string(c.dwTalkerRate));
        link.pPart = FindPart(c.pszPart);
        link.dwTalkerRate = c.dwTalkerRate;
        EXPECT_EQ(ChooseLoadBaud(&link), c.dwLoadBaud);
    }
}

// What answers the probe ("s" before a load at 1200, $FF before one at 7812) decides: ">" is
// a running talker, silence a waiting boot ROM; one $00 (the break of a reset, reaching the
// port late) is no answer; anything else is a ROM already loading, and the probe fails rather
// than let a shifted talker load.
TEST_F(BootstrapLoader, ProbeJudgesTheAnswerToItsSync) {
    const struct {
        Bytes answer;
        ProbeResult expected;
    } kCases[] = {
        {{}, PROBE_NO_TALKER},         {{0x00}, PROBE_NO_TALKER},
        {{'>'}, PROBE_TALKER_RUNNING}, {{0x00, '>'}, PROBE_TALKER_RUNNING},
        {{0x80}, PROBE_FAILED},        {{0x00, 0x00}, PROBE_FAILED},
        {{0xF1, '>'}, PROBE_FAILED},   {{0xFF}, PROBE_FAILED},
    };
    for (uint8_t probe : {uint8_t('s'), uint8_t(0xFF)}) {
        for (const auto &probeCase : kCases) {
            SCOPED_TRACE(testing::PrintToString(probeCase.answer) + " to " + std::to_string(probe));
            FakeTarget far;
            StartTalkerLink(&link, 0, far.path().c_str());
            far.start([&probeCase, probe](FakeTarget &t) {
                uint8_t sync;
                if (t.readByte(&sync) && sync == probe) t.writeBytes(probeCase.answer);
            });
            testing::internal::CaptureStdout();
            testing::internal::CaptureStderr();
            ASSERT_EQ(OpenComPort(&link, 9600), 1);
            EXPECT_EQ(ProbeTalker(link.pPort, probe, 100), probeCase.expected);
            CloseComPort(&link);
            std::string err = testing::internal::GetCapturedStderr();
            std::string out = testing::internal::GetCapturedStdout();
            far.join();
            EXPECT_EQ(far.received, Bytes({probe}));
            bool failed = probeCase.expected == PROBE_FAILED;
            EXPECT_EQ(out, "");
            EXPECT_EQ(err.rfind("ProbeTalker: the board answered $", 0),
                      failed ? 0u : std::string::npos)
                << err;
        }
    }
}

}  // namespace
