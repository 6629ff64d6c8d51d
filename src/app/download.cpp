#include "download.h"

#include <cstdio>

#include "progress.h"
#include "srecord.h"
#include "talker_stream.h"

int DownloadFile(const TalkerLink *pLink, const SRecordFile *pFile) {
    SRecordLine line;
    SRecord record;
    TalkerStream stream;
    EnterStage(STAGE_DOWNLOAD, pFile->dwDataBytes);
    StartTalkerStream(&stream, pLink);
    StartSRecordLines(&line);
    while (NextSRecordLine(pFile, &line)) {
        // A line's dot shows once the records before it are on their way.
        if (!SendQueuedBytes(&stream)) return 0;
        PrintProgressMark(".");
        LineKind eKind = ParseSRecordLine(pFile, &line, &record);
        if (eKind == LINE_REFUSED) {
            FinishTalkerStream(&stream);  // the records before it stay written, as reported
            return 0;
        }
        if (eKind != LINE_RECORD || !IsDataRecord(&record)) continue;
        if (!StreamSRecord(&stream, &record)) return 0;
    }
    if (!SendQueuedBytes(&stream)) return 0;
    if (EndsWithLineEnd(pFile)) PrintProgressMark(".");
    if (!FinishTalkerStream(&stream)) return 0;
    EndProgress("");
    uint32_t dwMismatches = GetStreamMismatches(&stream);
    if (dwMismatches != 0) {
        fprintf(stderr, "%u byte(s) did not verify: the target does not hold the file\n",
                (unsigned)dwMismatches);
        return 0;
    }
    fprintf(stdout, "Success\n");
    return 1;
}
