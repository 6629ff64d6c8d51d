// The link at the board's clock: the boot ROM's rates, the talker's rates and BAUD values, and
// the passes of its EEPROM delays, all from the crystal (E is a quarter of it). The talker's
// image is built for 8 MHz; the loader patches the copy it sends (PatchTalkerImage).
#pragma once

#include <cstdint>

#include "hc11_registers.h"
#include "sci_rate.h"

// The crystal a board is taken to have when none is named. The crystals hc11prog takes, as
// hc11sim does, and E from them, are the chip's facts (hc11_registers.h).
const uint32_t DEFAULT_CRYSTAL_HZ = hc11::kDefaultCrystalHz;
enum { MAX_TALKER_RATES = 40 };  // the SCI's 32 BAUD values, and room to spare

struct TalkerClock {
    uint32_t dwCrystalHz;
    double dEClockHz;
    uint32_t dwBootFastRate;  // the port's rate for the boot ROM's own (7812 at 8 MHz)
    uint32_t dwBootSlowRate;  // the port's rate for its slow one (1200 at 8 MHz)
    SciRate firstRate;        // the talker's rate from its start: 9600 where E makes it
    uint16_t wShortPasses;    // the delay loop's passes for 10 ms (20 ms with CSEL)
    uint16_t wLongPasses;     // for 100 ms
    int fNeedsCsel;           // E below 1 MHz: the EEPROM's charge pump needs OPTION's CSEL
};

// Everything above for a crystal of dwCrystalHz (hc11::kLowestCrystalHz to
// hc11::kHighestCrystalHz).
void SetTalkerClock(TalkerClock *pClock, uint32_t dwCrystalHz);

// The rates the talker runs at with this clock into prgRates (room for MAX_TALKER_RATES),
// slowest first: its first rate, then the faster ones the SCI makes exactly with its
// prescaler at 1 (E / 16 / 2^n) or within SCI_RATE_TOLERANCE of a standard rate. Returns the
// count.
uint32_t ListTalkerRates(const TalkerClock *pClock, SciRate *prgRates);

// The row of dwRate among ListTalkerRates' into *pRate; 0 when the talker can't run at it.
int FindTalkerRate(const TalkerClock *pClock, uint32_t dwRate, SciRate *pRate);

// Writes the first rate's BAUD value and the delay passes into the talker's bytes pbImage (as
// the image holds them from $0000, at least up to the offsets of talker_image.h).
void PatchTalkerImage(const TalkerClock *pClock, uint8_t *pbImage);

// Whether a boot ROM waiting at its own rate reads bProbe, sent at the talker's first rate, as
// an ordinary first character (never $00, $55 or $FF, with a valid start and stop bit)
// however it reads the bits whose samples fall on an edge: it then switches to its slow
// rate, and a load that follows without the $FF lands in place (see talker_probe.cpp).
int ProbeSuitsTalkerClock(const TalkerClock *pClock, uint8_t bProbe);

// "The talker runs at 14400 baud with a 12 MHz crystal" on standard output, where its first
// rate is not 9600.
void ReportTalkerClock(const TalkerClock *pClock);
