// Finding out, before the bootstrap load, whether the talker of an earlier run still runs
// (the chip not reset since), so that a second run need not wait for a reset.
#pragma once

#include <cstdint>

#include "talker_clock.h"
#include "talker_link.h"

enum ProbeResult {
    // The chip answered as neither a talker nor a boot ROM waiting for its first character;
    // the probe said why.
    PROBE_FAILED = -1,
    PROBE_NO_TALKER = 0,
    PROBE_TALKER_RUNNING = 1,
};

// Both probes go at the talker's 9600 baud, which a running talker answers with ">" at once.
// A chip waiting in its boot ROM (listening at 7812 baud) takes the probe as its first
// character (see talker_probe.cpp): "s" sets it loading at 1200 baud, $FF keeps it at 7812.
// Either way the load that follows must not send the ROM's $FF again.

// There is no second probe at the run's fast rate: a talker left there (an interrupted -b run)
// reads the 9600 probe as an unknown letter and waits for its frame, and a $FF at 15625 or
// 31250 is long enough for a ROM at 7812 to take as its first character. Such a talker is
// left unharmed by the load that follows: at 15625 baud and up a load's character spans whole
// runs of the talker's bits, two or more alike for each of its own, so the talker reads only
// letters whose bits come in such runs ($00, $80, $78, $F8...), none of them a command; the
// run then fails asking for a reset.

// Whether a $FF sent at the talker's first rate reaches a boot ROM waiting at its own rate as
// $FF: its start bit, the only low bit, lasts past the ROM's RT7 and ends before its first
// data bit is sampled (RT8 of the next bit), with a sixteenth of a bit to spare each way. At
// 8 MHz, 9600 against 7812: the start bit lasts 0.81 of the ROM's bit.
int FFProbeSuitsTalkerClock(const TalkerClock *pClock);

// Empties the open port's receive buffer, sends bProbe once and waits at most dwWaitMs for
// the first byte that answers it (passing over one break the ROM's reset may still deliver).
// Returns 1 with the byte in *pbReply, or 0 when the line stayed silent (or the port failed).
int ReadProbeReply(Port *pPort, uint8_t bProbe, uint32_t dwWaitMs, uint8_t *pbReply);

// ReadProbeReply judged: ">" is a running talker, silence a chip waiting in its boot ROM. Any
// other answer fails the probe after a message, and the chip must be reset first: a talker
// left inside a command, a ROM that a stray byte already set loading (a load now would land
// shifted), or another program running. The port stays open at 9600 baud.
ProbeResult ProbeTalker(Port *pPort, uint8_t bProbe, uint32_t dwWaitMs);
