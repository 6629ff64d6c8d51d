// Streamed talker commands. Every byte queued carries a gate: the number of replies that must
// have arrived before it may go. The gates follow what the talker can hold: nothing limits a
// "W" block or a frame, but while an EEPROM byte programs the talker reads nothing beyond
// TALKER_BYTES_HELD bytes, so a byte after a "P" byte waits for the echo of the byte
// TALKER_BYTES_HELD + 1 before it. A window of outstanding replies keeps what a failure
// leaves on its way to the talker small.
#include "talker_stream.h"

#include <cstdio>

#include "com_port.h"
#include "progress.h"
#include "talker_protocol.h"

namespace {

// While it programs an EEPROM byte, the talker holds two more: its delay loop takes one into
// RAM, and the SCI's receive data register keeps the next (talker.s).
const uint32_t TALKER_BYTES_HELD = 2;
const uint32_t WINDOW_LINE_MS = 40;  // replies outstanding: 40 ms of line time and a USB packet
const uint32_t WINDOW_PACKET = 64;

uint32_t MaxOf(uint32_t dwA, uint32_t dwB) {
    return dwA > dwB ? dwA : dwB;
}

// The gate of the next byte queued. dwOwnReplies: the replies it will cause (0 or 1).
uint32_t NextGate(const TalkerStream *pStream, int fProgrammed, uint32_t dwOwnReplies) {
    uint32_t dwQueued = pStream->dwRepliesQueued + dwOwnReplies;
    uint32_t dwGate = dwQueued > pStream->dwWindow ? dwQueued - pStream->dwWindow : 0;
    dwGate = MaxOf(dwGate, pStream->dwLastGate);
    if (fProgrammed) {
        // This byte's echo is reply number dwRepliesQueued: the one TALKER_BYTES_HELD + 1
        // before it must have arrived.
        if (pStream->dwRepliesQueued > TALKER_BYTES_HELD)
            dwGate = MaxOf(dwGate, pStream->dwRepliesQueued - TALKER_BYTES_HELD);
    } else if (pStream->dwProgramGate != 0) {
        // The bytes after a "P" block: TALKER_BYTES_HELD of them wait in the talker while its
        // last byte programs (no command starts on them alone); the rest go once that byte's
        // echo and the prompt after it have come, so that a wrong prompt stops the stream
        // before the next command.
        uint32_t dwHeld = pStream->dwSinceProgram + 1;
        uint32_t dwAfter = pStream->dwProgramGate + 1;
        if (dwHeld <= TALKER_BYTES_HELD) {
            uint32_t dwStep = TALKER_BYTES_HELD + 1 - dwHeld;
            dwAfter = pStream->dwProgramGate > dwStep ? pStream->dwProgramGate - dwStep : 0;
        }
        dwGate = MaxOf(dwGate, dwAfter);
    }
    return dwGate;
}

void QueueByte(TalkerStream *pStream, uint8_t bValue, int fProgrammed, uint32_t dwOwnReplies) {
    uint32_t dwGate = NextGate(pStream, fProgrammed, dwOwnReplies);
    QueuedByte *pByte =
        &pStream->rgOut[(pStream->dwOutHead + pStream->dwOutCount) % STREAM_OUT_ROOM];
    pByte->bValue = bValue;
    pByte->dwGate = dwGate;
    pByte->dwRepliesBefore = pStream->dwRepliesQueued;
    pStream->dwOutCount++;
    pStream->dwLastGate = dwGate;
    if (fProgrammed) {
        pStream->dwProgramGate = pStream->dwRepliesQueued + 1;
        pStream->dwSinceProgram = 0;
    } else {
        pStream->dwSinceProgram++;
    }
}

ExpectedReply *QueueReply(TalkerStream *pStream, ReplyKind eKind) {
    ExpectedReply *pReply =
        &pStream->rgReply[(pStream->dwReplyHead + pStream->dwReplyCount) % STREAM_REPLY_ROOM];
    *pReply = ExpectedReply{(uint8_t)eKind, 0, 0, 0, 0, NULL};
    pStream->dwReplyCount++;
    pStream->dwRepliesQueued++;
    return pReply;
}

void QueueFrame(TalkerStream *pStream, uint8_t bLetter, uint16_t wAddress, uint8_t bCountLow) {
    uint8_t pbFrame[FRAME_LENGTH];
    BuildFrame(bLetter, wAddress, bCountLow, pbFrame);
    for (uint8_t bByte : pbFrame) QueueByte(pStream, bByte, 0, 0);
}

// A failure leaves the talker somewhere inside a command: what has not gone yet is dropped.
int AbandonStream(TalkerStream *pStream) {
    PurgePortOutput(pStream->pLink->pPort);
    pStream->dwOutCount = 0;
    return 0;
}

// Writes, in one call, the bytes at the front whose gates are open.
int SendOpenBytes(TalkerStream *pStream) {
    uint8_t pbChunk[STREAM_CHUNK];
    for (;;) {
        uint32_t dwCount = 0;
        while (dwCount < pStream->dwOutCount && dwCount < STREAM_CHUNK) {
            const QueuedByte &byte =
                pStream->rgOut[(pStream->dwOutHead + dwCount) % STREAM_OUT_ROOM];
            uint32_t dwGate =
                pStream->fLockstep ? MaxOf(byte.dwGate, byte.dwRepliesBefore) : byte.dwGate;
            if (dwGate > pStream->dwRepliesArrived) break;
            pbChunk[dwCount++] = byte.bValue;
        }
        if (dwCount == 0) return 1;
        if (!WriteBytes(pStream->pLink->pPort, pbChunk, dwCount)) return 0;
        pStream->dwOutHead = (pStream->dwOutHead + dwCount) % STREAM_OUT_ROOM;
        pStream->dwOutCount -= dwCount;
    }
}

// Judges one reply. Returns 0 after the message when the talker is not where the host is.
int CheckReply(TalkerStream *pStream, uint8_t bReply) {
    ExpectedReply *pExpected = &pStream->rgReply[pStream->dwReplyHead];
    pStream->dwReplyHead = (pStream->dwReplyHead + 1) % STREAM_REPLY_ROOM;
    pStream->dwReplyCount--;
    pStream->dwRepliesArrived++;
    switch (pExpected->bKind) {
        case REPLY_PROMPT:
            if (bReply == TALKER_PROMPT) return 1;
            ReportWrongPrompt(bReply);
            return 0;
        case REPLY_READ_VALUE:
            *pExpected->pbValue = bReply;
            NoteBytesDone(1);
            pStream->dwValuesRead++;
            if (pStream->pfnReadProgress != NULL)
                pStream->pfnReadProgress(pStream->pProgressContext, pStream->dwValuesRead);
            return 1;
        default:
            NoteBytesDone(1);
            if (bReply == pExpected->bSent) return 1;
            EndProgressLineForMessage();
            fprintf(stderr,
                    "WriteSRecord: $%04X (byte %u of the record at $%04X) wrote %02X, read back "
                    "%02X\n",
                    pExpected->wAddress, (unsigned)pExpected->wIndex, pExpected->wRecordAddress,
                    pExpected->bSent, bReply);
            pStream->dwMismatches++;
            pStream->fLockstep = 1;
            return 1;
    }
}

// What the host says when the next reply does not come, as the lockstep transfer said it.
void ReportMissingReply(const ExpectedReply *pExpected, int fCallFailed, uint32_t dwError) {
    EndProgressLineForMessage();
    if (pExpected->bKind == REPLY_PROMPT) {
        if (fCallFailed)
            fprintf(stderr, "GetPrompt: Error on read (%x)\n", (unsigned)dwError);
        else
            fprintf(stderr, "GetPrompt: Didn't read a character\n");
    } else if (pExpected->bKind == REPLY_READ_VALUE) {
        if (fCallFailed)
            fprintf(stderr, "ReadTargetBytes: Read error 0x%x\n", (unsigned)dwError);
        else
            fprintf(stderr, "ReadTargetBytes: No reply for the byte at $%04X\n",
                    pExpected->wAddress);
    } else {
        if (fCallFailed)
            fprintf(stderr, "SendRawWithEcho: Read error 0x%x\n", (unsigned)dwError);
        else
            ReportStoppedAnswering(pExpected->wAddress);
    }
}

// Waits for the next reply (up to the port's 2 s) and judges it.
int ReceiveReply(TalkerStream *pStream) {
    uint8_t bReply = 0;
    uint32_t dwRead = 0;
    Port *pPort = pStream->pLink->pPort;
    int fOk = TracedRead(pPort, &bReply, 1, &dwRead);
    if (!fOk || dwRead != 1) {
        ReportMissingReply(&pStream->rgReply[pStream->dwReplyHead], !fOk, pPort->dwLastError);
        return 0;
    }
    return CheckReply(pStream, bReply);
}

// Sends and receives until everything queued has gone out and the replies' ring has room
// for dwReplies more (so that a record is queued no earlier than its bytes can go), or, with
// fDrain, until every reply has come.
int Pump(TalkerStream *pStream, uint32_t dwReplies, int fDrain) {
    for (;;) {
        if (!SendOpenBytes(pStream)) return AbandonStream(pStream);
        int fDone = pStream->dwOutCount == 0 &&
                    (fDrain ? pStream->dwReplyCount == 0
                            : pStream->dwReplyCount + dwReplies <= STREAM_REPLY_ROOM);
        if (fDone) return 1;
        if (!ReceiveReply(pStream)) return AbandonStream(pStream);
    }
}

// One block command ("W" or "P") over the record's bytes dwStart to dwEnd.
int QueueBlock(TalkerStream *pStream, uint8_t bLetter, const SRecord *pRecord, uint32_t dwStart,
               uint32_t dwEnd) {
    uint32_t dwLength = dwEnd - dwStart;
    if (!Pump(pStream, dwLength + 1, 0)) return 0;
    QueueFrame(pStream, bLetter, (uint16_t)(pRecord->wAddress + dwStart), (uint8_t)dwLength);
    int fProgrammed = bLetter == 'P';
    for (uint32_t i = dwStart; i < dwEnd; i++) {
        QueueByte(pStream, pRecord->bData[i], fProgrammed, 1);
        ExpectedReply *pReply = QueueReply(pStream, REPLY_DATA_ECHO);
        pReply->bSent = pRecord->bData[i];
        pReply->wAddress = (uint16_t)(pRecord->wAddress + i);
        pReply->wRecordAddress = pRecord->wAddress;
        pReply->wIndex = (uint16_t)i;
    }
    QueueReply(pStream, REPLY_PROMPT);
    if (!SendOpenBytes(pStream)) return AbandonStream(pStream);
    return 1;
}

}  // namespace

void StartTalkerStream(TalkerStream *pStream, const TalkerLink *pLink) {
    pStream->pLink = pLink;
    pStream->dwOutHead = pStream->dwOutCount = 0;
    pStream->dwReplyHead = pStream->dwReplyCount = 0;
    pStream->dwRepliesQueued = pStream->dwRepliesArrived = 0;
    pStream->dwLastGate = pStream->dwProgramGate = pStream->dwSinceProgram = 0;
    pStream->dwMismatches = 0;
    pStream->fLockstep = 0;
    pStream->dwValuesRead = 0;
    pStream->pfnReadProgress = NULL;
    pStream->pProgressContext = NULL;
    // A character is 10 bits: the rate / 10 characters a second.
    pStream->dwWindow = pLink->dwTalkerRate / 10 * WINDOW_LINE_MS / 1000 + WINDOW_PACKET;
}

int StreamSRecord(TalkerStream *pStream, const SRecord *pRecord) {
    if (!Pump(pStream, pRecord->wLength + 1, 0)) return 0;
    if (pStream->pLink->fTrace) fprintf(stderr, "WriteSRecord(%x bytes)\n", pRecord->wLength);
    uint32_t dwStart = 0;
    while (dwStart < pRecord->wLength) {
        int fEeprom = InEepromRange(pStream->pLink, (uint16_t)(pRecord->wAddress + dwStart));
        uint32_t dwEnd = dwStart + 1;
        while (dwEnd < pRecord->wLength &&
               InEepromRange(pStream->pLink, (uint16_t)(pRecord->wAddress + dwEnd)) == fEeprom) {
            dwEnd++;
        }
        if (!QueueBlock(pStream, fEeprom ? 'P' : 'W', pRecord, dwStart, dwEnd)) return 0;
        dwStart = dwEnd;
    }
    return 1;
}

int StreamReadByte(TalkerStream *pStream, uint16_t wAddress, uint8_t *pbValue) {
    if (!Pump(pStream, 2, 0)) return 0;
    // "r" does not look at the count; the host sends zeros as for every command.
    QueueFrame(pStream, 'r', wAddress, 0x00);
    ExpectedReply *pReply = QueueReply(pStream, REPLY_READ_VALUE);
    pReply->wAddress = wAddress;
    pReply->pbValue = pbValue;
    QueueReply(pStream, REPLY_PROMPT);
    if (!SendOpenBytes(pStream)) return AbandonStream(pStream);
    return 1;
}

void SetStreamReadProgress(TalkerStream *pStream,
                           void (*pfnReadProgress)(void *pContext, uint32_t dwValuesRead),
                           void *pContext) {
    pStream->pfnReadProgress = pfnReadProgress;
    pStream->pProgressContext = pContext;
}

uint32_t GetStreamMismatches(const TalkerStream *pStream) {
    return pStream->dwMismatches;
}

int SendQueuedBytes(TalkerStream *pStream) {
    return Pump(pStream, 0, 0);
}

int FinishTalkerStream(TalkerStream *pStream) {
    return Pump(pStream, 0, 1);
}
