// The platform layer's own functions on Windows; the serial calls are the system's.
#include <csignal>
#include <cstdio>

#include "interrupt.h"
#include "platform.h"

namespace {

const char *HintForError(DWORD dwError) {
    switch (dwError) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "no such port: check the COM number in the Device Manager";
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return "another program holds the port: close it and try again";
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_PARAMETER:
            return "not a serial device";
        default:
            return NULL;
    }
}

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
BOOL WINAPI OnConsoleEvent(DWORD dwEvent) {
    char szMessage[256];
    size_t cchMessage = FormatInterruptMessage(szMessage, sizeof(szMessage));
    // The C runtime holds the file open without delete sharing, so this may fail: the file
    // then stays under its temporary name, never under the one asked for.
    const char *pszLeftover = GetInterruptLeftover();
    if (pszLeftover != NULL) DeleteFileA(pszLeftover);
    DWORD dwWritten = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "\n", 1, &dwWritten, NULL);
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), szMessage, (DWORD)cchMessage, &dwWritten, NULL);
    ExitProcess((UINT)(128 + SignalOfEvent(dwEvent)));
    return TRUE;
}

}  // namespace

void DescribePortError(DWORD dwError, char *pszHint, size_t cchHint) {
    char szSystem[PORT_HINT_ROOM] = "";
    DWORD cchSystem = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     NULL, dwError, 0, szSystem, sizeof(szSystem), NULL);
    while (cchSystem > 0 && (szSystem[cchSystem - 1] == '\n' || szSystem[cchSystem - 1] == '\r' ||
                             szSystem[cchSystem - 1] == '.')) {
        szSystem[--cchSystem] = '\0';
    }
    const char *pszHintText = HintForError(dwError);
    if (pszHintText == NULL) {
        snprintf(pszHint, cchHint, "%s", szSystem);
    } else {
        snprintf(pszHint, cchHint, "%s: %s", szSystem, pszHintText);
    }
}

void InstallInterruptHandlers(void) {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

// A console answers GetConsoleMode; a pipe or a file does not.
int IsTerminalOutput(void) {
    DWORD dwMode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &dwMode) != 0;
}
