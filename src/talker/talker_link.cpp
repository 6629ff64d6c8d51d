#include "talker_link.h"

void StartTalkerLink(TalkerLink *pLink, uint32_t dwComPort, const char *pszDevice) {
    const PartInfo *pPart = GetDefaultPart();
    FormatPortName(dwComPort, pszDevice, &pLink->portName);
    pLink->fTrace = 0;
    pLink->pPart = pPart;
    pLink->dwLoadLength = pPart->wBootLoadMax;
    pLink->bConfigValue = pPart->bConfigAfterErase;
    pLink->wEepromStart = pPart->wEepromStart;
    pLink->wEepromEnd = pPart->wEepromEnd;
    pLink->dwTalkerRate = TALKER_BAUD_RATE;
    SetTalkerClock(&pLink->clock, DEFAULT_CRYSTAL_HZ);
    pLink->pPort = NULL;
    pLink->device.pOps = pLink->trace.pOps = NULL;
    pLink->pfnOpenPort = NULL;
    pLink->pOpenContext = NULL;
}
