// The crystals a 68HC11 board runs from, and how both programs read one from their command
// line: decimal MHz, so that "-x 12" and hc11sim's "--crystal 12" always mean the same board.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// From about 1 MHz (E = 250 kHz) up to 20 MHz (the fastest parts' E = 5 MHz): anything
// outside is taken for a mistake.
#define LOWEST_CRYSTAL_HZ 1000000u
#define HIGHEST_CRYSTAL_HZ 20000000u

// Reads a crystal in MHz: decimal digits, then optionally a point and more digits ("8",
// "7.3728"), nothing before or after them (no sign, exponent, "0x" or white space), from
// LOWEST_CRYSTAL_HZ to HIGHEST_CRYSTAL_HZ. Kept to the hertz, rounded. Returns 1 with
// *pdwCrystalHz set, or 0.
int ReadCrystalMhz(const char *pszValue, uint32_t *pdwCrystalHz);

#ifdef __cplusplus
}
#endif
