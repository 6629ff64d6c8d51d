#include "talker_clock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "say.h"
#include "talker_image.h"

namespace {

const uint32_t SHORT_DELAY_MS = 10;
const uint32_t SLOW_CLOCK_SHORT_DELAY_MS = 20;  // with CSEL: the reference manual's time
const uint32_t LONG_DELAY_MS = 100;
const double CSEL_BELOW_E_HZ = 1000000.0;

// The talker's first rate by preference where E can't make 9600: a standard rate, the
// faster the better (a 12 MHz crystal makes 14423 and 7212, both standard within 0.2 %).
const uint32_t g_rgdwFirstRates[] = {9600, 14400, 19200, 7200, 4800};
const uint32_t TALKER_WANTED_RATE = 9600;
const uint32_t SCI_BAUD_VALUES = 0x40;  // BAUD values up to the rate bits, with gaps
const uint32_t SCI_PRESCALER_BITS = hc11::baud::SCP;

// The passes of a delay of dwMs at this crystal, never shorter: ceil(t * E / cycles).
uint16_t DelayPasses(uint32_t dwCrystalHz, uint32_t dwMs) {
    uint64_t qwDivisor = (uint64_t)hc11::kCrystalToE * 1000 * TALKER_DELAY_PASS_CYCLES;
    return (uint16_t)(((uint64_t)dwCrystalHz * dwMs + qwDivisor - 1) / qwDivisor);
}

// A BAUD value whose rate bits are set apart from the others (SCP2 and bit 3 unused).
int IsRateBaudValue(uint32_t dwBaud) {
    return (dwBaud & ~(uint32_t)SCI_BAUD_RATE_BITS) == 0;
}

// Where no standard rate fits: the SCI's rate nearest 9600, the port set to it exactly.
void ChooseNearestRate(double dEClockHz, SciRate *pRate) {
    double dBest = INFINITY;
    for (uint32_t dwBaud = 0; dwBaud < SCI_BAUD_VALUES; dwBaud++) {
        if (!IsRateBaudValue(dwBaud)) continue;
        uint32_t dwPortRate = GetPortRate(GetSciRate(dEClockHz, (uint8_t)dwBaud));
        double dDistance = std::fabs(std::log((double)dwPortRate / TALKER_WANTED_RATE));
        if (dDistance < dBest) {
            dBest = dDistance;
            FindSciRate(dEClockHz, dwPortRate, pRate);
        }
    }
}

void ChooseFirstRate(double dEClockHz, SciRate *pRate) {
    for (uint32_t dwRate : g_rgdwFirstRates) {
        if (FindSciRate(dEClockHz, dwRate, pRate)) return;
    }
    ChooseNearestRate(dEClockHz, pRate);
}

// A rate above the first that -b offers: exact with the prescaler at 1, or a standard one.
int IsOfferedRate(const TalkerClock *pClock, uint32_t dwBaud, uint32_t *pdwPortRate) {
    double dRate = GetSciRate(pClock->dEClockHz, (uint8_t)dwBaud);
    *pdwPortRate = GetPortRate(dRate);
    if (*pdwPortRate <= pClock->firstRate.dwRate) return 0;
    return (dwBaud & SCI_PRESCALER_BITS) == 0 || IsStandardRate(*pdwPortRate);
}

// A character as the boot ROM samples it: the sender's line level, bit by bit (index 0 the
// start bit, 1-8 the data, 9 the stop bit, then idle), at its own bit times.
enum { FRAME_BITS = 10, LEVEL_LOW = 1, LEVEL_HIGH = 2 };
const double EDGE_MARGIN = 1.0 / 64;                    // of a receiver bit: its clock's jitter
const double MAJORITY_SPREAD = 1.0 / 16 + EDGE_MARGIN;  // RT8-RT10 around the middle

int SenderLevel(uint8_t bValue, int nBit) {
    if (nBit <= 0) return nBit == 0 ? 0 : 1;
    return nBit > 8 ? 1 : (bValue >> (nBit - 1)) & 1;
}

// The levels (LEVEL_LOW, LEVEL_HIGH or both) the line takes within dSpread sender bits of
// dAt (in sender bits from the start bit's edge).
uint32_t LevelsAround(uint8_t bValue, double dAt, double dSpread) {
    uint32_t dwLevels = 0;
    for (int n = (int)std::floor(dAt - dSpread); n <= (int)std::floor(dAt + dSpread); n++)
        dwLevels |= SenderLevel(bValue, n) ? LEVEL_HIGH : LEVEL_LOW;
    return dwLevels;
}

// Every value the data bits can read as, a bit with both levels either way, is ordinary.
int AllReadingsOrdinary(const uint32_t *pdwLevels) {
    for (uint32_t dwChoice = 0; dwChoice < 256; dwChoice++) {
        uint32_t dwValue = 0;
        for (uint32_t b = 0; b < 8; b++) {
            uint32_t dwLevel = (dwChoice >> b) & 1 ? LEVEL_HIGH : LEVEL_LOW;
            if (!(pdwLevels[b + 1] & dwLevel)) break;
            dwValue |= (dwLevel == LEVEL_HIGH) << b;
            if (b < 7) continue;
            if (dwValue == 0x00 || dwValue == 0x55 || dwValue == 0xFF) return 0;
        }
    }
    return 1;
}

void PutWord(uint8_t *pb, uint16_t w) {
    pb[0] = (uint8_t)(w >> 8);
    pb[1] = (uint8_t)w;
}

}  // namespace

void SetTalkerClock(TalkerClock *pClock, uint32_t dwCrystalHz) {
    pClock->dwCrystalHz = dwCrystalHz;
    pClock->dEClockHz = (double)dwCrystalHz / hc11::kCrystalToE;
    pClock->dwBootFastRate = GetPortRate(GetSciRate(pClock->dEClockHz, hc11::kBootRomBaudFast));
    pClock->dwBootSlowRate = GetPortRate(GetSciRate(pClock->dEClockHz, hc11::kBootRomBaudSlow));
    ChooseFirstRate(pClock->dEClockHz, &pClock->firstRate);
    pClock->fNeedsCsel = pClock->dEClockHz < CSEL_BELOW_E_HZ;
    uint32_t dwShortMs = pClock->fNeedsCsel ? SLOW_CLOCK_SHORT_DELAY_MS : SHORT_DELAY_MS;
    pClock->wShortPasses = DelayPasses(dwCrystalHz, dwShortMs);
    pClock->wLongPasses = DelayPasses(dwCrystalHz, LONG_DELAY_MS);
}

uint32_t ListTalkerRates(const TalkerClock *pClock, SciRate *prgRates) {
    uint32_t rgdwRates[SCI_BAUD_VALUES];
    uint32_t dwCount = 0;
    rgdwRates[dwCount++] = pClock->firstRate.dwRate;
    for (uint32_t dwBaud = 0; dwBaud < SCI_BAUD_VALUES; dwBaud++) {
        uint32_t dwPortRate = 0;
        if (IsRateBaudValue(dwBaud) && IsOfferedRate(pClock, dwBaud, &dwPortRate))
            rgdwRates[dwCount++] = dwPortRate;
    }
    std::sort(rgdwRates, rgdwRates + dwCount);
    dwCount = (uint32_t)(std::unique(rgdwRates, rgdwRates + dwCount) - rgdwRates);
    for (uint32_t i = 0; i < dwCount; i++)
        FindSciRate(pClock->dEClockHz, rgdwRates[i], &prgRates[i]);
    return dwCount;
}

int FindTalkerRate(const TalkerClock *pClock, uint32_t dwRate, SciRate *pRate) {
    SciRate rgRates[MAX_TALKER_RATES];
    uint32_t dwCount = ListTalkerRates(pClock, rgRates);
    for (uint32_t i = 0; i < dwCount; i++) {
        if (rgRates[i].dwRate != dwRate) continue;
        *pRate = rgRates[i];
        return 1;
    }
    return 0;
}

void PatchTalkerImage(const TalkerClock *pClock, uint8_t *pbImage) {
    uint8_t *pbBaud = &pbImage[TALKER_BAUD_OFFSET];
    *pbBaud = (uint8_t)((*pbBaud & ~SCI_BAUD_RATE_BITS) | pClock->firstRate.bBaud);
    PutWord(pbImage + TALKER_SHORT_DELAY_OFFSET, pClock->wShortPasses);
    PutWord(pbImage + TALKER_LONG_DELAY_OFFSET, pClock->wLongPasses);
}

int ProbeSuitsTalkerClock(const TalkerClock *pClock, uint8_t bProbe) {
    double dRomRate = GetSciRate(pClock->dEClockHz, hc11::kBootRomBaudFast);
    double dSenderBits = GetSciRate(pClock->dEClockHz, pClock->firstRate.bBaud) / dRomRate;
    for (double dSample : {0.1875, 0.3125, 0.4375}) {  // RT3, RT5, RT7 verify the start bit
        if (LevelsAround(bProbe, dSample * dSenderBits, EDGE_MARGIN * dSenderBits) != LEVEL_LOW)
            return 0;
    }
    uint32_t dwLevels[FRAME_BITS];
    for (uint32_t k = 1; k < FRAME_BITS; k++)
        dwLevels[k] = LevelsAround(bProbe, (k + 0.5) * dSenderBits, MAJORITY_SPREAD * dSenderBits);
    if (dwLevels[FRAME_BITS - 1] != LEVEL_HIGH) return 0;  // a framing error
    return AllReadingsOrdinary(dwLevels);
}

void ReportTalkerClock(const TalkerClock *pClock) {
    if (pClock->firstRate.dwRate == TALKER_WANTED_RATE) return;
    SayOut("The talker runs at %u baud with a %g MHz crystal\n", (unsigned)pClock->firstRate.dwRate,
           pClock->dwCrystalHz / 1e6);
}
