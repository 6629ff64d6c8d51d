// Loading the talker into the target's RAM through its bootstrap ROM.
#pragma once

#include <cstdint>

#include "talker_link.h"

// The rates the boot ROM loads at. A $FF sent at 1200 baud reaches the ROM, which listens at
// 7812 baud from reset, as another character: it switches to 1200. A $FF sent at 7812 keeps
// it there (the port then needs a rate that is not one of the standard ones).
enum { BOOT_BAUD_1200 = 1200, BOOT_BAUD_7812 = 7812 };

// Opens the port at dwLoadBaud, empties what it received before, and sends $FF (unless
// fFirstSent: the ROM already took the probe's character as its first, see talker_probe.h),
// then the whole load without waiting for echoes: the talker image's bytes and, on a
// fixed-length part, zero bytes up to the link's dwLoadLength. Reads the echoes as they
// come, with "%u." before each image line's and after the last, then "\n"; the talker bytes'
// echoes are compared. On a variable-length part it then waits out the ROM's idle end.
// Closes the port. Returns LINK_DONE when the talker is running in the target; LINK_FAILED
// when the load failed, also when an echo differed from a talker byte (the chip would then
// run code that is not the talker), after what happened and what to do on standard error;
// LINK_NOT_REACHED when the port did not open.
LinkOutcome DownloadTalker(TalkerLink *pLink, uint32_t dwLoadBaud, int fFirstSent);
