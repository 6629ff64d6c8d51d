// One JSON object on one line, built in a fixed buffer: the run log's records and the --json
// events. Strings are escaped so that the line is valid JSON whatever bytes they hold (control
// bytes, and bytes that are not UTF-8, as \u00XX); a line that outgrows its room is marked
// and must not be written.
#pragma once

#include <cstddef>
#include <cstdint>

enum { JSON_LINE_ROOM = 8192 };  // the longest line, "}\n" and the terminator included

struct JsonLine {
    char sz[JSON_LINE_ROOM];  // always terminated
    size_t cch;
    int fOverflow;     // something did not fit: the line is incomplete
    uint32_t cFields;  // members so far, for the commas
};

// Starts the line with "{".
void BeginJsonObject(JsonLine *pLine);

// Appends pch[0..cch) as a quoted JSON string, escaped.
void AppendJsonString(JsonLine *pLine, const char *pch, size_t cch);

// Each adds "key":value after a comma where one is needed. A NULL string is written as null.
void AddJsonString(JsonLine *pLine, const char *pszKey, const char *pszValue);
void AddJsonUnsigned(JsonLine *pLine, const char *pszKey, uint64_t qwValue);
void AddJsonSigned(JsonLine *pLine, const char *pszKey, int64_t nValue);
void AddJsonNull(JsonLine *pLine, const char *pszKey);
void AddJsonBool(JsonLine *pLine, const char *pszKey, int fValue);
// dValue with dwDecimals digits after the point (at most 9); NaN and infinities, which JSON
// can't hold, as null.
void AddJsonDouble(JsonLine *pLine, const char *pszKey, double dValue, uint32_t dwDecimals);
// qwValue / 10^dwDecimals written exactly, without a float in between (a crystal of 7372800 Hz
// at 6 decimals is 7.3728 MHz); fTrim drops the fraction's trailing zeros (8, not 8.000000).
void AddJsonScaled(JsonLine *pLine, const char *pszKey, uint64_t qwValue, uint32_t dwDecimals,
                   int fTrim);

// Closes the object with "}\n". Returns 1, or 0 when something did not fit.
int EndJsonObject(JsonLine *pLine);
