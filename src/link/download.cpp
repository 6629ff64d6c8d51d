#include "download.h"

#include <cstdio>

#include "interrupt.h"
#include "progress.h"
#include "srecord.h"
#include "talker_stream.h"

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
    TalkerStream stream;
    EnterStage(STAGE_DOWNLOAD, pFile->dwDataBytes);
    StartTalkerStream(&stream, hPort);
    StartSRecordLines(&line);
    while (NextSRecordLine(pFile, &line)) {
        // A line's dot shows once the records before it are on their way.
        if (!SendQueuedBytes(&stream)) return ReportFailure();
        PrintDot();
        LineKind eKind = ParseSRecordLine(pFile, &line, &record);
        if (eKind == LINE_REFUSED) {
            FinishTalkerStream(&stream);  // the records before it stay written, as reported
            return ReportFailure();
        }
        if (eKind != LINE_RECORD || !IsDataRecord(&record)) continue;
        if (!StreamSRecord(&stream, &record)) return ReportFailure();
    }
    if (!SendQueuedBytes(&stream)) return ReportFailure();
    if (EndsWithLineEnd(pFile)) PrintDot();
    if (!FinishTalkerStream(&stream)) return ReportFailure();
    EndProgress("");
    if (stream.dwMismatches != 0) {
        fprintf(stderr, "%u byte(s) did not verify: the target does not hold the file\n",
                (unsigned)stream.dwMismatches);
        return ReportFailure();
    }
    fprintf(stdout, "Success\n");
    return 1;
}
