// Serial ports on Windows through the system's own communications calls: CreateFileA for an
// exclusive open, GetCommState/SetCommState for the line, SetCommTimeouts for each call's
// time-out, ReadFile/WriteFile, PurgeComm and EscapeCommFunction.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "native_port.h"
#include "port_open.h"
#include "say.h"

namespace {

struct Win32PortState {
    HANDLE hPort;
    DCB dcbBefore;  // the line settings from before the open, given back at close
    COMMTIMEOUTS timeoutsBefore;
    COMMTIMEOUTS timeoutsSet;  // what the port holds now, so that a call sets only a change
};

Win32PortState *State(Port *pPort) {
    return PortState<Win32PortState>(pPort);
}

// On an open port these say that the adapter is gone: unplugged, or its driver stopped it.
int IsDeviceGone(DWORD dwError) {
    return dwError == ERROR_BAD_COMMAND || dwError == ERROR_DEVICE_REMOVED ||
           dwError == ERROR_GEN_FAILURE || dwError == ERROR_OPERATION_ABORTED;
}

int FailWithLastError(Port *pPort) {
    pPort->dwLastError = (uint32_t)GetLastError();
    if (pPort->pOps != NULL && IsDeviceGone(pPort->dwLastError)) pPort->fConnectionLost = 1;
    return 0;
}

// A raw 8-bit line: every byte value passes, none is taken as flow control or replaced.
// DTR and RTS stay as the port had them.
void SetRawLineFormat(DCB *pDcb, DWORD dwBaudRate) {
    pDcb->BaudRate = dwBaudRate;
    pDcb->ByteSize = 8;
    pDcb->Parity = NOPARITY;
    pDcb->StopBits = ONESTOPBIT;
    pDcb->fBinary = 1;
    pDcb->fOutxCtsFlow = 0;
    pDcb->fOutxDsrFlow = 0;
    pDcb->fOutX = 0;
    pDcb->fInX = 0;
    pDcb->fParity = 0;
    pDcb->fNull = 0;
    pDcb->fErrorChar = 0;
    pDcb->fAbortOnError = 0;
    pDcb->fDsrSensitivity = 0;
}

int Win32SetRate(Port *pPort, uint32_t dwBaudRate) {
    DCB dcb = {};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(State(pPort)->hPort, &dcb)) return FailWithLastError(pPort);
    SetRawLineFormat(&dcb, dwBaudRate);
    if (!SetCommState(State(pPort)->hPort, &dcb)) return FailWithLastError(pPort);
    pPort->dwBaudRate = dwBaudRate;
    return 1;
}

int UseTimeouts(Port *pPort, const COMMTIMEOUTS *pTimeouts) {
    COMMTIMEOUTS *pSet = &State(pPort)->timeoutsSet;
    if (memcmp(pSet, pTimeouts, sizeof(*pSet)) == 0) return 1;
    if (!SetCommTimeouts(State(pPort)->hPort, const_cast<COMMTIMEOUTS *>(pTimeouts)))
        return FailWithLastError(pPort);
    *pSet = *pTimeouts;
    return 1;
}

// MAXDWORD for the interval and the multiplier: the read returns as soon as a byte is there,
// and waits at most the constant for the first.
int Win32Read(Port *pPort, uint8_t *pbBuffer, uint32_t dwLength, uint32_t dwTimeoutMs,
              uint32_t *pdwRead) {
    *pdwRead = 0;
    COMMTIMEOUTS timeouts = State(pPort)->timeoutsSet;
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = dwTimeoutMs > 0 ? dwTimeoutMs : 1;  // 0 has no such meaning
    if (!UseTimeouts(pPort, &timeouts)) return 0;
    DWORD dwRead = 0;
    if (!ReadFile(State(pPort)->hPort, pbBuffer, dwLength, &dwRead, NULL))
        return FailWithLastError(pPort);
    *pdwRead = dwRead;
    return 1;
}

int Win32Write(Port *pPort, const uint8_t *pbBuffer, uint32_t dwLength, uint32_t dwTimeoutMs,
               uint32_t *pdwWritten) {
    *pdwWritten = 0;
    COMMTIMEOUTS timeouts = State(pPort)->timeoutsSet;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = dwTimeoutMs;
    if (!UseTimeouts(pPort, &timeouts)) return 0;
    DWORD dwWritten = 0;
    if (!WriteFile(State(pPort)->hPort, pbBuffer, dwLength, &dwWritten, NULL))
        return FailWithLastError(pPort);
    *pdwWritten = dwWritten;
    return 1;
}

int Win32Drain(Port *pPort) {
    return FlushFileBuffers(State(pPort)->hPort) ? 1 : FailWithLastError(pPort);
}

int Win32PurgeInput(Port *pPort) {
    return PurgeComm(State(pPort)->hPort, PURGE_RXCLEAR) ? 1 : FailWithLastError(pPort);
}

int Win32PurgeOutput(Port *pPort) {
    return PurgeComm(State(pPort)->hPort, PURGE_TXABORT | PURGE_TXCLEAR) ? 1
                                                                         : FailWithLastError(pPort);
}

int Win32SetLine(Port *pPort, PortLine eLine, int fAsserted) {
    DWORD dwFunction =
        eLine == PORT_LINE_DTR ? (fAsserted ? SETDTR : CLRDTR) : (fAsserted ? SETRTS : CLRRTS);
    return EscapeCommFunction(State(pPort)->hPort, dwFunction) ? 1 : FailWithLastError(pPort);
}

int Win32SendBreak(Port *pPort, uint32_t dwMs) {
    if (!EscapeCommFunction(State(pPort)->hPort, SETBREAK)) return FailWithLastError(pPort);
    Sleep(dwMs);
    return EscapeCommFunction(State(pPort)->hPort, CLRBREAK) ? 1 : FailWithLastError(pPort);
}

void Win32Close(Port *pPort) {
    Win32PortState *pState = State(pPort);
    SetCommState(pState->hPort, &pState->dcbBefore);
    SetCommTimeouts(pState->hPort, &pState->timeoutsBefore);
    CloseHandle(pState->hPort);
}

const char *HintForError(DWORD dwError) {
    switch (dwError) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "no such port: check the COM number in the Device Manager";
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return "another program holds the port: close it and try again";
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_PARAMETER:
            return "not a serial device";
        default:
            return NULL;
    }
}

void Win32DescribeError(const Port *pPort, char *pszText, size_t cchText) {
    char szSystem[PORT_ERROR_ROOM] = "";
    DWORD dwError = pPort->dwLastError;
    DWORD cchSystem = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     NULL, dwError, 0, szSystem, sizeof(szSystem), NULL);
    while (cchSystem > 0 && (szSystem[cchSystem - 1] == '\n' || szSystem[cchSystem - 1] == '\r' ||
                             szSystem[cchSystem - 1] == '.')) {
        szSystem[--cchSystem] = '\0';
    }
    const char *pszHint =
        pPort->fConnectionLost ? "the adapter was unplugged or stopped" : HintForError(dwError);
    if (pszHint == NULL)
        snprintf(pszText, cchText, "%s", szSystem);
    else
        snprintf(pszText, cchText, "%s: %s", szSystem, pszHint);
}

const PortOps g_Win32Ops = {
    Win32SetRate, Win32Read,      Win32Write, Win32Drain,         Win32PurgeInput,
    Win32SetLine, Win32SendBreak, Win32Close, Win32DescribeError, Win32PurgeOutput,
    NULL};

// After a failed step's own line with the system's code: the system's words.
int FailOpen(Port *pPort, DWORD dwError) {
    pPort->pOps = &g_Win32Ops;
    pPort->dwLastError = dwError;
    PrintPortError(pPort);
    pPort->pOps = NULL;
    return 0;
}

// Reads the line as it was, for the close to give back, and sets it raw at dwBaudRate.
int SetUpLine(Port *pPort, uint32_t dwBaudRate) {
    Win32PortState *pState = State(pPort);
    pState->dcbBefore = DCB{};
    pState->dcbBefore.DCBlength = sizeof(DCB);
    if (!GetCommState(pState->hPort, &pState->dcbBefore)) {
        DWORD dwError = GetLastError();
        CloseHandle(pState->hPort);
        SayErr("GetCommState failed %x\n", (unsigned)dwError);
        return FailOpen(pPort, dwError);
    }
    GetCommTimeouts(pState->hPort, &pState->timeoutsBefore);
    pState->timeoutsSet = pState->timeoutsBefore;
    DCB dcb = pState->dcbBefore;
    SetRawLineFormat(&dcb, dwBaudRate);
    if (!SetCommState(pState->hPort, &dcb)) {
        SayErr("SetCommState failed %x\n", (unsigned)GetLastError());
        PrintRateRefused(pPort, dwBaudRate);
        CloseHandle(pState->hPort);
        return 0;
    }
    pPort->dwBaudRate = dwBaudRate;
    return 1;
}

}  // namespace

int OpenNativePort(Port *pPort, const char *pszOpen, const char *pszShown, uint32_t dwBaudRate) {
    StartPortRecord(pPort, pszShown);
    HANDLE hPort =
        CreateFileA(pszOpen, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (hPort == INVALID_HANDLE_VALUE) {
        DWORD dwError = GetLastError();
        SayErr("CreateFile on %s error: %x\n", pszShown, (unsigned)dwError);
        return FailOpen(pPort, dwError);
    }
    State(pPort)->hPort = hPort;
    if (!SetUpLine(pPort, dwBaudRate)) return 0;
    pPort->pOps = &g_Win32Ops;
    return 1;
}

void ReleaseNativePorts(void) {}
