// Talker commands kept in flight: each byte goes out as soon as the talker can take it
// without one being lost, and the replies are checked in order as they arrive. A "W" block
// and the command after it go out at once (the talker stores and answers a byte in far fewer
// cycles than a byte takes on the wire); while the talker programs an EEPROM byte it holds
// only TALKER_BYTES_HELD more, so the bytes after a "P" byte wait for the echoes before them.
// A block may be as long as the talker's count (65536): its bytes are queued as the rings make
// room. The replies are taken in as many at a time as have come, the host waiting about the
// wire time of the ones it needs rather than waking for each byte.
#pragma once

#include <cstdint>

#include "srecord.h"
#include "talker_link.h"
#include "talker_protocol.h"

enum { STREAM_OUT_ROOM = 512, STREAM_REPLY_ROOM = 1024, STREAM_CHUNK = 256 };

enum ReplyKind {
    REPLY_DATA_ECHO,  // a block byte's read-back, compared with the byte written
    REPLY_PROMPT,     // ">" at the end of a command
};

struct ExpectedReply {
    uint8_t bKind;            // a ReplyKind
    uint8_t bSent;            // the data byte written, for REPLY_DATA_ECHO
    uint16_t wAddress;        // the target address the reply is about
    uint16_t wRecordAddress;  // the record's first address, for the mismatch message
};

// Told of a data byte whose read-back differed, instead of the stream's own message.
typedef void (*MismatchReportFn)(void *pContext, uint16_t wAddress, uint8_t bWritten,
                                 uint8_t bReadBack);

struct QueuedByte {
    uint8_t bValue;
    uint32_t dwGate;           // may go once this many replies have arrived
    uint32_t dwRepliesBefore;  // replies expected before this byte's own: its lockstep gate
};

// Its fields are the stream's own: callers use the functions below.
struct TalkerStream {
    const TalkerLink *pLink;
    QueuedByte rgOut[STREAM_OUT_ROOM];  // a ring of bytes not yet written
    uint32_t dwOutHead, dwOutCount;
    ExpectedReply rgReply[STREAM_REPLY_ROOM];  // a ring of replies not yet arrived
    uint32_t dwReplyHead, dwReplyCount;
    uint32_t dwRepliesQueued;   // replies expected since the start
    uint32_t dwRepliesArrived;  // of them, those that came
    uint32_t dwLastGate;        // a byte never goes before the one queued before it
    uint32_t dwProgramGate;     // replies up to the echo of the last "P" byte queued; 0 for none
    uint32_t dwSinceProgram;    // bytes queued after that "P" byte
    uint32_t dwWindow;          // replies that may be outstanding at once
    uint32_t dwMismatches;      // data bytes whose read-back differed
    int fLockstep;  // after a wrong read-back: each byte waits for every reply before it
    MismatchReportFn pfnMismatch;  // NULL: the stream's "WriteSRecord: ..." line
    void *pMismatchContext;
    TalkerCommand eBlock;    // the block whose bytes are being queued: "W" or "P"
    uint16_t wBlockNext;     // the address of its next byte
    uint16_t wBlockRecord;   // its record's first address, for the stream's own message
    uint32_t dwBlockLeft;    // its bytes not queued yet
    uint32_t dwCharacterUs;  // a character's time on the wire, in microseconds
};

// Starts an empty stream on the link's open port, at the link's talker rate.
void StartTalkerStream(TalkerStream *pStream, const TalkerLink *pLink);

// The data bytes whose read-back differed so far.
uint32_t GetStreamMismatches(const TalkerStream *pStream);

// Queues one S1 record as "P" blocks (inside the EEPROM range) and "W" blocks (outside),
// split at the range's bounds, and sends what may go. With "-V" prints its
// "WriteSRecord(%x bytes)" line. Returns 1, or 0 after the message of a failed transfer or
// a wrong reply; a read-back that differs is reported with its address and counted, and is
// no failure. From a differing read-back on, the stream goes in lockstep: the read-back may
// be a stray byte on the line, which would count as an echo that has not come yet.
int StreamSRecord(TalkerStream *pStream, const SRecord *pRecord);

// Reports each differing read-back through pfnMismatch with pContext instead.
void SetStreamMismatchReport(TalkerStream *pStream, MismatchReportFn pfnMismatch, void *pContext);

// Queues the frame of a block of dwLength bytes (1 to 65536) from wFirst, eBlock
// TALKER_WRITE_BLOCK or TALKER_PROGRAM_BLOCK; its bytes follow with StreamBlockBytes, and the
// block's prompt is expected after the last. Returns 1, or 0 after a message.
int StreamBlockStart(TalkerStream *pStream, TalkerCommand eBlock, uint16_t wFirst,
                     uint32_t dwLength);

// Queues the next dwCount bytes of the block, sending what may go and taking replies in as
// the rings fill. Returns 1, or 0 after a message.
int StreamBlockBytes(TalkerStream *pStream, const uint8_t *pbData, uint32_t dwCount);

// Sends everything queued, waiting for the replies its gates need. Returns 1, or 0 after a
// message.
int SendQueuedBytes(TalkerStream *pStream);

// Sends everything queued and waits for every reply. Returns 1, or 0 after a message.
int FinishTalkerStream(TalkerStream *pStream);
