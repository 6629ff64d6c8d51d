// Talker commands: a letter and four frame bytes (address and count, high byte first),
// block data paced one byte per reply, then the prompt.
#include "talker_protocol.h"

#include <cstdio>

#include "interrupt.h"
#include "link_settings.h"
#include "serial_port.h"

namespace {

const BYTE PROMPT = '>';
const DWORD SYNC_ATTEMPTS = 10;

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

// The data of one block, each byte answered by what the target now holds there. A byte
// that differs is reported with its address and its index from the start of the record.
int SendBlockData(HANDLE hPort, const SRecord *pRecord, DWORD dwStart, DWORD dwEnd,
                  DWORD *pdwMismatches) {
    for (DWORD i = dwStart; i < dwEnd; i++) {
        BYTE bEcho = 0;
        if (!SendByteReadEcho(hPort, pRecord->bData[i], &bEcho)) return 0;
        NoteBytesDone(1);
        if (bEcho == pRecord->bData[i]) continue;
        fprintf(stderr,
                "WriteSRecord: $%04X (byte %u of the record at $%04X) wrote %02X, read back %02X\n",
                (unsigned)(WORD)(pRecord->wAddress + i), (unsigned)i, pRecord->wAddress,
                pRecord->bData[i], bEcho);
        (*pdwMismatches)++;
    }
    return 1;
}

// One block command ("W" or "P") over the record's bytes dwStart to dwEnd.
int SendBlock(HANDLE hPort, BYTE bLetter, const SRecord *pRecord, DWORD dwStart, DWORD dwEnd,
              DWORD *pdwMismatches) {
    BYTE pbFrame[FRAME_LENGTH];
    BuildFrame(bLetter, (WORD)(pRecord->wAddress + dwStart), (BYTE)(dwEnd - dwStart), pbFrame);
    if (!SendRawNoEcho(hPort, pbFrame, FRAME_LENGTH)) return 0;
    if (!SendBlockData(hPort, pRecord, dwStart, dwEnd, pdwMismatches)) return 0;
    return GetPrompt(hPort, 0);
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
    if (g_LinkSettings.fVerbose) fprintf(stderr, "WriteSRecord(%x bytes)\n", pRecord->wLength);
    DWORD dwStart = 0;
    while (dwStart < pRecord->wLength) {
        WORD wAddress = (WORD)(pRecord->wAddress + dwStart);
        int fEeprom = InEepromRange(wAddress);
        DWORD dwEnd = dwStart + 1;
        while (dwEnd < pRecord->wLength &&
               InEepromRange((WORD)(pRecord->wAddress + dwEnd)) == fEeprom) {
            dwEnd++;
        }
        BYTE bLetter = fEeprom ? 'P' : 'W';
        if (!SendBlock(hPort, bLetter, pRecord, dwStart, dwEnd, pdwMismatches)) return 0;
        dwStart = dwEnd;
    }
    return 1;
}
