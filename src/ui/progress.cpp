#include "progress.h"

#include <cstdio>

#include "say.h"

namespace {

typedef std::chrono::steady_clock Clock;

const Clock::duration REDRAW_INTERVAL = std::chrono::milliseconds(100);

// Every drawing is padded to the same width, under the 80 columns of a console (or cut to a
// narrower terminal's).
enum { LINE_WIDTH = 72, LINE_ROOM = 128 };

// The run the calling thread works for; each board's thread binds its own.
thread_local RunProgress *t_pRun = NULL;

void FormatMinutes(char *pszText, size_t cchText, long lSeconds) {
    snprintf(pszText, cchText, "%ld:%02ld", lSeconds / 60, lSeconds % 60);
}

// The time left at the pace so far; unknown before the first byte.
void FormatTimeLeft(const RunProgress *pRun, char *pszText, size_t cchText, double dElapsed) {
    if (pRun->dwDone == 0) {
        snprintf(pszText, cchText, "-:--");
        return;
    }
    double dLeft = dElapsed * (pRun->dwTotal - pRun->dwDone) / pRun->dwDone;
    FormatMinutes(pszText, cchText, (long)(dLeft + 0.5));
}

// "\r" takes the cursor back to the line's start; the padding covers what a longer drawing
// left (plain spaces: a Windows console need not understand escape sequences).
void DrawLine(RunProgress *pRun, Clock::time_point now) {
    double dElapsed = std::chrono::duration<double>(now - pRun->start).count();
    unsigned dwPercent =
        pRun->dwTotal ? (unsigned)((unsigned long long)pRun->dwDone * 100 / pRun->dwTotal) : 100;
    char szElapsed[32], szLeft[32], szLine[LINE_ROOM];
    FormatMinutes(szElapsed, sizeof szElapsed, (long)dElapsed);
    FormatTimeLeft(pRun, szLeft, sizeof szLeft, dElapsed);
    int cch = snprintf(szLine, sizeof szLine, "%-11s %5u/%u bytes %3u%%  %s elapsed  %s left",
                       pRun->pszPhase, (unsigned)pRun->dwDone, (unsigned)pRun->dwTotal, dwPercent,
                       szElapsed, szLeft);
    if (cch > pRun->nWidth) {  // a narrow terminal: the count and the time left
        snprintf(szLine, sizeof szLine, "%s %u/%u %s left", pRun->pszPhase, (unsigned)pRun->dwDone,
                 (unsigned)pRun->dwTotal, szLeft);
    }
    SayOut("\r%-*.*s", pRun->nWidth, pRun->nWidth, szLine);
    pRun->fCut = 0;
    pRun->lastDrawn = now;
    pRun->dwDrawn = pRun->dwDone;
}

// Starts the line of a phase ("talker load", "download", ...) of dwTotal bytes.
void BeginProgressLine(RunProgress *pRun, const char *pszPhase, uint32_t dwTotal) {
    if (pRun->fOpen && !pRun->fCut) SayOut("\n");
    pRun->pszPhase = pszPhase;
    pRun->dwDone = 0;
    pRun->dwTotal = dwTotal;
    pRun->start = Clock::now();
    pRun->fOpen = 1;
    DrawLine(pRun, pRun->start);
}

// dwDone bytes of the phase are done. Redraws the line at most ten times a second, and
// always when the phase is complete.
void UpdateProgressLine(RunProgress *pRun, uint32_t dwDone) {
    if (!pRun->fOpen) return;
    pRun->dwDone = dwDone;
    Clock::time_point now = Clock::now();
    if (dwDone >= pRun->dwTotal || now - pRun->lastDrawn >= REDRAW_INTERVAL) DrawLine(pRun, now);
}

int DrawsLine(const RunProgress *pRun) {
    return pRun != NULL && pRun->eForm == PROGRESS_LINE;
}

int PrintsMarks(const RunProgress *pRun) {
    return pRun == NULL || pRun->eForm == PROGRESS_MARKS;
}

}  // namespace

void StartRunProgress(RunProgress *pProgress, ProgressForm eForm,
                      const ProgressListener *pListener) {
    ProgressListener listener = pListener != NULL ? *pListener : ProgressListener();
    *pProgress = RunProgress();
    pProgress->eForm = eForm;
    pProgress->nWidth = LINE_WIDTH;
    pProgress->listener = listener;
    RecordStage(&pProgress->stopped, STAGE_IDLE, 0);
}

void SetProgressColumns(RunProgress *pProgress, uint32_t dwColumns) {
    pProgress->nWidth =
        dwColumns == 0 || dwColumns > LINE_WIDTH ? (int)LINE_WIDTH : (int)dwColumns - 1;
}

void BindRunProgress(RunProgress *pProgress) {
    t_pRun = pProgress;
}

void EnterStage(RunStage eStage, uint32_t dwTotal) {
    RunProgress *pRun = t_pRun;
    if (pRun == NULL) return;
    RecordStage(&pRun->stopped, eStage, dwTotal);
    const char *pszPhase = GetStageName(eStage);
    if (pRun->eForm == PROGRESS_LISTENER) {
        pRun->listener.pfnStage(pRun->listener.pContext, eStage, dwTotal);
    } else if (pszPhase != NULL && pRun->eForm == PROGRESS_LINE) {
        BeginProgressLine(pRun, pszPhase, dwTotal);
    }
}

void NoteBytesDone(uint32_t dwBytes) {
    RunProgress *pRun = t_pRun;
    if (pRun == NULL) return;
    uint32_t dwDone = RecordBytesDone(&pRun->stopped, dwBytes);
    if (pRun->eForm == PROGRESS_LISTENER) {
        pRun->listener.pfnBytes(pRun->listener.pContext, dwDone, (uint32_t)pRun->stopped.nTotal);
    } else if (pRun->eForm == PROGRESS_LINE) {
        UpdateProgressLine(pRun, dwDone);
    }
}

void PrintProgressMark(const char *pszMark) {
    if (!PrintsMarks(t_pRun)) return;
    SayOutText(pszMark);
    if (t_pRun != NULL) t_pRun->fMarksOpen = 1;
}

void EndProgress(const char *pszAfterMarks) {
    RunProgress *pRun = t_pRun;
    if (PrintsMarks(pRun)) {
        SayOutText(pszAfterMarks);
        if (pRun != NULL && pszAfterMarks[0] != '\0') pRun->fMarksOpen = 0;
        return;
    }
    if (!DrawsLine(pRun) || !pRun->fOpen) return;
    if (pRun->dwDrawn != pRun->dwDone || pRun->fCut) DrawLine(pRun, Clock::now());
    SayOut("\n");
    pRun->fOpen = 0;
}

void EndMarksLine(void) {
    RunProgress *pRun = t_pRun;
    if (pRun == NULL || !PrintsMarks(pRun) || !pRun->fMarksOpen) return;
    SayOut("\n");
    pRun->fMarksOpen = 0;
}

void EndProgressLineForMessage(void) {
    RunProgress *pRun = t_pRun;
    if (!DrawsLine(pRun) || !pRun->fOpen || pRun->fCut) return;
    SayOut("\n");
    pRun->fCut = 1;
}

void SetInterruptLeftover(const char *pszPath) {
    if (t_pRun != NULL) t_pRun->stopped.pszLeftover = pszPath;
}

void RecordMonitorStage(void) {
    if (t_pRun != NULL) RecordStage(&t_pRun->stopped, STAGE_MONITOR, 0);
}
