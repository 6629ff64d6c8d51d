// The serial port of another machine, reached over TCP through a Telnet COM-PORT-OPTION
// server (RFC 2217), such as ser2net with a telnet(rfc2217) accepter.
#pragma once

#include <cstdint>

#include "port.h"

// Opens pszUrl, "rfc2217://HOST:PORT" (HOST a name, an IPv4 address or [an IPv6 address]),
// and sets its line to dwBaudRate 8N1. Returns 1, or 0 after one message on standard error
// naming the port.
int OpenRfc2217Port(Port *pPort, const char *pszUrl, uint32_t dwBaudRate);
