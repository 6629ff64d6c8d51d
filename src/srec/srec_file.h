// An S-record file held whole in memory: read once, its lines walked and checked, and the
// same bytes then handed to whoever writes them to a target. Knows nothing of ports.
#pragma once

#include <cstddef>
#include <cstdint>

#include "srecord.h"

// Larger files are refused: a 68HC11's 64 KB as S-records takes well under 1 MB.
enum { SRECORD_FILE_MAX_BYTES = 16 * 1024 * 1024 };

// Room for one line's record text: an S3 line of count 255 is 514 characters, an Intel HEX
// line of count 255 is 521.
enum { SRECORD_TEXT_ROOM = 528 };

struct SRecordFile {
    const char *pszName;  // as the user gave it, control bytes escaped, for messages
    const char *pchText;  // the file's bytes, a trailing DOS end-of-file mark dropped
    size_t cchText;
    size_t cchWhole;       // the file's length, DOS end-of-file marks included (binary, ELF)
    uint32_t dwDataBytes;  // the data bytes of its records, counted by CheckSRecordFile
};

// One line of the file as the walk found it.
struct SRecordLine {
    size_t iNext;                    // where the next line starts
    uint32_t dwNumber;               // counting from 1
    char szText[SRECORD_TEXT_ROOM];  // the line with white space around it removed
    size_t cchText;                  // its length, also when it did not fit szText
    int fHasCarriageReturn;          // a CR inside the line: lines that end in CR alone
};

// An address range no record may write into, and what it holds.
struct RefusedRange {
    uint16_t wFirst, wLast;
    const char *pszWhat;
};

// Reads the file whole, once, into the one buffer this module keeps (a later read replaces
// it). Pipes and process substitutions work. Returns 1, or 0 after one message: the file
// can't be opened ("File Error: Could not open %s: <the system's reason>"), can't be read, or is
// too large.
int ReadSRecordFile(const char *pszName, SRecordFile *pFile);

// Starts a walk of the file's lines at its first line.
void StartSRecordLines(SRecordLine *pLine);

// Takes the next line. Returns 0 when the text is used up.
int NextSRecordLine(const SRecordFile *pFile, SRecordLine *pLine);

// Whether the text ends with a line end (or is empty): one more read finds no line then.
int EndsWithLineEnd(const SRecordFile *pFile);

enum LineKind { LINE_REFUSED = 0, LINE_RECORD = 1, LINE_SKIPPED = 2 };

// Parses a line taken by NextSRecordLine. Blank lines and S5/S6 count records are skipped;
// everything else must be a whole record whose checksum is right. A refusal prints one
// message naming the file, the line number and the line's text.
LineKind ParseSRecordLine(const SRecordFile *pFile, const SRecordLine *pLine, SRecord *pRecord);

// Walks the whole file as the download will take it, and refuses data records that write into
// any of the dwRanges ranges. Counts the data bytes into pFile->dwDataBytes. Returns 1 when the
// whole file can be downloaded; otherwise 0 after the line's message.
int CheckSRecordFile(SRecordFile *pFile, const RefusedRange *prgRanges, size_t dwRanges);

// Room for a name as messages show it: each of its bytes may take four characters.
enum { SHOWN_NAME_ROOM = 4 * 260 };

// A name the user gave (a file, a device, an argument) as messages show it, into pszShown:
// control bytes as \xHH, so that none breaks a message or moves the terminal; other bytes
// (UTF-8 names among them) as they are. Always terminated; a name too long for the room is
// cut.
void FormatShownName(const char *pszName, char *pszShown, size_t cchShown);

// Prints the line's text for a message, in parentheses, and the line end: as the refusals above
// show it (control characters as \xHH, a long line's start and "...").
void PrintSRecordLineText(const SRecordLine *pLine);
