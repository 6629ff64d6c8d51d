// HexDigitValue and ReadHexNumber: see hex_digit.h.
#include "hex_digit.h"

int HexDigitValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

int ReadHexNumber(const char **ppch, uint32_t dwMax, uint32_t *pdwValue) {
    const char *pch = *ppch;
    if (pch[0] == '0' && (pch[1] == 'x' || pch[1] == 'X') && HexDigitValue(pch[2]) >= 0) pch += 2;
    if (HexDigitValue(*pch) < 0) return 0;
    uint32_t dwValue = 0;
    for (; HexDigitValue(*pch) >= 0; pch++) {
        dwValue = dwValue * 16 + (uint32_t)HexDigitValue(*pch);
        if (dwValue > dwMax) return 0;
    }
    *pdwValue = dwValue;
    *ppch = pch;
    return 1;
}
