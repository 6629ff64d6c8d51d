// ParseSRecordString: one line of S-record text into an SRecord. Every field is read from its
// own fixed position; the checksum and anything after the data are never looked at.
#include "srecord.h"

#include <cstring>

#include "field_scan.h"
#include "hex_digit.h"

namespace {

enum {
    TYPE_POSITION = 1,
    COUNT_POSITION = 2,
    ADDRESS_POSITION = 4,
    // The count covers the address bytes and the checksum byte besides the data.
    CHECKSUM_BYTES = 1,
    COUNT_MAX = 0xFF,
    LAST_TARGET_ADDRESS = 0xFFFF
};

// Where the first data byte's digits start.
size_t DataPosition(const SRecord *pRecord) {
    return ADDRESS_POSITION + 2u * AddressBytesOfType(pRecord->wType);
}

int IsScanSpace(char ch) {
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

// The digit's value in dwBase, or -1 when ch is no digit of that base.
int DigitValue(char ch, uint32_t dwBase) {
    int nValue = HexDigitValue(ch);
    return nValue < static_cast<int>(dwBase) ? nValue : -1;
}

// Converts the field at dwPosition of a line of cchLine characters; a field that starts at or
// beyond the line's end has nothing to convert.
int ConvertField(const char *pszLine, size_t cchLine, size_t dwPosition, uint32_t dwWidth,
                 uint32_t dwBase, uint32_t *pdwValue) {
    if (dwPosition >= cchLine) return 0;
    return ScanField(pszLine + dwPosition, cchLine - dwPosition, dwWidth, dwBase, pdwValue);
}

int ParseType(const char *pszLine, size_t cchLine, SRecord *pRecord) {
    uint32_t dwType;
    if (!ConvertField(pszLine, cchLine, TYPE_POSITION, 1, 10, &dwType)) {
        fprintf(stderr, "ParseSRecordString: Invalid S record type (%s)\n", pszLine);
        return 0;
    }
    pRecord->wType = static_cast<uint16_t>(dwType);
    if (AddressBytesOfType(dwType) == 0) {
        fprintf(stderr, "ParseSRecordString: Unknown S record type = %u (%s)\n", dwType, pszLine);
        return 0;
    }
    return 1;
}

// The count must describe a record that fits the data room, and the line must hold at least
// as many characters after the count field as the count says.
int ParseCount(const char *pszLine, size_t cchLine, SRecord *pRecord) {
    uint32_t dwCount;
    if (!ConvertField(pszLine, cchLine, COUNT_POSITION, 2, 16, &dwCount)) {
        fprintf(stderr, "ParseSRecordString: Invalid length (%s)\n", pszLine);
        return 0;
    }
    const uint32_t dwOverhead = AddressBytesOfType(pRecord->wType) + CHECKSUM_BYTES;
    if (dwCount < dwOverhead || dwCount > COUNT_MAX) {
        fprintf(stderr, "ParseSRecordString: Invalid count %u, must be %u to %u (%s)\n", dwCount,
                static_cast<unsigned>(dwOverhead), static_cast<unsigned>(COUNT_MAX), pszLine);
        return 0;
    }
    size_t cchAfterCount = cchLine > ADDRESS_POSITION ? cchLine - ADDRESS_POSITION : 0;
    if (cchAfterCount < dwCount) {
        fprintf(stderr, "ParseSRecordString: String truncated (%s)\n", pszLine);
        return 0;
    }
    pRecord->wLength = static_cast<uint16_t>(dwCount - dwOverhead);
    return 1;
}

// A data record must lie wholly in the target's 16-bit address space.
int ParseAddress(const char *pszLine, size_t cchLine, SRecord *pRecord) {
    uint32_t dwAddress;
    const uint32_t dwDigits = 2 * AddressBytesOfType(pRecord->wType);
    if (!ConvertField(pszLine, cchLine, ADDRESS_POSITION, dwDigits, 16, &dwAddress)) {
        fprintf(stderr, "ParseSRecordString: Invalid address (%s)\n", pszLine);
        return 0;
    }
    const uint64_t qwLast = static_cast<uint64_t>(dwAddress) + pRecord->wLength;
    if (dwDigits > 4 && IsDataRecord(pRecord) && qwLast > LAST_TARGET_ADDRESS + 1ull) {
        fprintf(stderr, "ParseSRecordString: S%u record at $%0*X lies beyond $FFFF (%s)\n",
                static_cast<unsigned>(pRecord->wType), static_cast<int>(dwDigits), dwAddress,
                pszLine);
        return 0;
    }
    pRecord->wAddress = static_cast<uint16_t>(dwAddress);
    return 1;
}

int ParseData(const char *pszLine, size_t cchLine, SRecord *pRecord) {
    for (size_t i = 0; i < pRecord->wLength; i++) {
        size_t dwPosition = DataPosition(pRecord) + 2 * i;
        uint32_t dwByte;
        if (!ConvertField(pszLine, cchLine, dwPosition, 2, 16, &dwByte)) {
            // A position past the end shows as the empty rest of the line.
            const char *pszRest = pszLine + (dwPosition < cchLine ? dwPosition : cchLine);
            fprintf(stderr, "ParseSRecordString: Parse error (%s) at %s\n", pszLine, pszRest);
            return 0;
        }
        pRecord->bData[i] = static_cast<uint8_t>(dwByte);
    }
    return 1;
}

}  // namespace

int ScanField(const char *pchText, size_t cchText, uint32_t dwWidth, uint32_t dwBase,
              uint32_t *pdwValue) {
    size_t i = 0;
    while (i < cchText && IsScanSpace(pchText[i])) i++;
    // White space does not count against the width; the sign and the "0x" do.
    size_t iEnd = cchText - i > dwWidth ? i + dwWidth : cchText;
    int fNegative = 0;
    if (i < iEnd && (pchText[i] == '+' || pchText[i] == '-')) fNegative = pchText[i++] == '-';
    int fDigits = 0;
    if (i < iEnd && pchText[i] == '0') {
        fDigits = 1;
        i++;
        if (dwBase == 16 && i < iEnd && (pchText[i] == 'x' || pchText[i] == 'X')) i++;
    }
    uint32_t dwValue = 0;
    for (int nDigit; i < iEnd && (nDigit = DigitValue(pchText[i], dwBase)) >= 0; i++) {
        dwValue = dwValue * dwBase + static_cast<uint32_t>(nDigit);
        fDigits = 1;
    }
    if (!fDigits) return 0;
    *pdwValue = fNegative ? 0u - dwValue : dwValue;
    return 1;
}

unsigned AddressBytesOfType(unsigned dwType) {
    static const unsigned kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    return dwType < 10 ? kAddressBytes[dwType] : 0;
}

int IsDataRecord(const SRecord *pRecord) {
    return pRecord->wType >= 1 && pRecord->wType <= 3;
}

int ParseSRecordString(const char *pszLine, SRecord *pRecord) {
    if (pszLine[0] != 'S' && pszLine[0] != 's') return 0;
    size_t cchLine = strlen(pszLine);
    return ParseType(pszLine, cchLine, pRecord) && ParseCount(pszLine, cchLine, pRecord) &&
           ParseAddress(pszLine, cchLine, pRecord) && ParseData(pszLine, cchLine, pRecord);
}
