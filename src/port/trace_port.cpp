#include "trace_port.h"

#include <cstdio>
#include <cstring>

#include "say.h"

namespace {

struct TracePortState {
    Port *pInner;
};

Port *Inner(const Port *pPort) {
    return PortState<TracePortState>(pPort)->pInner;
}

// The inner port's error becomes the trace port's, for DescribeError.
int Passed(Port *pPort, int nResult) {
    pPort->dwLastError = Inner(pPort)->dwLastError;
    return nResult;
}

void TraceBytes(const char *pszWhat, const uint8_t *pbBuffer, uint32_t dwCount) {
    SayErr("%s:", pszWhat);
    for (uint32_t i = 0; i < dwCount; i++) SayErr("%02X ", pbBuffer[i]);
    SayErr("\n");
}

// The rate the inner port runs at, also when it refused the new one.
int TraceSetRate(Port *pPort, uint32_t dwBaudRate) {
    int fOk = SetPortRate(Inner(pPort), dwBaudRate);
    pPort->dwBaudRate = Inner(pPort)->dwBaudRate;
    return Passed(pPort, fOk);
}

int TraceRead(Port *pPort, uint8_t *pbBuffer, uint32_t dwLength, uint32_t dwTimeoutMs,
              uint32_t *pdwRead) {
    int fOk = ReadPort(Inner(pPort), pbBuffer, dwLength, dwTimeoutMs, pdwRead);
    if (fOk) TraceBytes("Read", pbBuffer, *pdwRead);
    return Passed(pPort, fOk);
}

// One line per byte, as if each had been its own write.
int TraceWrite(Port *pPort, const uint8_t *pbBuffer, uint32_t dwLength, uint32_t dwTimeoutMs,
               uint32_t *pdwWritten) {
    int fOk = WritePort(Inner(pPort), pbBuffer, dwLength, dwTimeoutMs, pdwWritten);
    if (fOk) {
        for (uint32_t i = 0; i < *pdwWritten; i++) TraceBytes("Write", &pbBuffer[i], 1);
    }
    return Passed(pPort, fOk);
}

int TraceDrain(Port *pPort) {
    return Passed(pPort, DrainPort(Inner(pPort)));
}

int TracePurgeInput(Port *pPort) {
    return Passed(pPort, PurgePortInput(Inner(pPort)));
}

int TracePurgeOutput(Port *pPort) {
    return Passed(pPort, PurgePortOutput(Inner(pPort)));
}

int TracePassTime(Port *pPort, uint32_t dwMs) {
    return PassPortTime(Inner(pPort), dwMs);
}

int TraceSetLine(Port *pPort, PortLine eLine, int fAsserted) {
    return Passed(pPort, SetPortLine(Inner(pPort), eLine, fAsserted));
}

int TraceSendBreak(Port *pPort, uint32_t dwMs) {
    return Passed(pPort, SendPortBreak(Inner(pPort), dwMs));
}

void TraceClose(Port *pPort) {
    ClosePort(Inner(pPort));
}

void TraceDescribeError(const Port *pPort, char *pszText, size_t cchText) {
    DescribePortError(Inner(pPort), pszText, cchText);
}

const PortOps g_TraceOps = {TraceSetRate,       TraceRead,        TraceWrite,     TraceDrain,
                            TracePurgeInput,    TraceSetLine,     TraceSendBreak, TraceClose,
                            TraceDescribeError, TracePurgeOutput, TracePassTime};

}  // namespace

void OpenTracePort(Port *pTrace, Port *pInner) {
    pTrace->pOps = &g_TraceOps;
    pTrace->dwLastError = 0;
    pTrace->dwBaudRate = pInner->dwBaudRate;
    memcpy(pTrace->szName, pInner->szName, sizeof(pTrace->szName));
    PortState<TracePortState>(pTrace)->pInner = pInner;
}
