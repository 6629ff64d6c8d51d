#include "run_target.h"

#include <cstdio>
#include <cstring>

#include "say.h"

namespace {

void DescribeLinkChoices(const Settings *pSettings, const char *pszDevice, LinkTarget *pLink) {
    DescribeLinkTarget(pLink, pSettings->pPart, pSettings->dwCrystalHz, pSettings->dwComPort,
                       pszDevice != NULL ? pszDevice : pSettings->szDevice);
    pLink->fTrace = (int)pSettings->fVerbose;
    pLink->bConfigValue = pSettings->bConfigValue;
    pLink->wEepromStart = pSettings->wEepromStart;
    pLink->wEepromEnd = pSettings->wEepromEnd;
    pLink->dwTalkerRate = pSettings->dwTalkerRate;
}

void DescribeLines(const Settings *pSettings, BoardLines *pLines) {
    pLines->dwResetLine = pSettings->dwResetLine;
    pLines->dwModeLine = pSettings->dwModeLine;
    pLines->fInvertLines = (int)pSettings->fInvertLines;
    pLines->fRun = (int)pSettings->fRun;
    pLines->dwWaitSeconds = pSettings->dwWaitSeconds;
    pLines->fMonitor = (int)pSettings->fMonitor;
    pLines->monitor = {pSettings->dwMonitorRate, (int)pSettings->fMonitorRaw,
                       pSettings->dwMonitorSeconds};
    pLines->fBoardAnnounced = 0;
}

// "back.s19" as the board's own "back.2.s19": the position before the extension of the name's
// last part, or at its end when it has none.
int NameForPosition(const char *pszName, uint32_t dwPosition, char *pszOut, size_t cchOut) {
    const char *pszBase = strrchr(pszName, '/');
    const char *pszBackslash = strrchr(pszName, '\\');
    if (pszBackslash != NULL && (pszBase == NULL || pszBackslash > pszBase)) pszBase = pszBackslash;
    pszBase = pszBase != NULL ? pszBase + 1 : pszName;
    const char *pszDot = strrchr(pszBase, '.');
    size_t cchStem =
        pszDot != NULL && pszDot != pszBase ? (size_t)(pszDot - pszName) : strlen(pszName);
    int cch = snprintf(pszOut, cchOut, "%.*s.%u%s", (int)cchStem, pszName, (unsigned)dwPosition,
                       pszName + cchStem);
    return cch > 0 && (size_t)cch < cchOut;
}

int DescribeReadBack(const Settings *pSettings, uint32_t dwPosition, ReadBackRequest *pRead) {
    pRead->wStart = pSettings->wReadStart;
    pRead->wEnd = pSettings->wReadEnd;
    if (dwPosition == 0) {
        snprintf(pRead->szName, sizeof pRead->szName, "%s", pSettings->szOutputFile);
        return 1;
    }
    if (NameForPosition(pSettings->szOutputFile, dwPosition, pRead->szName, sizeof pRead->szName))
        return 1;
    SayErr("File Error: the output name %s is too long with the board's number\n",
           pSettings->szOutputFile);
    return 0;
}

}  // namespace

int DescribeRunTarget(const Settings *pSettings, const char *pszDevice, uint32_t dwPosition,
                      RunTarget *pTarget) {
    DescribeLinkChoices(pSettings, pszDevice, &pTarget->link);
    DescribeLines(pSettings, &pTarget->lines);
    pTarget->pszInputName = pSettings->szInputFile;
    pTarget->fBulkErase = (int)pSettings->fBulkErase;
    pTarget->fExpandedBus = (int)pSettings->fExpandedBus;
    pTarget->fVerifyOnly = (int)pSettings->fVerifyOnly;
    pTarget->fReadBack = (int)pSettings->fReadBack;
    pTarget->fLoopAlone = IsLoopAloneAsked(pSettings);
    return DescribeReadBack(pSettings, dwPosition, &pTarget->readBack);
}

int IsLoopAloneAsked(const Settings *pSettings) {
    return (pSettings->fRun || pSettings->fMonitor) && pSettings->szInputFile[0] == '\0' &&
           !pSettings->fReadBack && !pSettings->fBulkErase;
}
