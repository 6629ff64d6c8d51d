#include "port_name.h"

#include <cstdio>
#include <cstring>

void FormatPortName(uint32_t dwComPort, const char *pszDevice, PortName *pName) {
    if (pszDevice != NULL && pszDevice[0] != '\0') {
        snprintf(pName->szOpen, sizeof(pName->szOpen), "%s", pszDevice);
        snprintf(pName->szShown, sizeof(pName->szShown), "%s", pszDevice);
        return;
    }
#ifdef _WIN32
    snprintf(pName->szOpen, sizeof(pName->szOpen), "\\\\.\\COM%u", (unsigned)dwComPort);
    snprintf(pName->szShown, sizeof(pName->szShown), "COM%u", (unsigned)dwComPort);
#else
    if (dwComPort == 0) {
        pName->szOpen[0] = '\0';  // names no device: the open fails with "no such file"
        snprintf(pName->szShown, sizeof(pName->szShown), "COM0");
        return;
    }
    snprintf(pName->szOpen, sizeof(pName->szOpen), "/dev/ttyS%u", (unsigned)dwComPort - 1);
    snprintf(pName->szShown, sizeof(pName->szShown), "%s", pName->szOpen);
#endif
}

int IsNetworkPortName(const PortName *pName) {
    static const char RFC2217_SCHEME[] = "rfc2217://";
    return strncmp(pName->szOpen, RFC2217_SCHEME, sizeof(RFC2217_SCHEME) - 1) == 0;
}
