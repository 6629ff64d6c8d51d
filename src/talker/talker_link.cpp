#include "talker_link.h"

void DescribeLinkTarget(LinkTarget *pTarget, const PartInfo *pPart, uint32_t dwCrystalHz,
                        uint32_t dwComPort, const char *pszDevice) {
    FormatPortName(dwComPort, pszDevice, &pTarget->portName);
    pTarget->fTrace = 0;
    pTarget->pPart = pPart;
    pTarget->dwLoadLength = pPart->wBootLoadMax;
    pTarget->bConfigValue = pPart->bConfigAfterErase;
    pTarget->wEepromStart = pPart->wEepromStart;
    pTarget->wEepromEnd = pPart->wEepromEnd;
    SetTalkerClock(&pTarget->clock, dwCrystalHz);
    pTarget->dwTalkerRate = pTarget->clock.firstRate.dwRate;
}

void StartTalkerLink(TalkerLink *pLink, const LinkTarget *pTarget) {
    pLink->pTarget = pTarget;
    pLink->pPort = NULL;
    pLink->device.pOps = pLink->trace.pOps = NULL;
    pLink->pfnOpenPort = NULL;
    pLink->pOpenContext = NULL;
    pLink->fKeepOpen = IsNetworkPortName(&pTarget->portName);
    pLink->fParked = 0;
}
