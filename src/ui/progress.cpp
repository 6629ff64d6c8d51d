#include "progress.h"

#include <chrono>
#include <cstdio>

#include "say.h"

namespace {

typedef std::chrono::steady_clock Clock;

const Clock::duration REDRAW_INTERVAL = std::chrono::milliseconds(100);

// Every drawing is padded to the same width, under the 80 columns of a console (or cut to a
// narrower terminal's).
enum { LINE_WIDTH = 72, LINE_ROOM = 128 };

struct ProgressLine {
    int fOn;
    int fOpen;       // a line of the current phase is on the screen, not yet ended
    int fCut;        // ended early for a message: the next drawing starts on a line of its own
    int fMarksOpen;  // marks printed since the last line end
    int nWidth;      // what each drawing is padded or cut to
    const char *pszPhase;
    uint32_t dwDone, dwTotal;
    uint32_t dwDrawn;  // the count the line shows
    Clock::time_point start, lastDrawn;
};

ProgressLine g_Line;

void FormatMinutes(char *pszText, size_t cchText, long lSeconds) {
    snprintf(pszText, cchText, "%ld:%02ld", lSeconds / 60, lSeconds % 60);
}

// The time left at the pace so far; unknown before the first byte.
void FormatTimeLeft(char *pszText, size_t cchText, double dElapsed) {
    if (g_Line.dwDone == 0) {
        snprintf(pszText, cchText, "-:--");
        return;
    }
    double dLeft = dElapsed * (g_Line.dwTotal - g_Line.dwDone) / g_Line.dwDone;
    FormatMinutes(pszText, cchText, (long)(dLeft + 0.5));
}

// "\r" takes the cursor back to the line's start; the padding covers what a longer drawing
// left (plain spaces: a Windows console need not understand escape sequences).
void DrawLine(Clock::time_point now) {
    double dElapsed = std::chrono::duration<double>(now - g_Line.start).count();
    unsigned dwPercent =
        g_Line.dwTotal ? (unsigned)((unsigned long long)g_Line.dwDone * 100 / g_Line.dwTotal) : 100;
    char szElapsed[32], szLeft[32], szLine[LINE_ROOM];
    FormatMinutes(szElapsed, sizeof szElapsed, (long)dElapsed);
    FormatTimeLeft(szLeft, sizeof szLeft, dElapsed);
    int cch = snprintf(szLine, sizeof szLine, "%-11s %5u/%u bytes %3u%%  %s elapsed  %s left",
                       g_Line.pszPhase, (unsigned)g_Line.dwDone, (unsigned)g_Line.dwTotal,
                       dwPercent, szElapsed, szLeft);
    if (cch > g_Line.nWidth) {  // a narrow terminal: the count and the time left
        snprintf(szLine, sizeof szLine, "%s %u/%u %s left", g_Line.pszPhase,
                 (unsigned)g_Line.dwDone, (unsigned)g_Line.dwTotal, szLeft);
    }
    SayOut("\r%-*.*s", g_Line.nWidth, g_Line.nWidth, szLine);
    g_Line.fCut = 0;
    g_Line.lastDrawn = now;
    g_Line.dwDrawn = g_Line.dwDone;
}

// Starts the line of a phase ("talker load", "download", ...) of dwTotal bytes.
void BeginProgressLine(const char *pszPhase, uint32_t dwTotal) {
    if (!g_Line.fOn) return;
    if (g_Line.fOpen && !g_Line.fCut) SayOut("\n");
    g_Line.pszPhase = pszPhase;
    g_Line.dwDone = 0;
    g_Line.dwTotal = dwTotal;
    g_Line.start = Clock::now();
    g_Line.fOpen = 1;
    DrawLine(g_Line.start);
}

// dwDone bytes of the phase are done. Redraws the line at most ten times a second, and
// always when the phase is complete.
void UpdateProgressLine(uint32_t dwDone) {
    if (!g_Line.fOn || !g_Line.fOpen) return;
    g_Line.dwDone = dwDone;
    Clock::time_point now = Clock::now();
    if (dwDone >= g_Line.dwTotal || now - g_Line.lastDrawn >= REDRAW_INTERVAL) DrawLine(now);
}

}  // namespace

void EnterStage(RunStage eStage, uint32_t dwTotal) {
    RecordStage(eStage, dwTotal);
    const char *pszPhase = GetStageName(eStage);
    if (pszPhase != NULL) BeginProgressLine(pszPhase, dwTotal);
}

void NoteBytesDone(uint32_t dwBytes) {
    UpdateProgressLine(RecordBytesDone(dwBytes));
}

void UseProgressLine(int fOn) {
    g_Line.fOn = fOn;
    if (g_Line.nWidth == 0) g_Line.nWidth = LINE_WIDTH;
}

void SetProgressColumns(uint32_t dwColumns) {
    g_Line.nWidth = dwColumns == 0 || dwColumns > LINE_WIDTH ? (int)LINE_WIDTH : (int)dwColumns - 1;
}

void PrintProgressMark(const char *pszMark) {
    if (g_Line.fOn) return;
    SayOutText(pszMark);
    g_Line.fMarksOpen = 1;
}

void EndProgress(const char *pszAfterMarks) {
    if (!g_Line.fOn) {
        SayOutText(pszAfterMarks);
        if (pszAfterMarks[0] != '\0') g_Line.fMarksOpen = 0;
        return;
    }
    if (!g_Line.fOpen) return;
    if (g_Line.dwDrawn != g_Line.dwDone || g_Line.fCut) DrawLine(Clock::now());
    SayOut("\n");
    g_Line.fOpen = 0;
}

void EndProgressLineForMessage(void) {
    if (!g_Line.fOn || !g_Line.fOpen || g_Line.fCut) return;
    SayOut("\n");
    g_Line.fCut = 1;
}

void EndMarksLine(void) {
    if (g_Line.fOn || !g_Line.fMarksOpen) return;
    SayOut("\n");
    g_Line.fMarksOpen = 0;
}
