// What the tool needs of the operating system beyond the serial port: the handling of an
// interrupted run, and whether standard output is a console and how wide. Implemented once per
// platform (posix_os.cpp, win32_os.cpp).
#pragma once

#include <cstdint>

// From here on Ctrl-C, SIGTERM and SIGHUP (on Windows Ctrl-C, Ctrl-Break and closing the
// console) end the process at once: every open port is released (exclusive use ended, its
// line settings from before the open restored), the message of the stopped run
// (stopped_run.h) is written to standard error, and the exit status is 128 + the signal
// number.
void InstallInterruptHandlers(void);

// Whether standard output is a terminal (a console on Windows), where progress is one line
// that rewrites itself.
int IsTerminalOutput(void);

// The width of the terminal on standard output in columns, 0 when it is none or does not say.
uint32_t GetTerminalColumns(void);

// A clock in milliseconds that only goes forward, for time limits.
uint64_t GetMonotonicMs(void);
