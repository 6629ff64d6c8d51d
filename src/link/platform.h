// What the platform layer offers besides the serial calls of win32_serial.h: the system's
// words for a port error, and the handling of an interrupted run. Implemented once per
// platform (win32_on_posix.cpp, win32_platform.cpp).
#pragma once

#include <cstddef>

#include "win32_serial.h"

enum { PORT_HINT_ROOM = 640 };

// The system's text for an error of a port call (GetLastError's value), and a hint on what
// to do for the usual causes: no such port, permission denied, busy, not a serial device.
void DescribePortError(DWORD dwError, char *pszHint, size_t cchHint);

// From here on Ctrl-C, SIGTERM and SIGHUP (on Windows Ctrl-C, Ctrl-Break and closing the
// console) end the process at once: every open port is released (exclusive use ended, its
// line settings from before the open restored), the interrupt message (interrupt.h) is
// written to standard error, and the exit status is 128 + the signal number.
void InstallInterruptHandlers(void);

// Whether standard output is a terminal (a console on Windows), where progress is one line
// that rewrites itself.
int IsTerminalOutput(void);
