// Read-back output in the format the output's name asks for: S19 (the S1 writer), Intel HEX or
// the raw bytes.
#include <cctype>
#include <cstring>

#include "program_image.h"

namespace {

enum { BYTES_PER_RECORD = 32, INTEL_LINE_ROOM = 1 + 2 * (5 + BYTES_PER_RECORD) + 1 };

const struct {
    const char *pszExtension;
    OutputFormat eFormat;
} kExtensions[] = {
    {".hex", OUTPUT_INTEL_HEX},
    {".ihx", OUTPUT_INTEL_HEX},
    {".bin", OUTPUT_BINARY},
};

int WriteS19(FILE *pFile, uint16_t wFirst, const uint8_t *pbData, uint32_t dwLength,
             const char *pszHeader) {
    char szLine[SRECORD_LINE_ROOM];
    if (!FormatS0Record(pszHeader, szLine, sizeof szLine)) return 0;
    if (fprintf(pFile, "%s\n", szLine) < 0) return 0;
    if (!WriteS1Lines(pFile, wFirst, pbData, dwLength, BYTES_PER_RECORD)) return 0;
    if (!FormatS9Record(0, szLine, sizeof szLine)) return 0;
    return fprintf(pFile, "%s\n", szLine) >= 0;
}

char *AppendHexByte(char *pch, uint8_t b, uint8_t *pbSum) {
    static const char kHexDigits[] = "0123456789ABCDEF";
    *pch++ = kHexDigits[b >> 4];
    *pch++ = kHexDigits[b & 0x0F];
    *pbSum = (uint8_t)(*pbSum + b);
    return pch;
}

// ":" count, address, type, data, and the checksum that makes the bytes' sum zero.
int WriteIntelRecord(FILE *pFile, uint8_t bType, uint16_t wAddress, const uint8_t *pbData,
                     uint32_t dwLength) {
    char szLine[INTEL_LINE_ROOM];
    uint8_t bSum = 0;
    char *pch = szLine;
    *pch++ = ':';
    pch = AppendHexByte(pch, (uint8_t)dwLength, &bSum);
    pch = AppendHexByte(pch, (uint8_t)(wAddress >> 8), &bSum);
    pch = AppendHexByte(pch, (uint8_t)wAddress, &bSum);
    pch = AppendHexByte(pch, bType, &bSum);
    for (uint32_t i = 0; i < dwLength; i++) pch = AppendHexByte(pch, pbData[i], &bSum);
    uint8_t bIgnored = 0;
    pch = AppendHexByte(pch, (uint8_t)(0x100 - bSum), &bIgnored);
    *pch = '\0';
    return fprintf(pFile, "%s\n", szLine) >= 0;
}

// The range lies inside 16 bits, so no base record is needed.
int WriteIntelHex(FILE *pFile, uint16_t wFirst, const uint8_t *pbData, uint32_t dwLength) {
    for (uint32_t dwDone = 0; dwDone < dwLength; dwDone += BYTES_PER_RECORD) {
        uint32_t dwLeft = dwLength - dwDone;
        uint32_t dwLine = dwLeft < BYTES_PER_RECORD ? dwLeft : (uint32_t)BYTES_PER_RECORD;
        if (!WriteIntelRecord(pFile, 0x00, (uint16_t)(wFirst + dwDone), pbData + dwDone, dwLine)) {
            return 0;
        }
    }
    return WriteIntelRecord(pFile, 0x01, 0, NULL, 0);
}

int EndsWithFolded(const char *pszName, const char *pszEnd) {
    size_t cchName = strlen(pszName), cchEnd = strlen(pszEnd);
    if (cchName <= cchEnd) return 0;
    for (size_t i = 0; i < cchEnd; i++) {
        if (tolower((unsigned char)pszName[cchName - cchEnd + i]) != pszEnd[i]) return 0;
    }
    return 1;
}

}  // namespace

OutputFormat OutputFormatOfName(const char *pszName) {
    for (const auto &extension : kExtensions) {
        if (EndsWithFolded(pszName, extension.pszExtension)) return extension.eFormat;
    }
    return OUTPUT_S19;
}

int WriteOutputFile(FILE *pFile, OutputFormat eFormat, uint16_t wFirst, const uint8_t *pbData,
                    uint32_t dwLength, const char *pszHeader) {
    if (dwLength == 0 || wFirst + dwLength > IMAGE_ADDRESS_SPACE) return 0;
    switch (eFormat) {
        case OUTPUT_INTEL_HEX:
            return WriteIntelHex(pFile, wFirst, pbData, dwLength);
        case OUTPUT_BINARY:
            return fwrite(pbData, 1, dwLength, pFile) == dwLength;
        default:
            return WriteS19(pFile, wFirst, pbData, dwLength, pszHeader);
    }
}
