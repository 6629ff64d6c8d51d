// The probe is the talker's own sync, "s" ($73), sent at 9600 baud, before a load at 1200; or
// $FF at 9600 before a load at the ROM's own 7812 baud. A running talker answers either with
// ">" at once. A $FF at 9600 is low for its start bit alone, so the ROM at 7812 reads it as
// $FF, without a framing error: it keeps 7812 and waits for the load's first byte.
//
// A chip waiting in its boot ROM listens at 7812.5 baud and decides by the first character it
// receives: $FF keeps 7812, $00 or a break jumps into the EEPROM, $55 jumps to
// $0000 (811E2, A8), anything else sets about 1200 baud and starts the load. Seen at 7812.5,
// the 9600-baud "s" is sampled (at the 16x clock's RT8-RT10 of each 128 us bit) as:
//
//   receiver bit      start  b0   b1   b2   b3   b4   b5     b6    b7    stop
//   sampled at (us)     64  192  320  448  576  704  832    960  1088   1216
//   sender's bit there start d0   d2   d3   d4   d5   d6/d7  stop  idle  idle
//   value for $73        0    1    0    0    1    1    1      1     1     1
//
// that is $F9 (b5 falls on the d6/d7 edge; the majority of its three samples gives d6 = 1, and
// d7 = 0 would give $D9). b6, b7 and the stop bit land on the sender's stop bit and the idle
// line after it, so the character is never $00, $55 or a break, and no framing error; b2 is
// d3 (or d2 for a clock a bit off), 0 either way, so it is never $FF. The ROM therefore
// switches to 1200 baud and waits for the load's first byte: the load must follow without
// the $FF it would otherwise send, and (on parts whose load ends after 4 idle characters,
// 33 ms at 1200 baud) within a few character times.
//
// A stray byte that reached the ROM before the probe was its first character instead. Then
// the ROM already stores and echoes what comes, and the "s" would take the talker's place:
//   - at 1200 baud (most stray bytes), the "s" is over before the first data bit is sampled:
//     it reads $FF, and its echo reads at 9600 as $80 (an SCI that rejects the start bit
//     stores nothing and stays silent, and the load without $FF is then right);
//   - at 7812 (a stray byte read as $FF, such as $FD sent at 9600), it reads $F9, and its
//     echo at 7812 reads at 9600 as $F1.
// Before a $FF probe, a ROM loading at 7812 stores and echoes the $FF, read at 9600 as $FF; one
// loading at 1200 sees a start bit too short to verify and receives nothing: the load at 7812
// then comes back as wrong echoes, and the load fails asking for a reset.
// Such an answer is neither ">" nor silence: the probe fails and says what to do. A stray
// $55 or $00 sends the ROM off to RAM or EEPROM without a load; whatever runs there answers
// the probe or lets the load go out unechoed, which fails the load.
#include "talker_probe.h"

#include <cstdio>

#include "com_port.h"
#include "say.h"

namespace {

// The first byte that answers the probe, into *pbReply; 0 when the line stays silent. One
// $00 is passed over: the break of a reset may reach the port after the purge (an adapter
// holds bytes for some ms). It is never an echo of the probe: the ROM samples the "s"'s first
// data bit high at either rate, and an echo whose first data bit is high never reads at 9600
// as $00 (at 1200 that bit lands in the 9600 reading's bit 7, at 7812 in its bit 0). A
// talker inside a block answers $00 only for a cell that cannot take the "s".
// Each read gives up after dwWaitMs instead of the usual 2 s.
int ReadReply(Port *pPort, uint32_t dwWaitMs, uint8_t *pbReply) {
    uint32_t dwRead = 0;
    if (!ReadPort(pPort, pbReply, 1, dwWaitMs, &dwRead) || dwRead != 1) return 0;
    if (*pbReply != BOOT_BREAK_BYTE) return 1;
    return ReadPort(pPort, pbReply, 1, dwWaitMs, &dwRead) && dwRead == 1;
}

// Any other answer comes from a chip that is not waiting for the talker: a talker that an
// interrupted run left inside a block took the "s" as a data byte and answered its read-back
// (the load's 256 bytes would be taken as data and commands too); a boot ROM that a stray
// byte had set loading stored the "s" and echoed it (a talker loaded now would sit one byte
// off its place); a variable-length part other than -p names ended its empty load and runs
// what its RAM held; or a program of the board's own runs.
ProbeResult ReportBusyTarget(uint8_t bReply) {
    SayErr(
        "ProbeTalker: the board answered $%02X, not the talker's prompt: a talker left "
        "inside a command by an interrupted run, a byte that reached the boot ROM before "
        "the talker (a talker loaded now would land one byte off and not run), another part "
        "than -p names, or a program of its own. Reset the board into special bootstrap "
        "mode (MODA and MODB low) and run again\n",
        bReply);
    return PROBE_FAILED;
}

}  // namespace

int FFProbeSuitsTalkerClock(const TalkerClock *pClock) {
    double dRomRate = GetSciRate(pClock->dEClockHz, hc11::kBootRomBaudFast);
    double dStartBit = dRomRate / GetSciRate(pClock->dEClockHz, pClock->firstRate.bBaud);
    return dStartBit > 0.5 && dStartBit < 1.375;  // RT7 + 1/16, RT8 of bit 1 - 1/16
}

int ReadProbeReply(Port *pPort, uint8_t bProbe, uint32_t dwWaitMs, uint8_t *pbReply) {
    PurgePortInput(pPort);
    uint32_t dwWritten = 0;
    // A failed write or read counts as silence: the load that follows reports what is wrong
    // with the port.
    return TracedWrite(pPort, &bProbe, 1, &dwWritten) && dwWritten == 1 &&
           ReadReply(pPort, dwWaitMs, pbReply);
}

ProbeResult ProbeTalker(Port *pPort, uint8_t bProbe, uint32_t dwWaitMs) {
    uint8_t bReply = 0;
    if (!ReadProbeReply(pPort, bProbe, dwWaitMs, &bReply)) return PROBE_NO_TALKER;
    if (bReply == TALKER_PROMPT) return PROBE_TALKER_RUNNING;
    return ReportBusyTarget(bReply);
}
