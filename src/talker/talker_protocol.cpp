// Talker commands: a letter and four frame bytes (address and count, high byte first), then
// the prompt. The set-up commands go one at a time; records go through a stream.
#include "talker_protocol.h"

#include <cstdio>

#include "com_port.h"
#include "talker_stream.h"

namespace {

const uint32_t SYNC_ATTEMPTS = 10;
const uint32_t RATE_SWITCH_WAIT_MS = 25;
const uint32_t SYNC_SETTLE_MS = 20;  // beyond the common adapters' default latency timer, 16 ms

// One attempt at reading the prompt. Returns 1 for ">", 0 for a failed attempt, -1 when a
// call failed and no further attempt may be made.
int TryPrompt(Port *pPort, int fSync) {
    if (fSync) {
        // A USB adapter may still hold bytes the chip sent before (the talker's start-up
        // prompt, up to its latency timer late): they come in before the purge.
        SleepMs(SYNC_SETTLE_MS);
        PurgePortInput(pPort);
        uint8_t bSync = TALKER_SYNC;
        uint32_t dwWrite = 0;
        if (!TracedWrite(pPort, &bSync, 1, &dwWrite)) {
            fprintf(stderr, "GetPrompt: Error on sync write (%x)\n", (unsigned)pPort->dwLastError);
            return -1;
        }
    }
    uint8_t bReply = 0;
    uint32_t dwRead = 0;
    if (!TracedRead(pPort, &bReply, 1, &dwRead)) {
        fprintf(stderr, "GetPrompt: Error on read (%x)\n", (unsigned)pPort->dwLastError);
        return -1;
    }
    if (dwRead != 1) {
        fprintf(stderr, "GetPrompt: Didn't read a character\n");
        return 0;
    }
    if (bReply == TALKER_PROMPT) return 1;
    fprintf(stderr, "GetPrompt: Got a %c(0x%x), expected '>'\n", bReply, bReply);
    return 0;
}

}  // namespace

void BuildFrame(uint8_t bLetter, uint16_t wAddress, uint8_t bCountLow, uint8_t *pbFrame) {
    pbFrame[0] = bLetter;
    pbFrame[1] = (uint8_t)(wAddress >> 8);
    pbFrame[2] = (uint8_t)(wAddress & 0xFF);
    pbFrame[3] = 0x00;
    pbFrame[4] = bCountLow;
}

void BuildBlockFrame(uint8_t bLetter, uint16_t wAddress, uint32_t dwCount, uint8_t *pbFrame) {
    BuildFrame(bLetter, wAddress, (uint8_t)(dwCount & 0xFF), pbFrame);
    pbFrame[3] = (uint8_t)((dwCount >> 8) & 0xFF);
}

int GetPrompt(Port *pPort, int fSync) {
    uint32_t dwAttempts = fSync ? SYNC_ATTEMPTS : 1;
    for (uint32_t i = 0; i < dwAttempts; i++) {
        int nResult = TryPrompt(pPort, fSync);
        if (nResult == 1) return 1;
        if (nResult < 0) return 0;
    }
    return 0;
}

int WriteTargetByte(Port *pPort, uint16_t wAddress, uint8_t bValue) {
    uint8_t pbFrame[FRAME_LENGTH];
    BuildFrame('w', wAddress, bValue, pbFrame);
    if (!SendRawNoEcho(pPort, pbFrame, FRAME_LENGTH - 1)) return 0;
    if (!SendRawWithEcho(pPort, &pbFrame[FRAME_LENGTH - 1], 1, 1, 1, NULL)) return 0;
    return GetPrompt(pPort, 0);
}

int BulkErase(const TalkerLink *pLink) {
    uint8_t pbFrame[FRAME_LENGTH];
    BuildFrame('B', 0xF800, pLink->bConfigValue, pbFrame);
    if (pLink->fTrace) fprintf(stderr, "BulkErase\n");
    if (!SendRawNoEcho(pLink->pPort, pbFrame, FRAME_LENGTH)) return 0;
    return GetPrompt(pLink->pPort, 0);
}

int InEepromRange(const TalkerLink *pLink, uint16_t wAddress) {
    return wAddress >= pLink->wEepromStart && wAddress <= pLink->wEepromEnd;
}

int WriteSRecord(const TalkerLink *pLink, const SRecord *pRecord, uint32_t *pdwMismatches) {
    TalkerStream stream;
    StartTalkerStream(&stream, pLink);
    int nResult = StreamSRecord(&stream, pRecord) && FinishTalkerStream(&stream);
    *pdwMismatches += GetStreamMismatches(&stream);
    return nResult;
}

int SetTalkerRate(Port *pPort, uint16_t wBaudAddress, uint8_t bBaud, uint32_t dwRate) {
    uint8_t pbFrame[FRAME_LENGTH];
    BuildFrame('w', wBaudAddress, bBaud, pbFrame);
    if (!SendRawNoEcho(pPort, pbFrame, FRAME_LENGTH)) return 0;
    // The frame's last byte must have left at the old rate before the port changes: drained,
    // then its wire time at 9600 and a USB adapter's latency over.
    DrainPort(pPort);
    SleepMs(RATE_SWITCH_WAIT_MS);
    if (!SetComPortRate(pPort, dwRate)) return 0;
    if (GetPrompt(pPort, 1)) return 1;
    fprintf(stderr,
            "SetTalkerRate: the talker did not answer at %u baud: the adapter or the cable may "
            "not carry this rate (try a lower -b)\n",
            (unsigned)dwRate);
    return 0;
}
