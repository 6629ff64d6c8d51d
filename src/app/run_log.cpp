#include "run_log.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "json_text.h"

namespace {

void PrintLogError(const RunLog *pLog) {
    char szWords[256];
    DescribeFileError(szWords, sizeof szWords);
    fprintf(stderr, "Log file %s: %s\n", pLog->szPath, szWords);
}

void AddRecordFields(JsonLine *pLine, const LogRecord *pRecord) {
    char szTime[UTC_TIME_ROOM];
    FormatUtcTime(pRecord->qwEndTime, szTime);
    AddJsonString(pLine, "time", szTime);
    AddJsonString(pLine, "host", pRecord->pszHost);
    AddJsonString(pLine, "port", pRecord->pszPort);
    AddJsonString(pLine, "part", pRecord->pszPart);
    AddJsonScaled(pLine, "crystal", pRecord->dwCrystalHz, 6, 1);
    AddJsonString(pLine, "input", pRecord->pszInput);
    int fHash = pRecord->pszSha256 != NULL && pRecord->pszSha256[0] != '\0';
    AddJsonString(pLine, "sha256", fHash ? pRecord->pszSha256 : NULL);
    AddJsonString(pLine, "operation", pRecord->pszOperation);
    if (pRecord->fSerial)
        AddJsonUnsigned(pLine, "serial", pRecord->qwSerial);
    else
        AddJsonNull(pLine, "serial");
    AddJsonString(pLine, "result", pRecord->fSuccess ? "success" : "failure");
    AddJsonSigned(pLine, "exit", pRecord->nExit);
    AddJsonString(pLine, "message", pRecord->pszMessage);
    AddJsonScaled(pLine, "seconds", pRecord->qwMilliseconds, 3, 0);
    AddJsonUnsigned(pLine, "bytes", pRecord->dwBytes);
    AddJsonString(pLine, "version", pRecord->pszVersion);
}

}  // namespace

size_t FormatLogRecord(const LogRecord *pRecord, char *pchLine, size_t cchLine) {
    JsonLine line;
    BeginJsonObject(&line);
    AddRecordFields(&line, pRecord);
    if (!EndJsonObject(&line) || line.cch >= cchLine) return 0;
    memcpy(pchLine, line.sz, line.cch + 1);
    return line.cch;
}

int OpenRunLog(RunLog *pLog, const char *pszPath) {
    pLog->file.hFile = -1;
    if (strlen(pszPath) >= sizeof pLog->szPath) {
        fprintf(stderr, "Log file name is too long: at most %u characters\n",
                (unsigned)(sizeof pLog->szPath - 1));
        return 0;
    }
    strcpy(pLog->szPath, pszPath);
    if (!OpenSharedFile(&pLog->file, pszPath, SHARED_FILE_APPEND)) {
        PrintLogError(pLog);
        return 0;
    }
    return 1;
}

int AppendLogRecord(RunLog *pLog, const LogRecord *pRecord) {
    char szLine[JSON_LINE_ROOM];
    size_t cchLine = FormatLogRecord(pRecord, szLine, sizeof szLine);
    if (cchLine == 0) {
        fprintf(stderr, "Log file %s: the record of %s is longer than %u bytes\n", pLog->szPath,
                pRecord->pszPort, (unsigned)JSON_LINE_ROOM);
        return 0;
    }
    if (!AppendSharedFile(&pLog->file, szLine, cchLine)) {
        PrintLogError(pLog);
        return 0;
    }
    return 1;
}

void CloseRunLog(RunLog *pLog) {
    CloseSharedFile(&pLog->file);
}

// Days to a civil date in the proleptic Gregorian calendar (H. Hinnant's days_from_civil,
// inverted), so that no gmtime, whose thread-safe forms differ per system, is needed.
void FormatUtcTime(uint64_t qwSeconds, char szTime[UTC_TIME_ROOM]) {
    uint64_t qwDays = qwSeconds / 86400;
    uint32_t dwSecondOfDay = (uint32_t)(qwSeconds % 86400);
    uint64_t qwShifted = qwDays + 719468;  // from 0000-03-01
    uint64_t qwEra = qwShifted / 146097;
    uint32_t dwDayOfEra = (uint32_t)(qwShifted - qwEra * 146097);
    uint32_t dwYearOfEra =
        (dwDayOfEra - dwDayOfEra / 1460 + dwDayOfEra / 36524 - dwDayOfEra / 146096) / 365;
    uint32_t dwDayOfYear = dwDayOfEra - (365 * dwYearOfEra + dwYearOfEra / 4 - dwYearOfEra / 100);
    uint32_t dwMonthIndex = (5 * dwDayOfYear + 2) / 153;  // from March
    uint32_t dwDay = dwDayOfYear - (153 * dwMonthIndex + 2) / 5 + 1;
    uint32_t dwMonth = dwMonthIndex < 10 ? dwMonthIndex + 3 : dwMonthIndex - 9;
    uint64_t qwYear = qwEra * 400 + dwYearOfEra + (dwMonth <= 2 ? 1 : 0);
    // Past year 9999 the text would not fit its room: such clocks are wrong anyway.
    if (qwYear > 9999) qwYear = 9999;
    char szFull[48];  // room for any values, so that the compiler sees no truncation
    snprintf(szFull, sizeof szFull, "%04u-%02u-%02uT%02u:%02u:%02uZ", (unsigned)qwYear,
             (unsigned)dwMonth, (unsigned)dwDay, (unsigned)(dwSecondOfDay / 3600),
             (unsigned)(dwSecondOfDay / 60 % 60), (unsigned)(dwSecondOfDay % 60));
    memcpy(szTime, szFull, UTC_TIME_ROOM - 1);
    szTime[UTC_TIME_ROOM - 1] = '\0';
}

uint64_t GetUtcSeconds(void) {
    time_t now = time(NULL);
    return now < 0 ? 0 : (uint64_t)now;
}
