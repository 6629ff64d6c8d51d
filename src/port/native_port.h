// The serial devices of the machine the tool runs on: termios on Linux and macOS
// (posix_port.cpp), the Win32 communications calls on Windows (win32_port.cpp).
#pragma once

#include <cstdint>

#include "port.h"

// Opens pszOpen (called pszShown in messages) for this process alone, at dwBaudRate, 8N1, raw,
// with the low-latency request where the system has one. Returns 1, or 0 after the message.
int OpenNativePort(Port *pPort, const char *pszOpen, const char *pszShown, uint32_t dwBaudRate);

// Async-signal-safe: gives every native port still open its line settings back, ends its
// exclusive use and closes it, for a process about to end. Windows does this by itself.
void ReleaseNativePorts(void);
