#include "crystal.h"

#include "hc11_registers.h"

namespace {

enum { HZ_DIGITS = 6 };  // the decimals of MHz that are whole hertz

int IsDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

// The digits after the point as hertz, rounded at the seventh; any count of digits is read.
uint32_t ReadFractionHz(const char *pch, const char **ppchEnd) {
    uint32_t dwHz = 0, dwScale = 100000;
    int fRoundUp = 0;
    for (unsigned i = 0; IsDigit(*pch); i++, pch++) {
        if (i < HZ_DIGITS) dwHz += (uint32_t)(*pch - '0') * dwScale, dwScale /= 10;
        if (i == HZ_DIGITS) fRoundUp = *pch >= '5';
    }
    *ppchEnd = pch;
    return dwHz + (uint32_t)fRoundUp;
}

}  // namespace

int ReadCrystalMhz(const char *pszValue, uint32_t *pdwCrystalHz) {
    const char *pch = pszValue;
    uint32_t dwMhz = 0;
    if (!IsDigit(*pch)) return 0;
    for (; IsDigit(*pch); pch++) {
        dwMhz = dwMhz * 10 + (uint32_t)(*pch - '0');
        if (dwMhz > hc11::kHighestCrystalHz / 1000000) return 0;
    }
    uint32_t dwHz = dwMhz * 1000000;
    if (*pch == '.') {
        if (!IsDigit(pch[1])) return 0;
        dwHz += ReadFractionHz(pch + 1, &pch);
    }
    if (*pch != '\0' || dwHz < hc11::kLowestCrystalHz || dwHz > hc11::kHighestCrystalHz) return 0;
    *pdwCrystalHz = dwHz;
    return 1;
}
