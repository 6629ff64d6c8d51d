// The talker load against the simulated chip's bootstrap ROM: the bytes on the wire, the
// progress marks, and what an echo that differs from a talker byte does to the run; and how
// the probe before it judges the answers to its "s" (those no chip gives from a far end that
// plays them over a pty).
#include <gtest/gtest.h>

#include <cstring>

#include "bootstrap_loader.h"
#include "com_port.h"
#include "fake_target.h"
#include "part_table.h"
#include "sim_port.h"
#include "srecord.h"
#include "talker_image.h"
#include "talker_probe.h"
#include "talker_protocol.h"
#include "test_link.h"

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
    void SetUp() override { StartTestLink(&link, &linkTarget, 0, target.path().c_str()); }
    FakeTarget target;
    LinkTarget linkTarget;
    TalkerLink link;
};

// The chip in bootstrap mode from power-up, the link's port closed: each stage opens it.
class LoaderOnSim : public SimLinkTest {
  protected:
    void SetUp() override { UseChip(hc11::SimConfig{}); }
    // A chip whose target byte number dwByte (from 1) reaches the host with its bits inverted.
    // 0: none.
    void CorruptEcho(uint32_t dwByte, const PartInfo *pPart = nullptr) {
        hc11::SimConfig config;
        config.part = pPart;
        if (dwByte != 0) config.faults.push_back({hc11::FaultKind::Corrupt, dwByte});
        UseChip(config);
    }
    uint64_t Received() const { return sim->stats().rxBytes; }
    ProbeResult ProbeAt9600(uint8_t bProbe) {
        if (!OpenComPort(&link, TALKER_BAUD_RATE)) return PROBE_FAILED;
        ProbeResult eProbe = ProbeTalker(link.pPort, bProbe, 100);
        CloseComPort(&link);
        return eProbe;
    }
    // The talker answers its sync at 9600 baud.
    void ExpectTalkerRunning() {
        ASSERT_EQ(OpenComPort(&link, TALKER_BAUD_RATE), 1);
        EXPECT_EQ(GetPrompt(link.pPort, 1), 1);
        CloseComPort(&link);
    }
};

TEST_F(LoaderOnSim, SendsFFTheTalkerAndTheFillAndReadsEveryEcho) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(DownloadTalker(&link, BOOT_BAUD_1200, 0), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), TalkerMarks());
    EXPECT_EQ(Received(), 257u);
    Bytes talker = ExpectedDownload();
    for (size_t i = 0; i < TalkerLength(); i++) EXPECT_EQ(sim->peek(uint16_t(i)), talker[i]) << i;
    ExpectTalkerRunning();
}

// The boot ROM's break from a reset reads as $00: one that arrives ahead of the first echo is
// no echo and the load goes through.
TEST_F(LoaderOnSim, BreakFromAResetBeforeTheFirstEchoIsNotAnEcho) {
    sim->reset();
    sim->runCycles(3'000);  // the preamble out, the break on its way when the host comes
    size_t cbBefore = sim->targetSent().size();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(DownloadTalker(&link, BOOT_BAUD_1200, 0), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), TalkerMarks());
    ASSERT_GT(sim->targetSent().size(), cbBefore);
    EXPECT_EQ(sim->targetSent()[cbBefore].value, 0x00) << "the break came while the port listened";
    ExpectTalkerRunning();
}

// A variable-length part takes the talker alone: every byte sent is the talker's, and every
// echo is judged; a good load ends in the ROM's idle end, which starts the talker.
TEST_F(LoaderOnSim, VariableLengthLoadSendsTheTalkerAlone) {
    for (bool fLastEchoWrong : {false, true}) {
        SCOPED_TRACE(fLastEchoWrong ? "last echo wrong" : "every echo right");
        CorruptEcho(fLastEchoWrong ? uint32_t(TalkerLength()) : 0, FindPart("E9"));
        linkTarget.pPart = FindPart("E9");  // a variable-length load
        linkTarget.dwLoadLength = 512;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(DownloadTalker(&link, BOOT_BAUD_1200, 0), fLastEchoWrong ? 0 : 1)
            << "the last talker byte's echo is judged";
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), TalkerMarks());
        EXPECT_EQ(Received(), TalkerLength() + 1);
        if (!fLastEchoWrong) ExpectTalkerRunning();
    }
}

TEST_F(LoaderOnSim, WrongEchoOfATalkerByteFailsTheLoadOnceAllIsSent) {
    CorruptEcho(18);  // the echo of byte 17: no break went before it at power-up
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(DownloadTalker(&link, BOOT_BAUD_1200, 0), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), TalkerMarks());
    EXPECT_EQ(Received(), 257u) << "the load is completed before it is judged";
    uint8_t sent = ExpectedDownload()[17];
    char mismatch[128];
    snprintf(mismatch, sizeof mismatch,
             "SendRawWithEcho: pbReadBuffer[0](%x) != pbBuffer[0x%x](%x))\n", sent ^ 0xFF, 17,
             sent);
    EXPECT_EQ(err.rfind(mismatch, 0), 0u) << err;
    EXPECT_NE(err.find("DownloadTalker: 1 talker byte(s) echoed wrong"), std::string::npos);
    EXPECT_NE(err.find("special bootstrap mode (MODA and MODB low)"), std::string::npos);
}

TEST_F(LoaderOnSim, WrongEchoOfAFillByteIsNotAFailure) {
    CorruptEcho(256);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_EQ(DownloadTalker(&link, BOOT_BAUD_1200, 0), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ExpectTalkerRunning();
}

// What the chip answers the probe: silence from a boot ROM waiting (which takes an "s" as its
// first character and moves to 1200, a $FF at 9600 as its own $FF and stays at 7812: the load
// then goes without its $FF), ">" from a running talker.
TEST_F(LoaderOnSim, ProbeJudgesTheChipsAnswers) {
    for (uint8_t bProbe : {uint8_t('s'), uint8_t(0xFF)}) {
        SCOPED_TRACE(int(bProbe));
        uint32_t dwLoadBaud = bProbe == 0xFF ? BOOT_BAUD_7812 : BOOT_BAUD_1200;
        sim->reset();
        uint64_t cbBefore = Received();
        testing::internal::CaptureStdout();
        EXPECT_EQ(ProbeAt9600(bProbe), PROBE_NO_TALKER);
        EXPECT_EQ(DownloadTalker(&link, dwLoadBaud, 1), 1);
        EXPECT_EQ(Received() - cbBefore, 257u) << "the probe and the load, no $FF";
        EXPECT_EQ(ProbeAt9600(bProbe), PROBE_TALKER_RUNNING);
        testing::internal::GetCapturedStdout();
    }
}

// A break waiting in the port before the load is emptied with the rest (a port opened onto
// the simulated chip hears nothing from before its open).
TEST_F(BootstrapLoader, BreakWaitingBeforeTheOpenIsNotAnEcho) {
    target.writeByte(0x00);
    target.start([](FakeTarget &t) { PlayBootRom(t, -1); });
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(DownloadTalker(&link, BOOT_BAUD_1200, 0), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), TalkerMarks());
    target.join();
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
        linkTarget.pPart = FindPart(c.pszPart);
        linkTarget.dwTalkerRate = c.dwTalkerRate;
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
            StartTestLink(&link, &linkTarget, 0, far.path().c_str());
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
