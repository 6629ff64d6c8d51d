// From reset to the running program: the board's reset and mode pins moved through the
// port's DTR and RTS, the wait for a reset by hand, and the monitor after the run.
#pragma once

#include <cstdint>

#include "run_target.h"
#include "talker_link.h"

// With --reset-line: opens the port, asserts the mode line (if any), holds RESET through the
// reset line, releases it and waits for the boot ROM's break. Returns LINK_DONE (at once
// without --reset-line), LINK_FAILED after the message when a line could not be set or no
// break came, LINK_NOT_REACHED when the port did not open.
LinkOutcome ResetIntoBootstrap(const BoardLines *pLines, TalkerLink *pLink);

// Runs the first talker load. With --wait, what it says on standard error is held back and
// dropped when it fails: the wait that follows is for that case, and says so itself.
LinkOutcome LoadBeforeWait(const BoardLines *pLines, TalkerLink *pLink,
                           LinkOutcome (*pfnLoad)(TalkerLink *pLink));

// With --wait, after a talker load that failed (LoadBeforeWait): says once "Waiting for
// the board: hold MODA and MODB low and press RESET", watches for the reset's break for at
// most the seconds given, then loads again. Returns the outcome of that load; eFirst without
// --wait or after a load that did not fail.
LinkOutcome LoadAfterResetByHand(const BoardLines *pLines, TalkerLink *pLink, uint32_t dwLoadBaud,
                                 LinkOutcome eFirst);

// After a run whose work on the chip is done: with --run the mode line released and the board
// reset into the program, with --monitor the port watched. Returns the exit status.
int FinishLoop(const BoardLines *pLines, TalkerLink *pLink);

// The station between boards: on the closed port opened at the boot ROM's rate, waits for the
// next board's boot ROM to announce itself with its break (the operator resets or powers it),
// at most dwWaitSeconds (0: without end). pfnWaiting(pv) is called once the port is open and
// emptied, so that a reset made as soon as the wait is announced is seen. Returns LINK_DONE
// when a board came, LINK_FAILED after a message when none did or the port failed,
// LINK_NOT_REACHED when it did not open.
LinkOutcome WaitForNextBoard(TalkerLink *pLink, uint32_t dwWaitSeconds, void (*pfnWaiting)(void *),
                             void *pv);
