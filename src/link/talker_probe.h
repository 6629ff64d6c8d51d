// Finding out, before the bootstrap load, whether the talker of an earlier run still runs
// (the chip not reset since), so that a second run need not wait for a reset.
#pragma once

#include "win32_serial.h"

enum ProbeResult {
    PROBE_FAILED = -1,  // the port could not be opened, or something else answered: said why
    PROBE_NO_TALKER = 0,
    PROBE_TALKER_RUNNING = 1,
};

// Opens the port at the talker's 9600 baud, empties the receive buffer, sends the talker's
// sync "s" once, waits at most dwWaitMs for its prompt, and closes the port. A chip waiting
// in its boot ROM takes that "s" as its first character and switches to 1200 baud (see
// talker_probe.cpp), so after PROBE_NO_TALKER the load must not send the ROM's $FF again.
// An answer that is not the prompt fails the probe: the chip must be reset first.
ProbeResult ProbeTalker(DWORD dwComPort, DWORD dwWaitMs);
