// Stands in for rfc2217_port.cpp in a tree that does not have it yet.
#include <cstdio>

#include "rfc2217_port.h"

int OpenRfc2217Port(Port *pPort, const char *pszUrl, uint32_t) {
    pPort->pOps = NULL;
    fprintf(stderr, "%s: this build has no network ports\n", pszUrl);
    return 0;
}
