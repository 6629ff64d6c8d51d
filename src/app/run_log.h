// "--log PATH": one JSON object per board per run, on a line of its own, appended whole so
// that several processes may share one log.
#pragma once

#include <cstddef>
#include <cstdint>

#include "os_files.h"

enum { RUN_LOG_PATH_ROOM = 260, UTC_TIME_ROOM = 21 };

// One board's run as the log records it. Text fields are never NULL except where said.
struct LogRecord {
    uint64_t qwEndTime;        // when the board's run ended, seconds since 1970 UTC
    const char *pszHost;       // GetHostName's
    const char *pszPort;       // the port as the user named it
    const char *pszPart;       // "-p"'s name
    uint32_t dwCrystalHz;      // written in MHz
    const char *pszInput;      // the input file's name, "" for none
    const char *pszSha256;     // of the input file's bytes in hex; NULL (null) without a file
    const char *pszOperation;  // "program", "verify", "read" or "erase"
    int fSerial;               // a serial number was taken for the board (even if it then failed)
    uint64_t qwSerial;
    int fSuccess;
    int nExit;                // the board's status
    const char *pszMessage;   // the first reason of a failure, "" after a success
    uint64_t qwMilliseconds;  // the board's run, written in seconds
    uint32_t dwBytes;         // written and verified
    const char *pszVersion;   // the tool's
};

struct RunLog {
    char szPath[RUN_LOG_PATH_ROOM];
    SharedFile file;
};

// Opens pszPath for appending, made when missing. Returns 1, or 0 after a message naming the
// file and the reason.
int OpenRunLog(RunLog *pLog, const char *pszPath);

// Appends the record's line with one write. Returns 1, or 0 after a message when the write
// failed or was short (or the line did not fit its room).
int AppendLogRecord(RunLog *pLog, const LogRecord *pRecord);

void CloseRunLog(RunLog *pLog);

// The record's line, "\n" ended, into pchLine. Returns its length, or 0 when it does not fit.
size_t FormatLogRecord(const LogRecord *pRecord, char *pchLine, size_t cchLine);

// Seconds since 1970 as "2026-12-08T10:15:03Z".
void FormatUtcTime(uint64_t qwSeconds, char szTime[UTC_TIME_ROOM]);

// Now, in seconds since 1970.
uint64_t GetUtcSeconds(void);
