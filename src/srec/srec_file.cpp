// The input file, read once and checked whole before anything is written from it.
#include "srec_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "hex_digit.h"

namespace {

// One buffer for the one file a run reads: sized once, never grown. Untouched pages cost
// nothing, and one byte past the limit tells a file that is too large.
char g_rgchFileText[SRECORD_FILE_MAX_BYTES + 1];

const char DOS_END_OF_FILE = 0x1A;

enum { PREVIEW_CHARACTERS = 60 };

int IsLineSpace(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\v' || ch == '\f';
}

// A name that opens but cannot be read from (a directory, on POSIX systems) counts as one that
// does not open, as on Windows, where opening a directory already fails.
FILE *OpenReadableFile(const char *pszName) {
    FILE *pFile = fopen(pszName, "rb");
    if (pFile == NULL) return NULL;
    int ch = fgetc(pFile);
    if (ch == EOF && ferror(pFile)) {
        int nError = errno;  // the reason the caller reports, which fclose may change
        fclose(pFile);
        errno = nError;
        return NULL;
    }
    if (ch != EOF) ungetc(ch, pFile);
    return pFile;
}

int ReadWhole(FILE *pStream, const char *pszName, size_t *pcchRead) {
    size_t cchRead = 0;
    while (cchRead < sizeof(g_rgchFileText)) {
        size_t cchGot =
            fread(g_rgchFileText + cchRead, 1, sizeof(g_rgchFileText) - cchRead, pStream);
        if (cchGot == 0) break;
        cchRead += cchGot;
    }
    if (ferror(pStream)) {
        fprintf(stderr, "File Error: Could not read %s: %s\n", pszName, strerror(errno));
        return 0;
    }
    if (cchRead > SRECORD_FILE_MAX_BYTES) {
        fprintf(stderr, "File Error: %s is larger than %u MB, too large for an S-record file\n",
                pszName, (unsigned)(SRECORD_FILE_MAX_BYTES / (1024 * 1024)));
        return 0;
    }
    *pcchRead = cchRead;
    return 1;
}

// The line's text for a message, in parentheses: whole when it fits, else its start and
// "...". Control characters show as \xHH, so that no line end breaks the message.
void PrintLineText(const SRecordLine *pLine) {
    size_t cchShown =
        pLine->cchText < SRECORD_TEXT_ROOM ? pLine->cchText : (size_t)PREVIEW_CHARACTERS;
    fputc('(', stderr);
    for (size_t i = 0; i < cchShown; i++) {
        unsigned char ch = (unsigned char)pLine->szText[i];
        if (ch < 0x20 || ch >= 0x7F) {
            fprintf(stderr, "\\x%02X", ch);
        } else {
            fputc(ch, stderr);
        }
    }
    fputs(cchShown < pLine->cchText ? "...)\n" : ")\n", stderr);
}

// The name the file's messages use: the user's, its control bytes escaped.
char g_szShownName[SHOWN_NAME_ROOM];

void PrintWhere(const SRecordFile *pFile, const SRecordLine *pLine) {
    fprintf(stderr, "%s line %u: ", pFile->pszName, (unsigned)pLine->dwNumber);
}

LineKind RefuseLine(const SRecordFile *pFile, const SRecordLine *pLine, const char *pszWhy) {
    PrintWhere(pFile, pLine);
    fprintf(stderr, "%s ", pszWhy);
    PrintLineText(pLine);
    return LINE_REFUSED;
}

// The record's bytes from the count to the checksum, read strictly as digit pairs: the parser
// takes a lone digit for a whole byte, so a record cut short or garbled would pass it. Prints
// why a record is refused; text after the checksum is not read.
int CheckRecordDigits(const SRecordFile *pFile, const SRecordLine *pLine, const SRecord *pRecord) {
    size_t dwCount = pRecord->wLength + AddressBytesOfType(pRecord->wType) + 1;
    size_t cchDigits = pLine->cchText > 4 ? pLine->cchText - 4 : 0;
    const char *pszWhy = NULL;
    unsigned dwSum = 0;
    for (size_t i = 0; i <= dwCount && pszWhy == NULL && cchDigits >= 2 * dwCount; i++) {
        int nHigh = HexDigitValue(pLine->szText[2 + 2 * i]),
            nLow = HexDigitValue(pLine->szText[3 + 2 * i]);
        if (nHigh < 0 || nLow < 0) pszWhy = "holds a character that is no hex digit";
        dwSum += (unsigned)(nHigh * 16 + nLow);
    }
    if (pszWhy == NULL && cchDigits >= 2 * dwCount && (dwSum & 0xFF) == 0xFF) return 1;
    PrintWhere(pFile, pLine);
    fprintf(stderr, "S%u record at $%04X ", (unsigned)pRecord->wType, pRecord->wAddress);
    if (cchDigits < 2 * dwCount) {
        fprintf(stderr, "is cut short: %u digits expected after the count, %u found ",
                (unsigned)(2 * dwCount), (unsigned)cchDigits);
    } else {
        fprintf(stderr, "%s ", pszWhy != NULL ? pszWhy : "has a wrong checksum");
    }
    PrintLineText(pLine);
    return 0;
}

// The first refused range a byte of the record lands in (the wrap from $FFFF included).
const RefusedRange *RangeHit(const SRecord *pRecord, const RefusedRange *prgRanges,
                             size_t dwRanges) {
    for (unsigned i = 0; i < pRecord->wLength; i++) {
        uint16_t wAddress = (uint16_t)(pRecord->wAddress + i);
        for (size_t r = 0; r < dwRanges; r++) {
            if (wAddress >= prgRanges[r].wFirst && wAddress <= prgRanges[r].wLast)
                return &prgRanges[r];
        }
    }
    return NULL;
}

// Text after the checksum is not read, but a second record there would be lost without a
// word: such a line is refused.
int CheckNoSecondRecord(const SRecordFile *pFile, const SRecordLine *pLine,
                        const SRecord *pRecord) {
    size_t iEnd = 4 + 2 * (pRecord->wLength + AddressBytesOfType(pRecord->wType) + 1);
    while (iEnd < pLine->cchText && IsLineSpace(pLine->szText[iEnd])) iEnd++;
    if (iEnd + 1 >= pLine->cchText || iEnd + 1 >= SRECORD_TEXT_ROOM) return 1;
    char chLetter = pLine->szText[iEnd], chType = pLine->szText[iEnd + 1];
    if ((chLetter != 'S' && chLetter != 's') || chType < '0' || chType > '9') return 1;
    RefuseLine(pFile, pLine, "Two records on one line: each record must have a line of its own");
    return 0;
}

// A count that ends before further hex digits would drop them without a word: the record's
// text runs on right after its checksum. Other text there stays ignored.
int CheckNoDigitsAfterChecksum(const SRecordFile *pFile, const SRecordLine *pLine,
                               const SRecord *pRecord) {
    size_t iEnd = 4 + 2 * (pRecord->wLength + AddressBytesOfType(pRecord->wType) + 1);
    if (iEnd >= pLine->cchText || HexDigitValue(pLine->szText[iEnd]) < 0) return 1;
    PrintWhere(pFile, pLine);
    fprintf(stderr, "S%u record at $%04X goes on in hex digits after its checksum: its count ",
            (unsigned)pRecord->wType, pRecord->wAddress);
    fprintf(stderr, "($%02X) ends before them ",
            (unsigned)(pRecord->wLength + AddressBytesOfType(pRecord->wType) + 1));
    PrintLineText(pLine);
    return 0;
}

void CopyTrimmed(const char *pchLine, size_t cchLine, SRecordLine *pLine) {
    while (cchLine > 0 && IsLineSpace(pchLine[0])) pchLine++, cchLine--;
    while (cchLine > 0 && IsLineSpace(pchLine[cchLine - 1])) cchLine--;
    size_t cchCopy = cchLine < SRECORD_TEXT_ROOM ? cchLine : SRECORD_TEXT_ROOM - 1;
    memcpy(pLine->szText, pchLine, cchCopy);
    pLine->szText[cchCopy] = '\0';
    pLine->cchText = cchLine;
    pLine->fHasCarriageReturn = memchr(pchLine, '\r', cchLine) != NULL;
}

}  // namespace

int ReadSRecordFile(const char *pszName, SRecordFile *pFile) {
    char szShown[SHOWN_NAME_ROOM];
    FormatShownName(pszName, szShown, sizeof szShown);
    FILE *pStream = OpenReadableFile(pszName);
    if (pStream == NULL) {
        fprintf(stderr, "File Error: Could not open %s: %s\n", szShown, strerror(errno));
        return 0;
    }
    size_t cchRead = 0;
    int fRead = ReadWhole(pStream, szShown, &cchRead);
    fclose(pStream);
    if (!fRead) return 0;
    pFile->cchWhole = cchRead;
    while (cchRead > 0 && g_rgchFileText[cchRead - 1] == DOS_END_OF_FILE) cchRead--;
    FormatShownName(pszName, g_szShownName, sizeof g_szShownName);
    pFile->pszName = g_szShownName;
    pFile->pchText = g_rgchFileText;
    pFile->cchText = cchRead;
    pFile->dwDataBytes = 0;
    return 1;
}

void StartSRecordLines(SRecordLine *pLine) {
    pLine->iNext = 0;
    pLine->dwNumber = 0;
}

int NextSRecordLine(const SRecordFile *pFile, SRecordLine *pLine) {
    if (pLine->iNext >= pFile->cchText) return 0;
    const char *pchStart = pFile->pchText + pLine->iNext;
    size_t cchLeft = pFile->cchText - pLine->iNext;
    const char *pchEnd = (const char *)memchr(pchStart, '\n', cchLeft);
    size_t cchLine = pchEnd != NULL ? (size_t)(pchEnd - pchStart) : cchLeft;
    pLine->iNext += cchLine + (pchEnd != NULL ? 1 : 0);
    pLine->dwNumber++;
    CopyTrimmed(pchStart, cchLine, pLine);
    return 1;
}

int EndsWithLineEnd(const SRecordFile *pFile) {
    return pFile->cchText == 0 || pFile->pchText[pFile->cchText - 1] == '\n';
}

LineKind ParseSRecordLine(const SRecordFile *pFile, const SRecordLine *pLine, SRecord *pRecord) {
    if (pLine->cchText == 0) return LINE_SKIPPED;
    if (pLine->cchText >= SRECORD_TEXT_ROOM)
        return RefuseLine(pFile, pLine, "Line too long for an S record");
    if (pLine->fHasCarriageReturn) {
        return RefuseLine(
            pFile, pLine,
            "Carriage return inside a line: the file's lines must end in LF or CR LF");
    }
    if (!ParseSRecordString(pLine->szText, pRecord)) {
        PrintWhere(pFile, pLine);
        fprintf(stderr, "Can't parse S record ");
        PrintLineText(pLine);
        return LINE_REFUSED;
    }
    if (!CheckRecordDigits(pFile, pLine, pRecord)) return LINE_REFUSED;
    if (!CheckNoSecondRecord(pFile, pLine, pRecord)) return LINE_REFUSED;
    if (!CheckNoDigitsAfterChecksum(pFile, pLine, pRecord)) return LINE_REFUSED;
    if (pRecord->wType == 5 || pRecord->wType == 6) return LINE_SKIPPED;
    return LINE_RECORD;
}

int CheckSRecordFile(SRecordFile *pFile, const RefusedRange *prgRanges, size_t dwRanges) {
    SRecordLine line;
    SRecord record;
    pFile->dwDataBytes = 0;
    StartSRecordLines(&line);
    while (NextSRecordLine(pFile, &line)) {
        LineKind eKind = ParseSRecordLine(pFile, &line, &record);
        if (eKind == LINE_REFUSED) return 0;
        if (eKind != LINE_RECORD || !IsDataRecord(&record)) continue;
        const RefusedRange *pRange = RangeHit(&record, prgRanges, dwRanges);
        if (pRange != NULL) {
            PrintWhere(pFile, &line);
            fprintf(stderr, "S%u record at $%04X writes into $%04X-$%04X, %s ",
                    (unsigned)record.wType, record.wAddress, pRange->wFirst, pRange->wLast,
                    pRange->pszWhat);
            PrintLineText(&line);
            return 0;
        }
        pFile->dwDataBytes += record.wLength;
    }
    return 1;
}

void PrintSRecordLineText(const SRecordLine *pLine) {
    PrintLineText(pLine);
}

void FormatShownName(const char *pszName, char *pszShown, size_t cchShown) {
    size_t cchUsed = 0;
    for (const char *pch = pszName; *pch != '\0' && cchUsed + 5 <= cchShown; pch++) {
        unsigned char ch = (unsigned char)*pch;
        int fControl = ch < 0x20 || ch == 0x7F;
        cchUsed += (size_t)snprintf(pszShown + cchUsed, cchShown - cchUsed,
                                    fControl ? "\\x%02X" : "%c", ch);
    }
    if (cchShown > 0) pszShown[cchUsed < cchShown ? cchUsed : cchShown - 1] = '\0';
}
