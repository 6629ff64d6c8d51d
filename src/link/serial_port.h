// The host's only road to the wire: opening the port, and moving bytes one at a time with
// an optional hexadecimal trace and the reading and comparing of echoes.
#pragma once

#include "win32_serial.h"

// Opens the port (the "-d" device when one was given, else COM port dwComPort) at
// dwBaudRate, 8N1, raw, with one-byte time-outs of 2 s for a read and 3 s for a write.
// Returns INVALID_HANDLE_VALUE after printing why.
HANDLE OpenComPort(DWORD dwComPort, DWORD dwBaudRate);

// Sets an open port to another rate, the line format kept. Returns 1, or 0 after the
// message.
int SetComPortRate(HANDLE hPort, DWORD dwBaudRate);

// One WriteFile / ReadFile, traced on standard error with "-V". Returns the call's result.
BOOL TracedWrite(HANDLE hPort, const BYTE *pbBuffer, DWORD dwLength, DWORD *pdwWritten);
BOOL TracedRead(HANDLE hPort, BYTE *pbBuffer, DWORD dwLength, DWORD *pdwRead);

// Sends dwLength bytes one at a time; with fReadEcho reads one byte back after each, and
// unless fNoCompare reports one that differs from the byte sent and adds it to
// *pdwMismatches (when not NULL): a mismatch does not stop a transfer, so the callers that
// must not report success over one keep the count. Returns 1 when every byte went out (and
// every echo came), 0 at the first failure.
int SendRawWithEcho(HANDLE hPort, const BYTE *pbBuffer, DWORD dwLength, int fReadEcho,
                    int fNoCompare, DWORD *pdwMismatches);
int SendRawNoEcho(HANDLE hPort, const BYTE *pbBuffer, DWORD dwLength);
int SendRawCheckEcho(HANDLE hPort, const BYTE *pbBuffer, DWORD dwLength, DWORD *pdwMismatches);

// Reads the one byte the far end sends next, for a caller that sent bytes ahead of their
// echoes. Returns 1, or 0 after the message of the failed read.
int ReadRawByte(HANDLE hPort, BYTE *pbByte);

// 1 when bEcho is pbBuffer[dwIndex]; else reports the difference as SendRawWithEcho does and
// returns 0.
int EchoMatches(BYTE bEcho, const BYTE *pbBuffer, DWORD dwIndex);

// Writes dwLength bytes in one call, traced one line per byte with "-V". Returns 1, or 0
// after the message of a failed or short write (the texts of SendRawWithEcho's).
int WriteBytes(HANDLE hPort, const BYTE *pbBuffer, DWORD dwLength);

// Sends one byte and reads the one byte that answers it into *pbEcho, for callers that judge
// the answer themselves. Returns 1, or 0 after the message of the failed write or read.
int SendByteReadEcho(HANDLE hPort, BYTE bSend, BYTE *pbEcho);
