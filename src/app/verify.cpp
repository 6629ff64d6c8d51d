#include "verify.h"

#include <cstdio>

#include "interrupt.h"
#include "progress.h"
#include "srecord.h"
#include "target_read.h"

namespace {

enum { MAX_LISTED = 20 };

void PrintDot(void) {
    PrintProgressMark(".");
}

int ReportFailure(void) {
    fprintf(stdout, "Failure\n");
    return 0;
}

// Compares one record with the chip; lists the first MAX_LISTED differences of the file.
int VerifyRecord(HANDLE hPort, const SRecord *pRecord, DWORD *pdwDiffering) {
    BYTE pbChip[SRECORD_DATA_ROOM];
    if (!ReadTargetBytes(hPort, pRecord->wAddress, pbChip, pRecord->wLength, NULL)) return 0;
    for (unsigned i = 0; i < pRecord->wLength; i++) {
        if (pbChip[i] == pRecord->bData[i]) continue;
        if (++*pdwDiffering <= MAX_LISTED) {
            fprintf(stderr, "$%04X: file %02X, chip %02X\n", (WORD)(pRecord->wAddress + i),
                    pRecord->bData[i], pbChip[i]);
        }
    }
    return 1;
}

int ReportDifferences(DWORD dwDiffering) {
    if (dwDiffering > MAX_LISTED) {
        fprintf(stderr, "... and %u more\n", (unsigned)(dwDiffering - MAX_LISTED));
    }
    fprintf(stderr, "%u byte(s) differ: the chip does not hold the file\n", (unsigned)dwDiffering);
    return ReportFailure();
}

}  // namespace

int VerifyFile(HANDLE hPort, const SRecordFile *pFile) {
    SRecordLine line;
    SRecord record;
    DWORD dwDiffering = 0;
    EnterStage(STAGE_VERIFY, pFile->dwDataBytes);
    StartSRecordLines(&line);
    while (NextSRecordLine(pFile, &line)) {
        PrintDot();
        // The whole file was checked before the target was touched: no line is refused.
        if (ParseSRecordLine(pFile, &line, &record) != LINE_RECORD) continue;
        if (!IsDataRecord(&record)) continue;
        if (!VerifyRecord(hPort, &record, &dwDiffering)) return ReportFailure();
    }
    if (EndsWithLineEnd(pFile)) PrintDot();
    EndProgress("");
    if (dwDiffering != 0) return ReportDifferences(dwDiffering);
    fprintf(stdout, "Success\n");
    return 1;
}
