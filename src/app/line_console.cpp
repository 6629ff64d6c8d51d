#include "line_console.h"

#include <cstdio>
#include <cstring>

#include "json_text.h"
#include "os.h"
#include "stopped_run.h"

namespace {

enum { ROW_ROOM = 1024, TABLE_WIDTH = 79, RESULT_WIDTH = 64, SECONDS_WIDTH = 7 };
const uint64_t PROGRESS_EVENT_MS = 100;  // at most ten progress events a second per board

void WriteText(int fError, const char *pch, size_t cch) {
    FILE *pStream = fError ? stderr : stdout;
    fwrite(pch, 1, cch, pStream);
    fflush(pStream);
}

void WriteJsonLine(JsonLine *pLine) {
    if (EndJsonObject(pLine)) WriteText(0, pLine->sz, pLine->cch);
}

// "text": the line as it is, its length given.
void AppendJsonKeyedText(JsonLine *pLine, const char *pch, size_t cch) {
    char szText[PENDING_ROOM];
    memcpy(szText, pch, cch);
    szText[cch] = '\0';
    AddJsonString(pLine, "text", szText);
}

void BeginBoardEvent(JsonLine *pLine, const char *pszEvent, const LineBoard *pBoard) {
    BeginJsonObject(pLine);
    AddJsonString(pLine, "event", pszEvent);
    AddJsonString(pLine, "port", pBoard->szPort);
}

// ---- the summary's rows, built without stdio: the interrupt handler builds them too

void AppendPadded(SafeText *pText, const char *psz, size_t cchWidth) {
    size_t cchBefore = pText->cchUsed;
    AppendSafeText(pText, psz);
    while (pText->cchUsed - cchBefore < cchWidth) AppendSafeText(pText, " ");
}

// "12.3", right-aligned in the column.
void AppendSeconds(SafeText *pText, uint64_t qwMs) {
    char szDigits[32];
    SafeText seconds = {szDigits, sizeof szDigits - 1, 0};
    AppendSafeNumber(&seconds, (unsigned long)(qwMs / 1000));
    AppendSafeText(&seconds, ".");
    AppendSafeNumber(&seconds, (unsigned long)(qwMs / 100 % 10));
    szDigits[seconds.cchUsed] = '\0';
    for (size_t i = seconds.cchUsed; i < SECONDS_WIDTH; i++) AppendSafeText(pText, " ");
    AppendSafeText(pText, szDigits);
}

// "Failure: " and the reason, cut to the column.
void AppendResult(SafeText *pText, int fSuccess, const char *pszReason) {
    char szResult[RESULT_WIDTH + 1];
    SafeText result = {szResult, RESULT_WIDTH, 0};
    AppendSafeText(&result, fSuccess ? "Success" : "Failure: ");
    if (!fSuccess) AppendSafeText(&result, pszReason[0] != '\0' ? pszReason : "failed");
    szResult[result.cchUsed] = '\0';
    AppendPadded(pText, szResult, RESULT_WIDTH);
}

void AppendRow(SafeText *pText, const LineConsole *pConsole, const BoardResult *pResult) {
    AppendPadded(pText, pResult->pBoard->szPort, pConsole->dwPortWidth);
    AppendSafeText(pText, "  ");
    AppendResult(pText, pResult->fSuccess, pResult->szReason);
    AppendSeconds(pText, pResult->qwMs);
    if (pConsole->fSerialColumn) {
        AppendSafeText(pText, "  ");
        if (pResult->fSerial)
            AppendSafeNumber(pText, (unsigned long)pResult->qwSerial);
        else
            AppendSafeText(pText, "-");
    }
    if (pConsole->fOutputColumn && pResult->pszOutput != NULL) {
        AppendSafeText(pText, "  ");
        AppendSafeText(pText, pResult->pszOutput);
    }
    AppendSafeText(pText, "\n");
}

void AppendHeader(SafeText *pText, const LineConsole *pConsole) {
    AppendPadded(pText, "Port", pConsole->dwPortWidth);
    AppendSafeText(pText, "  ");
    AppendPadded(pText, "Result", RESULT_WIDTH);
    AppendSafeText(pText, "Seconds");
    if (pConsole->fSerialColumn) AppendSafeText(pText, "  Serial");
    if (pConsole->fOutputColumn) AppendSafeText(pText, "  File");
    AppendSafeText(pText, "\n");
}

// "7 of 8 boards programmed"
void AppendCount(SafeText *pText, const LineConsole *pConsole, unsigned long dwSucceeded,
                 unsigned long dwBoards) {
    AppendSafeNumber(pText, dwSucceeded);
    AppendSafeText(pText, " of ");
    AppendSafeNumber(pText, dwBoards);
    AppendSafeText(pText, dwBoards == 1 ? " board " : " boards ");
    AppendSafeText(pText, pConsole->pszVerb);
    AppendSafeText(pText, "\n");
}

// ---- the live table

void AppendLiveStatus(SafeText *pText, const LineBoard *pBoard) {
    if (pBoard->pConsole->fStation) {
        AppendSafeNumber(pText, (unsigned long)pBoard->nBoardsDone);
        AppendSafeText(pText, " done, ");
        AppendSafeNumber(pText, (unsigned long)pBoard->nBoardsFailed);
        AppendSafeText(pText, " failed; ");
    }
    const char *pszStage = GetStageName((RunStage)pBoard->nStage);
    if (pBoard->nState == BOARD_WAITING) {
        AppendSafeText(pText, "waiting for the next board: reset or power it in bootstrap mode");
    } else if (pBoard->nState == BOARD_RUNNING && pszStage != NULL && pBoard->nTotal > 0) {
        AppendSafeText(pText, pszStage);
        AppendSafeText(pText, " ");
        AppendSafeNumber(pText, (unsigned long)pBoard->nDone);
        AppendSafeText(pText, "/");
        AppendSafeNumber(pText, (unsigned long)pBoard->nTotal);
        AppendSafeText(pText, " bytes ");
        AppendSafeNumber(pText, (unsigned long)((uint64_t)pBoard->nDone * 100 / pBoard->nTotal));
        AppendSafeText(pText, "%");
    } else {
        AppendSafeText(pText, pBoard->szStatus);
    }
}

void EraseLiveTable(LineConsole *pConsole) {
    if (pConsole->dwTableLines == 0) return;
    char szUp[32];
    int cch = snprintf(szUp, sizeof szUp, "\x1b[%uA\r\x1b[J", (unsigned)pConsole->dwTableLines);
    WriteText(0, szUp, (size_t)cch);
    pConsole->dwTableLines = 0;
}

void DrawLiveTable(LineConsole *pConsole) {
    char szLine[ROW_ROOM];
    for (uint32_t i = 0; i < pConsole->dwBoards; i++) {
        const LineBoard *pBoard = &pConsole->pBoards[i];
        SafeText line = {szLine, TABLE_WIDTH, 0};
        AppendPadded(&line, pBoard->szPort, pConsole->dwPortWidth);
        AppendSafeText(&line, "  ");
        AppendLiveStatus(&line, pBoard);
        szLine[line.cchUsed++] = '\n';
        WriteText(0, szLine, line.cchUsed);
    }
    pConsole->dwTableLines = pConsole->dwBoards;
}

// ---- a board's lines

void SayBoardLine(LineBoard *pBoard, int fError, const char *pszLine) {
    if (IsInterrupting()) return;  // a port released under the board: the handler tells
    LineConsole *pConsole = pBoard->pConsole;
    std::lock_guard<std::mutex> lock(pConsole->mutex);
    if (fError && pBoard->szFirstReason[0] == '\0')
        snprintf(pBoard->szFirstReason, sizeof pBoard->szFirstReason, "%s", pszLine);
    if (pConsole->eForm == LINE_JSON) {
        JsonLine line;
        BeginBoardEvent(&line, "message", pBoard);
        AddJsonString(&line, "stream", fError ? "stderr" : "stdout");
        AddJsonString(&line, "text", pszLine);
        WriteJsonLine(&line);
    } else if (pConsole->eForm == LINE_PREFIXED) {
        char szLine[PENDING_ROOM + BOARD_NAME_ROOM + 8];
        int cch = snprintf(szLine, sizeof szLine, "[%s] %s\n", pBoard->szPort, pszLine);
        WriteText(fError, szLine, (size_t)cch < sizeof szLine ? (size_t)cch : sizeof szLine - 1);
    } else if (fError) {
        EraseLiveTable(pConsole);
        char szLine[PENDING_ROOM + BOARD_NAME_ROOM + 8];
        int cch = snprintf(szLine, sizeof szLine, "[%s] %s\n", pBoard->szPort, pszLine);
        WriteText(0, szLine, (size_t)cch < sizeof szLine ? (size_t)cch : sizeof szLine - 1);
        DrawLiveTable(pConsole);
    } else {
        snprintf(pBoard->szStatus, sizeof pBoard->szStatus, "%s", pszLine);
    }
}

// A board alone prints as it is; its first line on standard error is kept as the reason.
void PassBoardText(LineBoard *pBoard, int fError, const char *pchText, size_t cchText) {
    WriteText(fError, pchText, cchText);
    if (!fError || pBoard->szFirstReason[0] != '\0') return;
    size_t *pcch = &pBoard->rgcchPending[1];
    for (size_t i = 0; i < cchText && pBoard->szFirstReason[0] == '\0'; i++) {
        if (pchText[i] != '\n' && *pcch < REASON_ROOM - 1) {
            pBoard->rgchPending[1][(*pcch)++] = pchText[i];
        } else if (pchText[i] == '\n') {
            memcpy(pBoard->szFirstReason, pBoard->rgchPending[1], *pcch);
            pBoard->szFirstReason[*pcch] = '\0';
            *pcch = 0;
        }
    }
}

// The sink's text: whole lines go out, the rest waits for its line end.
void TakeBoardText(void *pContext, int fError, const char *pchText, size_t cchText) {
    LineBoard *pBoard = static_cast<LineBoard *>(pContext);
    if (pBoard->pConsole->eForm == LINE_PLAIN) {
        PassBoardText(pBoard, fError, pchText, cchText);
        return;
    }
    char *pchLine = pBoard->rgchPending[fError];
    size_t *pcch = &pBoard->rgcchPending[fError];
    for (size_t i = 0; i < cchText; i++) {
        if (pchText[i] != '\n' && *pcch < PENDING_ROOM - 1) {
            pchLine[(*pcch)++] = pchText[i];
            continue;
        }
        if (pchText[i] != '\n') continue;  // a line past the room is cut
        pchLine[*pcch] = '\0';
        *pcch = 0;
        SayBoardLine(pBoard, fError, pchLine);
    }
}

void EndPendingLines(LineBoard *pBoard) {
    if (pBoard->pConsole->eForm == LINE_PLAIN) {
        pBoard->rgcchPending[1] = 0;
        return;
    }
    for (int fError = 0; fError < 2; fError++) {
        if (pBoard->rgcchPending[fError] != 0) TakeBoardText(pBoard, fError, "\n", 1);
    }
}

void TakeBoardStage(void *pContext, RunStage eStage, uint32_t dwTotal) {
    LineBoard *pBoard = static_cast<LineBoard *>(pContext);
    pBoard->nStage = eStage;
    pBoard->nDone = 0;
    pBoard->nTotal = (sig_atomic_t)dwTotal;
    if (pBoard->pConsole->eForm != LINE_JSON) return;
    const char *pszStage = GetStageName(eStage);
    if (pszStage == NULL)
        pszStage = eStage == STAGE_PREPARE   ? "prepare"
                   : eStage == STAGE_MONITOR ? "monitor"
                                             : "idle";
    JsonLine line;
    BeginBoardEvent(&line, "stage", pBoard);
    AddJsonString(&line, "stage", pszStage);
    AddJsonUnsigned(&line, "total", dwTotal);
    std::lock_guard<std::mutex> lock(pBoard->pConsole->mutex);
    WriteJsonLine(&line);
}

void TakeBoardBytes(void *pContext, uint32_t dwDone, uint32_t dwTotal) {
    LineBoard *pBoard = static_cast<LineBoard *>(pContext);
    pBoard->nDone = (sig_atomic_t)dwDone;
    if (pBoard->pConsole->eForm != LINE_JSON) return;
    uint64_t qwNow = GetMonotonicMs();
    if (dwDone < dwTotal && qwNow - pBoard->qwLastProgressMs < PROGRESS_EVENT_MS) return;
    pBoard->qwLastProgressMs = qwNow;
    JsonLine line;
    BeginBoardEvent(&line, "progress", pBoard);
    AddJsonUnsigned(&line, "done", dwDone);
    AddJsonUnsigned(&line, "total", dwTotal);
    std::lock_guard<std::mutex> lock(pBoard->pConsole->mutex);
    WriteJsonLine(&line);
}

void SayResultEvent(const BoardResult *pResult) {
    JsonLine line;
    BeginBoardEvent(&line, "result", pResult->pBoard);
    AddJsonString(&line, "result", pResult->fSuccess ? "success" : "failure");
    AddJsonSigned(&line, "exit", pResult->nExit);
    AddJsonString(&line, "message", pResult->fSuccess ? "" : pResult->szReason);
    AddJsonScaled(&line, "seconds", pResult->qwMs, 3, 0);
    if (pResult->fSerial)
        AddJsonUnsigned(&line, "serial", pResult->qwSerial);
    else
        AddJsonNull(&line, "serial");
    AddJsonUnsigned(&line, "bytes", pResult->dwBytes);
    AddJsonString(&line, "output", pResult->pszOutput);
    WriteJsonLine(&line);
}

// ---- inside the interrupt handler: no locks, no stdio

// A JSON string of our own text and the user's port name: anything but plain ASCII escaped.
void AppendSafeJsonString(SafeText *pText, const char *psz) {
    static const char HEX[] = "0123456789abcdef";
    AppendSafeText(pText, "\"");
    for (; *psz != '\0'; psz++) {
        unsigned char ch = (unsigned char)*psz;
        char szOne[8] = {(char)ch, '\0'};
        if (ch == '"' || ch == '\\') {
            szOne[0] = '\\', szOne[1] = (char)ch, szOne[2] = '\0';
        } else if (ch < 0x20 || ch >= 0x7F) {
            memcpy(szOne, "\\u00", 4);
            szOne[4] = HEX[ch >> 4], szOne[5] = HEX[ch & 15], szOne[6] = '\0';
        }
        AppendSafeText(pText, szOne);
    }
    AppendSafeText(pText, "\"");
}

void AppendSafeEventStart(SafeText *pText, const char *pszEvent, const LineBoard *pBoard) {
    AppendSafeText(pText, "{\"event\":\"");
    AppendSafeText(pText, pszEvent);
    AppendSafeText(pText, "\",\"port\":");
    AppendSafeJsonString(pText, pBoard->szPort);
}

void ReportStoppedBoard(const LineConsole *pConsole, const LineBoard *pBoard) {
    char szPrefix[BOARD_NAME_ROOM + 4];
    SafeText prefix = {szPrefix, sizeof szPrefix - 1, 0};
    if (pConsole->eForm != LINE_JSON && pConsole->eForm != LINE_PLAIN) {
        AppendSafeText(&prefix, "[");
        AppendSafeText(&prefix, pBoard->szPort);
        AppendSafeText(&prefix, "] ");
    }
    szPrefix[prefix.cchUsed] = '\0';
    char szMessage[1024];
    size_t cch = FormatInterruptMessage(&pBoard->progress.stopped, szPrefix, szMessage,
                                        sizeof szMessage - 1);
    szMessage[cch] = '\0';
    if (pBoard->progress.stopped.pszLeftover != NULL)
        RemoveFileNow(pBoard->progress.stopped.pszLeftover);
    if (pConsole->eForm != LINE_JSON) {
        WriteInterruptText(1, szMessage, cch);
        return;
    }
    for (char *pszLine = szMessage; *pszLine != '\0';) {  // a message event a line
        char *pchEnd = strchr(pszLine, '\n');
        char *pszNext = pchEnd != NULL ? pchEnd + 1 : pszLine + strlen(pszLine);
        if (pchEnd != NULL) *pchEnd = '\0';
        char szEvent[2048];
        SafeText event = {szEvent, sizeof szEvent - 2, 0};
        AppendSafeEventStart(&event, "message", pBoard);
        AppendSafeText(&event, ",\"stream\":\"stderr\",\"text\":");
        AppendSafeJsonString(&event, pszLine);
        AppendSafeText(&event, "}\n");
        WriteInterruptText(0, szEvent, event.cchUsed);
        pszLine = pszNext;
    }
}

// The result event of a board that was stopped, with every field a result has.
void AppendInterruptedEvent(SafeText *pText, const LineBoard *pBoard, uint64_t qwMs, int nStatus) {
    AppendSafeEventStart(pText, "result", pBoard);
    AppendSafeText(pText, ",\"result\":\"failure\",\"exit\":");
    AppendSafeNumber(pText, (unsigned long)nStatus);
    AppendSafeText(pText, ",\"message\":\"interrupted\",\"seconds\":");
    AppendSafeNumber(pText, (unsigned long)(qwMs / 1000));
    AppendSafeText(pText, qwMs % 1000 < 10 ? ".00" : qwMs % 1000 < 100 ? ".0" : ".");
    AppendSafeNumber(pText, (unsigned long)(qwMs % 1000));
    AppendSafeText(pText, ",\"serial\":");
    if (pBoard->fSerial)
        AppendSafeNumber(pText, (unsigned long)pBoard->qwSerial);
    else
        AppendSafeText(pText, "null");
    AppendSafeText(pText, ",\"bytes\":0,\"output\":null}\n");
}

void ReportInterruptedRow(const LineConsole *pConsole, const LineBoard *pBoard, uint64_t qwNow,
                          int nStatus) {
    char szRow[ROW_ROOM];
    SafeText row = {szRow, sizeof szRow, 0};
    if (pConsole->eForm == LINE_JSON) {
        AppendInterruptedEvent(&row, pBoard, qwNow - pBoard->qwStartMs, nStatus);
    } else {
        BoardResult result = {
            pBoard,           0, nStatus, "interrupted", qwNow - pBoard->qwStartMs, pBoard->fSerial,
            pBoard->qwSerial, 0, NULL};
        AppendRow(&row, pConsole, &result);
    }
    WriteInterruptText(0, szRow, row.cchUsed);
}

void ReportSummarySoFar(const LineConsole *pConsole, unsigned long dwSucceeded,
                        unsigned long dwBoards, int nStatus) {
    char szText[ROW_ROOM];
    SafeText text = {szText, sizeof szText, 0};
    if (pConsole->eForm == LINE_JSON) {
        AppendSafeText(&text, "{\"event\":\"end\",\"exit\":");
        AppendSafeNumber(&text, (unsigned long)nStatus);
        AppendSafeText(&text, ",\"succeeded\":");
        AppendSafeNumber(&text, dwSucceeded);
        AppendSafeText(&text, ",\"boards\":");
        AppendSafeNumber(&text, dwBoards);
        AppendSafeText(&text, "}\n");
    } else {
        AppendCount(&text, pConsole, dwSucceeded, dwBoards);
    }
    WriteInterruptText(0, szText, text.cchUsed);
}

// Whether the boards' console started: it then says the run's end itself.
int g_fLineStarted = 0;

// The run's own text with --json, line by line, before any board is reached.
struct RunJsonText {
    char rgchPending[2][PENDING_ROOM];
    size_t rgcchPending[2];
};

void TakeRunJsonText(void *pContext, int fError, const char *pchText, size_t cchText) {
    RunJsonText *pText = static_cast<RunJsonText *>(pContext);
    for (size_t i = 0; i < cchText; i++) {
        size_t *pcch = &pText->rgcchPending[fError];
        if (pchText[i] != '\n') {
            if (*pcch < PENDING_ROOM - 1) pText->rgchPending[fError][(*pcch)++] = pchText[i];
            continue;
        }
        JsonLine line;
        BeginJsonObject(&line);
        AddJsonString(&line, "event", "message");
        AddJsonNull(&line, "port");
        AddJsonString(&line, "stream", fError ? "stderr" : "stdout");
        AppendJsonKeyedText(&line, pText->rgchPending[fError], *pcch);
        *pcch = 0;
        WriteJsonLine(&line);
    }
}

}  // namespace

void BindRunJsonText(void) {
    static RunJsonText text;
    static const TextSink sink = {TakeRunJsonText, &text};
    BindTextSink(&sink);
}

void SayJsonEnd(int nStatus) {
    if (g_fLineStarted) return;  // the boards' console said its own end
    JsonLine line;
    BeginJsonObject(&line);
    AddJsonString(&line, "event", "end");
    AddJsonSigned(&line, "exit", nStatus);
    AddJsonUnsigned(&line, "succeeded", 0);
    AddJsonUnsigned(&line, "boards", 0);
    WriteJsonLine(&line);
}

void StartLineConsole(LineConsole *pConsole, LineForm eForm, LineBoard *pBoards, uint32_t dwBoards,
                      const char *pszVerb) {
    pConsole->eForm = eForm;
    pConsole->pBoards = pBoards;
    pConsole->dwBoards = dwBoards;
    pConsole->pszVerb = pszVerb;
    pConsole->dwPortWidth = 4;  // "Port"
    pConsole->dwTableLines = 0;
    pConsole->nResults = pConsole->nSucceeded = pConsole->nFailed = 0;
    for (uint32_t i = 0; i < dwBoards; i++) {
        LineBoard *pBoard = &pBoards[i];
        pBoard->pConsole = pConsole;
        pBoard->sink = {TakeBoardText, pBoard};
        pBoard->nState = BOARD_READY;
        snprintf(pBoard->szStatus, sizeof pBoard->szStatus, "waiting to start");
        size_t cch = strlen(pBoard->szPort);
        if (cch > pConsole->dwPortWidth) pConsole->dwPortWidth = (uint32_t)cch;
    }
}

void SayLineStart(LineConsole *pConsole, const char *pszVersion) {
    g_fLineStarted = 1;
    if (pConsole->eForm != LINE_JSON) return;
    JsonLine line;
    BeginJsonObject(&line);
    AddJsonString(&line, "event", "start");
    AddJsonString(&line, "version", pszVersion);
    AddJsonUnsigned(&line, "boards", pConsole->dwBoards);
    WriteJsonLine(&line);
}

void BindBoardConsole(LineBoard *pBoard) {
    ProgressListener listener = {TakeBoardStage, TakeBoardBytes, pBoard};
    LineForm eForm = pBoard->pConsole->eForm;
    if (eForm == LINE_PLAIN) {
        StartRunProgress(&pBoard->progress, IsTerminalOutput() ? PROGRESS_LINE : PROGRESS_MARKS,
                         NULL);
        SetProgressColumns(&pBoard->progress, GetTerminalColumns());
    } else {
        int fMarks = eForm == LINE_PREFIXED;
        StartRunProgress(&pBoard->progress, fMarks ? PROGRESS_MARKS : PROGRESS_LISTENER,
                         fMarks ? NULL : &listener);
    }
    BindRunProgress(&pBoard->progress);
    BindTextSink(&pBoard->sink);
}

void NoteBoardRunning(LineBoard *pBoard) {
    pBoard->szFirstReason[0] = '\0';
    pBoard->qwStartMs = GetMonotonicMs();
    StartRunProgress(&pBoard->progress, pBoard->progress.eForm, &pBoard->progress.listener);
    SetProgressColumns(&pBoard->progress, GetTerminalColumns());
    pBoard->nState = BOARD_RUNNING;
}

void NoteBoardWaiting(LineBoard *pBoard) {
    pBoard->nState = BOARD_WAITING;
    if (pBoard->pConsole->eForm != LINE_JSON) return;
    JsonLine line;
    BeginBoardEvent(&line, "waiting", pBoard);
    std::lock_guard<std::mutex> lock(pBoard->pConsole->mutex);
    WriteJsonLine(&line);
}

void NoteBoardResult(LineBoard *pBoard, const BoardResult *pResult) {
    EndPendingLines(pBoard);
    LineConsole *pConsole = pBoard->pConsole;
    std::lock_guard<std::mutex> lock(pConsole->mutex);
    if (pResult->fSuccess) {
        pBoard->nBoardsDone++;
        pConsole->nSucceeded++;
    } else {
        pBoard->nBoardsFailed++;
        pConsole->nFailed++;
    }
    SafeText status = {pBoard->szStatus, sizeof pBoard->szStatus - 1, 0};
    AppendSafeText(&status, pResult->fSuccess ? "Success" : "Failure: ");
    if (!pResult->fSuccess) AppendSafeText(&status, pResult->szReason);
    pBoard->szStatus[status.cchUsed] = '\0';
    if (pConsole->nResults < MAX_RESULTS) {
        pConsole->rgResults[pConsole->nResults] = *pResult;
        pConsole->nResults++;  // the row is whole before it counts: the handler may read it
    }
    pBoard->nState = BOARD_DONE;
    if (pConsole->eForm == LINE_JSON) SayResultEvent(pResult);
}

void RedrawLineTable(LineConsole *pConsole) {
    if (pConsole->eForm != LINE_LIVE) return;
    std::lock_guard<std::mutex> lock(pConsole->mutex);
    EraseLiveTable(pConsole);
    DrawLiveTable(pConsole);
}

void SayLineSummary(LineConsole *pConsole, int nStatus) {
    if (pConsole->eForm == LINE_PLAIN) return;
    std::lock_guard<std::mutex> lock(pConsole->mutex);
    unsigned long dwBoards = (unsigned long)(pConsole->nSucceeded + pConsole->nFailed);
    if (pConsole->eForm == LINE_JSON) {
        JsonLine line;
        BeginJsonObject(&line);
        AddJsonString(&line, "event", "end");
        AddJsonSigned(&line, "exit", nStatus);
        AddJsonUnsigned(&line, "succeeded", (uint64_t)pConsole->nSucceeded);
        AddJsonUnsigned(&line, "boards", dwBoards);
        WriteJsonLine(&line);
        return;
    }
    EraseLiveTable(pConsole);
    char szRow[ROW_ROOM];
    SafeText row = {szRow, sizeof szRow, 0};
    AppendHeader(&row, pConsole);
    WriteText(0, szRow, row.cchUsed);
    // In the boards' order; a station's boards on one port in the order they came.
    for (uint32_t b = 0; b < pConsole->dwBoards; b++) {
        for (sig_atomic_t i = 0; i < pConsole->nResults; i++) {
            if (pConsole->rgResults[i].pBoard != &pConsole->pBoards[b]) continue;
            row.cchUsed = 0;
            AppendRow(&row, pConsole, &pConsole->rgResults[i]);
            WriteText(0, szRow, row.cchUsed);
        }
    }
    row.cchUsed = 0;
    AppendCount(&row, pConsole, (unsigned long)pConsole->nSucceeded, dwBoards);
    WriteText(0, szRow, row.cchUsed);
}

int ReportInterruptedLine(LineConsole *pConsole, int nStatus) {
    // The progress marks may have left standard output in mid-line; JSON lines never do.
    if (pConsole->eForm != LINE_JSON) WriteInterruptText(0, "\n", 1);
    if (pConsole->eForm == LINE_PLAIN) {
        ReportStoppedBoard(pConsole, &pConsole->pBoards[0]);
        // A board alone ends as every failed run does; the monitor's end is no failure.
        const char *pszVerdict = GetInterruptVerdict(&pConsole->pBoards[0].progress.stopped);
        WriteInterruptText(0, pszVerdict, strlen(pszVerdict));
        return nStatus;
    }
    int fAnyRunning = 0;
    for (uint32_t i = 0; i < pConsole->dwBoards; i++) {
        const LineBoard *pBoard = &pConsole->pBoards[i];
        if (pBoard->nState != BOARD_RUNNING) continue;
        fAnyRunning = 1;
        ReportStoppedBoard(pConsole, pBoard);
    }
    int nEnd = fAnyRunning ? nStatus : pConsole->nFailed == 0 ? 0 : 3;
    char szRow[ROW_ROOM];
    SafeText row = {szRow, sizeof szRow, 0};
    if (pConsole->eForm != LINE_JSON) AppendHeader(&row, pConsole);
    WriteInterruptText(0, szRow, row.cchUsed);
    for (sig_atomic_t i = 0; i < pConsole->nResults && pConsole->eForm != LINE_JSON; i++) {
        row.cchUsed = 0;
        AppendRow(&row, pConsole, &pConsole->rgResults[i]);
        WriteInterruptText(0, szRow, row.cchUsed);
    }
    uint64_t qwNow = GetMonotonicMs();
    unsigned long dwRunning = 0;
    for (uint32_t i = 0; i < pConsole->dwBoards; i++) {
        const LineBoard *pBoard = &pConsole->pBoards[i];
        if (pBoard->nState != BOARD_RUNNING) continue;
        dwRunning++;
        ReportInterruptedRow(pConsole, pBoard, qwNow, nStatus);
    }
    unsigned long dwBoards = (unsigned long)(pConsole->nSucceeded + pConsole->nFailed) + dwRunning;
    ReportSummarySoFar(pConsole, (unsigned long)pConsole->nSucceeded, dwBoards, nEnd);
    return nEnd;
}
