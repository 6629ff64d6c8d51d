// The monitor: what the chip sends, on standard output; what the user types, to the chip.
#pragma once

#include <cstddef>
#include <cstdint>

#include "talker_link.h"

const uint8_t MONITOR_END_KEY = 0x1D;  // Ctrl-]

struct MonitorOptions {
    uint32_t dwRate;     // the port's rate while watching
    int fRaw;            // the chip's bytes as they are, not \xHH
    uint32_t dwSeconds;  // ends after this long; 0 for until Ctrl-] or the end of input
};

// Writes the chip's bytes as the monitor shows them into pszText (room for 4 characters a
// byte and the terminator): printable ASCII, tab, line feed and carriage return as they are,
// every other byte as \xHH; with fRaw every byte as it is. Returns the characters written.
size_t FormatMonitorBytes(const uint8_t *pbBytes, size_t cbBytes, int fRaw, char *pszText,
                          size_t cchText);

// How many of the typed bytes go to the chip: those before Ctrl-]. *pfEnd is 1 when Ctrl-]
// was among them.
uint32_t CountBytesToSend(const uint8_t *pbTyped, uint32_t cbTyped, int *pfEnd);

// Says "Monitoring <port> at <rate> baud: Ctrl-] ends it" and watches the open port until Ctrl-],
// the end of input (when standard input is no terminal and no time was given) or the time given;
// the terminal is restored on every way out. Returns 1, or 0 after the message of a failed read or
// write.
int WatchPort(Port *pPort, const MonitorOptions *pOptions);
