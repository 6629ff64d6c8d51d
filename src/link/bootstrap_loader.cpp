#include "bootstrap_loader.h"

#include <cstdio>

#include "interrupt.h"
#include "link_settings.h"
#include "progress.h"
#include "serial_port.h"
#include "srecord.h"
#include "talker_image.h"

namespace {

const BYTE BOOT_START_BYTE = 0xFF;
enum { MAX_DOWNLOAD_LENGTH = 256 };

// "%u." before each image line and after the last, where no progress line is drawn.
void PrintRecordMark(DWORD dwRecords) {
    char szMark[16];
    snprintf(szMark, sizeof szMark, "%u.", (unsigned)dwRecords);
    PrintProgressMark(szMark);
}

// Sends the S1 data of the image in table order; the ROM places bytes by arrival, so
// addresses and checksums are not sent. Stores the number of bytes sent in *pdwSent.
int SendTalkerImage(HANDLE hPort, DWORD *pdwSent, DWORD *pdwMismatches) {
    SRecord record;
    DWORD dwRecords = 0;
    *pdwSent = 0;
    for (unsigned i = 0; i < dwTalkerImageLines; i++) {
        if (!ParseSRecordString(TalkerImage[i], &record)) return 0;
        if (record.wType == 9) break;
        if (record.wType != 1) continue;
        PrintRecordMark(dwRecords);
        if (!SendRawCheckEcho(hPort, record.bData, record.wLength, pdwMismatches)) return 0;
        NoteBytesDone(record.wLength);
        *pdwSent += record.wLength;
        dwRecords++;
    }
    PrintRecordMark(dwRecords);
    return 1;
}

// The rest of the download is zeros; their echoes are read but not compared (the last one
// is garbled when the talker switches the line to 9600 baud while it is still going out).
int SendZeroFill(HANDLE hPort, DWORD dwSent) {
    static const BYTE pbZeros[MAX_DOWNLOAD_LENGTH] = {0};
    DWORD dwLength = g_LinkSettings.dwTalkerLength;
    if (dwLength > MAX_DOWNLOAD_LENGTH) dwLength = MAX_DOWNLOAD_LENGTH;
    DWORD dwFill = dwSent < dwLength ? dwLength - dwSent : 0;
    if (!SendRawWithEcho(hPort, pbZeros, dwFill, 1, 1, NULL)) return 0;
    NoteBytesDone(dwFill);
    return 1;
}

int SendDownload(HANDLE hPort, int fRateChosen) {
    BYTE bStart = BOOT_START_BYTE;
    DWORD dwWrite = 0;
    if (!fRateChosen && !TracedWrite(hPort, &bStart, 1, &dwWrite)) {
        fprintf(stderr, "Initial 0xFF write failed %x\n", (unsigned)GetLastError());
        return 0;
    }
    DWORD dwSent = 0, dwMismatches = 0;
    if (!SendTalkerImage(hPort, &dwSent, &dwMismatches)) return 0;
    if (!SendZeroFill(hPort, dwSent)) return 0;
    if (dwMismatches != 0) {
        fprintf(stderr,
                "DownloadTalker: %u talker byte(s) echoed wrong: the target is not running the "
                "talker\n",
                (unsigned)dwMismatches);
        return 0;
    }
    return 1;
}

// What to check when the chip did not take the talker.
int ReportLoadFailure(void) {
    fprintf(stderr,
            "DownloadTalker: Check that the board was reset into special bootstrap mode (MODA "
            "and MODB low), the port, and the cable\n");
    fprintf(stdout, "Failure\n");
    return 0;
}

}  // namespace

int DownloadTalker(DWORD dwComPort, int fRateChosen, DWORD dwLoadBaud) {
    EnterStage(STAGE_TALKER_LOAD, g_LinkSettings.dwTalkerLength);
    HANDLE hPort = OpenComPort(dwComPort, dwLoadBaud);
    if (hPort == INVALID_HANDLE_VALUE) return 0;
    int nResult = SendDownload(hPort, fRateChosen);
    CloseHandle(hPort);
    EndProgress("\n");  // ends the line of progress marks
    return nResult ? 1 : ReportLoadFailure();
}
