#include "download.h"

#include <cstring>

#include "serial_port.h"
#include "srecord.h"
#include "talker_protocol.h"

namespace {

// A line is read with a limit of 255: at most 254 characters of the file, newline included.
enum { LINE_BUFFER = 256, LINE_LIMIT = 255 };

const unsigned TALKER_RAM_END = 0x00FF;

// Whether any data byte of the record lands in $0000-$00FF, where the talker runs.
bool HitsTalkerRam(const SRecord *pRecord) {
    for (unsigned i = 0; i < pRecord->wLength; i++) {
        if ((uint16_t)(pRecord->wAddress + i) <= TALKER_RAM_END) return true;
    }
    return false;
}

int ReportFailure(void) {
    fprintf(stdout, "Failure\n");
    return 0;
}

int ReportUnparsable(void) {
    fprintf(stderr, "Can't parse S record\n");
    return ReportFailure();
}

}  // namespace

int CheckSRecordFile(FILE *pFile) {
    char szLine[LINE_BUFFER];
    SRecord record;
    while (!feof(pFile) && fgets(szLine, LINE_LIMIT, pFile) != NULL) {
        if (!ParseSRecordString(szLine, &record)) return ReportUnparsable();
        if (record.wType == 1 && HitsTalkerRam(&record)) {
            fprintf(stderr,
                    "S1 record at $%04X writes into $0000-$00FF, the RAM the talker runs in\n",
                    record.wAddress);
            return ReportFailure();
        }
    }
    if (ferror(pFile)) {
        fprintf(stderr, "Read error on the input file\n");
        return ReportFailure();
    }
    return 1;
}

int DownloadFile(HANDLE hPort, FILE *pFile) {
    char szLine[LINE_BUFFER];
    SRecord record;
    ResetEchoMismatchCount();
    while (!feof(pFile)) {
        fprintf(stdout, ".");
        fflush(stdout);
        if (fgets(szLine, LINE_LIMIT, pFile) == NULL) break;
        if (!ParseSRecordString(szLine, &record)) return ReportUnparsable();
        if (record.wType == 1 && !WriteSRecord(hPort, &record)) return ReportFailure();
    }
    if (ferror(pFile)) {
        fprintf(stderr, "Read error on the input file\n");
        return ReportFailure();
    }
    DWORD dwMismatches = GetEchoMismatchCount();
    if (dwMismatches != 0) {
        fprintf(stderr, "%u byte(s) did not verify: the target does not hold the file\n",
                (unsigned)dwMismatches);
        return ReportFailure();
    }
    fprintf(stdout, "Success\n");
    return 1;
}
