// The probe is the talker's own sync, "s" ($73), sent at 9600 baud. A running talker answers
// ">" at once. A chip waiting in its boot ROM listens at 7812.5 baud and decides by the first
// character it receives: $FF keeps 7812, $00 or a break jumps into the EEPROM, $55 jumps to
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
#include "talker_probe.h"

#include <cstdio>

#include "serial_port.h"

namespace {

const DWORD TALKER_BAUD_RATE = 9600;
const BYTE SYNC = 's';
const BYTE PROMPT = '>';
const BYTE BREAK_BYTE = 0x00;  // how a UART reads a break

// One read that gives up after dwWaitMs instead of the usual 2 s.
void SetProbeTimeout(HANDLE hPort, DWORD dwWaitMs) {
    COMMTIMEOUTS timeouts = {};
    GetCommTimeouts(hPort, &timeouts);
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = dwWaitMs;
    SetCommTimeouts(hPort, &timeouts);
}

// One byte of reply, if any came. A $00 is the break a boot ROM holds from reset until the
// probe's start bit (read when the port opened during it), not a reply: the next byte is.
int ReadReply(HANDLE hPort, BYTE *pbReply) {
    DWORD dwRead = 0;
    if (!TracedRead(hPort, pbReply, 1, &dwRead) || dwRead != 1) return 0;
    if (*pbReply != BREAK_BYTE) return 1;
    return TracedRead(hPort, pbReply, 1, &dwRead) && dwRead == 1;
}

// A boot ROM waiting for its first character never answers the probe, so another answer
// comes from a program that runs: most likely a talker that an interrupted run left inside a
// block, which took the "s" as a data byte. A boot ROM that had already taken a first
// character (a stray byte on the line, or a part other than -p names whose load has ended)
// echoes it too; the load would land one byte late or not at all.
ProbeResult ReportBusyTarget(BYTE bReply) {
    fprintf(stderr,
            "ProbeTalker: the board answered $%02X, not the talker's prompt: a talker left "
            "inside a command by an interrupted run, or a program of its own (a boot ROM that "
            "a stray byte started, or another part than -p names). Reset the board into "
            "special bootstrap mode (MODA and MODB low) and run again\n",
            bReply);
    fprintf(stdout, "Failure\n");
    return PROBE_FAILED;
}

}  // namespace

ProbeResult ProbeTalker(DWORD dwComPort, DWORD dwWaitMs) {
    HANDLE hPort = OpenComPort(dwComPort, TALKER_BAUD_RATE);
    if (hPort == INVALID_HANDLE_VALUE) return PROBE_FAILED;
    SetProbeTimeout(hPort, dwWaitMs);
    PurgeComm(hPort, PURGE_RXCLEAR);
    BYTE bSync = SYNC, bReply = 0;
    DWORD dwWritten = 0;
    // A failed write or read means no talker answered: the load that follows reports what
    // is wrong with the port.
    int fAnswered =
        TracedWrite(hPort, &bSync, 1, &dwWritten) && dwWritten == 1 && ReadReply(hPort, &bReply);
    CloseHandle(hPort);
    if (!fAnswered) return PROBE_NO_TALKER;
    if (bReply == PROMPT) return PROBE_TALKER_RUNNING;
    return ReportBusyTarget(bReply);
}
