// The rates the SCI makes from an E clock, and the rate a host's port is set to for each: the
// same arithmetic on every part of the table. A rate is E / (16 x prescaler x divider), BAUD's
// SCP1:SCP0 (bits 5-4) dividing by 1, 3, 4 or 13 and its SCR2-SCR0 (bits 2-0) by 1 to 128.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct SciRate {
    uint32_t dwRate;  // what the host's port is set to
    uint8_t bBaud;    // what goes into BAUD for it
} SciRate;

// How far apart two ends of a link may run: 2 %, half of what the SCI's receiver bears over a
// character (it resynchronises on each start bit and samples the stop bit 9.5 bits later),
// the other half left to the error of the PC's own port.
#define SCI_RATE_TOLERANCE 0.02

// BAUD's bits that set the rate: SCP1:SCP0 and SCR2-SCR0 (TCLR and RCKB are test bits).
#define SCI_BAUD_RATE_BITS 0x37

// The line rate, in bit/s, that the BAUD value bBaud gives at dEClockHz.
double GetSciRate(double dEClockHz, uint8_t bBaud);

// The rate a port is set to for the SCI rate dSciRate: a standard rate (300 to 230400) within
// SCI_RATE_TOLERANCE of it, which every port makes, else the whole baud at or below it
// (7812 for 7812.5), within one baud, which a port sets through termios2 or Windows' DCB.
uint32_t GetPortRate(double dSciRate);

// Whether dwRate is one of the standard rates of GetPortRate.
int IsStandardRate(uint32_t dwRate);

// The BAUD value whose rate lies nearest dwPortRate, within SCI_RATE_TOLERANCE, prescaler
// and divider tried from the smallest. Returns 1 with *pRate filled, 0 when the SCI makes no
// such rate from this E clock.
int FindSciRate(double dEClockHz, uint32_t dwPortRate, SciRate *pRate);

#ifdef __cplusplus
}
#endif
