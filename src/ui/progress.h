// Progress of the phase under way, in one of two forms chosen once per run. On a terminal:
// one line that rewrites itself with the phase, the bytes done of the total, the percentage,
// the time elapsed and the time left, and stays when the phase ends. Anywhere else (pipes,
// files, CI logs): the marks the operations have always printed, the talker load's "0.1."
// and the download's dots, and no line.
#pragma once

#include <cstdint>

#include "stopped_run.h"

// Starts a stage of dwTotal bytes (0 where bytes are not counted): recorded for the message
// of a stopped run, and its progress line begun where it has one.
void EnterStage(RunStage eStage, uint32_t dwTotal);

// Counts bytes of the current stage as done, and moves its line.
void NoteBytesDone(uint32_t dwBytes);

// fOn: draw the line (standard output is a terminal); otherwise print the marks.
void UseProgressLine(int fOn);

// The terminal's width (0: unknown): a line is drawn one column short of it, so that it never
// wraps, which would leave a copy on the screen at each drawing.
void SetProgressColumns(uint32_t dwColumns);

// Prints a progress mark when no line is drawn; on a terminal the line stands in for it.
void PrintProgressMark(const char *pszMark);

// Ends the phase's progress: the line drawn a last time and ended so that it stays, or,
// without a line, pszAfterMarks printed after the marks ("\n" after the talker load's, ""
// before the "Success" that follows the download's dots).
void EndProgress(const char *pszAfterMarks);

// Ends the line drawn so far, before a message on standard error that would otherwise go on
// from its end on a terminal; the next drawing starts on a line of its own.
void EndProgressLineForMessage(void);

// Ends the line of marks a stage left open for a word after them ("Success"), when another
// stage follows instead.
void EndMarksLine(void);
