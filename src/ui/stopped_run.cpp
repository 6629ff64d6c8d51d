#include "stopped_run.h"

#include <csignal>

void AppendSafeText(SafeText *pBuilder, const char *psz) {
    for (; *psz != '\0' && pBuilder->cchUsed < pBuilder->cchRoom; psz++) {
        pBuilder->pch[pBuilder->cchUsed++] = *psz;
    }
}

void AppendSafeNumber(SafeText *pBuilder, unsigned long dwValue) {
    char szDigits[24];
    size_t i = sizeof(szDigits) - 1;
    szDigits[i] = '\0';
    do {
        szDigits[--i] = (char)('0' + dwValue % 10);
        dwValue /= 10;
    } while (dwValue != 0);
    AppendSafeText(pBuilder, &szDigits[i]);
}

namespace {

void AppendCount(SafeText *pBuilder, const StoppedRun *pStopped, const char *pszWhat) {
    AppendSafeText(pBuilder, "Interrupted: ");
    AppendSafeNumber(pBuilder, (unsigned long)pStopped->nDone);
    AppendSafeText(pBuilder, " of ");
    AppendSafeNumber(pBuilder, (unsigned long)pStopped->nTotal);
    AppendSafeText(pBuilder, pszWhat);
}

}  // namespace

const char *GetStageName(RunStage eStage) {
    switch (eStage) {
        case STAGE_TALKER_LOAD:
            return "talker load";
        case STAGE_BULK_ERASE:
            return "erase";
        case STAGE_DOWNLOAD:
            return "download";
        case STAGE_VERIFY:
            return "verify";
        case STAGE_READ:
            return "read";
        default:
            return NULL;
    }
}

namespace {

// Stages that send the talker commands: stopped there, the talker may wait inside a command
// for bytes that never come, and would take the next run's bytes as the rest of it.
int StopsInsideACommand(RunStage eStage) {
    return eStage == STAGE_PREPARE || eStage == STAGE_DOWNLOAD || eStage == STAGE_VERIFY ||
           eStage == STAGE_READ;
}

}  // namespace

void RecordStage(StoppedRun *pStopped, RunStage eStage, uint32_t dwTotal) {
    pStopped->nDone = 0;
    pStopped->nTotal = (sig_atomic_t)dwTotal;
    pStopped->nStage = eStage;
}

uint32_t RecordBytesDone(StoppedRun *pStopped, uint32_t dwBytes) {
    pStopped->nDone = (sig_atomic_t)(pStopped->nDone + (sig_atomic_t)dwBytes);
    return (uint32_t)pStopped->nDone;
}

size_t FormatInterruptMessage(const StoppedRun *pStopped, const char *pszPrefix, char *pchMessage,
                              size_t cchMessage) {
    SafeText builder = {pchMessage, cchMessage, 0};
    AppendSafeText(&builder, pszPrefix);
    switch (pStopped->nStage) {
        case STAGE_TALKER_LOAD:
            AppendCount(&builder, pStopped,
                        " talker bytes sent; reset the board into bootstrap mode "
                        "before the next run");
            break;
        case STAGE_PREPARE:
            AppendSafeText(&builder,
                           "Interrupted while preparing the target; nothing of the file "
                           "was written");
            break;
        case STAGE_BULK_ERASE:
            AppendSafeText(&builder,
                           "Interrupted during the bulk erase; the EEPROM may be partly "
                           "erased");
            break;
        case STAGE_DOWNLOAD:
            AppendCount(&builder, pStopped, " bytes written; the chip holds a partial image");
            break;
        case STAGE_VERIFY:
            AppendCount(&builder, pStopped, " bytes compared; nothing was written");
            break;
        case STAGE_READ:
            AppendCount(&builder, pStopped, " bytes read; no read-back file was written");
            break;
        case STAGE_MONITOR:
            AppendSafeText(&builder, "Interrupted: the monitor ended");
            break;
        default:
            AppendSafeText(&builder, "Interrupted before the target was touched");
            break;
    }
    AppendSafeText(&builder, "\n");
    if (StopsInsideACommand((RunStage)pStopped->nStage)) {
        AppendSafeText(&builder, pszPrefix);
        AppendSafeText(
            &builder,
            "Reset the board into special bootstrap mode before the next run: the talker "
            "may have stopped inside a command\n");
    }
    return builder.cchUsed;
}

const char *GetInterruptVerdict(const StoppedRun *pStopped) {
    return pStopped->nStage == STAGE_MONITOR ? "" : "Failure\n";
}
