// "R" blocks: the frame, then each span's bytes back to back with its two check bytes after
// them, then the prompt. The host takes the answer in as large reads as have arrived, waiting
// about as long as they take on the wire between reads: one wake-up per byte costs a core's
// percent at fast rates. A span that does not check is read again alone.
#include "target_read.h"

#include <cstdio>

#include "com_port.h"
#include "say.h"
#include "talker_protocol.h"

namespace {

enum {
    // The most one "R" asks for: it fits the input buffer of any host (4 KB), so that a line
    // faster than its rate (a simulated one) loses nothing while the host looks away.
    READ_BLOCK = 2048,
    READ_ATTEMPTS = 3,                       // reads of a span read again before the read fails
    MAX_SPANS = READ_BLOCK / READ_SPAN + 1,  // a block that starts inside a span has one more
    ANSWER_ROOM = READ_BLOCK + MAX_SPANS * SPAN_CHECK_BYTES + 1,
};

const uint8_t GF_REDUCE = 0x1D;         // x^8 = x^4 + x^3 + x^2 + 1
const uint32_t ALL_SPANS = 0xFFFFFFFF;  // the prompt was wrong: nothing in the block is sure

// One "R" exchange.
struct BlockRead {
    const TalkerLink *pLink;
    uint16_t wFirst;
    uint8_t *pbData;
    uint32_t dwLength;
    int fCount;  // 0 when the bytes were counted before (a span read again)
    ReadProgressFn pfnProgress;
    void *pContext;
    uint32_t dwDone;        // bytes counted so far, for pfnProgress
    uint32_t dwWrongSpans;  // bit i: span i did not check
};

enum BlockOutcome { BLOCK_FAILED, BLOCK_WRONG, BLOCK_READ };

// Lets about dwChars characters arrive before the next read: never longer than they take on
// the wire, so that the last one is not waited for longer than it needs.
void WaitForCharacters(const TalkerLink *pLink, uint32_t dwChars) {
    uint64_t qwMs = (uint64_t)dwChars * BITS_PER_CHARACTER * 1000 / pLink->pTarget->dwTalkerRate;
    if (qwMs > MAX_BATCH_WAIT_MS) qwMs = MAX_BATCH_WAIT_MS;
    if (qwMs > 0) WaitOnPort(pLink->pPort, (uint32_t)qwMs);
}

// The answer's length: the bytes, two check bytes a span, the prompt.
uint32_t AnswerLength(uint16_t wFirst, uint32_t dwLength) {
    uint32_t dwTotal = dwLength + 1;
    for (uint32_t dwDone = 0; dwDone < dwLength;) {
        dwDone += SpanLength((uint16_t)(wFirst + dwDone), dwLength - dwDone);
        dwTotal += SPAN_CHECK_BYTES;
    }
    return dwTotal;
}

// Of the answer's first dwAnswer bytes, those that are the block's bytes.
uint32_t DataBytesIn(const BlockRead *pRead, uint32_t dwAnswer) {
    uint32_t dwData = 0;
    while (dwData < pRead->dwLength) {
        uint32_t dwSpan = SpanLength((uint16_t)(pRead->wFirst + dwData), pRead->dwLength - dwData);
        if (dwAnswer <= dwSpan) return dwData + dwAnswer;
        dwData += dwSpan;
        dwAnswer -= dwSpan;
        dwAnswer -= dwAnswer < SPAN_CHECK_BYTES ? dwAnswer : (uint32_t)SPAN_CHECK_BYTES;
    }
    return dwData;
}

void CountBytes(BlockRead *pRead, uint32_t dwCount) {
    if (!pRead->fCount || pRead->pfnProgress == NULL) return;
    for (uint32_t i = 0; i < dwCount; i++) pRead->pfnProgress(pRead->pContext, ++pRead->dwDone);
}

// Receives the whole answer into pbAnswer.
BlockOutcome ReceiveAnswer(BlockRead *pRead, uint8_t *pbAnswer, uint32_t dwTotal) {
    Port *pPort = pRead->pLink->pPort;
    uint32_t dwCounted = 0;
    for (uint32_t dwGot = 0; dwGot < dwTotal;) {
        WaitForCharacters(pRead->pLink, dwTotal - dwGot - 1);
        uint32_t dwRead = 0;
        if (!ReadPort(pPort, pbAnswer + dwGot, dwTotal - dwGot, REPLY_WAIT_MS, &dwRead)) {
            SayErr("ReadTargetBytes: Read error 0x%x\n", (unsigned)pPort->dwLastError);
            SayPortFailure(pPort);
            return BLOCK_FAILED;
        }
        uint32_t dwData = DataBytesIn(pRead, dwGot);
        if (dwRead == 0) {
            if (dwData == pRead->dwLength) dwData--;  // a check byte or the prompt: the last
            SayErr("ReadTargetBytes: No reply for the byte at $%04X\n",
                   (unsigned)(uint16_t)(pRead->wFirst + dwData));
            return BLOCK_FAILED;
        }
        dwGot += dwRead;
        uint32_t dwArrived = DataBytesIn(pRead, dwGot);
        CountBytes(pRead, dwArrived - dwCounted);
        dwCounted = dwArrived;
    }
    return BLOCK_READ;
}

// Takes the bytes out of the answer into pbData and notes each span that does not check.
void SplitAnswer(BlockRead *pRead, const uint8_t *pbAnswer, uint32_t dwTotal) {
    pRead->dwWrongSpans = 0;
    uint32_t dwAt = 0;
    for (uint32_t dwData = 0, iSpan = 0; dwData < pRead->dwLength; iSpan++) {
        uint32_t dwSpan = SpanLength((uint16_t)(pRead->wFirst + dwData), pRead->dwLength - dwData);
        for (uint32_t i = 0; i < dwSpan; i++) pRead->pbData[dwData + i] = pbAnswer[dwAt + i];
        dwAt += dwSpan;
        uint16_t wCheck = (uint16_t)(pbAnswer[dwAt] << 8 | pbAnswer[dwAt + 1]);
        if (wCheck != SpanCheck(pRead->pbData + dwData, dwSpan)) pRead->dwWrongSpans |= 1u << iSpan;
        dwAt += SPAN_CHECK_BYTES;
        dwData += dwSpan;
    }
    if (pbAnswer[dwTotal - 1] != TALKER_PROMPT) pRead->dwWrongSpans = ALL_SPANS;
}

// Sends the frame and takes the block in; BLOCK_WRONG when a span does not check or the
// prompt is not there.
BlockOutcome ReadBlock(BlockRead *pRead) {
    uint8_t pbFrame[FRAME_LENGTH], pbAnswer[ANSWER_ROOM];
    BuildCommandFrame(TALKER_READ_BLOCK, pRead->wFirst, pRead->dwLength, pbFrame);
    if (!WriteBytes(pRead->pLink->pPort, pbFrame, FRAME_LENGTH)) return BLOCK_FAILED;
    uint32_t dwTotal = AnswerLength(pRead->wFirst, pRead->dwLength);
    BlockOutcome eOutcome = ReceiveAnswer(pRead, pbAnswer, dwTotal);
    if (eOutcome != BLOCK_READ) return eOutcome;
    SplitAnswer(pRead, pbAnswer, dwTotal);
    return pRead->dwWrongSpans == 0 ? BLOCK_READ : BLOCK_WRONG;
}

void ReportReadingAgain(uint16_t wFirst, uint32_t dwLength) {
    SayErr("ReadTargetBytes: $%04X-$%04X did not match its check word; reading it again\n", wFirst,
           (unsigned)(uint16_t)(wFirst + dwLength - 1));
}

// One span, read until it checks: the talker is found again first, since what went wrong may
// have left bytes on the line.
int ReadSpanAgain(BlockRead *pRead) {
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

// The spans that did not check, each read again alone; after a wrong prompt, all of them.
int ReadWrongSpansAgain(const BlockRead *pWhole) {
    int fAll = pWhole->dwWrongSpans == ALL_SPANS;
    if (fAll) ReportReadingAgain(pWhole->wFirst, pWhole->dwLength);
    for (uint32_t dwOffset = 0, iSpan = 0; dwOffset < pWhole->dwLength; iSpan++) {
        uint16_t wSpan = (uint16_t)(pWhole->wFirst + dwOffset);
        BlockRead part = {pWhole->pLink,
                          wSpan,
                          pWhole->pbData + dwOffset,
                          SpanLength(wSpan, pWhole->dwLength - dwOffset),
                          0,
                          NULL,
                          NULL,
                          0,
                          0};
        dwOffset += part.dwLength;
        if ((pWhole->dwWrongSpans >> iSpan & 1) == 0) continue;
        if (!fAll) ReportReadingAgain(part.wFirst, part.dwLength);
        if (!ReadSpanAgain(&part)) return 0;
    }
    return 1;
}

}  // namespace

uint32_t SpanLength(uint16_t wAddress, uint32_t dwLeft) {
    uint32_t dwToSpanEnd = READ_SPAN - wAddress % READ_SPAN;
    return dwLeft < dwToSpanEnd ? dwLeft : dwToSpanEnd;
}

uint16_t SpanCheck(const uint8_t *pbData, uint32_t dwLength) {
    uint8_t bXor = 0, bSum = 0;
    for (uint32_t i = 0; i < dwLength; i++) {
        bXor ^= pbData[i];
        bSum = (uint8_t)((bSum << 1) ^ ((bSum & 0x80) != 0 ? GF_REDUCE : 0) ^ bXor);
    }
    return (uint16_t)(bXor << 8 | bSum);
}

int ReadTargetBytes(const TalkerLink *pLink, uint16_t wAddress, uint8_t *pbBuffer,
                    uint32_t dwLength, ReadProgressFn pfnProgress, void *pContext) {
    if (pLink->pTarget->fTrace) SayErr("ReadTargetBytes(%x bytes)\n", (unsigned)dwLength);
    BlockRead block = {pLink, wAddress, pbBuffer, 0, 1, pfnProgress, pContext, 0, 0};
    for (uint32_t dwOffset = 0; dwOffset < dwLength; dwOffset += READ_BLOCK) {
        uint32_t dwLeft = dwLength - dwOffset;
        block.wFirst = (uint16_t)(wAddress + dwOffset);
        block.pbData = pbBuffer + dwOffset;
        block.dwLength = dwLeft < READ_BLOCK ? dwLeft : (uint32_t)READ_BLOCK;
        BlockOutcome eOutcome = ReadBlock(&block);
        if (eOutcome == BLOCK_FAILED) return 0;
        if (eOutcome == BLOCK_WRONG && !ReadWrongSpansAgain(&block)) return 0;
    }
    return 1;
}
