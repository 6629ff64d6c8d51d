// Opening the link's port, and moving bytes one at a time with the reading and comparing of
// echoes, with the link's time-outs. The code that reads replies in its own rhythm (the
// talker's stream, probe and read-back, the board's reset lines, the monitor) calls port.h
// itself, with waits of its own.
#pragma once

#include <cstdint>

#include "port.h"
#include "talker_link.h"

// A character on the wire: start, 8 data, stop.
const uint32_t BITS_PER_CHARACTER = 10;
// The link's wait for a reply that is due.
const uint32_t REPLY_WAIT_MS = 2000;
// The longest a reader lets replies gather before it looks: one wake-up per byte costs a
// core's percent at fast rates, and a longer wait would hold a reply that has come.
const uint32_t MAX_BATCH_WAIT_MS = 20;

// Opens the link's port at dwBaudRate, 8N1, raw, wrapped in the tracing port with "-V"; a
// network connection kept from an earlier stage is set to the rate and emptied instead.
// Returns 1, or 0 after printing why.
int OpenComPort(TalkerLink *pLink, uint32_t dwBaudRate);
// Ends the stage's use of the port: a local port is closed, a network connection kept for the
// run's next stage.
void CloseComPort(TalkerLink *pLink);
// Closes the port whatever its kind: the run is over.
void EndComPort(TalkerLink *pLink);

// Sets the open port to another rate, the line format kept. Returns 1, or 0 after the
// message (the rate is not blamed when the connection was lost).
int SetComPortRate(Port *pPort, uint32_t dwBaudRate);

// After a failed call's own line with the system's code: the port's name and the reason in
// the system's words ("the server closed the connection", "... the device was unplugged or
// closed").
void SayPortFailure(const Port *pPort);

// One write or read with the link's time-outs: a read of a byte gives up after 2 s, a write
// after 1.5 s a byte and 1.5 s more. Returns the port's result; a time-out is a short count.
int TracedWrite(Port *pPort, const uint8_t *pbBuffer, uint32_t dwLength, uint32_t *pdwWritten);
int TracedRead(Port *pPort, uint8_t *pbBuffer, uint32_t dwLength, uint32_t *pdwRead);

// Sends dwLength bytes one at a time; with fReadEcho reads one byte back after each, and
// unless fNoCompare reports one that differs from the byte sent and adds it to
// *pdwMismatches (when not NULL): a mismatch does not stop a transfer, so the callers that
// must not report success over one keep the count. Returns 1 when every byte went out (and
// every echo came), 0 at the first failure.
int SendRawWithEcho(Port *pPort, const uint8_t *pbBuffer, uint32_t dwLength, int fReadEcho,
                    int fNoCompare, uint32_t *pdwMismatches);
int SendRawNoEcho(Port *pPort, const uint8_t *pbBuffer, uint32_t dwLength);
int SendRawCheckEcho(Port *pPort, const uint8_t *pbBuffer, uint32_t dwLength,
                     uint32_t *pdwMismatches);

// Reads the one byte the far end sends next, for a caller that sent bytes ahead of their
// echoes. Returns 1, or 0 after the message of the failed read.
int ReadRawByte(Port *pPort, uint8_t *pbByte);

// "SendRawWithEcho: dwRead != 1" for the echo of the byte at wAddress, which never came, and
// a line that says where the board stopped answering and what to check.
void ReportStoppedAnswering(uint16_t wAddress);

// 1 when bEcho is pbBuffer[dwIndex]; else reports the difference as SendRawWithEcho does and
// returns 0.
int EchoMatches(uint8_t bEcho, const uint8_t *pbBuffer, uint32_t dwIndex);

// Writes dwLength bytes in one call. Returns 1, or 0 after the message of a failed or short
// write (the texts of SendRawWithEcho's).
int WriteBytes(Port *pPort, const uint8_t *pbBuffer, uint32_t dwLength);

// Waits dwMs milliseconds.
void SleepMs(uint32_t dwMs);
// Waits dwMs milliseconds with the port open: the line's own time where the port keeps one.
void WaitOnPort(Port *pPort, uint32_t dwMs);
