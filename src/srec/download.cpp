#include "download.h"

#include <cstring>

#include "serial_port.h"
#include "srecord.h"
#include "talker_protocol.h"

namespace {

// A line is read with a limit of 255: at most 254 characters of the file, newline included.
enum { LINE_BUFFER = 256, LINE_LIMIT = 255 };

const unsigned TALKER_RAM_END = 0x00FF;

// The count field ends here; the address, data and checksum digits follow it.
const size_t DIGITS_POSITION = 4;

// Whether any data byte of the record lands in $0000-$00FF, where the talker runs.
bool HitsTalkerRam(const SRecord *pRecord) {
    for (unsigned i = 0; i < pRecord->wLength; i++) {
        if ((uint16_t)(pRecord->wAddress + i) <= TALKER_RAM_END) return true;
    }
    return false;
}

// The digits after the count that the line really holds, up to its line end.
size_t DigitsAfterCount(const char *pszLine) {
    size_t cchText = strcspn(pszLine, "\r\n");
    return cchText > DIGITS_POSITION ? cchText - DIGITS_POSITION : 0;
}

// The address, data and checksum digits that the record's count announces.
size_t DigitsAnnounced(const SRecord *pRecord) {
    return 2u * (pRecord->wLength + 3u);
}

// Whether text follows a carriage return inside the line (a run of them before the newline,
// as a text-mode writer may leave, is fine). A file whose lines end in CR alone reads as one
// long line: everything after its first record would be trailing text, never written.
bool HasTextAfterCarriageReturn(const char *pszLine) {
    const char *pch = strchr(pszLine, '\r');
    if (pch == NULL) return false;
    pch += strspn(pch, "\r");
    return *pch != '\n' && *pch != '\0';
}

int ReportFailure(void) {
    fprintf(stdout, "Failure\n");
    return 0;
}

int ReportUnparsable(void) {
    fprintf(stderr, "Can't parse S record\n");
    return ReportFailure();
}

// One line of the file, as the download will take it. The parser takes a lone digit for a
// whole byte and never reads the checksum, so a record cut inside its data or checksum (a
// file cut short, a NUL byte inside a record) passes it and must be refused here.
int CheckLine(const char *pszLine) {
    SRecord record;
    if (!ParseSRecordString(pszLine, &record)) return ReportUnparsable();
    if (HasTextAfterCarriageReturn(pszLine)) {
        fprintf(stderr,
                "Carriage return inside a line: the file's lines must end in LF or CR LF\n");
        return ReportFailure();
    }
    if (DigitsAfterCount(pszLine) < DigitsAnnounced(&record)) {
        fprintf(stderr,
                "S%u record at $%04X is cut short: %u digits expected after the count, %u found\n",
                (unsigned)record.wType, record.wAddress, (unsigned)DigitsAnnounced(&record),
                (unsigned)DigitsAfterCount(pszLine));
        return ReportFailure();
    }
    if (record.wType == 1 && HitsTalkerRam(&record)) {
        fprintf(stderr, "S1 record at $%04X writes into $0000-$00FF, the RAM the talker runs in\n",
                record.wAddress);
        return ReportFailure();
    }
    return 1;
}

}  // namespace

int CheckSRecordFile(FILE *pFile) {
    char szLine[LINE_BUFFER];
    while (!feof(pFile) && fgets(szLine, LINE_LIMIT, pFile) != NULL) {
        if (!CheckLine(szLine)) return 0;
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
