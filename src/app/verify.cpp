#include "verify.h"

#include "srecord.h"
#include "target_read.h"

namespace {

enum { LINE_BUFFER = 256, LINE_LIMIT = 255, MAX_LISTED = 20 };

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
    fprintf(stdout, "Failure\n");
    return 0;
}

}  // namespace

int VerifyFile(HANDLE hPort, FILE *pFile) {
    char szLine[LINE_BUFFER];
    SRecord record;
    DWORD dwDiffering = 0;
    while (!feof(pFile)) {
        fprintf(stdout, ".");
        fflush(stdout);
        if (fgets(szLine, LINE_LIMIT, pFile) == NULL) break;
        // The whole file was checked before the target was touched: every line parses.
        if (!ParseSRecordString(szLine, &record) || record.wType != 1) continue;
        if (!VerifyRecord(hPort, &record, &dwDiffering)) {
            fprintf(stdout, "Failure\n");
            return 0;
        }
    }
    if (dwDiffering != 0) return ReportDifferences(dwDiffering);
    fprintf(stdout, "Success\n");
    return 1;
}
