// The interrupt handler and the console on Windows.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstring>

#include "console.h"
#include "os.h"

namespace {

// The console's events as the signals they stand for, for the exit status.
int SignalOfEvent(DWORD dwEvent) {
    switch (dwEvent) {
        case CTRL_C_EVENT:
            return SIGINT;
        case CTRL_BREAK_EVENT:
            return SIGBREAK;
        default:
            return SIGTERM;
    }
}

// Runs on a thread of its own: the process ends here, and Windows releases the port with it.
volatile InterruptReportFn g_pfnReport = NULL;
std::atomic<int> g_fInterrupting(0);

BOOL WINAPI OnConsoleEvent(DWORD dwEvent) {
    g_fInterrupting = 1;
    RestoreConsole();
    InterruptReportFn pfnReport = g_pfnReport;
    int nStatus = 128 + SignalOfEvent(dwEvent);
    ExitProcess((UINT)(pfnReport != NULL ? pfnReport(nStatus) : nStatus));
    return TRUE;
}

}  // namespace

void InstallInterruptHandlers(void) {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void SetInterruptReport(InterruptReportFn pfnReport) {
    g_pfnReport = pfnReport;
}

int IsInterrupting(void) {
    return g_fInterrupting;
}

void WriteInterruptText(int fError, const char *pchText, size_t cchText) {
    DWORD dwWritten = 0;
    WriteFile(GetStdHandle(fError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE), pchText, (DWORD)cchText,
              &dwWritten, NULL);
}

// The C runtime holds the file open without delete sharing, so this may fail: the file then
// stays under its temporary name, never under the one asked for.
void RemoveFileNow(const char *pszPath) {
    DeleteFileA(pszPath);
}

// A console answers GetConsoleMode; a pipe or a file does not.
int IsTerminalOutput(void) {
    DWORD dwMode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &dwMode) != 0;
}

uint32_t GetTerminalColumns(void) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
    return (uint32_t)(info.srWindow.Right - info.srWindow.Left + 1);
}

// The line of each board is redrawn only where escape sequences are sure to work.
int CanRedrawLines(void) {
    return 0;
}

uint64_t GetMonotonicMs(void) {
    return (uint64_t)GetTickCount64();
}
