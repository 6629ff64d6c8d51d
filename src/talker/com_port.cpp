// Port opening and byte transfer. Every byte that crosses the wire passes through here.
#include "com_port.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "port_open.h"
#include "progress.h"
#include "say.h"
#include "trace_port.h"

namespace {

// A read gives up after 500 ms a byte and 1.5 s more; a write after 1.5 s a byte and 1.5 s
// more.
const uint32_t READ_MS_PER_BYTE = 500, READ_MS_EXTRA = 1500;
const uint32_t WRITE_MS_PER_BYTE = 1500, WRITE_MS_EXTRA = 1500;

}  // namespace

namespace {

// The connection kept from the stage before, at the new stage's rate and with nothing left of
// the old stage's bytes.
int ReuseParkedPort(TalkerLink *pLink, uint32_t dwBaudRate) {
    pLink->fParked = 0;
    if (SetComPortRate(&pLink->device, dwBaudRate)) {
        PurgePortInput(&pLink->device);
        return 1;
    }
    ClosePort(&pLink->device);
    return 0;
}

}  // namespace

int OpenComPort(TalkerLink *pLink, uint32_t dwBaudRate) {
    pLink->pPort = NULL;
    int fOpen = pLink->fParked ? ReuseParkedPort(pLink, dwBaudRate)
                : pLink->pfnOpenPort != NULL
                    ? pLink->pfnOpenPort(&pLink->device, dwBaudRate, pLink->pOpenContext)
                    : OpenPortByName(&pLink->device, &pLink->pTarget->portName, dwBaudRate);
    if (!fOpen) return 0;
    pLink->pPort = &pLink->device;
    if (pLink->pTarget->fTrace) {
        OpenTracePort(&pLink->trace, &pLink->device);
        pLink->pPort = &pLink->trace;
    }
    return 1;
}

void CloseComPort(TalkerLink *pLink) {
    if (pLink->pPort == NULL) return;
    if (pLink->fKeepOpen && pLink->device.pOps != NULL) {
        pLink->fParked = 1;
    } else {
        ClosePort(pLink->pPort);
    }
    pLink->pPort = NULL;
}

void EndComPort(TalkerLink *pLink) {
    CloseComPort(pLink);
    if (pLink->fParked) ClosePort(&pLink->device);
    pLink->fParked = 0;
}

int SetComPortRate(Port *pPort, uint32_t dwBaudRate) {
    if (SetPortRate(pPort, dwBaudRate)) return 1;
    if (pPort->fConnectionLost) {
        SayPortFailure(pPort);
        return 0;
    }
    SayErr(
        "The port can't run at %u baud 8N1: some adapters can't make the chip's fast rates "
        "(try a lower -b)\n",
        (unsigned)dwBaudRate);
    return 0;
}

void SayPortFailure(const Port *pPort) {
    PrintPortError(pPort);
}

int TracedWrite(Port *pPort, const uint8_t *pbBuffer, uint32_t dwLength, uint32_t *pdwWritten) {
    return WritePort(pPort, pbBuffer, dwLength, WRITE_MS_PER_BYTE * dwLength + WRITE_MS_EXTRA,
                     pdwWritten);
}

int TracedRead(Port *pPort, uint8_t *pbBuffer, uint32_t dwLength, uint32_t *pdwRead) {
    return ReadPort(pPort, pbBuffer, dwLength, READ_MS_PER_BYTE * dwLength + READ_MS_EXTRA,
                    pdwRead);
}

int ReadRawByte(Port *pPort, uint8_t *pbByte) {
    uint32_t dwRead = 0;
    if (!TracedRead(pPort, pbByte, 1, &dwRead)) {
        EndProgressLineForMessage();
        SayErr("SendRawWithEcho: Read error 0x%x\n", (unsigned)pPort->dwLastError);
        SayPortFailure(pPort);
        return 0;
    }
    if (dwRead != 1) {
        EndProgressLineForMessage();
        SayErr("SendRawWithEcho: dwRead != 1\n");
        return 0;
    }
    return 1;
}

void ReportStoppedAnswering(uint16_t wAddress) {
    SayErr("SendRawWithEcho: dwRead != 1\n");
    SayErr(
        "SendRawWithEcho: the board stopped answering at $%04X: check its power and the "
        "cable, and whether something reset it; then reset it into special bootstrap mode "
        "and run again\n",
        wAddress);
}

int EchoMatches(uint8_t bEcho, const uint8_t *pbBuffer, uint32_t dwIndex) {
    if (bEcho == pbBuffer[dwIndex]) return 1;
    EndProgressLineForMessage();
    SayErr("SendRawWithEcho: pbReadBuffer[0](%x) != pbBuffer[0x%x](%x))\n", bEcho,
           (unsigned)dwIndex, pbBuffer[dwIndex]);
    return 0;
}

int SendRawWithEcho(Port *pPort, const uint8_t *pbBuffer, uint32_t dwLength, int fReadEcho,
                    int fNoCompare, uint32_t *pdwMismatches) {
    for (uint32_t i = 0; i < dwLength; i++) {
        if (!WriteBytes(pPort, &pbBuffer[i], 1)) return 0;
        if (!fReadEcho) continue;
        uint8_t bEcho = 0;
        if (!ReadRawByte(pPort, &bEcho)) return 0;
        if (!fNoCompare && !EchoMatches(bEcho, pbBuffer, i) && pdwMismatches != NULL) {
            (*pdwMismatches)++;
        }
    }
    return 1;
}

int WriteBytes(Port *pPort, const uint8_t *pbBuffer, uint32_t dwLength) {
    uint32_t dwWrite = 0;
    if (!TracedWrite(pPort, pbBuffer, dwLength, &dwWrite)) {
        SayErr("SendRawWithEcho: Write error 0x%x\n", (unsigned)pPort->dwLastError);
        SayPortFailure(pPort);
        return 0;
    }
    if (dwWrite != dwLength) {
        SayErr("SendRawWithEcho: dwWrite != 1\n");
        return 0;
    }
    return 1;
}

int SendRawNoEcho(Port *pPort, const uint8_t *pbBuffer, uint32_t dwLength) {
    return SendRawWithEcho(pPort, pbBuffer, dwLength, 0, 0, NULL);
}

int SendRawCheckEcho(Port *pPort, const uint8_t *pbBuffer, uint32_t dwLength,
                     uint32_t *pdwMismatches) {
    return SendRawWithEcho(pPort, pbBuffer, dwLength, 1, 0, pdwMismatches);
}

void SleepMs(uint32_t dwMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMs));
}

void WaitOnPort(Port *pPort, uint32_t dwMs) {
    if (!PassPortTime(pPort, dwMs)) SleepMs(dwMs);
}
