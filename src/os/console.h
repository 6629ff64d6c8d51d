// The user's terminal (on Windows the console) as the monitor uses it: keys as they are typed,
// without echo or line editing; Ctrl-C still interrupts. Implemented once per platform
// (posix_console.cpp, win32_console.cpp).
#pragma once

#include <cstdint>

// Whether standard input is a terminal (a console on Windows).
int IsTerminalInput(void);

// Puts a terminal on standard input into key-by-key mode, its state before kept for
// RestoreConsole. Returns 1 (also when standard input is no terminal: nothing to change), 0
// when the terminal refused.
int EnterKeyByKeyConsole(void);

// Gives the terminal back its state from before EnterKeyByKeyConsole; nothing when it was not
// changed. Async-signal-safe (the interrupt handler calls it), and safe to call twice.
void RestoreConsole(void);

// Reads what was typed or piped in: waits at most dwTimeoutMs for a first byte. Returns 1
// with *pdwRead bytes (0 when none came), 0 at the end of input or on an error.
int ReadConsoleBytes(uint8_t *pbBuffer, uint32_t dwLength, uint32_t dwTimeoutMs, uint32_t *pdwRead);
