// Talker commands: a letter and four frame bytes (address and count, high byte first), then
// the prompt. The set-up commands go one at a time; records go through a stream.
#include "talker_protocol.h"

#include <cstdio>

#include "link_settings.h"
#include "serial_port.h"
#include "talker_stream.h"

namespace {

const BYTE PROMPT = '>';
const DWORD SYNC_ATTEMPTS = 10;
const DWORD RATE_SWITCH_WAIT_MS = 25;
const DWORD SYNC_SETTLE_MS = 32;  // twice the common adapters' default latency timer

enum { FRAME_LENGTH = 5 };

void BuildFrame(BYTE bLetter, WORD wAddress, BYTE bCountLow, BYTE *pbFrame) {
    pbFrame[0] = bLetter;
    pbFrame[1] = (BYTE)(wAddress >> 8);
    pbFrame[2] = (BYTE)(wAddress & 0xFF);
    pbFrame[3] = 0x00;
    pbFrame[4] = bCountLow;
}

// One attempt at reading the prompt. Returns 1 for ">", 0 for a failed attempt, -1 when a
// call failed and no further attempt may be made.
int TryPrompt(HANDLE hPort, int fSync) {
    if (fSync) {
        // A USB adapter may still hold bytes the chip sent before (the talker's start-up
        // prompt, up to its latency timer late): they come in before the purge.
        Sleep(SYNC_SETTLE_MS);
        PurgeComm(hPort, PURGE_RXCLEAR);
        BYTE bSync = 's';
        DWORD dwWrite = 0;
        if (!TracedWrite(hPort, &bSync, 1, &dwWrite)) {
            fprintf(stderr, "GetPrompt: Error on sync write (%x)\n", (unsigned)GetLastError());
            return -1;
        }
    }
    BYTE bReply = 0;
    DWORD dwRead = 0;
    if (!TracedRead(hPort, &bReply, 1, &dwRead)) {
        fprintf(stderr, "GetPrompt: Error on read (%x)\n", (unsigned)GetLastError());
        return -1;
    }
    if (dwRead != 1) {
        fprintf(stderr, "GetPrompt: Didn't read a character\n");
        return 0;
    }
    if (bReply == PROMPT) return 1;
    fprintf(stderr, "GetPrompt: Got a %c(0x%x), expected '>'\n", bReply, bReply);
    return 0;
}

}  // namespace

int GetPrompt(HANDLE hPort, int fSync) {
    DWORD dwAttempts = fSync ? SYNC_ATTEMPTS : 1;
    for (DWORD i = 0; i < dwAttempts; i++) {
        int nResult = TryPrompt(hPort, fSync);
        if (nResult == 1) return 1;
        if (nResult < 0) return 0;
    }
    return 0;
}

int WriteTargetByte(HANDLE hPort, WORD wAddress, BYTE bValue) {
    BYTE pbFrame[FRAME_LENGTH];
    BuildFrame('w', wAddress, bValue, pbFrame);
    if (!SendRawNoEcho(hPort, pbFrame, FRAME_LENGTH - 1)) return 0;
    if (!SendRawWithEcho(hPort, &pbFrame[FRAME_LENGTH - 1], 1, 1, 1, NULL)) return 0;
    return GetPrompt(hPort, 0);
}

int BulkErase(HANDLE hPort) {
    BYTE pbFrame[FRAME_LENGTH];
    BuildFrame('B', 0xF800, g_LinkSettings.bConfigValue, pbFrame);
    if (g_LinkSettings.fVerbose) fprintf(stderr, "BulkErase\n");
    if (!SendRawNoEcho(hPort, pbFrame, FRAME_LENGTH)) return 0;
    return GetPrompt(hPort, 0);
}

int InEepromRange(WORD wAddress) {
    return wAddress >= g_LinkSettings.wEepromStart && wAddress <= g_LinkSettings.wEepromEnd;
}

int WriteSRecord(HANDLE hPort, const SRecord *pRecord, DWORD *pdwMismatches) {
    TalkerStream stream;
    StartTalkerStream(&stream, hPort);
    int nResult = StreamSRecord(&stream, pRecord) && FinishTalkerStream(&stream);
    *pdwMismatches += stream.dwMismatches;
    return nResult;
}

int SetTalkerRate(HANDLE hPort, WORD wBaudAddress, BYTE bBaud, DWORD dwRate) {
    BYTE pbFrame[FRAME_LENGTH];
    BuildFrame('w', wBaudAddress, bBaud, pbFrame);
    if (!SendRawNoEcho(hPort, pbFrame, FRAME_LENGTH)) return 0;
    // The frame's last byte must have left at the old rate before the port changes: drained,
    // then its wire time at 9600 and a USB adapter's latency over.
    FlushFileBuffers(hPort);
    Sleep(RATE_SWITCH_WAIT_MS);
    if (!SetComPortRate(hPort, dwRate)) return 0;
    if (GetPrompt(hPort, 1)) return 1;
    fprintf(stderr,
            "SetTalkerRate: the talker did not answer at %u baud: the adapter or the cable may "
            "not carry this rate (try a lower -b)\n",
            (unsigned)dwRate);
    return 0;
}
