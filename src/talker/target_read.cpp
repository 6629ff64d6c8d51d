// "R" blocks: the frame, the bytes back to back, the check word high byte first, the prompt.
// The host takes the bytes in as large reads as have arrived, waiting about as long as they
// take on the wire between reads: one wake-up per byte costs a core's percent at fast rates.
#include "target_read.h"

#include <cstdio>

#include "com_port.h"
#include "say.h"
#include "talker_protocol.h"

namespace {

enum {
    // The most one "R" asks for: it fits the input buffer of any host (4 KB), so that a line
    // faster than its rate (a simulated one) loses nothing while the host looks away, and a
    // block read again costs little.
    READ_BLOCK = 2048,
    RETRY_BLOCK = 256,  // a block read again: small, so that one bad byte costs little wire
    READ_ATTEMPTS = 3,  // reads of a retried block before the read fails
    BLOCK_TAIL = 3,     // the check word and the prompt after the data
};

// One "R" exchange.
struct BlockRead {
    const TalkerLink *pLink;
    uint16_t wFirst;
    uint8_t *pbData;
    uint32_t dwLength;
    int fCount;  // 0 when the bytes were counted before (a retry)
    ReadProgressFn pfnProgress;
    void *pContext;
    uint32_t dwDone;  // bytes counted so far, for pfnProgress
};

enum BlockOutcome { BLOCK_FAILED, BLOCK_WRONG, BLOCK_READ };

// Lets about dwChars characters arrive before the next read: never longer than they take on
// the wire, so that the last one is not waited for longer than it needs.
void WaitForCharacters(const TalkerLink *pLink, uint32_t dwChars) {
    uint64_t qwMs = (uint64_t)dwChars * BITS_PER_CHARACTER * 1000 / pLink->pTarget->dwTalkerRate;
    if (qwMs > MAX_BATCH_WAIT_MS) qwMs = MAX_BATCH_WAIT_MS;
    if (qwMs > 0) WaitOnPort(pLink->pPort, (uint32_t)qwMs);
}

void CountBytes(BlockRead *pRead, uint32_t dwCount) {
    if (!pRead->fCount || pRead->pfnProgress == NULL) return;
    for (uint32_t i = 0; i < dwCount; i++) pRead->pfnProgress(pRead->pContext, ++pRead->dwDone);
}

// Receives the block's bytes and its tail (check word and prompt) into pbTail.
BlockOutcome ReceiveBlock(BlockRead *pRead, uint8_t *pbTail) {
    Port *pPort = pRead->pLink->pPort;
    uint32_t dwTotal = pRead->dwLength + BLOCK_TAIL, dwGot = 0;
    while (dwGot < dwTotal) {
        WaitForCharacters(pRead->pLink, dwTotal - dwGot - 1);
        int fData = dwGot < pRead->dwLength;
        uint8_t *pbTo = fData ? pRead->pbData + dwGot : pbTail + (dwGot - pRead->dwLength);
        uint32_t dwRoom = fData ? pRead->dwLength - dwGot : dwTotal - dwGot;
        uint32_t dwRead = 0;
        if (!ReadPort(pPort, pbTo, dwRoom, REPLY_WAIT_MS, &dwRead)) {
            SayErr("ReadTargetBytes: Read error 0x%x\n", (unsigned)pPort->dwLastError);
            SayPortFailure(pPort);
            return BLOCK_FAILED;
        }
        if (dwRead == 0) {
            SayErr("ReadTargetBytes: No reply for the byte at $%04X\n",
                   (unsigned)(uint16_t)(pRead->wFirst + dwGot));
            return BLOCK_FAILED;
        }
        if (fData) CountBytes(pRead, dwRead);
        dwGot += dwRead;
    }
    return BLOCK_READ;
}

// Sends the frame and takes the block in; BLOCK_WRONG when its check word or prompt is not
// what the bytes that came call for.
BlockOutcome ReadBlock(BlockRead *pRead) {
    uint8_t pbFrame[FRAME_LENGTH], pbTail[BLOCK_TAIL] = {0, 0, 0};
    BuildBlockFrame('R', pRead->wFirst, pRead->dwLength, pbFrame);
    if (!WriteBytes(pRead->pLink->pPort, pbFrame, FRAME_LENGTH)) return BLOCK_FAILED;
    BlockOutcome eOutcome = ReceiveBlock(pRead, pbTail);
    if (eOutcome != BLOCK_READ) return eOutcome;
    uint16_t wCheck = (uint16_t)(pbTail[0] << 8 | pbTail[1]);
    if (pbTail[2] != TALKER_PROMPT) return BLOCK_WRONG;
    return wCheck == BlockCheckWord(pRead->pbData, pRead->dwLength) ? BLOCK_READ : BLOCK_WRONG;
}

// One small block, read until its check word holds: the talker is found again first, since
// what went wrong may have left bytes on the line.
int ReadSmallBlockAgain(BlockRead *pRead) {
    for (uint32_t dwAttempt = 0; dwAttempt < READ_ATTEMPTS; dwAttempt++) {
        if (!GetPrompt(pRead->pLink->pPort, 1)) return 0;
        BlockOutcome eOutcome = ReadBlock(pRead);
        if (eOutcome == BLOCK_READ) return 1;
        if (eOutcome == BLOCK_FAILED) return 0;
    }
    SayErr(
        "ReadTargetBytes: $%04X-$%04X did not match its check word in %u reads: the line "
        "changes what the chip sends (check the cable, or try a lower -b)\n",
        pRead->wFirst, (unsigned)(uint16_t)(pRead->wFirst + pRead->dwLength - 1),
        (unsigned)READ_ATTEMPTS);
    return 0;
}

// The whole range again, in blocks of RETRY_BLOCK, each read until it checks.
int ReadAgainInSmallBlocks(const BlockRead *pWhole) {
    SayErr("ReadTargetBytes: $%04X-$%04X did not match its check word; reading it again\n",
           pWhole->wFirst, (unsigned)(uint16_t)(pWhole->wFirst + pWhole->dwLength - 1));
    for (uint32_t dwOffset = 0; dwOffset < pWhole->dwLength; dwOffset += RETRY_BLOCK) {
        uint32_t dwLeft = pWhole->dwLength - dwOffset;
        BlockRead part = {pWhole->pLink,
                          (uint16_t)(pWhole->wFirst + dwOffset),
                          pWhole->pbData + dwOffset,
                          dwLeft < RETRY_BLOCK ? dwLeft : (uint32_t)RETRY_BLOCK,
                          0,
                          NULL,
                          NULL,
                          0};
        if (!ReadSmallBlockAgain(&part)) return 0;
    }
    return 1;
}

}  // namespace

uint16_t BlockCheckWord(const uint8_t *pbData, uint32_t dwLength) {
    uint8_t bLow = 0, bHigh = 0;
    for (uint32_t i = 0; i < dwLength; i++) {
        bLow = (uint8_t)(bLow + pbData[i]);
        bHigh = (uint8_t)(bHigh + bLow);
    }
    return (uint16_t)(bHigh << 8 | bLow);
}

int ReadTargetBytes(const TalkerLink *pLink, uint16_t wAddress, uint8_t *pbBuffer,
                    uint32_t dwLength, ReadProgressFn pfnProgress, void *pContext) {
    if (pLink->pTarget->fTrace) SayErr("ReadTargetBytes(%x bytes)\n", (unsigned)dwLength);
    BlockRead block = {pLink, wAddress, pbBuffer, 0, 1, pfnProgress, pContext, 0};
    for (uint32_t dwOffset = 0; dwOffset < dwLength; dwOffset += READ_BLOCK) {
        uint32_t dwLeft = dwLength - dwOffset;
        block.wFirst = (uint16_t)(wAddress + dwOffset);
        block.pbData = pbBuffer + dwOffset;
        block.dwLength = dwLeft < READ_BLOCK ? dwLeft : (uint32_t)READ_BLOCK;
        BlockOutcome eOutcome = ReadBlock(&block);
        if (eOutcome == BLOCK_FAILED) return 0;
        if (eOutcome == BLOCK_WRONG && !ReadAgainInSmallBlocks(&block)) return 0;
    }
    return 1;
}
