// What the tool needs of the operating system beyond the serial port: the handling of an
// interrupted run, and whether standard output is a console and how wide. Implemented once per
// platform (posix_os.cpp, win32_os.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

// From here on Ctrl-C, SIGTERM and SIGHUP (on Windows Ctrl-C, Ctrl-Break and closing the
// console) end the process at once: every open port is released (exclusive use ended, its
// line settings from before the open restored), the report set with SetInterruptReport says
// where the runs stopped, and the exit status is 128 + the signal number.
void InstallInterruptHandlers(void);

// What the handler says of the runs, called once the ports are released, with the status the
// process ends with unless it returns another (a station that only waited ends as its boards
// did). It runs inside the handler: async-signal-safe, writing with WriteInterruptText alone.
typedef int (*InterruptReportFn)(int nStatus);
void SetInterruptReport(InterruptReportFn pfnReport);

// Whether the handler has begun: from then on a port may be released under a board's thread,
// whose failure is the interrupt's and is reported by the handler, not by the thread.
int IsInterrupting(void);

// Writes to standard error (fError) or standard output from inside the handler.
void WriteInterruptText(int fError, const char *pchText, size_t cchText);

// Removes a file from inside the handler (a file written under a temporary name).
void RemoveFileNow(const char *pszPath);

// Whether standard output is a terminal (a console on Windows), where progress is one line
// that rewrites itself.
int IsTerminalOutput(void);

// The width of the terminal on standard output in columns, 0 when it is none or does not say.
uint32_t GetTerminalColumns(void);

// Whether standard output is a terminal that moves its cursor up on request, where several
// boards' lines are redrawn in place.
int CanRedrawLines(void);

// A clock in milliseconds that only goes forward, for time limits.
uint64_t GetMonotonicMs(void);
