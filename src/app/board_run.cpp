// The stages of one board's run, each one call; the first failure ends the run after its own
// message, and the run alone says "Success" or "Failure".
#include "board_run.h"

#include <cstdio>
#include <cstring>

#include "board_loop.h"
#include "bootstrap_loader.h"
#include "com_port.h"
#include "config_value.h"
#include "download.h"
#include "erase_check.h"
#include "exit_status.h"
#include "hc11_registers.h"
#include "os.h"
#include "part_table.h"
#include "progress.h"
#include "say.h"
#include "talker_probe.h"
#include "talker_protocol.h"
#include "target_read.h"
#include "verify.h"

namespace {

// MDA set (expanded bus), RBOOT cleared, still in the special modes.
const uint8_t HPRIO_EXPANDED = hc11::hprio::SMOD | hc11::hprio::MDA | hc11::hprio::kPselAtReset;
const uint8_t BPROT_ARRAY_ONLY = hc11::bprot::PTCON;  // BPRT3-0 cleared: CONFIG stays protected
const uint8_t BPROT_ALL = 0x00;                       // CONFIG too: the bulk erase reprograms it

// One board's run as it goes: its target, its connection and what it works in.
struct BoardRun {
    const RunTarget *pTarget;
    TalkerLink link;
    ProgramImage *pFile;  // NULL when the run takes no file
    BoardWork *pWork;
};

// CONFIG is unprotected only when the bulk erase is to give it a new value: with PTCON set
// its erase and programming would silently do nothing.
uint8_t BprotValue(const RunTarget *pTarget) {
    return pTarget->fBulkErase ? BPROT_ALL : BPROT_ARRAY_ONLY;
}

// Whether the run stores anything in the chip's memory: reading back and verifying do not,
// so they leave BPROT alone.
int WritesTarget(const BoardRun *pRun) {
    return pRun->pTarget->fBulkErase || (pRun->pFile != NULL && !pRun->pTarget->fVerifyOnly);
}

// Bytes of the image this run sent: those the chip did not already hold.
uint32_t CountBytesSent(const ProgramImage *pImage) {
    uint32_t dwSent = 0;
    for (uint32_t a = 0; a < IMAGE_ADDRESS_SPACE; a++)
        dwSent += pImage->rgbState[a] == BYTE_PRESENT;
    return dwSent;
}

// Downloads the file, or with "-n" compares the chip with it; then reads back with "-r", or
// after "-B" alone checks the erase. Adds the bytes written, compared or read to *pdwBytes.
int UseTarget(BoardRun *pRun, uint32_t *pdwBytes) {
    const RunTarget *pTarget = pRun->pTarget;
    ProgramImage *pFile = pRun->pFile;
    if (pFile != NULL && pTarget->fVerifyOnly) {
        SayOut("Verifying %s\n", pFile->pFile->pszName);
        if (!VerifyImage(&pRun->link, pFile)) return 0;
        *pdwBytes += pFile->dwBytes;
    } else if (pFile != NULL) {
        SayOut("Downloading %s\n", pFile->pFile->pszName);
        if (!DownloadImage(&pRun->link, pFile, pTarget->fBulkErase)) return 0;
        if (pTarget->fBulkErase && !CheckEepromErased(&pRun->link, pFile, pRun->pWork->rgbEeprom))
            return 0;
        *pdwBytes += CountBytesSent(pFile);
    }
    if (pTarget->fReadBack) {
        EndMarksLine();
        if (!ReadBackRange(&pRun->link, &pRun->pWork->readBack)) return 0;
        *pdwBytes += (uint32_t)pTarget->readBack.wEnd - pTarget->readBack.wStart + 1;
    }
    if (pFile == NULL && !pTarget->fReadBack)  // "-B" alone
        return CheckEepromErased(&pRun->link, NULL, pRun->pWork->rgbEeprom);
    return 1;
}

// The erase is one command: its progress goes from nothing to the whole EEPROM at once. The
// CONFIG value it programs is told first (a value that needs --confirm-config was refused
// before the chip was touched).
int EraseEeprom(const TalkerLink *pLink) {
    const LinkTarget *pTarget = pLink->pTarget;
    uint32_t dwSize = (uint32_t)pTarget->wEepromEnd - pTarget->wEepromStart + 1;
    PrintConfigValue(pTarget->pPart, pTarget->bConfigValue);
    SayOut("Bulk Erasing EEPROM\n");
    EnterStage(STAGE_BULK_ERASE, dwSize);
    if (!BulkErase(pLink)) return 0;
    NoteBytesDone(dwSize);
    EndProgress("");
    ReportConfigProgrammed(pTarget->bConfigValue);
    return 1;
}

// "-b": the talker and the port go to another rate once the talker answers at its own; with
// fSync the sync for that answer goes with the rate's "w".
int MoveTalkerRate(const TalkerLink *pLink, uint32_t dwRate, int fSync) {
    const LinkTarget *pTarget = pLink->pTarget;
    SciRate rate;
    if (!FindTalkerRate(&pTarget->clock, dwRate, &rate)) return 0;  // refused by -b
    uint16_t wBaud = GetRegisterAddress(pTarget->pPart, hc11::reg::BAUD);
    if (fSync) return SyncAndSetTalkerRate(pLink->pPort, wBaud, rate.bBaud, rate.dwRate);
    return SetTalkerRate(pLink->pPort, wBaud, rate.bBaud, rate.dwRate);
}

// Below E = 1 MHz the EEPROM needs CSEL: OPTION is read with "r" and written back with it set
// (in bootstrap mode CSEL may be written at any time).
int SelectEepromClock(const TalkerLink *pLink) {
    if (!pLink->pTarget->clock.fNeedsCsel) return 1;
    uint8_t bOption = 0;
    uint16_t wOption = GetRegisterAddress(pLink->pTarget->pPart, hc11::reg::OPTION);
    if (!ReadTargetBytes(pLink, wOption, &bOption, 1, NULL, NULL)) return 0;
    return WriteTargetByte(pLink->pPort, wOption, (uint8_t)(bOption | hc11::option::CSEL));
}

// The prompt a talker at its command loop sends at once; longer is a talker inside a command.
const uint32_t RETURN_PROBE_WAIT_MS = 100;

// After a "-b" run, success or failure, a talker at its command loop goes back to its first
// rate (9600 at 8 MHz), where the next run's probe looks for it; one left at the fast rate
// would take that run's probe and load as letters. The port follows the talker, so its rate
// tells whether the talker moved. After a failure the talker must first answer at once; after
// a success its last prompt has come.
void ReturnTalkerToFirstRate(const TalkerLink *pLink, int fAtPrompt) {
    Port *pPort = pLink->pPort;
    uint32_t dwRate = pPort->dwBaudRate;
    uint32_t dwFirstRate = pLink->pTarget->clock.firstRate.dwRate;
    if (dwRate == dwFirstRate) return;
    uint8_t bReply = 0;
    // A lost connection has said so: nothing is tried on it, nor blamed on the rate.
    if (!pPort->fConnectionLost &&
        (fAtPrompt || (ReadProbeReply(pPort, TALKER_SYNC, RETURN_PROBE_WAIT_MS, &bReply) &&
                       bReply == TALKER_PROMPT)) &&
        MoveTalkerRate(pLink, dwFirstRate, 0))
        return;
    SayErr(
        "The talker may still run at %u baud: reset the board into special bootstrap mode "
        "(MODA and MODB low) before the next run\n",
        (unsigned)dwRate);
}

// Synchronises with the talker and readies the target: expanded bus if asked, the EEPROM
// unprotected where the part has BPROT, and the bulk erase if asked.
int PrepareTarget(const BoardRun *pRun) {
    const TalkerLink *pLink = &pRun->link;
    const RunTarget *pTarget = pRun->pTarget;
    Port *pPort = pLink->pPort;
    EnterStage(STAGE_PREPARE, 0);
    uint32_t dwFirstRate = pTarget->link.clock.firstRate.dwRate;
    uint32_t dwRate = pTarget->link.dwTalkerRate;
    if (dwRate == dwFirstRate ? !GetPrompt(pPort, 1) : !MoveTalkerRate(pLink, dwRate, 1)) return 0;
    if (WritesTarget(pRun) && !SelectEepromClock(pLink)) return 0;
    if (pTarget->fExpandedBus) {
        SayOut("Enable Expanded Memory\n");
        uint16_t wHprio = GetRegisterAddress(pTarget->link.pPart, hc11::reg::HPRIO);
        if (!WriteTargetByte(pPort, wHprio, HPRIO_EXPANDED)) return 0;
    }
    int fWriteBprot = pTarget->link.pPart->fHasBprot && WritesTarget(pRun);
    uint16_t wBprot = GetRegisterAddress(pTarget->link.pPart, hc11::reg::BPROT);
    if (fWriteBprot && !WriteTargetByte(pPort, wBprot, BprotValue(pTarget))) return 0;
    if (pTarget->fBulkErase && !EraseEeprom(pLink)) return 0;
    return 1;
}

// The talker goes into the chip unless the one of an earlier run still answers; any other
// answer to the probe (a talker inside a command, a ROM that a stray byte set loading)
// stops the run. Which probe and which load rate, by part and "-b": BootTalker.
LinkOutcome LoadTalker(TalkerLink *pLink) {
    SayOut("Downloading talker file\n");
    int fRunning = 0;
    LinkOutcome eLoad = BootTalker(pLink, &fRunning);
    if (eLoad == LINK_DONE && fRunning) SayOut("Talker already running\n");
    return eLoad;
}

// Everything that talks to the target, from the reset to the last read. Returns the status.
int ProgramTarget(BoardRun *pRun, uint32_t *pdwBytes) {
    TalkerLink *pLink = &pRun->link;
    const BoardLines *pLines = &pRun->pTarget->lines;
    InstallInterruptHandlers();
    if (ResetIntoBootstrap(pLines, pLink) != LINK_DONE) return EXIT_TARGET;
    const TalkerClock *pClock = &pLink->pTarget->clock;
    ReportTalkerClock(pClock);
    LinkOutcome eLoad = LoadBeforeWait(pLines, pLink, LoadTalker);
    eLoad = LoadAfterResetByHand(pLines, pLink, ChooseLoadBaud(pLink), eLoad);
    if (eLoad != LINK_DONE) return EXIT_TARGET;
    if (!OpenComPort(pLink, pClock->firstRate.dwRate)) return EXIT_TARGET;
    int fDone = PrepareTarget(pRun) && UseTarget(pRun, pdwBytes);
    ReturnTalkerToFirstRate(pLink, fDone);
    CloseComPort(pLink);
    return fDone ? EXIT_DONE : EXIT_TARGET;
}

// The read-back file gets its name only after a run that read the whole range.
int FinishReadBack(ReadBackFile *pReadBack, int nStatus) {
    if (nStatus != EXIT_DONE) {
        DiscardReadBackFile(pReadBack);
        return nStatus;
    }
    return SaveReadBackFile(pReadBack) ? EXIT_DONE : EXIT_INPUT_FILE;
}

// The board's copy of the input image, with its own bytes over the file's.
ProgramImage *TakeBoardImage(const ProgramImage *pImage, const ImagePatch *pPatch,
                             ProgramImage *pCopy) {
    if (pImage == NULL) return NULL;
    memcpy(pCopy, pImage, sizeof *pCopy);
    if (pPatch == NULL) return pCopy;
    for (uint32_t i = 0; i < pPatch->dwLength; i++) {
        uint32_t a = (uint32_t)pPatch->wAddress + i;
        if (pCopy->rgbState[a] != BYTE_PRESENT) pCopy->dwBytes++;  // the download's total
        pCopy->rgbValue[a] = pPatch->rgbValue[i];
        pCopy->rgbState[a] = BYTE_PRESENT;
    }
    return pCopy;
}

// The memory work: the read-back file created first, the target, then the file named.
int DoMemoryWork(BoardRun *pRun, uint32_t *pdwBytes) {
    const RunTarget *pTarget = pRun->pTarget;
    ReadBackFile *pReadBack = &pRun->pWork->readBack;
    StartReadBackFile(pReadBack, &pTarget->readBack, pTarget->link.pPart);
    if (pTarget->fReadBack && !CreateReadBackFile(pReadBack)) return EXIT_INPUT_FILE;
    int nStatus = ProgramTarget(pRun, pdwBytes);
    if (pTarget->fReadBack) nStatus = FinishReadBack(pReadBack, nStatus);
    return nStatus;
}

}  // namespace

int SayVerdict(int nStatus) {
    if (nStatus == EXIT_DONE) SayOut("Success\n");
    if (nStatus == EXIT_INPUT_FILE || nStatus == EXIT_TARGET) SayOut("Failure\n");
    return nStatus;
}

BoardOutcome RunBoard(const RunTarget *pTarget, const ProgramImage *pImage,
                      const ImagePatch *pPatch, BoardWork *pWork) {
    BoardRun run = {pTarget, {}, TakeBoardImage(pImage, pPatch, &pWork->image), pWork};
    StartTalkerLink(&run.link, &pTarget->link);
    BoardOutcome outcome = {EXIT_DONE, 0};
    if (!pTarget->fLoopAlone) outcome.nStatus = SayVerdict(DoMemoryWork(&run, &outcome.dwBytes));
    if (outcome.nStatus != EXIT_DONE) {
        EndComPort(&run.link);
        return outcome;
    }
    outcome.nStatus = FinishLoop(&pTarget->lines, &run.link);
    EndComPort(&run.link);
    // With nothing else to do, the loop's failure is the run's: it says so.
    if (pTarget->fLoopAlone && outcome.nStatus != EXIT_DONE) SayVerdict(outcome.nStatus);
    return outcome;
}
