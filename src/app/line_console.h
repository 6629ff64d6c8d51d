// What a run of several boards shows: each board's text kept whole line by line, in one of
// three forms chosen once. Lines with the port before them ("[/dev/ttyUSB0] Success") where
// standard output is no terminal; on a terminal one line per board, redrawn in place, with the
// boards' messages printed above them; with --json one JSON object a line, every board's with
// its port. Then the summary: a row per board and the count.
//
// Each board's thread binds its board's sink and progress (BindBoardConsole); the lines go out
// under the console's lock, so no two boards' text ever mixes inside a line.
#pragma once

#include <csignal>
#include <cstdint>
#include <mutex>

#include "board_list.h"
#include "progress.h"
#include "say.h"

// LINE_PLAIN is a run of one board: its text as it is, its progress line on a terminal.
enum LineForm { LINE_PLAIN, LINE_PREFIXED, LINE_LIVE, LINE_JSON };

// Where a board's thread is: a signal handler reads it.
enum BoardState { BOARD_READY, BOARD_RUNNING, BOARD_WAITING, BOARD_DONE };

enum {
    REASON_ROOM = 128,   // the first reason of a failure, as the summary shows it
    PENDING_ROOM = 1024  // a line of a board's text not yet ended
};

struct LineConsole;

// One board (one port, and at a station every board that comes to it).
struct LineBoard {
    LineConsole *pConsole;
    char szPort[BOARD_NAME_ROOM];
    RunProgress progress;
    TextSink sink;
    char rgchPending[2][PENDING_ROOM];  // standard output's line and standard error's
    size_t rgcchPending[2];
    char szFirstReason[REASON_ROOM];
    char szStatus[REASON_ROOM];  // what the board's live line says besides its progress
    volatile sig_atomic_t nState;
    volatile sig_atomic_t nStage;
    volatile sig_atomic_t nDone, nTotal;
    uint64_t qwStartMs;                                // when the board's run started
    uint64_t qwLastProgressMs;                         // the last progress event
    volatile sig_atomic_t nBoardsDone, nBoardsFailed;  // at a station
    volatile sig_atomic_t fSerial;
    uint64_t qwSerial;
};

// A row of the summary: one board's run.
struct BoardResult {
    const LineBoard *pBoard;
    int fSuccess;
    int nExit;
    char szReason[REASON_ROOM];
    uint64_t qwMs;
    int fSerial;
    uint64_t qwSerial;
    uint32_t dwBytes;
    const char *pszOutput;  // the read-back file, NULL for none
};

enum { MAX_RESULTS = 4096 };  // rows kept; a station past them counts the rest

struct LineConsole {
    LineForm eForm;
    std::mutex mutex;
    LineBoard *pBoards;
    uint32_t dwBoards;
    const char *pszVerb;  // "programmed", "verified", "read", "erased"
    int fSerialColumn;
    int fOutputColumn;
    int fStation;  // the live lines count each port's boards
    uint32_t dwPortWidth;
    uint32_t dwTableLines;  // the live table's lines on the screen
    BoardResult rgResults[MAX_RESULTS];
    volatile sig_atomic_t nResults;
    volatile sig_atomic_t nSucceeded, nFailed;  // every result, also past MAX_RESULTS
};

// Makes the console ready for dwBoards boards, each named, none started.
void StartLineConsole(LineConsole *pConsole, LineForm eForm, LineBoard *pBoards, uint32_t dwBoards,
                      const char *pszVerb);

// The first event, with --json.
void SayLineStart(LineConsole *pConsole, const char *pszVersion);

// From here on the calling thread's text and progress are the board's.
void BindBoardConsole(LineBoard *pBoard);

// The board starts a run, waits at a station, or ends one (its text's last line ended).
void NoteBoardRunning(LineBoard *pBoard);
void NoteBoardWaiting(LineBoard *pBoard);
void NoteBoardResult(LineBoard *pBoard, const BoardResult *pResult);

// On a terminal: the boards' lines drawn again. The run's thread calls it ten times a second.
void RedrawLineTable(LineConsole *pConsole);

// The summary and the count, or with --json the last event. nStatus is the run's.
void SayLineSummary(LineConsole *pConsole, int nStatus);

// Inside the interrupt handler: where each running board stopped, then the summary so far.
// Returns the status the process ends with.
int ReportInterruptedLine(LineConsole *pConsole, int nStatus);

// With --json, what the run says before any board is reached (a refused file, the CONFIG
// value's lines) goes out as message events without a port, from the calling thread; and a run
// that ends there ends with the last event.
void BindRunJsonText(void);
void SayJsonEnd(int nStatus);
