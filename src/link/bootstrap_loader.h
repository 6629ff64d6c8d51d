// Loading the talker into the target's RAM through its bootstrap ROM, at 1200 baud.
#pragma once

#include "win32_serial.h"

// Opens the port at 1200 baud, sends $FF (unless fRateChosen: the ROM already took the
// probe's character as its first, see talker_probe.h), the talker image's bytes with their echoes
// checked
// ("%u." before each image line and after the last), zero bytes up to 256 with their echoes
// read, then "\n", and closes the port. Returns 1 when the talker is running in the target;
// 0 on any failure, also when an echo differed from a talker byte (the chip would then run
// code that is not the talker), after what to check and "Failure" on standard output.
int DownloadTalker(DWORD dwComPort, int fRateChosen);
