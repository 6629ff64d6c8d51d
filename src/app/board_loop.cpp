// The board's lines follow the user's wiring: "asserted" is the level that pulls the pin low,
// which --invert-lines turns round for a driver that inverts. Nothing here moves a line the
// command line did not name.
#include "board_loop.h"

#include <cstdio>
#include <cstring>

#include "bootstrap_loader.h"
#include "com_port.h"
#include "exit_status.h"
#include "monitor.h"
#include "os.h"
#include "port.h"
#include "port_open.h"
#include "say.h"

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
int SetBoardLine(const BoardLines *pLines, Port *pPort, uint32_t dwLine, int fLow) {
    int fAsserted = pLines->fInvertLines ? !fLow : fLow;
    if (SetPortLine(pPort, (PortLine)dwLine, fAsserted)) return 1;
    char szError[PORT_ERROR_ROOM];
    DescribePortError(pPort, szError, sizeof szError);
    SayErr("Could not set %s on %s: %s\n", LineName(dwLine), pPort->szName, szError);
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
int PulseReset(const BoardLines *pLines, Port *pPort) {
    if (!SetBoardLine(pLines, pPort, pLines->dwResetLine, 1)) return 0;
    SleepMs(RESET_PULSE_MS);
    PurgePortInput(pPort);
    return SetBoardLine(pLines, pPort, pLines->dwResetLine, 0);
}

int SetModeLine(const BoardLines *pLines, Port *pPort, int fBootstrap) {
    if (pLines->dwModeLine == 0) return 1;
    return SetBoardLine(pLines, pPort, pLines->dwModeLine, fBootstrap);
}

// The mode line released and a reset: the chip starts in its own pins' mode.
int ResetIntoProgram(const BoardLines *pLines, Port *pPort) {
    SayOut("Resetting the board into the program\n");
    return SetModeLine(pLines, pPort, 0) && PulseReset(pLines, pPort);
}

int WatchAfterRun(const BoardLines *pLines, Port *pPort) {
    return WatchPort(pPort, &pLines->monitor);
}

}  // namespace

LinkOutcome ResetIntoBootstrap(const BoardLines *pLines, TalkerLink *pLink) {
    if (pLines->dwResetLine == 0 || pLines->fBoardAnnounced) return LINK_DONE;
    if (!OpenComPort(pLink, BOOT_BAUD_1200)) return LINK_NOT_REACHED;
    SayOut("Resetting the board into bootstrap mode\n");
    int fDone = SetModeLine(pLines, pLink->pPort, 1) && PulseReset(pLines, pLink->pPort);
    BreakOutcome eBreak = fDone ? ReadBreak(pLink->pPort, BREAK_WAIT_MS) : BREAK_PORT_FAILED;
    if (eBreak == BREAK_NOT_SEEN) {
        SayErr(
            "No break from the boot ROM after the reset through %s: check the wiring, "
            "--reset-line, --mode-line and --invert-lines\n",
            LineName(pLines->dwResetLine));
        if (pLink->pPort->fLinesUnconfirmed)
            SayErr(
                "The server never acknowledged the line changes (RFC 2217's SET-CONTROL): it "
                "may not pass the lines on to the board (ser2net in front of a pty does not)\n");
    }
    CloseComPort(pLink);
    return eBreak == BREAK_SEEN ? LINK_DONE : LINK_FAILED;
}

namespace {

// What a first load says on standard error while --wait stands behind it: a board that is
// not in bootstrap mode yet is what the wait is for, so its failure is no news. Standard
// output goes on as it comes.
struct HeldErrors {
    const TextSink *pOuter;  // where the text goes otherwise
    char rgch[4096];
    size_t cch;
};

void PassText(const TextSink *pSink, int fError, const char *pch, size_t cch) {
    if (pSink != NULL) {
        pSink->pfnText(pSink->pContext, fError, pch, cch);
        return;
    }
    FILE *pStream = fError ? stderr : stdout;
    fwrite(pch, 1, cch, pStream);
    fflush(pStream);
}

void HoldErrorText(void *pContext, int fError, const char *pch, size_t cch) {
    HeldErrors *pHeld = static_cast<HeldErrors *>(pContext);
    if (!fError) return PassText(pHeld->pOuter, 0, pch, cch);
    size_t cchTaken = cch < sizeof pHeld->rgch - pHeld->cch ? cch : sizeof pHeld->rgch - pHeld->cch;
    memcpy(pHeld->rgch + pHeld->cch, pch, cchTaken);
    pHeld->cch += cchTaken;
}

}  // namespace

LinkOutcome LoadBeforeWait(const BoardLines *pLines, TalkerLink *pLink,
                           LinkOutcome (*pfnLoad)(TalkerLink *pLink)) {
    if (pLines->dwWaitSeconds == 0) return pfnLoad(pLink);
    static thread_local HeldErrors held;
    held.pOuter = GetTextSink();
    held.cch = 0;
    const TextSink hold = {HoldErrorText, &held};
    BindTextSink(&hold);
    LinkOutcome eLoad = pfnLoad(pLink);
    BindTextSink(held.pOuter);
    if (eLoad != LINK_FAILED) PassText(held.pOuter, 1, held.rgch, held.cch);
    return eLoad;
}

LinkOutcome LoadAfterResetByHand(const BoardLines *pLines, TalkerLink *pLink, uint32_t dwLoadBaud,
                                 LinkOutcome eFirst) {
    if (pLines->dwWaitSeconds == 0 || eFirst != LINK_FAILED) return eFirst;
    if (!OpenComPort(pLink, dwLoadBaud)) return LINK_NOT_REACHED;
    PurgePortInput(pLink->pPort);
    SayOut("Waiting for the board: hold MODA and MODB low and press RESET\n");
    fflush(stdout);
    BreakOutcome eBreak = ReadBreak(pLink->pPort, pLines->dwWaitSeconds * 1000);
    CloseComPort(pLink);
    if (eBreak == BREAK_NOT_SEEN)
        SayErr("No reset seen in %u s\n", (unsigned)pLines->dwWaitSeconds);
    if (eBreak != BREAK_SEEN) return LINK_FAILED;
    return DownloadTalker(pLink, dwLoadBaud, 0);
}

// The port is opened once at the monitor's rate: the program's first bytes after the reset
// are seen.
int FinishLoop(const BoardLines *pLines, TalkerLink *pLink) {
    if (!pLines->fRun && !pLines->fMonitor) return EXIT_DONE;
    InstallInterruptHandlers();
    if (!OpenComPort(pLink, pLines->monitor.dwRate)) return EXIT_TARGET;
    int fDone = !pLines->fRun || ResetIntoProgram(pLines, pLink->pPort);
    if (fDone && pLines->fMonitor) fDone = WatchAfterRun(pLines, pLink->pPort);
    CloseComPort(pLink);
    return fDone ? EXIT_DONE : EXIT_TARGET;
}

// The previous board's talker or program may still answer on the line until it is unplugged:
// only a break with a quiet line after it is a boot ROM that just started.
LinkOutcome WaitForNextBoard(TalkerLink *pLink, uint32_t dwWaitSeconds, void (*pfnWaiting)(void *),
                             void *pv) {
    if (!OpenComPort(pLink, BOOT_BAUD_1200)) return LINK_NOT_REACHED;
    PurgePortInput(pLink->pPort);
    pfnWaiting(pv);
    uint32_t dwWaitMs = dwWaitSeconds != 0 ? dwWaitSeconds * 1000 : UINT32_MAX;
    BreakOutcome eBreak = ReadBreak(pLink->pPort, dwWaitMs);
    CloseComPort(pLink);
    if (eBreak == BREAK_NOT_SEEN) SayErr("No board seen in %u s\n", (unsigned)dwWaitSeconds);
    return eBreak == BREAK_SEEN ? LINK_DONE : LINK_FAILED;
}
