// Streamed talker commands. Every byte queued carries a gate: the number of replies that must
// have arrived before it may go. The gates follow what the talker can hold: nothing limits a
// "W" block or a frame, but while an EEPROM byte programs the talker reads nothing beyond
// TALKER_BYTES_HELD bytes, so a byte after a "P" byte waits for the echo of the byte
// TALKER_BYTES_HELD + 1 before it. A window of outstanding replies keeps what a failure
// leaves on its way to the talker small.
#include "talker_stream.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "com_port.h"
#include "progress.h"
#include "say.h"
#include "talker_protocol.h"

namespace {

// While it programs an EEPROM byte, the talker holds two more: its delay loop takes one into
// RAM, and the SCI's receive data register keeps the next (talker.s).
const uint32_t TALKER_BYTES_HELD = 2;
const uint32_t WINDOW_LINE_MS = 40;  // replies outstanding: 40 ms of line time and a USB packet
const uint32_t WINDOW_PACKET = 64;
const uint32_t BATCH_MIN_REPLIES = 32;  // with this many outstanding, wait for a quarter

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
    *pReply = ExpectedReply{(uint8_t)eKind, 0, 0, 0};
    pStream->dwReplyCount++;
    pStream->dwRepliesQueued++;
    return pReply;
}

void QueueFrame(TalkerStream *pStream, const uint8_t *pbFrame) {
    for (uint32_t i = 0; i < FRAME_LENGTH; i++) QueueByte(pStream, pbFrame[i], 0, 0);
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

void ReportMismatch(const TalkerStream *pStream, const ExpectedReply *pExpected, uint8_t bReply) {
    if (pStream->pfnMismatch != NULL) {
        pStream->pfnMismatch(pStream->pMismatchContext, pExpected->wAddress, pExpected->bSent,
                             bReply);
        return;
    }
    EndProgressLineForMessage();
    SayErr("WriteSRecord: $%04X (byte %u of the record at $%04X) wrote %02X, read back %02X\n",
           pExpected->wAddress,
           (unsigned)(uint16_t)(pExpected->wAddress - pExpected->wRecordAddress),
           pExpected->wRecordAddress, pExpected->bSent, bReply);
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
        default:
            NoteBytesDone(1);
            if (bReply == pExpected->bSent) return 1;
            ReportMismatch(pStream, pExpected, bReply);
            pStream->dwMismatches++;
            pStream->fLockstep = 1;
            return 1;
    }
}

// What the host says when the next reply does not come, as the lockstep transfer said it.
void ReportMissingReply(const ExpectedReply *pExpected, int fCallFailed, const Port *pPort) {
    EndProgressLineForMessage();
    unsigned dwError = (unsigned)pPort->dwLastError;
    if (pExpected->bKind == REPLY_PROMPT) {
        if (fCallFailed)
            SayErr("GetPrompt: Error on read (%x)\n", dwError);
        else
            SayErr("GetPrompt: Didn't read a character\n");
    } else {
        if (fCallFailed)
            SayErr("SendRawWithEcho: Read error 0x%x\n", dwError);
        else
            ReportStoppedAnswering(pExpected->wAddress);
    }
    if (fCallFailed) SayPortFailure(pPort);
}

// Lets about dwWanted replies arrive before the next read, so that one call takes many: the
// time the ones after the first take on the wire, at most MAX_BATCH_WAIT_MS. One wake-up per
// byte costs a core's percent at fast rates.
void WaitForReplies(const TalkerStream *pStream, uint32_t dwWanted, uint32_t dwDue) {
    if (pStream->dwReplyCount >= BATCH_MIN_REPLIES && dwWanted < pStream->dwReplyCount / 4)
        dwWanted = pStream->dwReplyCount / 4;
    if (dwWanted > dwDue) dwWanted = dwDue;
    if (dwWanted <= 1) return;
    uint64_t qwUs = (uint64_t)(dwWanted - 1) * pStream->dwCharacterUs;
    if (qwUs > MAX_BATCH_WAIT_MS * 1000) qwUs = MAX_BATCH_WAIT_MS * 1000;
    std::this_thread::sleep_for(std::chrono::microseconds(qwUs));
}

// The replies to the bytes written so far: they come whatever the host does next. A read asks
// for no more, since a port may wait for as many bytes as it was asked for.
uint32_t RepliesDue(const TalkerStream *pStream) {
    uint32_t dwBefore = pStream->dwOutCount != 0
                            ? pStream->rgOut[pStream->dwOutHead].dwRepliesBefore
                            : pStream->dwRepliesQueued;
    uint32_t dwDue = dwBefore - pStream->dwRepliesArrived;
    return dwDue != 0 ? dwDue : 1;
}

// Takes in the replies that have come (waiting up to the link's 2 s for the first) and judges
// them in order.
int ReceiveReplies(TalkerStream *pStream, uint32_t dwWanted) {
    uint32_t dwDue = RepliesDue(pStream);
    WaitForReplies(pStream, dwWanted, dwDue);
    uint8_t pbReplies[STREAM_CHUNK];
    uint32_t dwAsk = dwDue < STREAM_CHUNK ? dwDue : (uint32_t)STREAM_CHUNK;
    uint32_t dwRead = 0;
    Port *pPort = pStream->pLink->pPort;
    int fOk = ReadPort(pPort, pbReplies, dwAsk, REPLY_WAIT_MS, &dwRead);
    if (!fOk || dwRead == 0) {
        ReportMissingReply(&pStream->rgReply[pStream->dwReplyHead], !fOk, pPort);
        return 0;
    }
    for (uint32_t i = 0; i < dwRead; i++) {
        if (!CheckReply(pStream, pbReplies[i])) return 0;
    }
    return 1;
}

// The replies that must come before the stream can move on: those the front byte's gate
// waits for, else all of them (fDrain) or those that make the room asked for.
uint32_t RepliesWanted(const TalkerStream *pStream, uint32_t dwReplies, int fDrain) {
    if (pStream->dwOutCount != 0) {
        const QueuedByte &byte = pStream->rgOut[pStream->dwOutHead];
        uint32_t dwGate =
            pStream->fLockstep ? MaxOf(byte.dwGate, byte.dwRepliesBefore) : byte.dwGate;
        if (dwGate > pStream->dwRepliesArrived) return dwGate - pStream->dwRepliesArrived;
    }
    if (fDrain) return pStream->dwReplyCount;
    uint32_t dwNeeded = pStream->dwReplyCount + dwReplies;
    return dwNeeded > STREAM_REPLY_ROOM ? dwNeeded - STREAM_REPLY_ROOM : 1;
}

// Sends and receives until the bytes' ring has room for dwBytes more and the replies' ring
// for dwReplies more, or, with fDrain, until everything queued has gone and every reply has
// come.
int Pump(TalkerStream *pStream, uint32_t dwBytes, uint32_t dwReplies, int fDrain) {
    for (;;) {
        if (!SendOpenBytes(pStream)) return AbandonStream(pStream);
        int fDone = fDrain ? pStream->dwOutCount == 0 && pStream->dwReplyCount == 0
                           : pStream->dwOutCount + dwBytes <= STREAM_OUT_ROOM &&
                                 pStream->dwReplyCount + dwReplies <= STREAM_REPLY_ROOM;
        if (fDone) return 1;
        if (!ReceiveReplies(pStream, RepliesWanted(pStream, dwReplies, fDrain)))
            return AbandonStream(pStream);
    }
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
    pStream->pfnMismatch = NULL;
    pStream->pMismatchContext = NULL;
    pStream->eBlock = TALKER_WRITE_BLOCK;
    pStream->wBlockNext = pStream->wBlockRecord = 0;
    pStream->dwBlockLeft = 0;
    uint32_t dwCharactersPerSecond = pLink->pTarget->dwTalkerRate / BITS_PER_CHARACTER;
    pStream->dwWindow = dwCharactersPerSecond * WINDOW_LINE_MS / 1000 + WINDOW_PACKET;
    pStream->dwCharacterUs = BITS_PER_CHARACTER * 1000000u / pLink->pTarget->dwTalkerRate;
}

int StreamBlockStart(TalkerStream *pStream, TalkerCommand eBlock, uint16_t wFirst,
                     uint32_t dwLength) {
    if (!Pump(pStream, FRAME_LENGTH, 0, 0)) return 0;
    uint8_t pbFrame[FRAME_LENGTH];
    BuildCommandFrame(eBlock, wFirst, dwLength, pbFrame);
    QueueFrame(pStream, pbFrame);
    pStream->eBlock = eBlock;
    pStream->wBlockNext = pStream->wBlockRecord = wFirst;
    pStream->dwBlockLeft = dwLength;
    return 1;
}

int StreamBlockBytes(TalkerStream *pStream, const uint8_t *pbData, uint32_t dwCount) {
    int fProgrammed = pStream->eBlock == TALKER_PROGRAM_BLOCK;
    for (uint32_t i = 0; i < dwCount && pStream->dwBlockLeft != 0; i++) {
        uint32_t dwReplies = pStream->dwBlockLeft == 1 ? 2 : 1;  // the last: its prompt too
        if (pStream->dwOutCount == STREAM_OUT_ROOM ||
            pStream->dwReplyCount + dwReplies > STREAM_REPLY_ROOM) {
            if (!Pump(pStream, 1, dwReplies, 0)) return 0;
        }
        QueueByte(pStream, pbData[i], fProgrammed, 1);
        ExpectedReply *pReply = QueueReply(pStream, REPLY_DATA_ECHO);
        pReply->bSent = pbData[i];
        pReply->wAddress = pStream->wBlockNext++;
        pReply->wRecordAddress = pStream->wBlockRecord;
        if (--pStream->dwBlockLeft == 0) QueueReply(pStream, REPLY_PROMPT);
    }
    if (!SendOpenBytes(pStream)) return AbandonStream(pStream);
    return 1;
}

void SetStreamMismatchReport(TalkerStream *pStream, MismatchReportFn pfnMismatch, void *pContext) {
    pStream->pfnMismatch = pfnMismatch;
    pStream->pMismatchContext = pContext;
}

int StreamSRecord(TalkerStream *pStream, const SRecord *pRecord) {
    if (pStream->pLink->pTarget->fTrace) SayErr("WriteSRecord(%x bytes)\n", pRecord->wLength);
    uint32_t dwStart = 0;
    while (dwStart < pRecord->wLength) {
        int fEeprom = InEepromRange(pStream->pLink, (uint16_t)(pRecord->wAddress + dwStart));
        uint32_t dwEnd = dwStart + 1;
        while (dwEnd < pRecord->wLength &&
               InEepromRange(pStream->pLink, (uint16_t)(pRecord->wAddress + dwEnd)) == fEeprom) {
            dwEnd++;
        }
        uint16_t wFirst = (uint16_t)(pRecord->wAddress + dwStart);
        TalkerCommand eBlock = fEeprom ? TALKER_PROGRAM_BLOCK : TALKER_WRITE_BLOCK;
        if (!StreamBlockStart(pStream, eBlock, wFirst, dwEnd - dwStart)) return 0;
        pStream->wBlockRecord = pRecord->wAddress;
        if (!StreamBlockBytes(pStream, &pRecord->bData[dwStart], dwEnd - dwStart)) return 0;
        dwStart = dwEnd;
    }
    return 1;
}

uint32_t GetStreamMismatches(const TalkerStream *pStream) {
    return pStream->dwMismatches;
}

int SendQueuedBytes(TalkerStream *pStream) {
    return Pump(pStream, STREAM_OUT_ROOM, 0, 0);
}

int FinishTalkerStream(TalkerStream *pStream) {
    return Pump(pStream, 0, 0, 1);
}
