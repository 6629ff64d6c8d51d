// Talker commands kept in flight: each byte goes out as soon as the talker can take it
// without one being lost, and the replies are checked in order as they arrive. A "W" block
// and the command after it go out at once (the talker stores and answers a byte in far fewer
// cycles than a byte takes on the wire); while the talker programs an EEPROM byte it holds
// only TALKER_BYTES_HELD more, so the bytes after a "P" byte wait for the echoes before them.
#pragma once

#include "srecord.h"
#include "win32_serial.h"

enum { STREAM_OUT_ROOM = 512, STREAM_REPLY_ROOM = 1024, STREAM_CHUNK = 256 };

enum ReplyKind {
    REPLY_DATA_ECHO,   // a block byte's read-back, compared with the byte written
    REPLY_PROMPT,      // ">" at the end of a command
    REPLY_READ_VALUE,  // the byte an "r" reads, stored for the caller
};

struct ExpectedReply {
    BYTE bKind;           // a ReplyKind
    BYTE bSent;           // the data byte written, for REPLY_DATA_ECHO
    WORD wAddress;        // the target address the reply is about
    WORD wRecordAddress;  // the record's first address, for the mismatch message
    WORD wIndex;          // the byte's index from the record's start
    BYTE *pbValue;        // where an "r" value goes
};

struct QueuedByte {
    BYTE bValue;
    DWORD dwGate;           // may go once this many replies have arrived
    DWORD dwRepliesBefore;  // replies expected before this byte's own: its lockstep gate
};

struct TalkerStream {
    HANDLE hPort;
    QueuedByte rgOut[STREAM_OUT_ROOM];  // a ring of bytes not yet written
    DWORD dwOutHead, dwOutCount;
    ExpectedReply rgReply[STREAM_REPLY_ROOM];  // a ring of replies not yet arrived
    DWORD dwReplyHead, dwReplyCount;
    DWORD dwRepliesQueued;   // replies expected since the start
    DWORD dwRepliesArrived;  // of them, those that came
    DWORD dwLastGate;        // a byte never goes before the one queued before it
    DWORD dwProgramGate;     // replies up to the echo of the last "P" byte queued; 0 for none
    DWORD dwSinceProgram;    // bytes queued after that "P" byte
    DWORD dwWindow;          // replies that may be outstanding at once
    DWORD dwMismatches;      // data bytes whose read-back differed
    int fLockstep;           // after a wrong read-back: each byte waits for every reply before it
    DWORD dwValuesRead;      // "r" values that have come
    void (*pfnReadProgress)(DWORD dwValuesRead);  // told of each, when not NULL
};

// Starts an empty stream on an open port at the talker's rate (g_LinkSettings.dwTalkerRate).
void StartTalkerStream(TalkerStream *pStream, HANDLE hPort);

// Queues one S1 record as "P" blocks (inside the EEPROM range) and "W" blocks (outside),
// split at the range's bounds, and sends what may go. With "-V" prints its
// "WriteSRecord(%x bytes)" line. Returns 1, or 0 after the message of a failed transfer or
// a wrong reply; a read-back that differs is reported with its address and counted, and is
// no failure. From a differing read-back on, the stream goes in lockstep: the read-back may
// be a stray byte on the line, which would count as an echo that has not come yet.
int StreamSRecord(TalkerStream *pStream, const SRecord *pRecord);

// Queues an "r" of the byte at wAddress, its value to be stored at *pbValue when it arrives.
// Returns 1, or 0 after a message.
int StreamReadByte(TalkerStream *pStream, WORD wAddress, BYTE *pbValue);

// Sends everything queued, waiting for the replies its gates need. Returns 1, or 0 after a
// message.
int SendQueuedBytes(TalkerStream *pStream);

// Sends everything queued and waits for every reply. Returns 1, or 0 after a message.
int FinishTalkerStream(TalkerStream *pStream);
