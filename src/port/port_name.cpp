#include "port_name.h"

#include <cstdio>

namespace {

// The user's name as messages show it: control bytes as \xHH, so that none breaks a message.
void EscapeControlBytes(const char *pszName, char *pszShown, size_t cchShown) {
    size_t cchUsed = 0;
    for (const char *pch = pszName; *pch != '\0' && cchUsed + 5 <= cchShown; pch++) {
        unsigned char ch = (unsigned char)*pch;
        const char *pszForm = ch < 0x20 || ch == 0x7F ? "\\x%02X" : "%c";
        cchUsed += (size_t)snprintf(pszShown + cchUsed, cchShown - cchUsed, pszForm, ch);
    }
    pszShown[cchUsed < cchShown ? cchUsed : cchShown - 1] = '\0';
}

}  // namespace

void FormatPortName(uint32_t dwComPort, const char *pszDevice, PortName *pName) {
    if (pszDevice != NULL && pszDevice[0] != '\0') {
        snprintf(pName->szOpen, sizeof(pName->szOpen), "%s", pszDevice);
        EscapeControlBytes(pszDevice, pName->szShown, sizeof(pName->szShown));
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
