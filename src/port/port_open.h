// Opening a port of whichever kind its name says: "rfc2217://host:port" is a port served over
// the network, anything else a serial device of this machine.
#pragma once

#include <cstdint>

#include "port.h"
#include "port_name.h"

// Opens the port at dwBaudRate, 8N1, raw, no flow control, for this process alone. Returns 1,
// or 0 after printing why on standard error (the port then stays closed).
int OpenPortByName(Port *pPort, const PortName *pName, uint32_t dwBaudRate);

// What every kind of port prints when an operation failed: "<port>: <the system's words>".
void PrintPortError(const Port *pPort);

// What every kind of port prints when the line refuses a rate at the open.
void PrintRateRefused(const Port *pPort, uint32_t dwBaudRate);
