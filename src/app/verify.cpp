#include "verify.h"

#include <cstdio>

#include "progress.h"
#include "srecord.h"
#include "target_read.h"

namespace {

enum { MAX_LISTED = 20 };

// The differences found so far: the first MAX_LISTED kept for the report, all counted.
struct Differences {
    uint16_t rgwAddress[MAX_LISTED];
    uint8_t rgbFile[MAX_LISTED], rgbChip[MAX_LISTED];
    uint32_t dwCount;
};

// Compares one record with the chip.
int VerifyRecord(const TalkerLink *pLink, const SRecord *pRecord, Differences *pDiff) {
    uint8_t pbChip[SRECORD_DATA_ROOM];
    if (!ReadTargetBytes(pLink, pRecord->wAddress, pbChip, pRecord->wLength, NULL, NULL)) return 0;
    for (unsigned i = 0; i < pRecord->wLength; i++) {
        if (pbChip[i] == pRecord->bData[i]) continue;
        if (pDiff->dwCount < MAX_LISTED) {
            pDiff->rgwAddress[pDiff->dwCount] = (uint16_t)(pRecord->wAddress + i);
            pDiff->rgbFile[pDiff->dwCount] = pRecord->bData[i];
            pDiff->rgbChip[pDiff->dwCount] = pbChip[i];
        }
        pDiff->dwCount++;
    }
    return 1;
}

// Listed once the walk is over, so that they do not break into the progress line.
int ReportDifferences(const Differences *pDiff) {
    for (uint32_t i = 0; i < pDiff->dwCount && i < MAX_LISTED; i++) {
        fprintf(stderr, "$%04X: file %02X, chip %02X\n", pDiff->rgwAddress[i], pDiff->rgbFile[i],
                pDiff->rgbChip[i]);
    }
    if (pDiff->dwCount > MAX_LISTED) {
        fprintf(stderr, "... and %u more\n", (unsigned)(pDiff->dwCount - MAX_LISTED));
    }
    fprintf(stderr, "%u byte(s) differ: the chip does not hold the file\n",
            (unsigned)pDiff->dwCount);
    return 0;
}

}  // namespace

int VerifyFile(const TalkerLink *pLink, const SRecordFile *pFile) {
    SRecordLine line;
    SRecord record;
    Differences diff;
    diff.dwCount = 0;
    EnterStage(STAGE_VERIFY, pFile->dwDataBytes);
    StartSRecordLines(&line);
    while (NextSRecordLine(pFile, &line)) {
        PrintProgressMark(".");
        // The whole file was checked before the target was touched: no line is refused.
        if (ParseSRecordLine(pFile, &line, &record) != LINE_RECORD) continue;
        if (!IsDataRecord(&record)) continue;
        if (!VerifyRecord(pLink, &record, &diff)) return 0;
    }
    if (EndsWithLineEnd(pFile)) PrintProgressMark(".");
    // The list of differences starts on a line of its own, not after the dots.
    EndProgress(diff.dwCount != 0 ? "\n" : "");
    if (diff.dwCount != 0) return ReportDifferences(&diff);
    fprintf(stdout, "Success\n");
    return 1;
}
