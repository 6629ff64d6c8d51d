// The talker load against hc11sim itself, through a port that pauses before each write as a
// busy host may: the boot ROM of a variable-length part ends its load after 4 idle
// characters (5 ms at 7812 baud, 33 ms at 1200), so a load sent in pieces with such pauses
// between them would end early and fail a healthy board.
#include <gtest/gtest.h>

#include <cstring>

#include "bootstrap_loader.h"
#include "com_port.h"
#include "part_table.h"
#include "sim_process.h"
#include "talker_protocol.h"
#include "test_link.h"

namespace {

struct PausingState {
    Port *pInner;
    uint32_t dwPauseMs;
};

Port *Inner(const Port *pPort) {
    return PortState<PausingState>(pPort)->pInner;
}

// Every operation passes to the inner port; a write first sleeps dwPauseMs.
const PortOps g_PausingOps = {
    [](Port *p, uint32_t dwRate) { return SetPortRate(Inner(p), dwRate); },
    [](Port *p, uint8_t *pb, uint32_t dw, uint32_t dwMs, uint32_t *pdw) {
        return ReadPort(Inner(p), pb, dw, dwMs, pdw);
    },
    [](Port *p, const uint8_t *pb, uint32_t dw, uint32_t dwMs, uint32_t *pdw) {
        SleepMs(PortState<PausingState>(p)->dwPauseMs);
        return WritePort(Inner(p), pb, dw, dwMs, pdw);
    },
    [](Port *p) { return DrainPort(Inner(p)); },
    [](Port *p) { return PurgePortInput(Inner(p)); },
    [](Port *p, PortLine eLine, int f) { return SetPortLine(Inner(p), eLine, f); },
    [](Port *p, uint32_t dwMs) { return SendPortBreak(Inner(p), dwMs); },
    [](Port *p) { ClosePort(Inner(p)); },
    [](const Port *p, char *psz, size_t cch) { DescribePortError(Inner(p), psz, cch); },
    [](Port *p) { return PurgePortOutput(Inner(p)); },
    [](Port *p, uint32_t dwMs) { return PassPortTime(Inner(p), dwMs); },
};

void OpenPausingPort(Port *pPausing, Port *pInner, uint32_t dwPauseMs) {
    pPausing->pOps = &g_PausingOps;
    pPausing->dwLastError = 0;
    pPausing->dwBaudRate = pInner->dwBaudRate;
    memcpy(pPausing->szName, pInner->szName, sizeof(pPausing->szName));
    *PortState<PausingState>(pPausing) = {pInner, dwPauseMs};
}

// Each variable-length part at both load rates, with a pause before every write longer than
// the ROM's idle end: the talker still lands whole and answers its sync at 9600.
TEST(BootLoad, PausesOfTheHostDoNotEndAVariableLengthLoad) {
    const struct {
        const char *pszPart;
        uint32_t dwBaud, dwPauseMs;
    } kCases[] = {{"E9", BOOT_BAUD_1200, 60},
                  {"E9", BOOT_BAUD_7812, 15},
                  {"F1", BOOT_BAUD_1200, 60},
                  {"E20", BOOT_BAUD_7812, 15}};
    for (const auto &c : kCases) {
        SCOPED_TRACE(std::string(c.pszPart) + " at " + std::to_string(c.dwBaud));
        SimProcess sim({"--part", c.pszPart});
        LinkTarget linkTarget;
        TalkerLink link;
        StartTestLink(&link, &linkTarget, 0, sim.path().c_str());
        linkTarget.pPart = FindPart(c.pszPart);
        ASSERT_EQ(OpenComPort(&link, c.dwBaud), 1);
        Port pausing;
        OpenPausingPort(&pausing, link.pPort, c.dwPauseMs);
        link.pPort = &pausing;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int fLoaded = SendBootLoad(&link, c.dwBaud, 0);
        int fAnswers = SetPortRate(&pausing, TALKER_BAUD_RATE) && GetPrompt(&pausing, 1);
        testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        ClosePort(&pausing);
        sim.stop();
        EXPECT_EQ(fLoaded, 1) << err;
        EXPECT_EQ(fAnswers, 1) << "the talker runs whole" << err;
    }
}

}  // namespace
