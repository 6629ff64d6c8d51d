#include "sim_port.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "com_port.h"
#include "srecord.h"
#include "talker_image.h"
#include "talker_protocol.h"
#include "test_link.h"
#include "trace_port.h"

namespace {

const uint16_t BPROT = 0x1035;
const uint16_t HPRIO = 0x103C;
const uint8_t HPRIO_EXPANDED = 0x65;  // MDA set, RBOOT clear: as the run sets it for "-x"

struct SimPortState {
    hc11::Simulator *pSim;
    size_t cbHeard;         // of the chip's bytes, those read or dropped so far
    uint64_t qwLineFreeAt;  // the cycle at which the host's last written byte has left
};

SimPortState *State(Port *pPort) {
    return PortState<SimPortState>(pPort);
}

uint64_t Cycles(const hc11::Simulator *pSim, double dSeconds) {
    return uint64_t(pSim->stats().eClockHz * dSeconds + 0.5);
}

// Runs the chip for dwMs, or until it has sent cbCount bytes in all; when it falls quiet
// waiting for the host having sent more than cbHeard, it stops there.
void RunFor(hc11::Simulator *pSim, uint32_t dwMs, size_t cbCount, size_t cbHeard = SIZE_MAX) {
    uint64_t qwEnd = pSim->cycles() + Cycles(pSim, dwMs / 1000.0);
    if (pSim->runUntilSent(cbCount, qwEnd - pSim->cycles()) == hc11::RunEnd::Waiting &&
        pSim->targetSent().size() <= cbHeard)
        pSim->runCycles(qwEnd - pSim->cycles());  // nothing will come: the time passes anyway
}

int SimSetRate(Port *pPort, uint32_t dwBaudRate) {
    pPort->dwBaudRate = dwBaudRate;
    State(pPort)->pSim->setHostBaud(dwBaudRate);
    return 1;
}

int SimRead(Port *pPort, uint8_t *pbBuffer, uint32_t dwLength, uint32_t dwTimeoutMs,
            uint32_t *pdwRead) {
    SimPortState *pState = State(pPort);
    const std::vector<hc11::WireByte> &sent = pState->pSim->targetSent();
    // What the chip sends back to back comes in one read, up to the count asked for, as it
    // would while the host sleeps between reads (a sleep passes no time on the chip).
    if (dwLength > 0 && sent.size() == pState->cbHeard)
        RunFor(pState->pSim, dwTimeoutMs, pState->cbHeard + dwLength, pState->cbHeard);
    *pdwRead = 0;
    while (*pdwRead < dwLength && pState->cbHeard < sent.size())
        pbBuffer[(*pdwRead)++] = sent[pState->cbHeard++].value;
    return 1;
}

int SimWrite(Port *pPort, const uint8_t *pbBuffer, uint32_t dwLength, uint32_t,
             uint32_t *pdwWritten) {
    SimPortState *pState = State(pPort);
    hc11::Simulator *pSim = pState->pSim;
    pSim->hostSend(std::vector<uint8_t>(pbBuffer, pbBuffer + dwLength), pPort->dwBaudRate);
    uint64_t qwStart = std::max(pSim->cycles(), pState->qwLineFreeAt);
    pState->qwLineFreeAt = qwStart + Cycles(pSim, dwLength * 10.0 / pPort->dwBaudRate);
    *pdwWritten = dwLength;
    return 1;
}

int SimDrain(Port *pPort) {
    SimPortState *pState = State(pPort);
    if (pState->qwLineFreeAt > pState->pSim->cycles())
        pState->pSim->runCycles(pState->qwLineFreeAt - pState->pSim->cycles());
    return 1;
}

int SimPurgeInput(Port *pPort) {
    State(pPort)->cbHeard = State(pPort)->pSim->targetSent().size();
    return 1;
}

// The chip's mode pins are not wired to the port's lines here; a break is not modelled.
int SimSetLine(Port *, PortLine, int) {
    return 1;
}

int SimSendBreak(Port *pPort, uint32_t dwMs) {
    RunFor(State(pPort)->pSim, dwMs, SIZE_MAX);
    return 1;
}

void SimClose(Port *) {}

void SimDescribeError(const Port *, char *pszText, size_t cchText) {
    snprintf(pszText, cchText, "the simulated port does not fail");
}

int SimPassTime(Port *pPort, uint32_t dwMs) {
    RunFor(State(pPort)->pSim, dwMs, SIZE_MAX);
    return 1;
}

const PortOps kSimOps = {SimSetRate,       SimRead,    SimWrite,     SimDrain,
                         SimPurgeInput,    SimSetLine, SimSendBreak, SimClose,
                         SimDescribeError, NULL,       SimPassTime};

int OpenOntoSim(Port *pDevice, uint32_t dwBaudRate, void *pContext) {
    OpenSimPort(pDevice, static_cast<hc11::Simulator *>(pContext), dwBaudRate);
    return 1;
}

}  // namespace

void OpenSimPort(Port *pPort, hc11::Simulator *pSim, uint32_t dwBaudRate) {
    pPort->pOps = &kSimOps;
    pPort->dwLastError = 0;
    snprintf(pPort->szName, sizeof(pPort->szName), "sim");
    SimPortState *pState = State(pPort);
    pState->pSim = pSim;
    pState->cbHeard = pSim->targetSent().size();
    pState->qwLineFreeAt = pSim->cycles();
    SimSetRate(pPort, dwBaudRate);
}

void UseSimPort(TalkerLink *pLink, hc11::Simulator *pSim) {
    pLink->pfnOpenPort = OpenOntoSim;
    pLink->pOpenContext = pSim;
}

void StartTalkerInSim(hc11::Simulator *pSim) {
    SRecord record;
    for (unsigned i = 0; i < dwTalkerImageLines; i++) {
        if (ParseSRecordString(TalkerImage[i], &record) == 1 && record.wType == 1)
            pSim->load(record.wAddress,
                       std::vector<uint8_t>(record.bData, record.bData + record.wLength));
    }
    pSim->startAt(0x0000);
}

void SimLinkTest::UseChip(const hc11::SimConfig &config) {
    CloseComPort(&link);
    sim = std::make_unique<hc11::Simulator>(config);
    StartTestLink(&link, &linkTarget, 0, "sim");
    UseSimPort(&link, sim.get());
}

void SimLinkTest::OpenLink(const hc11::SimConfig &config) {
    UseChip(config);
    ASSERT_EQ(OpenComPort(&link, 9600), 1);
    pPort = link.pPort;
}

void SimLinkTest::StartTalker() {
    StartTalkerInSim(sim.get());
    ASSERT_EQ(GetPrompt(pPort, 0), 1);
}

void SimLinkTest::StartTalkerForWrites(uint8_t bBprot) {
    StartTalker();
    ASSERT_EQ(WriteTargetByte(pPort, HPRIO, HPRIO_EXPANDED), 1);
    ASSERT_EQ(WriteTargetByte(pPort, BPROT, bBprot), 1);
}

hc11::SimConfig SimLinkTest::WithExternalRam() {
    hc11::SimConfig config;
    config.xram = hc11::AddressRange{0x2000, 0x3FFF};
    return config;
}

void SimLinkTest::StartTracing() {
    linkTarget.fTrace = 1;
    OpenTracePort(&link.trace, &link.device);
    pPort = link.pPort = &link.trace;
}
