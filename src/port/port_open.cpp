#include "port_open.h"

#include <cstdio>
#include <cstring>

#include "native_port.h"
#include "rfc2217_port.h"
#include "say.h"

int OpenPortByName(Port *pPort, const PortName *pName, uint32_t dwBaudRate) {
    pPort->pOps = NULL;
    if (IsNetworkPortName(pName)) return OpenRfc2217Port(pPort, pName->szOpen, dwBaudRate);
    return OpenNativePort(pPort, pName->szOpen, pName->szShown, dwBaudRate);
}

void PrintPortError(const Port *pPort) {
    char szWords[PORT_ERROR_ROOM];
    DescribePortError(pPort, szWords, sizeof(szWords));
    SayErr("%s: %s\n", pPort->szName, szWords);
}

void PrintRateRefused(const Port *pPort, uint32_t dwBaudRate) {
    SayErr(
        "%s: the port can't be set to %u baud 8N1 (some adapters can't make the chip's fast "
        "rates: try a lower -b)\n",
        pPort->szName, (unsigned)dwBaudRate);
}
