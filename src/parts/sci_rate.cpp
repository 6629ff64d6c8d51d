#include "sci_rate.h"

#include <cmath>

namespace {

const uint32_t SCI_SAMPLES_PER_BIT = 16;
const uint32_t g_rgdwPrescalers[] = {1, 3, 4, 13};  // SCP1:SCP0 = 00, 01, 10, 11
const uint32_t SCI_DIVIDER_CODES = 8;               // SCR2-SCR0: divide by 2^code
const uint32_t g_rgdwStandardRates[] = {300,   600,   1200,  1800,  2400,  4800,   7200,  9600,
                                        14400, 19200, 28800, 38400, 57600, 115200, 230400};

double RelativeError(double dRate, double dWanted) {
    return std::fabs(dRate - dWanted) / dWanted;
}

uint8_t BaudValue(uint32_t dwPrescalerCode, uint32_t dwDividerCode) {
    return (uint8_t)(dwPrescalerCode << 4 | dwDividerCode);
}

}  // namespace

double GetSciRate(double dEClockHz, uint8_t bBaud) {
    uint32_t dwPrescaler = g_rgdwPrescalers[(bBaud >> 4) & 3];
    uint32_t dwDivider = 1u << (bBaud & 7);
    return dEClockHz / (SCI_SAMPLES_PER_BIT * dwPrescaler * dwDivider);
}

int IsStandardRate(uint32_t dwRate) {
    for (uint32_t dwStandard : g_rgdwStandardRates) {
        if (dwStandard == dwRate) return 1;
    }
    return 0;
}

uint32_t GetPortRate(double dSciRate) {
    for (uint32_t dwStandard : g_rgdwStandardRates) {
        if (RelativeError(dSciRate, dwStandard) <= SCI_RATE_TOLERANCE) return dwStandard;
    }
    return (uint32_t)dSciRate;
}

int FindSciRate(double dEClockHz, uint32_t dwPortRate, SciRate *pRate) {
    double dBestError = SCI_RATE_TOLERANCE;
    int fFound = 0;
    for (uint32_t p = 0; p < sizeof g_rgdwPrescalers / sizeof g_rgdwPrescalers[0]; p++) {
        for (uint32_t d = 0; d < SCI_DIVIDER_CODES; d++) {
            double dError = RelativeError(GetSciRate(dEClockHz, BaudValue(p, d)), dwPortRate);
            if (dError > dBestError || (fFound && dError == dBestError)) continue;
            dBestError = dError;
            pRate->dwRate = dwPortRate;
            pRate->bBaud = BaudValue(p, d);
            fFound = 1;
        }
    }
    return fFound;
}
