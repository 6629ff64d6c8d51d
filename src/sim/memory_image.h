// The target's memories as S19 files: the --dump written at exit and the --eeprom preload.
#pragma once

#include "bus.h"

namespace hc11 {

// Writes the part's RAM (from $0000), its EEPROM array where it lies now (the 811E2's at
// $F800-$FFFF with CONFIG erased), CONFIG (one byte at $103F) and the external
// RAM that the chip's own memories do not hide: an S0 header, S1 lines of 32 bytes in
// ascending address order, then an S9 line.
// Returns 1, or 0 after a message on standard error.
int WriteMemoryDump(const Bus &bus, const char *path);
// Whether the --dump can be written at exit, checked at start. Returns 1, or 0 after a
// message on standard error.
int CheckMemoryDumpPath(const char *path);

// Stores every byte of the S1 records of an S19 file that falls in EEPROM or CONFIG into its
// cell, every line checked first (a wrong checksum refuses the file), the array taken where the
// file's CONFIG places it; other bytes are left out (with one note on standard error). A reset
// afterwards puts that CONFIG in force. Returns 1, or 0 after a message.
int LoadEepromImage(Bus &bus, const char *path);

}  // namespace hc11
