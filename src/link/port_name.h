// Which device a port number or a "-d" name opens, and how messages name it.
#pragma once

#include "win32_serial.h"

enum { MAX_PORT_NAME = 280 };

struct PortName {
    char szOpen[MAX_PORT_NAME];   // what CreateFileA is given
    char szShown[MAX_PORT_NAME];  // what messages call it
};

// With a device name, both are that name. Otherwise, on Windows port n opens "\\.\COMn"
// (so that COM10 and above work) and is called "COMn"; on Linux and macOS port n is
// /dev/ttyS(n-1), the usual numbering, and port 0, which names no device, is called "COM0" and
// opens nothing.
void FormatPortName(DWORD dwComPort, const char *pszDevice, PortName *pName);
