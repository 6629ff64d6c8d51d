// Port opening and byte transfer. Every byte that crosses the wire passes through here.
#include "serial_port.h"

#include <cstdio>

#include "link_settings.h"
#include "platform.h"
#include "port_name.h"

namespace {

// The line that follows a port error: the system's own words and what to do about it.
void PrintPortErrorHint(const char *pszPort, DWORD dwError) {
    char szHint[PORT_HINT_ROOM];
    DescribePortError(dwError, szHint, sizeof(szHint));
    fprintf(stderr, "%s: %s\n", pszPort, szHint);
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

// Every read moves one byte: it gives up after 2 s. A write of one byte gives up after 3 s.
void SetOneByteTimeouts(HANDLE hPort) {
    COMMTIMEOUTS timeouts = {};
    GetCommTimeouts(hPort, &timeouts);
    timeouts.ReadTotalTimeoutMultiplier = 500;
    timeouts.ReadTotalTimeoutConstant = 1500;
    timeouts.WriteTotalTimeoutMultiplier = 1500;
    timeouts.WriteTotalTimeoutConstant = 1500;
    SetCommTimeouts(hPort, &timeouts);
}

// Sets the line; a port that refuses says so, with the rate asked for.
int SetLineState(HANDLE hPort, DCB *pDcb) {
    if (SetCommState(hPort, pDcb)) return 1;
    fprintf(stderr, "SetCommState failed %x\n", (unsigned)GetLastError());
    fprintf(stderr,
            "The port can't run at %u baud 8N1: some adapters can't make the chip's fast rates "
            "(try a lower -b)\n",
            (unsigned)pDcb->BaudRate);
    return 0;
}

void TraceBytes(const char *pszWhat, const BYTE *pbBuffer, DWORD dwCount) {
    fprintf(stderr, "%s:", pszWhat);
    for (DWORD i = 0; i < dwCount; i++) fprintf(stderr, "%02X ", pbBuffer[i]);
    fprintf(stderr, "\n");
}

// One trace line per byte, as if each had been its own call.
void TraceEachByte(const char *pszWhat, const BYTE *pbBuffer, DWORD dwCount) {
    for (DWORD i = 0; i < dwCount; i++) TraceBytes(pszWhat, &pbBuffer[i], 1);
}

}  // namespace

HANDLE OpenComPort(DWORD dwComPort, DWORD dwBaudRate) {
    PortName name;
    FormatPortName(dwComPort, g_LinkSettings.szDevice, &name);
    HANDLE hPort =
        CreateFileA(name.szOpen, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (hPort == INVALID_HANDLE_VALUE) {
        DWORD dwError = GetLastError();
        fprintf(stderr, "CreateFile on %s error: %x\n", name.szShown, (unsigned)dwError);
        PrintPortErrorHint(name.szShown, dwError);
        return INVALID_HANDLE_VALUE;
    }
    DCB dcb = {};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(hPort, &dcb)) {
        DWORD dwError = GetLastError();
        fprintf(stderr, "GetCommState failed %x\n", (unsigned)dwError);
        PrintPortErrorHint(name.szShown, dwError);
        CloseHandle(hPort);
        return INVALID_HANDLE_VALUE;
    }
    SetRawLineFormat(&dcb, dwBaudRate);
    if (!SetCommState(hPort, &dcb)) {
        fprintf(stderr, "SetCommState failed %x\n", (unsigned)GetLastError());
        fprintf(stderr,
                "%s: the port can't be set to %u baud 8N1 (some adapters can't make the "
                "chip's fast rates: try a lower -b)\n",
                name.szShown, (unsigned)dwBaudRate);
        CloseHandle(hPort);
        return INVALID_HANDLE_VALUE;
    }
    SetOneByteTimeouts(hPort);
    return hPort;
}

int SetComPortRate(HANDLE hPort, DWORD dwBaudRate) {
    DCB dcb = {};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(hPort, &dcb)) {
        fprintf(stderr, "GetCommState failed %x\n", (unsigned)GetLastError());
        return 0;
    }
    SetRawLineFormat(&dcb, dwBaudRate);
    return SetLineState(hPort, &dcb);
}

BOOL TracedWrite(HANDLE hPort, const BYTE *pbBuffer, DWORD dwLength, DWORD *pdwWritten) {
    BOOL fOk = WriteFile(hPort, pbBuffer, dwLength, pdwWritten, NULL);
    if (fOk && g_LinkSettings.fVerbose) TraceBytes("Write", pbBuffer, *pdwWritten);
    return fOk;
}

BOOL TracedRead(HANDLE hPort, BYTE *pbBuffer, DWORD dwLength, DWORD *pdwRead) {
    BOOL fOk = ReadFile(hPort, pbBuffer, dwLength, pdwRead, NULL);
    if (fOk && g_LinkSettings.fVerbose) TraceBytes("Read", pbBuffer, *pdwRead);
    return fOk;
}

namespace {

int WriteOneByte(HANDLE hPort, const BYTE *pbByte) {
    DWORD dwWrite = 0;
    if (!TracedWrite(hPort, pbByte, 1, &dwWrite)) {
        fprintf(stderr, "SendRawWithEcho: Write error 0x%x\n", (unsigned)GetLastError());
        return 0;
    }
    if (dwWrite != 1) {
        fprintf(stderr, "SendRawWithEcho: dwWrite != 1\n");
        return 0;
    }
    return 1;
}

}  // namespace

int ReadRawByte(HANDLE hPort, BYTE *pbByte) {
    DWORD dwRead = 0;
    if (!TracedRead(hPort, pbByte, 1, &dwRead)) {
        fprintf(stderr, "SendRawWithEcho: Read error 0x%x\n", (unsigned)GetLastError());
        return 0;
    }
    if (dwRead != 1) {
        fprintf(stderr, "SendRawWithEcho: dwRead != 1\n");
        return 0;
    }
    return 1;
}

int EchoMatches(BYTE bEcho, const BYTE *pbBuffer, DWORD dwIndex) {
    if (bEcho == pbBuffer[dwIndex]) return 1;
    fprintf(stderr, "SendRawWithEcho: pbReadBuffer[0](%x) != pbBuffer[0x%x](%x))\n", bEcho,
            (unsigned)dwIndex, pbBuffer[dwIndex]);
    return 0;
}

int SendByteReadEcho(HANDLE hPort, BYTE bSend, BYTE *pbEcho) {
    return WriteOneByte(hPort, &bSend) && ReadRawByte(hPort, pbEcho);
}

int SendRawWithEcho(HANDLE hPort, const BYTE *pbBuffer, DWORD dwLength, int fReadEcho,
                    int fNoCompare, DWORD *pdwMismatches) {
    for (DWORD i = 0; i < dwLength; i++) {
        if (!WriteOneByte(hPort, &pbBuffer[i])) return 0;
        if (!fReadEcho) continue;
        BYTE bEcho = 0;
        if (!ReadRawByte(hPort, &bEcho)) return 0;
        if (!fNoCompare && !EchoMatches(bEcho, pbBuffer, i) && pdwMismatches != NULL) {
            (*pdwMismatches)++;
        }
    }
    return 1;
}

int WriteBytes(HANDLE hPort, const BYTE *pbBuffer, DWORD dwLength) {
    DWORD dwWrite = 0;
    if (!WriteFile(hPort, pbBuffer, dwLength, &dwWrite, NULL)) {
        fprintf(stderr, "SendRawWithEcho: Write error 0x%x\n", (unsigned)GetLastError());
        return 0;
    }
    if (g_LinkSettings.fVerbose) TraceEachByte("Write", pbBuffer, dwWrite);
    if (dwWrite != dwLength) {
        fprintf(stderr, "SendRawWithEcho: dwWrite != 1\n");
        return 0;
    }
    return 1;
}

int SendRawNoEcho(HANDLE hPort, const BYTE *pbBuffer, DWORD dwLength) {
    return SendRawWithEcho(hPort, pbBuffer, dwLength, 0, 0, NULL);
}

int SendRawCheckEcho(HANDLE hPort, const BYTE *pbBuffer, DWORD dwLength, DWORD *pdwMismatches) {
    return SendRawWithEcho(hPort, pbBuffer, dwLength, 1, 0, pdwMismatches);
}
