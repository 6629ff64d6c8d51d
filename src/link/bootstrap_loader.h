// Loading the talker into the target's RAM through its bootstrap ROM.
#pragma once

#include "win32_serial.h"

// The rates the boot ROM loads at. A $FF sent at 1200 baud reaches the ROM, which listens at
// 7812 baud from reset, as another character: it switches to 1200. A $FF sent at 7812 keeps
// it there (the port then needs a rate that is not one of the standard ones).
enum { BOOT_BAUD_1200 = 1200, BOOT_BAUD_7812 = 7812 };

// Opens the port at dwLoadBaud, sends $FF (unless fRateChosen: the ROM already took the
// probe's character as its first and switched to 1200, see talker_probe.h), the talker
// image's bytes with their echoes checked
// ("%u." before each image line and after the last), zero bytes up to 256 with their echoes
// read, then "\n", and closes the port. Returns 1 when the talker is running in the target;
// 0 on any failure, also when an echo differed from a talker byte (the chip would then run
// code that is not the talker), after what to check and "Failure" on standard output.
int DownloadTalker(DWORD dwComPort, int fRateChosen, DWORD dwLoadBaud);
