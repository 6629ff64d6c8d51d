// Progress of the phase under way, in one of three forms chosen once per run. On a terminal:
// one line that rewrites itself with the phase, the bytes done of the total, the percentage,
// the time elapsed and the time left, and stays when the phase ends. Anywhere else (pipes,
// files, CI logs): the marks the operations have always printed, the talker load's "0.1."
// and the download's dots, and no line. For a board among several: neither, the stages and
// counts told to a listener, which draws the board's line of a table or writes events.
//
// Each run keeps its progress in a RunProgress of its own, which the thread running it binds;
// the functions below work on the calling thread's. With none bound they print marks and
// record nothing.
#pragma once

#include <chrono>
#include <cstdint>

#include "stopped_run.h"

enum ProgressForm { PROGRESS_MARKS, PROGRESS_LINE, PROGRESS_LISTENER };

// Told of each stage as it starts and of its bytes as they are done.
struct ProgressListener {
    void (*pfnStage)(void *pContext, RunStage eStage, uint32_t dwTotal);
    void (*pfnBytes)(void *pContext, uint32_t dwDone, uint32_t dwTotal);
    void *pContext;
};

// The run's own; its fields are progress.cpp's.
struct RunProgress {
    ProgressForm eForm;
    ProgressListener listener;
    StoppedRun stopped;  // where the run stands, for the message of an interrupted run
    int fOpen;           // a line of the current phase is on the screen, not yet ended
    int fCut;            // ended early for a message: the next drawing starts on a line of its own
    int fMarksOpen;      // marks printed since the last line end
    int nWidth;          // what each drawing is padded or cut to
    const char *pszPhase;
    uint32_t dwDone, dwTotal;
    uint32_t dwDrawn;  // the count the line shows
    std::chrono::steady_clock::time_point start, lastDrawn;
};

// Makes *pProgress ready in its form (pListener for PROGRESS_LISTENER, else NULL), at no stage.
void StartRunProgress(RunProgress *pProgress, ProgressForm eForm,
                      const ProgressListener *pListener);

// The terminal's width (0: unknown) for the line: drawn one column short of it, so that it
// never wraps, which would leave a copy on the screen at each drawing.
void SetProgressColumns(RunProgress *pProgress, uint32_t dwColumns);

// The calling thread's run from now on (NULL for none).
void BindRunProgress(RunProgress *pProgress);

// Starts a stage of dwTotal bytes (0 where bytes are not counted): recorded for the message
// of a stopped run, and its progress line begun where it has one.
void EnterStage(RunStage eStage, uint32_t dwTotal);

// Counts bytes of the current stage as done, and moves its line.
void NoteBytesDone(uint32_t dwBytes);

// Prints a progress mark when the run prints marks.
void PrintProgressMark(const char *pszMark);

// Ends the phase's progress: the line drawn a last time and ended so that it stays, or,
// without a line, pszAfterMarks printed after the marks ("\n" after the talker load's, ""
// before the "Success" that follows the download's dots).
void EndProgress(const char *pszAfterMarks);

// Ends the line of marks a stage left open for a word after them ("Success"), when another
// stage follows instead.
void EndMarksLine(void);

// Ends the line drawn so far, before a message on standard error that would otherwise go on
// from its end on a terminal; the next drawing starts on a line of its own.
void EndProgressLineForMessage(void);

// A file being written under a temporary name, which an interrupted run removes (NULL for
// none). The text must stay in place until it is set back to NULL.
void SetInterruptLeftover(const char *pszPath);

// An interrupt now stops no operation on the chip (the monitor watches the program).
void RecordMonitorStage(void);
