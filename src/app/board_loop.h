// From reset to the running program: the board's reset and mode pins moved through the
// port's DTR and RTS, the wait for a reset by hand, and the monitor after the run.
#pragma once

#include <cstdint>

#include "settings.h"
#include "talker_link.h"

// With --reset-line: opens the port, asserts the mode line (if any), holds RESET through the
// reset line, releases it and waits for the boot ROM's break. Returns LINK_DONE (at once
// without --reset-line), LINK_FAILED after the message when a line could not be set or no
// break came, LINK_NOT_REACHED when the port did not open.
LinkOutcome ResetIntoBootstrap(const Settings *pSettings, TalkerLink *pLink);

// With --wait, after a talker load that failed (its messages printed): says once "Waiting for
// the board: hold MODA and MODB low and press RESET", watches for the reset's break for at
// most the seconds given, then loads again. Returns the outcome of that load; eFirst without
// --wait or after a load that did not fail.
LinkOutcome LoadAfterResetByHand(const Settings *pSettings, TalkerLink *pLink, uint32_t dwLoadBaud,
                                 LinkOutcome eFirst);

// Whether the command line asks only to start the program and watch it: --run or --monitor
// with nothing to program, read or erase.
int IsLoopAlone(const Settings *pSettings);

// After a run that ended with nStatus: with --run the mode line released and the board reset
// into the program, with --monitor the port watched. Returns the exit status.
int FinishLoop(const Settings *pSettings, TalkerLink *pLink, int nStatus);
