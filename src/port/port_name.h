// Which device a port number or a "-d" name opens, and how messages name it.
#pragma once

#include <cstdint>

#include "port.h"

struct PortName {
    char szOpen[PORT_NAME_ROOM];   // what the system is given to open
    char szShown[PORT_NAME_ROOM];  // what messages call it
};

// With a device name, both are that name. Otherwise, on Windows port n opens "\\.\COMn"
// (so that COM10 and above work) and is called "COMn"; on Linux and macOS port n is
// /dev/ttyS(n-1), the usual numbering, and port 0, which names no device, is called "COM0" and
// opens nothing.
void FormatPortName(uint32_t dwComPort, const char *pszDevice, PortName *pName);

// Whether the name is a port served over the network ("rfc2217://host:port").
int IsNetworkPortName(const PortName *pName);
