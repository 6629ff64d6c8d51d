// Finding out, before the bootstrap load, whether the talker of an earlier run still runs
// (the chip not reset since), so that a second run need not wait for a reset.
#pragma once

#include <cstdint>

#include "talker_link.h"

enum ProbeResult {
    PROBE_NO_PORT = -2,  // the port could not be opened; the message said why
    // The chip answered as neither a talker nor a boot ROM waiting for its first character;
    // the probe said why.
    PROBE_FAILED = -1,
    PROBE_NO_TALKER = 0,
    PROBE_TALKER_RUNNING = 1,
};

// Opens the port at the talker's 9600 baud, empties the receive buffer, sends the talker's
// sync "s" once, waits at most dwWaitMs for an answer (passing over one break the ROM's
// reset may still deliver), and closes the port. ">" is a running talker. Silence is a chip
// waiting in its boot ROM, which takes that "s" as its first character and switches to 1200
// baud (see talker_probe.cpp): after PROBE_NO_TALKER the load must not send the ROM's $FF
// again. Any other answer fails the probe, and the chip must be reset first: a talker left
// inside a command, a ROM that a stray byte already set loading (a load now would land
// shifted), or another program running.
ProbeResult ProbeTalker(TalkerLink *pLink, uint32_t dwWaitMs);
