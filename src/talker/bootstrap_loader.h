// Loading the talker into the target's RAM through its bootstrap ROM.
#pragma once

#include <cstdint>

#include "talker_link.h"

// The rates the boot ROM loads at. A $FF sent at 1200 baud reaches the ROM, which listens at
// 7812 baud from reset, as another character: it switches to 1200. A $FF sent at 7812 keeps
// it there (the port then needs a rate that is not one of the standard ones).
enum { BOOT_BAUD_1200 = 1200, BOOT_BAUD_7812 = 7812 };

// The rate the boot ROM loads the talker at (the rates here are those of an 8 MHz crystal;
// the link's clock gives them for another): its own 7812 baud on a fixed-length part when the
// run moves the talker to a faster rate ("-b": the port makes rates that are not standard
// ones) and a $FF at the talker's first rate reaches the ROM as $FF; else 1200. A
// variable-length part loads at 1200 even then: it is not probed (see BootTalker), and a load
// at 1200 is harmless to a talker that may still run: at any of its rates, 9600 and up, it
// reads each 1200-baud character as bytes of $00 and $80 alone (every sample of a character
// it starts at a falling edge lands in the same low 1200-baud bit, but for the last data bit
// and the stop bit), never a command letter, and answers them with "?". At 7812 a talker at
// 9600 could read bytes that are commands.
uint32_t ChooseLoadBaud(const TalkerLink *pLink);

// Finds the talker of an earlier run, or loads one through the boot ROM, at the rate
// ChooseLoadBaud gives; opens and closes the port.
// - A fixed-length part (811E2, A8, A1) is probed first at the talker's first rate ("s"
//   before a load at 1200, $FF before one at 7812, see talker_probe.h), unless the crystal
//   makes "s" unsafe as a probe (ProbeSuitsTalkerClock): then it loads unprobed at 1200. ">" is a
//   running talker: *pfRunning is set and nothing is sent. Silence is a boot ROM that took the
//   probe as its first character: the port moves to the load's rate on the same open port and the
//   load follows without its $FF. Any other answer fails after the probe's message.
// - A variable-length part (E9, E1, E20, F1) is not probed: its ROM would end the load 4 idle
//   characters (5 ms at 7812, 33 ms at 1200) after the probe, a window a talker's answer
//   through a USB adapter (up to 16 ms late) and any pause of the host's would race. Its $FF
//   and the talker go in one write, which no pause of the host's can split.
// Returns LINK_DONE when a talker runs, LINK_FAILED after the failure's message, and
// LINK_NOT_REACHED when the port did not open.
LinkOutcome BootTalker(TalkerLink *pLink, int *pfRunning);

// Opens the port at dwLoadBaud, then SendBootLoad, then closes the port. Returns LINK_DONE
// when the talker is running in the target; LINK_FAILED when the load failed;
// LINK_NOT_REACHED when the port did not open.
LinkOutcome DownloadTalker(TalkerLink *pLink, uint32_t dwLoadBaud, int fFirstSent);

// On the link's open port, already at dwLoadBaud: empties what it received before, and
// writes in one call the $FF (unless fFirstSent: the ROM already took the probe's character
// as its first, see talker_probe.h) and the whole load, without waiting for echoes: the
// talker image's bytes and, on a fixed-length part, zero bytes up to the link's dwLoadLength.
// Reads the echoes as they come, with "%u." before each image line's and after the last,
// then "\n"; the talker bytes' echoes are compared. On a variable-length part it then waits
// out the ROM's idle end.
// Returns 1 when the talker is running in the target; 0 when the load failed, also when an
// echo differed from a talker byte (the chip would then run code that is not the talker),
// after what happened and what to do on standard error.
int SendBootLoad(TalkerLink *pLink, uint32_t dwLoadBaud, int fFirstSent);
