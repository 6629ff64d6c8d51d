// The board's lines follow the user's wiring: "asserted" is the level that pulls the pin low,
// which --invert-lines turns round for a driver that inverts. Nothing here moves a line the
// command line did not name.
#include "board_loop.h"

#include <cstdio>

#include "bootstrap_loader.h"
#include "com_port.h"
#include "exit_status.h"
#include "monitor.h"
#include "os.h"
#include "port.h"
#include "port_open.h"

namespace {

// Long enough for the chip's reset and for a USB adapter that passes line changes on only
// with its next packet (16 ms and more).
const uint32_t RESET_PULSE_MS = 50;
// The boot ROM's break follows the end of reset within microseconds; an adapter may hold it
// some ms more.
const uint32_t BREAK_WAIT_MS = 1000;
// A break is a $00 with a quiet line after it: a running program that sends $00 goes on.
const uint32_t QUIET_AFTER_BREAK_MS = 50;

const char *LineName(uint32_t dwLine) {
    return dwLine == PORT_LINE_DTR ? "DTR" : "RTS";
}

// Pulls the line's pin low (fLow 1) or lets it go, through the wiring the user named.
int SetBoardLine(const Settings *pSettings, Port *pPort, uint32_t dwLine, int fLow) {
    int fAsserted = pSettings->fInvertLines ? !fLow : fLow;
    if (SetPortLine(pPort, (PortLine)dwLine, fAsserted)) return 1;
    char szError[PORT_ERROR_ROOM];
    DescribePortError(pPort, szError, sizeof szError);
    fprintf(stderr, "Could not set %s on %s: %s\n", LineName(dwLine), pPort->szName, szError);
    return 0;
}

enum BreakOutcome { BREAK_PORT_FAILED = -1, BREAK_NOT_SEEN = 0, BREAK_SEEN = 1 };

// Reads until a $00 that the line leaves quiet after it, or until dwWaitMs pass; a failed
// read has said why.
BreakOutcome ReadBreak(Port *pPort, uint32_t dwWaitMs) {
    uint8_t b = 0xFF;
    uint32_t dwRead = 0;
    uint64_t qwEnd = GetMonotonicMs() + dwWaitMs;
    while (GetMonotonicMs() < qwEnd) {
        int fRead = ReadPort(pPort, &b, 1, 10, &dwRead);
        if (fRead && dwRead == 1 && b == BOOT_BREAK_BYTE)
            fRead = ReadPort(pPort, &b, 1, QUIET_AFTER_BREAK_MS, &dwRead);
        if (!fRead) {
            PrintPortError(pPort);
            return BREAK_PORT_FAILED;
        }
        if (b == BOOT_BREAK_BYTE && dwRead == 0) return BREAK_SEEN;
    }
    return BREAK_NOT_SEEN;
}

// Holds RESET low for the pulse and lets it go; the mode pins as they are now decide the
// chip's mode.
int PulseReset(const Settings *pSettings, Port *pPort) {
    if (!SetBoardLine(pSettings, pPort, pSettings->dwResetLine, 1)) return 0;
    SleepMs(RESET_PULSE_MS);
    PurgePortInput(pPort);
    return SetBoardLine(pSettings, pPort, pSettings->dwResetLine, 0);
}

int SetModeLine(const Settings *pSettings, Port *pPort, int fBootstrap) {
    if (pSettings->dwModeLine == 0) return 1;
    return SetBoardLine(pSettings, pPort, pSettings->dwModeLine, fBootstrap);
}

// The mode line released and a reset: the chip starts in its own pins' mode.
int ResetIntoProgram(const Settings *pSettings, Port *pPort) {
    fprintf(stdout, "Resetting the board into the program\n");
    return SetModeLine(pSettings, pPort, 0) && PulseReset(pSettings, pPort);
}

int WatchAfterRun(const Settings *pSettings, Port *pPort) {
    MonitorOptions options = {pSettings->dwMonitorRate, (int)pSettings->fMonitorRaw,
                              pSettings->dwMonitorSeconds};
    return WatchPort(pPort, &options);
}

}  // namespace

LinkOutcome ResetIntoBootstrap(const Settings *pSettings, TalkerLink *pLink) {
    if (pSettings->dwResetLine == 0) return LINK_DONE;
    if (!OpenComPort(pLink, BOOT_BAUD_1200)) return LINK_NOT_REACHED;
    fprintf(stdout, "Resetting the board into bootstrap mode\n");
    int fDone = SetModeLine(pSettings, pLink->pPort, 1) && PulseReset(pSettings, pLink->pPort);
    BreakOutcome eBreak = fDone ? ReadBreak(pLink->pPort, BREAK_WAIT_MS) : BREAK_PORT_FAILED;
    if (eBreak == BREAK_NOT_SEEN) {
        fprintf(stderr,
                "No break from the boot ROM after the reset through %s: check the wiring, "
                "--reset-line, --mode-line and --invert-lines\n",
                LineName(pSettings->dwResetLine));
        if (pLink->pPort->fLinesUnconfirmed)
            fprintf(
                stderr,
                "The server never acknowledged the line changes (RFC 2217's SET-CONTROL): it "
                "may not pass the lines on to the board (ser2net in front of a pty does not)\n");
    }
    CloseComPort(pLink);
    return eBreak == BREAK_SEEN ? LINK_DONE : LINK_FAILED;
}

LinkOutcome LoadAfterResetByHand(const Settings *pSettings, TalkerLink *pLink, uint32_t dwLoadBaud,
                                 LinkOutcome eFirst) {
    if (pSettings->dwWaitSeconds == 0 || eFirst != LINK_FAILED) return eFirst;
    if (!OpenComPort(pLink, dwLoadBaud)) return LINK_NOT_REACHED;
    PurgePortInput(pLink->pPort);
    fprintf(stdout, "Waiting for the board: hold MODA and MODB low and press RESET\n");
    fflush(stdout);
    BreakOutcome eBreak = ReadBreak(pLink->pPort, pSettings->dwWaitSeconds * 1000);
    CloseComPort(pLink);
    if (eBreak == BREAK_NOT_SEEN)
        fprintf(stderr, "No reset seen in %u s\n", (unsigned)pSettings->dwWaitSeconds);
    if (eBreak != BREAK_SEEN) return LINK_FAILED;
    return DownloadTalker(pLink, dwLoadBaud, 0);
}

int IsLoopAlone(const Settings *pSettings) {
    return (pSettings->fRun || pSettings->fMonitor) && pSettings->szInputFile[0] == '\0' &&
           !pSettings->fReadBack && !pSettings->fBulkErase;
}

// The port is opened once at the monitor's rate: the program's first bytes after the reset
// are seen.
int FinishLoop(const Settings *pSettings, TalkerLink *pLink, int nStatus) {
    if (nStatus != EXIT_DONE || (!pSettings->fRun && !pSettings->fMonitor)) return nStatus;
    InstallInterruptHandlers();
    if (!OpenComPort(pLink, pSettings->dwMonitorRate)) return EXIT_TARGET;
    int fDone = !pSettings->fRun || ResetIntoProgram(pSettings, pLink->pPort);
    if (fDone && pSettings->fMonitor) fDone = WatchAfterRun(pSettings, pLink->pPort);
    CloseComPort(pLink);
    return fDone ? EXIT_DONE : EXIT_TARGET;
}
