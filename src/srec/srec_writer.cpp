// The parser's reverse: addresses and bytes written as S1 lines and the S9 end line, with
// upper-case digits and a correct count and checksum, so that any S-record reader takes them.
#include <cstring>

#include "srecord.h"

namespace {

// Two address bytes and one checksum byte besides the data.
enum { COUNT_OVERHEAD = 3, ADDRESS_SPACE = 0x10000 };

// "S", type, count, address, data, checksum and the terminating zero.
size_t RecordTextSize(size_t dwLength) {
    return 2 + 2 + 4 + 2 * dwLength + 2 + 1;
}

char *AppendHexByte(char *pch, uint8_t b) {
    static const char kHexDigits[] = "0123456789ABCDEF";
    *pch++ = kHexDigits[b >> 4];
    *pch++ = kHexDigits[b & 0x0F];
    return pch;
}

// Writes one record into pszLine, which the caller has made large enough. The checksum is the
// one's complement of the low byte of the sum of the count, address and data bytes.
void FormatRecord(char cType, uint16_t wAddress, const uint8_t *pbData, size_t dwLength,
                  char *pszLine) {
    const uint8_t bCount = static_cast<uint8_t>(dwLength + COUNT_OVERHEAD);
    const uint8_t bAddressHigh = static_cast<uint8_t>(wAddress >> 8);
    const uint8_t bAddressLow = static_cast<uint8_t>(wAddress & 0xFF);
    uint8_t bSum = static_cast<uint8_t>(bCount + bAddressHigh + bAddressLow);
    char *pch = pszLine;
    *pch++ = 'S';
    *pch++ = cType;
    pch = AppendHexByte(pch, bCount);
    pch = AppendHexByte(pch, bAddressHigh);
    pch = AppendHexByte(pch, bAddressLow);
    for (size_t i = 0; i < dwLength; i++) {
        pch = AppendHexByte(pch, pbData[i]);
        bSum = static_cast<uint8_t>(bSum + pbData[i]);
    }
    pch = AppendHexByte(pch, static_cast<uint8_t>(~bSum));
    *pch = '\0';
}

// The bytes of the next line: at most dwPerLine, and never across the wrap from $FFFF to
// $0000, so that each line's bytes sit at consecutive addresses from its own address.
size_t NextLineLength(uint16_t wAddress, size_t dwLength, size_t dwPerLine) {
    size_t dwUntilWrap = ADDRESS_SPACE - static_cast<size_t>(wAddress);
    size_t dwLineLength = dwLength < dwPerLine ? dwLength : dwPerLine;
    return dwLineLength < dwUntilWrap ? dwLineLength : dwUntilWrap;
}

int PutLine(FILE *pFile, const char *pszLine) {
    return fputs(pszLine, pFile) >= 0 && fputc('\n', pFile) != EOF;
}

}  // namespace

int FormatS1Record(uint16_t wAddress, const uint8_t *pbData, size_t dwLength, char *pszLine,
                   size_t cchLine) {
    if (dwLength > SRECORD_MAX_DATA_PER_LINE) {
        fprintf(stderr, "FormatS1Record: %zu data bytes, at most %u fit one record\n", dwLength,
                static_cast<unsigned>(SRECORD_MAX_DATA_PER_LINE));
        return 0;
    }
    if (cchLine < RecordTextSize(dwLength)) {
        fprintf(stderr, "FormatS1Record: Line room of %zu characters, %zu needed\n", cchLine,
                RecordTextSize(dwLength));
        return 0;
    }
    FormatRecord('1', wAddress, pbData, dwLength, pszLine);
    return 1;
}

int FormatS0Record(const char *pszText, char *pszLine, size_t cchLine) {
    size_t dwLength = strlen(pszText);
    if (dwLength > SRECORD_MAX_DATA_PER_LINE || cchLine < RecordTextSize(dwLength)) {
        fprintf(stderr, "FormatS0Record: Header text of %zu characters does not fit\n", dwLength);
        return 0;
    }
    FormatRecord('0', 0, reinterpret_cast<const uint8_t *>(pszText), dwLength, pszLine);
    return 1;
}

int FormatS9Record(uint16_t wAddress, char *pszLine, size_t cchLine) {
    if (cchLine < RecordTextSize(0)) {
        fprintf(stderr, "FormatS9Record: Line room of %zu characters, %zu needed\n", cchLine,
                RecordTextSize(0));
        return 0;
    }
    FormatRecord('9', wAddress, nullptr, 0, pszLine);
    return 1;
}

int WriteS1Lines(FILE *pFile, uint16_t wAddress, const uint8_t *pbData, size_t dwLength,
                 size_t dwPerLine) {
    if (dwPerLine == 0 || dwPerLine > SRECORD_MAX_DATA_PER_LINE) {
        fprintf(stderr, "WriteS1Lines: %zu bytes per line, must be 1 to %u\n", dwPerLine,
                static_cast<unsigned>(SRECORD_MAX_DATA_PER_LINE));
        return 0;
    }
    char szLine[SRECORD_LINE_ROOM];
    while (dwLength > 0) {
        size_t dwLineLength = NextLineLength(wAddress, dwLength, dwPerLine);
        FormatRecord('1', wAddress, pbData, dwLineLength, szLine);
        if (!PutLine(pFile, szLine)) {
            fprintf(stderr, "WriteS1Lines: Can't write the record at $%04X\n", wAddress);
            return 0;
        }
        wAddress = static_cast<uint16_t>(wAddress + dwLineLength);
        pbData += dwLineLength;
        dwLength -= dwLineLength;
    }
    return 1;
}
