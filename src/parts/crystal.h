// How both programs read a crystal from their command line: decimal MHz, so that "-x 12" and
// hc11sim's "--crystal 12" always mean the same board (the range is hc11_registers.h's).
#pragma once

#include <stdint.h>

// Reads a crystal in MHz: decimal digits, then optionally a point and more digits ("8",
// "7.3728"), nothing before or after them (no sign, exponent, "0x" or white space), from
// hc11::kLowestCrystalHz to hc11::kHighestCrystalHz. Kept to the hertz, rounded. Returns 1 with
// *pdwCrystalHz set, or 0.
int ReadCrystalMhz(const char *pszValue, uint32_t *pdwCrystalHz);
