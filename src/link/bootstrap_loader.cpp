#include "bootstrap_loader.h"

#include <cstdio>
#include <cstring>

#include "interrupt.h"
#include "link_settings.h"
#include "progress.h"
#include "serial_port.h"
#include "srecord.h"
#include "talker_image.h"

namespace {

const BYTE BOOT_START_BYTE = 0xFF;
const BYTE BREAK_BYTE = 0x00;         // how a UART reads the break the ROM holds from reset
const DWORD BITS_PER_CHARACTER = 10;  // start, 8 data, stop
const DWORD IDLE_END_CHARACTERS = 4;  // the idle line that ends a variable-length load
const DWORD LATE_EVIDENCE_BYTES = 2;  // wrong echoes needed to call the load one byte late
enum { MAX_DOWNLOAD_LENGTH = 256, MAX_IMAGE_LINES = 16 };

// What follows the $FF, where each image line's data begins in it, and the echoes read.
struct TalkerLoad {
    BYTE pbBytes[MAX_DOWNLOAD_LENGTH];
    BYTE pbEchoes[MAX_DOWNLOAD_LENGTH];
    DWORD dwLength;  // bytes sent after the $FF
    DWORD dwTalker;  // of which the talker's; the rest is zero fill
    DWORD rgdwLineStart[MAX_IMAGE_LINES + 1];
    DWORD dwLines;
};

// The S1 data of the image in table order: the ROM places bytes by arrival, so addresses and
// checksums are not sent.
int AddTalkerImage(TalkerLoad *pLoad) {
    SRecord record;
    pLoad->dwTalker = pLoad->dwLines = 0;
    for (unsigned i = 0; i < dwTalkerImageLines; i++) {
        if (!ParseSRecordString(TalkerImage[i], &record)) return 0;
        if (record.wType == 9) break;
        if (record.wType != 1) continue;
        if (pLoad->dwLines == MAX_IMAGE_LINES ||
            pLoad->dwTalker + record.wLength > MAX_DOWNLOAD_LENGTH) {
            fprintf(stderr, "DownloadTalker: the talker image exceeds %u bytes\n",
                    (unsigned)MAX_DOWNLOAD_LENGTH);
            return 0;
        }
        pLoad->rgdwLineStart[pLoad->dwLines++] = pLoad->dwTalker;
        memcpy(pLoad->pbBytes + pLoad->dwTalker, record.bData, record.wLength);
        pLoad->dwTalker += record.wLength;
    }
    pLoad->rgdwLineStart[pLoad->dwLines] = pLoad->dwTalker;
    return 1;
}

// A fixed-length load is filled with zeros to its length; a variable-length one is the
// talker alone, ended by the idle line.
int BuildLoad(TalkerLoad *pLoad) {
    if (!AddTalkerImage(pLoad)) return 0;
    DWORD dwLength = g_LinkSettings.dwTalkerLength;
    if (dwLength > MAX_DOWNLOAD_LENGTH) dwLength = MAX_DOWNLOAD_LENGTH;
    if (g_LinkSettings.fVariableLoad || dwLength < pLoad->dwTalker) dwLength = pLoad->dwTalker;
    memset(pLoad->pbBytes + pLoad->dwTalker, 0, dwLength - pLoad->dwTalker);
    pLoad->dwLength = dwLength;
    return 1;
}

// Anything received before the load is not an echo (a break from a reset, noise on the
// line), so it is emptied first. The ROM echoes at the rate it receives, so the wire paces the
// load.
int SendLoad(HANDLE hPort, const TalkerLoad *pLoad, int fFirstSent) {
    PurgeComm(hPort, PURGE_RXCLEAR);
    BYTE bStart = BOOT_START_BYTE;
    DWORD dwWrite = 0;
    if (!fFirstSent && !TracedWrite(hPort, &bStart, 1, &dwWrite)) {
        fprintf(stderr, "Initial 0xFF write failed %x\n", (unsigned)GetLastError());
        return 0;
    }
    return SendRawNoEcho(hPort, pLoad->pbBytes, pLoad->dwLength);
}

// "%u." before each image line's echoes and after the last, where no progress line is drawn.
void PrintLineMark(DWORD dwLine) {
    char szMark[16];
    snprintf(szMark, sizeof szMark, "%u.", (unsigned)dwLine);
    PrintProgressMark(szMark);
}

// The ROM holds its break from reset until the $FF's start bit; a UART that was listening
// then reads it as a $00 ahead of the first echo.
int ReadEcho(HANDLE hPort, TalkerLoad *pLoad, DWORD dwIndex) {
    if (!ReadRawByte(hPort, &pLoad->pbEchoes[dwIndex])) return 0;
    if (dwIndex != 0 || pLoad->pbEchoes[0] != BREAK_BYTE || pLoad->pbBytes[0] == BREAK_BYTE)
        return 1;
    return ReadRawByte(hPort, &pLoad->pbEchoes[0]);
}

// The echoes of one image line, each compared with its byte.
int ReadLineEchoes(HANDLE hPort, TalkerLoad *pLoad, DWORD dwLine, DWORD *pdwMismatches) {
    DWORD dwStart = pLoad->rgdwLineStart[dwLine];
    for (DWORD i = dwStart; i < pLoad->rgdwLineStart[dwLine + 1]; i++) {
        if (!ReadEcho(hPort, pLoad, i)) return 0;
        if (!EchoMatches(pLoad->pbEchoes[i], pLoad->pbBytes + dwStart, i - dwStart))
            (*pdwMismatches)++;
        NoteBytesDone(1);
    }
    return 1;
}

// The fill's echoes are read but not compared: the last one is garbled when the talker
// switches the line to 9600 baud while it is still going out.
int ReadEchoes(HANDLE hPort, TalkerLoad *pLoad, DWORD *pdwMismatches) {
    for (DWORD dwLine = 0; dwLine < pLoad->dwLines; dwLine++) {
        PrintLineMark(dwLine);
        if (!ReadLineEchoes(hPort, pLoad, dwLine, pdwMismatches)) return 0;
    }
    PrintLineMark(pLoad->dwLines);
    for (DWORD i = pLoad->dwTalker; i < pLoad->dwLength; i++) {
        if (!ReadEcho(hPort, pLoad, i)) return 0;
        NoteBytesDone(1);
    }
    return 1;
}

// Whether, from the first wrong echo on, every echo was the byte sent before it: a stray
// byte put the ROM one byte behind the host. Stores the first wrong echo's index.
int EchoesRanLate(const TalkerLoad *pLoad, DWORD *pdwFirst) {
    DWORD dwFirst = 0, dwWrong = 0;
    while (dwFirst < pLoad->dwTalker && pLoad->pbEchoes[dwFirst] == pLoad->pbBytes[dwFirst])
        dwFirst++;
    for (DWORD i = dwFirst + 1; i < pLoad->dwTalker; i++) {
        if (pLoad->pbEchoes[i] != pLoad->pbBytes[i - 1]) return 0;
        if (pLoad->pbEchoes[i] != pLoad->pbBytes[i]) dwWrong++;
    }
    *pdwFirst = dwFirst;
    return dwWrong >= LATE_EVIDENCE_BYTES;
}

void PrintCheckBoard(void) {
    fprintf(stderr,
            "DownloadTalker: Check that the board was reset into special bootstrap mode (MODA "
            "and MODB low), the port, and the cable\n");
}

// A load whose echoes differed: the chip would run code that is not the talker.
void ReportWrongEchoes(const TalkerLoad *pLoad, DWORD dwMismatches) {
    fprintf(stderr,
            "DownloadTalker: %u talker byte(s) echoed wrong: the target is not running the "
            "talker\n",
            (unsigned)dwMismatches);
    DWORD dwFirst = 0;
    if (!EchoesRanLate(pLoad, &dwFirst)) {
        PrintCheckBoard();
    } else if (dwFirst == 0 && pLoad->pbEchoes[0] == BOOT_START_BYTE) {
        fprintf(stderr,
                "DownloadTalker: the boot ROM echoed the $FF as the talker's first byte: a "
                "stray byte reached it first and the talker landed one byte late. Reset the "
                "board into bootstrap mode and run again\n");
    } else {
        fprintf(stderr,
                "DownloadTalker: from talker byte %u on, each echo came one byte late: a stray "
                "byte reached the line. Reset the board into bootstrap mode and run again\n",
                (unsigned)dwFirst);
    }
}

// Sends the load and judges its echoes. Returns 1 when every talker byte came back as sent.
int LoadTalker(HANDLE hPort, TalkerLoad *pLoad, int fFirstSent) {
    DWORD dwMismatches = 0;
    int fRead = SendLoad(hPort, pLoad, fFirstSent) && ReadEchoes(hPort, pLoad, &dwMismatches);
    EndProgress("\n");  // ends the line of progress marks
    if (!fRead) {
        PrintCheckBoard();
        return 0;
    }
    if (dwMismatches == 0) return 1;
    ReportWrongEchoes(pLoad, dwMismatches);
    return 0;
}

// The ROM starts a variable-length load's program once the line has been idle for 4
// character times after the last byte; that count began as the last echo was sent, one
// character before it arrived here. One character more covers the ROM noticing.
void WaitOutIdleEnd(DWORD dwLoadBaud) {
    DWORD dwBits = (IDLE_END_CHARACTERS + 1) * BITS_PER_CHARACTER;
    Sleep((dwBits * 1000 + dwLoadBaud - 1) / dwLoadBaud);
}

}  // namespace

int DownloadTalker(DWORD dwComPort, DWORD dwLoadBaud, int fFirstSent) {
    TalkerLoad load;
    if (!BuildLoad(&load)) return 0;
    EnterStage(STAGE_TALKER_LOAD, load.dwLength);
    HANDLE hPort = OpenComPort(dwComPort, dwLoadBaud);
    if (hPort == INVALID_HANDLE_VALUE) return 0;
    int fLoaded = LoadTalker(hPort, &load, fFirstSent);
    if (fLoaded && g_LinkSettings.fVariableLoad) WaitOutIdleEnd(dwLoadBaud);
    CloseHandle(hPort);
    if (!fLoaded) fprintf(stdout, "Failure\n");
    return fLoaded;
}
