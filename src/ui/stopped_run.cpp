#include "stopped_run.h"

#include <csignal>

namespace {

volatile sig_atomic_t g_nStage = STAGE_IDLE;
volatile sig_atomic_t g_nDone = 0;
volatile sig_atomic_t g_nTotal = 0;
const char *volatile g_pszLeftover = NULL;

// Appends text to a message being built; stops at its end, leaving room for nothing more.
struct MessageBuilder {
    char *pch;
    size_t cchRoom;
    size_t cchUsed;
};

void Append(MessageBuilder *pBuilder, const char *psz) {
    for (; *psz != '\0' && pBuilder->cchUsed < pBuilder->cchRoom; psz++) {
        pBuilder->pch[pBuilder->cchUsed++] = *psz;
    }
}

void AppendNumber(MessageBuilder *pBuilder, unsigned long dwValue) {
    char szDigits[24];
    size_t i = sizeof(szDigits) - 1;
    szDigits[i] = '\0';
    do {
        szDigits[--i] = (char)('0' + dwValue % 10);
        dwValue /= 10;
    } while (dwValue != 0);
    Append(pBuilder, &szDigits[i]);
}

void AppendCount(MessageBuilder *pBuilder, const char *pszWhat) {
    Append(pBuilder, "Interrupted: ");
    AppendNumber(pBuilder, (unsigned long)g_nDone);
    Append(pBuilder, " of ");
    AppendNumber(pBuilder, (unsigned long)g_nTotal);
    Append(pBuilder, pszWhat);
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

void RecordStage(RunStage eStage, uint32_t dwTotal) {
    g_nDone = 0;
    g_nTotal = (sig_atomic_t)dwTotal;
    g_nStage = eStage;
}

uint32_t RecordBytesDone(uint32_t dwBytes) {
    g_nDone = (sig_atomic_t)(g_nDone + (sig_atomic_t)dwBytes);
    return (uint32_t)g_nDone;
}

void SetInterruptLeftover(const char *pszPath) {
    g_pszLeftover = pszPath;
}

const char *GetInterruptLeftover(void) {
    return g_pszLeftover;
}

size_t FormatInterruptMessage(char *pchMessage, size_t cchMessage) {
    MessageBuilder builder = {pchMessage, cchMessage, 0};
    switch (g_nStage) {
        case STAGE_TALKER_LOAD:
            AppendCount(&builder,
                        " talker bytes sent; reset the board into bootstrap mode "
                        "before the next run");
            break;
        case STAGE_PREPARE:
            Append(&builder,
                   "Interrupted while preparing the target; nothing of the file "
                   "was written");
            break;
        case STAGE_BULK_ERASE:
            Append(&builder,
                   "Interrupted during the bulk erase; the EEPROM may be partly "
                   "erased");
            break;
        case STAGE_DOWNLOAD:
            AppendCount(&builder, " bytes written; the chip holds a partial image");
            break;
        case STAGE_VERIFY:
            AppendCount(&builder, " bytes compared; nothing was written");
            break;
        case STAGE_READ:
            AppendCount(&builder, " bytes read; no read-back file was written");
            break;
        case STAGE_MONITOR:
            Append(&builder, "Interrupted: the monitor ended");
            break;
        default:
            Append(&builder, "Interrupted before the target was touched");
            break;
    }
    Append(&builder, "\n");
    if (StopsInsideACommand((RunStage)g_nStage)) {
        Append(&builder,
               "Reset the board into special bootstrap mode before the next run: the talker "
               "may have stopped inside a command\n");
    }
    return builder.cchUsed;
}

const char *GetInterruptVerdict(void) {
    return g_nStage == STAGE_MONITOR ? "" : "Failure\n";
}
