// What one board's run is asked to do, worked out once from the command line before any port
// opens and read-only from then on: the link's target (port, part, ranges, rates), the board's
// lines, what to do with its memory, and where its read-back goes. Each board of a run has its
// own; nothing of the command line is read past this point.
#pragma once

#include <cstdint>

#include "monitor.h"
#include "settings.h"
#include "talker_link.h"

// The board's reset and mode pins through the port's lines, and the loop from reset to the
// running program.
struct BoardLines {
    uint32_t dwResetLine;    // "--reset-line": PORT_LINE_DTR or PORT_LINE_RTS, 0 for none
    uint32_t dwModeLine;     // "--mode-line": the line that pulls MODA and MODB low
    int fInvertLines;        // "--invert-lines": a line holds its pin low while released
    int fRun;                // "--run": reset into the program after the run
    uint32_t dwWaitSeconds;  // "--wait": how long to wait for a reset by hand, 0 for not
    int fMonitor;            // "--monitor": watch the port after the run, or alone
    MonitorOptions monitor;
    int fBoardAnnounced;  // the station saw this board's boot ROM start: no reset into bootstrap
};

// "-r" with "-o": the range read back and the file it goes to.
struct ReadBackRequest {
    uint16_t wStart, wEnd;  // both ends included
    char szName[MAX_FILE_NAME + 16];
};

struct RunTarget {
    LinkTarget link;
    BoardLines lines;
    const char *pszInputName;  // "-i", "" for none
    int fBulkErase;            // "-B"
    int fExpandedBus;          // "-E"
    int fVerifyOnly;           // "-n"
    int fReadBack;             // "-r"
    int fLoopAlone;            // only --run or --monitor: nothing to program, read or erase
    ReadBackRequest readBack;
};

// The target of the board on pszDevice (NULL: the port "-c" or "-d" names), the dwPosition-th
// of the run's boards from 1, 0 for a run of one board: among several, the "-o" name takes
// the position before its extension ("back.s19" -> "back.2.s19"). Returns 0 when that name is
// too long (after a message).
int DescribeRunTarget(const Settings *pSettings, const char *pszDevice, uint32_t dwPosition,
                      RunTarget *pTarget);

// Whether the run asks only to start the program and watch it: --run or --monitor with
// nothing to program, read or erase.
int IsLoopAloneAsked(const Settings *pSettings);
