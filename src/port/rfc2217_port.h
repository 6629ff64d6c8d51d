// A serial port on another machine, served over TCP with the Telnet COM-PORT-OPTION (RFC 2217).
#pragma once

#include <cstdint>

#include "port.h"

// pszUrl is "rfc2217://host:port". Returns 1, or 0 after a message.
int OpenRfc2217Port(Port *pPort, const char *pszUrl, uint32_t dwBaudRate);
