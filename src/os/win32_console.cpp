// The console on Windows: key events through the console API, or bytes from a pipe or file.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "console.h"

namespace {

DWORD g_dwModeBefore = 0;
volatile LONG g_fChanged = 0;

int IsConsoleHandle(HANDLE hInput) {
    DWORD dwMode = 0;
    return GetConsoleMode(hInput, &dwMode) != 0;
}

// The characters of the key presses waiting in the console, without waiting for more.
int ReadKeyEvents(HANDLE hInput, uint8_t *pbBuffer, uint32_t dwLength, uint32_t *pdwRead) {
    INPUT_RECORD rgRecords[32];
    DWORD dwEvents = 0;
    if (!GetNumberOfConsoleInputEvents(hInput, &dwEvents)) return 0;
    if (dwEvents == 0) return 1;
    if (dwEvents > 32) dwEvents = 32;
    if (!ReadConsoleInputA(hInput, rgRecords, dwEvents, &dwEvents)) return 0;
    for (DWORD i = 0; i < dwEvents && *pdwRead < dwLength; i++) {
        const KEY_EVENT_RECORD &key = rgRecords[i].Event.KeyEvent;
        if (rgRecords[i].EventType != KEY_EVENT || !key.bKeyDown) continue;
        if (key.uChar.AsciiChar != 0) pbBuffer[(*pdwRead)++] = (uint8_t)key.uChar.AsciiChar;
    }
    return 1;
}

// A pipe says how much it holds; a file is read as it comes.
int ReadPipeOrFile(HANDLE hInput, uint8_t *pbBuffer, uint32_t dwLength, uint32_t dwTimeoutMs,
                   uint32_t *pdwRead) {
    DWORD dwAvailable = 0;
    if (PeekNamedPipe(hInput, NULL, 0, NULL, &dwAvailable, NULL)) {
        if (dwAvailable == 0) {
            Sleep(dwTimeoutMs);
            if (!PeekNamedPipe(hInput, NULL, 0, NULL, &dwAvailable, NULL)) return 0;
            if (dwAvailable == 0) return 1;
        }
        if (dwAvailable < dwLength) dwLength = dwAvailable;
    } else if (GetLastError() == ERROR_BROKEN_PIPE) {
        return 0;
    }
    DWORD dwGot = 0;
    if (!ReadFile(hInput, pbBuffer, dwLength, &dwGot, NULL) || dwGot == 0) return 0;
    *pdwRead = dwGot;
    return 1;
}

}  // namespace

int IsTerminalInput(void) {
    return IsConsoleHandle(GetStdHandle(STD_INPUT_HANDLE));
}

// Processed input stays on: Ctrl-C reaches the console handler, which restores the mode.
int EnterKeyByKeyConsole(void) {
    HANDLE hInput = GetStdHandle(STD_INPUT_HANDLE);
    if (!GetConsoleMode(hInput, &g_dwModeBefore) || g_fChanged) return 1;
    DWORD dwMode = g_dwModeBefore & ~(DWORD)(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT);
    g_fChanged = 1;
    if (SetConsoleMode(hInput, dwMode)) return 1;
    g_fChanged = 0;
    return 0;
}

void RestoreConsole(void) {
    if (InterlockedExchange(&g_fChanged, 0) == 0) return;
    SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), g_dwModeBefore);
}

int ReadConsoleBytes(uint8_t *pbBuffer, uint32_t dwLength, uint32_t dwTimeoutMs,
                     uint32_t *pdwRead) {
    HANDLE hInput = GetStdHandle(STD_INPUT_HANDLE);
    *pdwRead = 0;
    if (!IsConsoleHandle(hInput))
        return ReadPipeOrFile(hInput, pbBuffer, dwLength, dwTimeoutMs, pdwRead);
    if (WaitForSingleObject(hInput, dwTimeoutMs) != WAIT_OBJECT_0) return 1;
    return ReadKeyEvents(hInput, pbBuffer, dwLength, pdwRead);
}
