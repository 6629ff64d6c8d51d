#include "download.h"

#include <cstdio>

#include "interrupt.h"
#include "progress.h"
#include "srecord.h"
#include "talker_protocol.h"

namespace {

void PrintDot(void) {
    PrintProgressMark(".");
}

int ReportFailure(void) {
    fprintf(stdout, "Failure\n");
    return 0;
}

}  // namespace

int DownloadFile(HANDLE hPort, const SRecordFile *pFile) {
    SRecordLine line;
    SRecord record;
    DWORD dwMismatches = 0;
    EnterStage(STAGE_DOWNLOAD, pFile->dwDataBytes);
    StartSRecordLines(&line);
    while (NextSRecordLine(pFile, &line)) {
        PrintDot();
        LineKind eKind = ParseSRecordLine(pFile, &line, &record);
        if (eKind == LINE_REFUSED) return ReportFailure();
        if (eKind != LINE_RECORD || !IsDataRecord(&record)) continue;
        if (!WriteSRecord(hPort, &record, &dwMismatches)) return ReportFailure();
    }
    if (EndsWithLineEnd(pFile)) PrintDot();
    EndProgress("");
    if (dwMismatches != 0) {
        fprintf(stderr, "%u byte(s) did not verify: the target does not hold the file\n",
                (unsigned)dwMismatches);
        return ReportFailure();
    }
    fprintf(stdout, "Success\n");
    return 1;
}
