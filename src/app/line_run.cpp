#include "line_run.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "board_list.h"
#include "board_loop.h"
#include "board_run.h"
#include "exit_status.h"
#include "line_console.h"
#include "os.h"
#include "run_log.h"
#include "run_target.h"
#include "say.h"
#include "serial_counter.h"
#include "sha256.h"

namespace {

const uint32_t REDRAW_MS = 100;

// What the boards' threads share: read-only, but for the counter and the log, which lock.
struct LineShared {
    const Settings *pSettings;
    const ProgramImage *pImage;
    SerialCounter *pCounter;  // NULL without --serial
    RunLog *pLog;             // NULL without --log
    char szSha256[SHA256_HEX_ROOM];
    char szHost[256];
    const char *pszOperation;  // for the log: "program", "verify", "read" or "erase"
    int fCounterOpen, fLogOpen;
    std::atomic<int> fLogFailed;
    std::atomic<uint32_t> dwThreadsDone;
    // The last board's end wakes the drawing loop at once, not at its next redraw.
    std::mutex doneLock;
    std::condition_variable doneSignal;
};

// A board's thread and what it works with.
struct BoardSlot {
    LineBoard *pBoard;
    RunTarget target;
    BoardWork *pWork;
    LineShared *pShared;
};

// The run an interrupt reports on.
LineConsole *volatile g_pInterruptedLine = NULL;

int ReportLine(int nStatus) {
    LineConsole *pConsole = g_pInterruptedLine;
    return pConsole != NULL ? ReportInterruptedLine(pConsole, nStatus) : nStatus;
}

// ---- before any board is touched

// Every "-d", then the names of "--boards"; with neither, the one port "-c" names. Returns
// EXIT_DONE, or the status of the refusal after its message.
int CollectBoards(const Settings *pSettings, BoardList *pList) {
    pList->dwCount = 0;
    for (uint32_t i = 0; i < pSettings->dwDevices; i++) {
        if (!AddBoardName(pList, pSettings->rgszDevices[i])) return EXIT_COMMAND_LINE;
    }
    if (pSettings->szBoardsFile[0] != '\0') {
        BoardsFileResult eRead = ReadBoardsFile(pList, pSettings->szBoardsFile);
        if (eRead != BOARDS_FILE_READ)
            return eRead == BOARDS_FILE_UNREADABLE ? EXIT_INPUT_FILE : EXIT_COMMAND_LINE;
    }
    if (pList->dwCount == 0) {  // the one port "-c" names
        char szCom[32];
        snprintf(szCom, sizeof szCom, "COM%u", (unsigned)pSettings->dwComPort);
        if (!AddBoardName(pList, szCom)) return EXIT_COMMAND_LINE;
        return EXIT_DONE;
    }
    if (!CheckBoardsDistinct(pList)) return EXIT_COMMAND_LINE;
    if (pSettings->fMonitor && pList->dwCount > 1) {
        fprintf(stderr, "--monitor watches one board: it can't go with several\n");
        return EXIT_COMMAND_LINE;
    }
    return EXIT_DONE;
}

// The serial number's bytes must lie in the EEPROM (the RAM is the talker's and is lost at
// reset) and must not fall on a byte the file sets.
int CheckSerialRange(const Settings *pSettings, const ProgramImage *pImage) {
    uint32_t dwFirst = pSettings->wSerialAddress;
    uint32_t dwLast = dwFirst + pSettings->dwSerialBytes - 1;
    if (dwFirst < pSettings->wEepromStart || dwLast > pSettings->wEepromEnd) {
        fprintf(stderr,
                "--serial $%04X-$%04X lies outside the EEPROM ($%04X-$%04X): the number must go "
                "where it stays after a reset\n",
                (unsigned)dwFirst, (unsigned)dwLast, pSettings->wEepromStart,
                pSettings->wEepromEnd);
        return 0;
    }
    for (uint32_t a = dwFirst; pImage != NULL && a <= dwLast; a++) {
        if (pImage->rgbState[a] == BYTE_ABSENT) continue;
        fprintf(stderr, "--serial $%04X-$%04X falls on $%04X, which %s sets\n", (unsigned)dwFirst,
                (unsigned)dwLast, (unsigned)a, pSettings->szInputFile);
        return 0;
    }
    return 1;
}

const char *OperationOf(const Settings *pSettings, const ProgramImage *pImage) {
    if (pImage != NULL) return pSettings->fVerifyOnly ? "verify" : "program";
    return pSettings->fReadBack ? "read" : "erase";
}

const char *VerbOf(const char *pszOperation) {
    if (pszOperation[0] == 'p') return "programmed";
    if (pszOperation[0] == 'v') return "verified";
    return pszOperation[0] == 'r' ? "read" : "erased";
}

// The counter and the log opened, the input's digest taken. Returns EXIT_DONE or EXIT_INPUT_FILE.
int OpenShared(LineShared *pShared, SerialCounter *pCounter, RunLog *pLog) {
    const Settings *pSettings = pShared->pSettings;
    pShared->pCounter = pShared->pSettings->fSerial ? pCounter : NULL;
    pShared->pLog = pSettings->szLogFile[0] != '\0' ? pLog : NULL;
    pShared->pszOperation = OperationOf(pSettings, pShared->pImage);
    if (pShared->pCounter != NULL) {
        if (!CheckSerialRange(pSettings, pShared->pImage)) return EXIT_INPUT_FILE;
        pShared->fCounterOpen =
            OpenSerialCounter(pCounter, pSettings->szSerialFile, pSettings->dwSerialBytes);
        if (!pShared->fCounterOpen) return EXIT_INPUT_FILE;
    }
    if (pShared->pLog != NULL) {
        pShared->fLogOpen = OpenRunLog(pLog, pSettings->szLogFile);
        if (!pShared->fLogOpen) return EXIT_INPUT_FILE;
    }
    pShared->szSha256[0] = '\0';
    const ProgramImage *pImage = pShared->pImage;
    if (pImage != NULL && pImage->pFile != NULL)
        FormatSha256((const uint8_t *)pImage->pFile->pchText, pImage->pFile->cchWhole,
                     pShared->szSha256);
    if (!GetHostName(pShared->szHost, sizeof pShared->szHost)) pShared->szHost[0] = '\0';
    return EXIT_DONE;
}

// ---- one board's thread

void WriteLogRecord(const BoardSlot *pSlot, const BoardResult *pResult) {
    const LineShared *pShared = pSlot->pShared;
    if (pShared->pLog == NULL) return;
    const Settings *pSettings = pShared->pSettings;
    LogRecord record = {GetUtcSeconds(),
                        pShared->szHost,
                        pSlot->pBoard->szPort,
                        pSettings->pPart->pszName,
                        pSettings->dwCrystalHz,
                        pSettings->szInputFile,
                        pShared->szSha256[0] != '\0' ? pShared->szSha256 : NULL,
                        pShared->pszOperation,
                        pResult->fSerial,
                        pResult->qwSerial,
                        pResult->fSuccess,
                        pResult->nExit,
                        pResult->fSuccess ? "" : pResult->szReason,
                        pResult->qwMs,
                        pResult->dwBytes,
                        HC11PROG_VERSION};
    if (!AppendLogRecord(pShared->pLog, &record)) pSlot->pShared->fLogFailed = 1;
}

// The board's own number, taken before the board is touched and spent whatever happens next.
// Returns EXIT_DONE with the number in *pPatch, or the board's failure after its message.
int TakeBoardSerial(BoardSlot *pSlot, ImagePatch *pPatch) {
    LineShared *pShared = pSlot->pShared;
    LineBoard *pBoard = pSlot->pBoard;
    pPatch->dwLength = 0;
    if (pShared->pCounter == NULL) return EXIT_DONE;
    uint64_t qwNumber = 0;
    SerialTake eTake = TakeSerialNumber(pShared->pCounter, &qwNumber);
    uint32_t dwBytes = pShared->pSettings->dwSerialBytes;
    if (eTake == SERIAL_EXHAUSTED) {
        char szWhy[REASON_ROOM];
        DescribeSerialExhausted(qwNumber, dwBytes, szWhy, sizeof szWhy);
        SayErr("%s: the board was not touched\n", szWhy);
    }
    if (eTake != SERIAL_TAKEN) return EXIT_TARGET;
    pBoard->qwSerial = qwNumber;
    pBoard->fSerial = 1;
    pPatch->wAddress = pShared->pSettings->wSerialAddress;
    pPatch->dwLength = dwBytes;
    EncodeSerialNumber(qwNumber, dwBytes, pPatch->rgbValue);
    SayOut("Serial number %llu at $%04X\n", (unsigned long long)qwNumber, pPatch->wAddress);
    return EXIT_DONE;
}

void RunOneBoard(BoardSlot *pSlot, const RunTarget *pTarget) {
    LineBoard *pBoard = pSlot->pBoard;
    pBoard->fSerial = 0;
    NoteBoardRunning(pBoard);
    ImagePatch patch;
    BoardOutcome outcome = {TakeBoardSerial(pSlot, &patch), 0};
    if (outcome.nStatus == EXIT_DONE)
        outcome = RunBoard(pTarget, pSlot->pShared->pImage, &patch, pSlot->pWork);
    // Its port may have been released by the interrupt: the handler reports the board as
    // stopped and ends the process.
    while (IsInterrupting()) std::this_thread::sleep_for(std::chrono::seconds(1));
    BoardResult result = {pBoard,
                          outcome.nStatus == EXIT_DONE,
                          outcome.nStatus,
                          "",
                          GetMonotonicMs() - pBoard->qwStartMs,
                          pBoard->fSerial,
                          pBoard->qwSerial,
                          outcome.dwBytes,
                          NULL};
    if (result.fSuccess && pTarget->fReadBack) result.pszOutput = pTarget->readBack.szName;
    snprintf(result.szReason, sizeof result.szReason, "%s", pBoard->szFirstReason);
    WriteLogRecord(pSlot, &result);
    NoteBoardResult(pBoard, &result);
}

void NoteWaiting(void *pvBoard) {
    NoteBoardWaiting((LineBoard *)pvBoard);
}

// At a station the port takes board after board until --count, a wait that --wait ends, or
// Ctrl-C; the reset and mode lines are moved for the first board alone.
void RunBoardThread(BoardSlot *pSlot) {
    BindBoardConsole(pSlot->pBoard);
    const Settings *pSettings = pSlot->pShared->pSettings;
    RunTarget target = pSlot->target;
    for (uint32_t n = 0;; n++) {
        if (n > 0) {
            target.lines.fBoardAnnounced = 1;
            TalkerLink link;
            StartTalkerLink(&link, &target.link);
            if (WaitForNextBoard(&link, pSettings->dwWaitSeconds, NoteWaiting, pSlot->pBoard) !=
                LINK_DONE)
                break;
        }
        RunOneBoard(pSlot, &target);
        if (!pSettings->fStation) break;
        if (pSettings->dwStationCount != 0 && n + 1 >= pSettings->dwStationCount) break;
    }
    pSlot->pBoard->nState = BOARD_DONE;
    BindTextSink(NULL);
    BindRunProgress(NULL);
    LineShared *pShared = pSlot->pShared;
    {
        std::lock_guard<std::mutex> guard(pShared->doneLock);
        pShared->dwThreadsDone++;
    }
    pShared->doneSignal.notify_all();
}

// ---- the run

LineForm ChooseLineForm(const Settings *pSettings, uint32_t dwBoards) {
    if (pSettings->fJson) return LINE_JSON;
    if (dwBoards == 1 && !pSettings->fStation) return LINE_PLAIN;
    return CanRedrawLines() ? LINE_LIVE : LINE_PREFIXED;
}

// Each board by its name; a run named by "-c" alone opens the port that number names.
int DescribeTargets(const Settings *pSettings, const BoardList *pList, BoardSlot *pSlots) {
    int fComPort = pSettings->dwDevices == 0 && pSettings->szBoardsFile[0] == '\0';
    for (uint32_t i = 0; i < pList->dwCount; i++) {
        uint32_t dwPosition = pList->dwCount > 1 ? i + 1 : 0;
        const char *pszDevice = fComPort ? NULL : pList->rgszName[i];
        if (!DescribeRunTarget(pSettings, pszDevice, dwPosition, &pSlots[i].target)) return 0;
    }
    return 1;
}

// The boards' threads, and the live table drawn while they run.
void RunThreads(LineConsole *pConsole, BoardSlot *pSlots, uint32_t dwBoards, LineShared *pShared) {
    std::unique_ptr<std::thread[]> threads(new std::thread[dwBoards]);
    for (uint32_t i = 0; i < dwBoards; i++) threads[i] = std::thread(RunBoardThread, &pSlots[i]);
    auto allDone = [pShared, dwBoards] { return pShared->dwThreadsDone >= dwBoards; };
    while (!allDone()) {
        RedrawLineTable(pConsole);
        std::unique_lock<std::mutex> guard(pShared->doneLock);
        pShared->doneSignal.wait_for(guard, std::chrono::milliseconds(REDRAW_MS), allDone);
    }
    for (uint32_t i = 0; i < dwBoards; i++) threads[i].join();
}

int RunBoardList(const Settings *pSettings, const BoardList *pList, LineShared *pShared) {
    uint32_t dwBoards = pList->dwCount;
    std::unique_ptr<LineBoard[]> boards(new LineBoard[dwBoards]());
    std::unique_ptr<BoardSlot[]> slots(new BoardSlot[dwBoards]());
    std::unique_ptr<BoardWork[]> work(new BoardWork[dwBoards]);
    if (!DescribeTargets(pSettings, pList, slots.get())) return EXIT_INPUT_FILE;
    for (uint32_t i = 0; i < dwBoards; i++) {
        snprintf(boards[i].szPort, sizeof boards[i].szPort, "%s", pList->rgszName[i]);
        slots[i] = {&boards[i], slots[i].target, &work[i], pShared};
    }
    static LineConsole console;  // the interrupt handler reads it
    StartLineConsole(&console, ChooseLineForm(pSettings, dwBoards), boards.get(), dwBoards,
                     VerbOf(pShared->pszOperation));
    console.fSerialColumn = (int)pSettings->fSerial;
    console.fOutputColumn = (int)pSettings->fReadBack;
    console.fStation = (int)pSettings->fStation;
    g_pInterruptedLine = &console;
    SetInterruptReport(ReportLine);
    InstallInterruptHandlers();
    SayLineStart(&console, HC11PROG_VERSION);
    RunThreads(&console, slots.get(), dwBoards, pShared);
    int nStatus = console.nFailed == 0 && !pShared->fLogFailed ? EXIT_DONE : EXIT_TARGET;
    // A board alone ends with its own status, as a run of one board always has.
    if (dwBoards == 1 && !pSettings->fStation && console.nResults == 1 &&
        console.rgResults[0].nExit != EXIT_DONE)
        nStatus = console.rgResults[0].nExit;
    SayLineSummary(&console, nStatus);
    g_pInterruptedLine = NULL;
    return nStatus;
}

}  // namespace

int RunBoards(const Settings *pSettings, const ProgramImage *pImage) {
    static BoardList list;  // 33 KB: not on the stack
    int nStatus = CollectBoards(pSettings, &list);
    if (nStatus != EXIT_DONE) return nStatus;
    static SerialCounter counter;
    static RunLog log;
    static LineShared shared;
    shared.pSettings = pSettings;
    shared.pImage = pImage;
    nStatus = OpenShared(&shared, &counter, &log);
    if (nStatus == EXIT_DONE) nStatus = RunBoardList(pSettings, &list, &shared);
    if (shared.fCounterOpen) CloseSerialCounter(&counter);
    if (shared.fLogOpen) CloseRunLog(&log);
    return nStatus;
}
