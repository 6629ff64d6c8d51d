// The programming run: each stage one call, the first failure ends the run after its own
// message. The input file is read once, whole, and checked before the target is touched;
// the download sends those same bytes. The entry uses src/talker and src/srec; neither of them
// knows the command line: a TalkerLink carries what the link needs. A failed operation has
// said what went wrong; the run alone prints "Failure" and decides the exit status.
#include "programming_run.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "board_loop.h"
#include "bootstrap_loader.h"
#include "com_port.h"
#include "config_value.h"
#include "download.h"
#include "exit_status.h"
#include "os.h"
#include "part_table.h"
#include "port_list.h"
#include "program_image.h"
#include "progress.h"
#include "read_back.h"
#include "settings.h"
#include "talker_probe.h"
#include "talker_protocol.h"
#include "target_read.h"
#include "verify.h"

namespace {

const uint16_t SCI_BAUD_OFFSET = 0x2B;  // BAUD, from the register block's start
const uint16_t HPRIO = 0x103C;
const uint8_t HPRIO_EXPANDED = 0x65;  // MDA set (expanded bus), RBOOT cleared
const uint16_t BPROT = 0x1035;
const uint8_t BPROT_ARRAY_ONLY = 0x10;  // BPRT3-0 cleared, PTCON kept: CONFIG stays protected
const uint8_t BPROT_ALL = 0x00;         // CONFIG too: the bulk erase reprograms it
const uint16_t OPTION = 0x1039;
const uint8_t OPTION_CSEL = 0x40;  // the EEPROM's charge pump on its own RC clock

// CONFIG is unprotected only when the bulk erase is to give it a new value: with PTCON set
// its erase and programming would silently do nothing.
uint8_t BprotValue(const Settings *pSettings) {
    return pSettings->fBulkErase ? BPROT_ALL : BPROT_ARRAY_ONLY;
}

void PrintBanner(const char *pszProgramName) {
    fprintf(stdout, "%s: version %s %s\n", pszProgramName, __DATE__, __TIME__);
    fprintf(stdout, "Copyright (c) the hc11prog developers; free to use, copy and change.\n\n");
}

// What the input file may hold: no byte in the RAM where the talker runs with its stack (the
// rest of a larger RAM is plain memory), nor in the register block: a write to BAUD or SCCR2
// cuts the link, and CONFIG can never read back (it is set with -B -C). Without -E, no byte
// outside the part's memory map.
struct InputRules {
    RefusedRange rgRefused[2];
    RefusedRange rgAllowed[4];
    char szMapName[64];
    ImageRules rules;
};

void MakeInputRules(const Settings *pSettings, InputRules *pInput) {
    const PartInfo *pPart = pSettings->pPart;
    const uint16_t wTalkerRamEnd = (uint16_t)(pPart->wRamStart + TALKER_RAM_LENGTH - 1);
    pInput->rgRefused[0] = {pPart->wRamStart, wTalkerRamEnd, "the RAM the talker runs in"};
    pInput->rgRefused[1] = {pPart->wRegisterStart, pPart->wRegisterEnd,
                            "the chip's registers (CONFIG is set with -B -C)"};
    pInput->rgAllowed[0] = {pPart->wRamStart, pPart->wRamEnd, "RAM"};
    pInput->rgAllowed[1] = {pPart->wRegisterStart, pPart->wRegisterEnd, "registers"};
    pInput->rgAllowed[2] = {pPart->wEepromStart, pPart->wEepromEnd, "EEPROM"};
    pInput->rgAllowed[3] = {pSettings->wEepromStart, pSettings->wEepromEnd, "EEPROM (-e)"};
    int fOwnRange = pSettings->wEepromStart != pPart->wEepromStart ||
                    pSettings->wEepromEnd != pPart->wEepromEnd;
    snprintf(pInput->szMapName, sizeof pInput->szMapName, "the %s's memory map (-E allows more)",
             pPart->pszName);
    ImageRules *pRules = &pInput->rules;
    pRules->prgRefused = pInput->rgRefused;
    pRules->dwRefused = 2;
    pRules->prgAllowed = pInput->rgAllowed;
    pRules->dwAllowed = pSettings->fExpandedBus ? 0 : fOwnRange ? 4 : 3;
    pRules->pszMapName = pInput->szMapName;
    pRules->fBinary = (int)pSettings->fBinaryBase;
    pRules->wBinaryBase = pSettings->wBinaryBase;
    pRules->fEmptyAllowed = pSettings->fBulkErase || pSettings->fReadBack;
}

// Reads the input file once, in whichever format it is, and checks every byte before the
// target is touched. Returns EXIT_DONE with *pImage filled, or the exit status of the failure.
int LoadInputFile(const Settings *pSettings, ProgramImage *pImage) {
    InputRules input;
    MakeInputRules(pSettings, &input);
    return LoadProgramImage(pSettings->szInputFile, &input.rules, pImage) ? EXIT_DONE
                                                                          : EXIT_INPUT_FILE;
}

// What the link needs of the user's choices.
void FillTalkerLink(const Settings *pSettings, TalkerLink *pLink) {
    StartTalkerLink(pLink, pSettings->dwComPort, pSettings->szDevice);
    pLink->fTrace = (int)pSettings->fVerbose;
    pLink->pPart = pSettings->pPart;
    pLink->dwLoadLength = pSettings->dwTalkerLength;
    pLink->bConfigValue = pSettings->bConfigValue;
    pLink->wEepromStart = pSettings->wEepromStart;
    pLink->wEepromEnd = pSettings->wEepromEnd;
    pLink->dwTalkerRate = pSettings->dwTalkerRate;
    SetTalkerClock(&pLink->clock, pSettings->dwCrystalHz);
}

// The run's verdict on a run that failed past the command line: every one ends with it, the
// ports that did not open and the files refused before the target included.
int ReportFailure(int nStatus) {
    if (nStatus == EXIT_INPUT_FILE || nStatus == EXIT_TARGET) fprintf(stdout, "Failure\n");
    return nStatus;
}

// Whether the run stores anything in the chip's memory: reading back and verifying do not,
// so they leave BPROT alone.
int WritesTarget(const Settings *pSettings, const ProgramImage *pFile) {
    return pSettings->fBulkErase || (pFile != NULL && !pSettings->fVerifyOnly);
}

// An erase-only run's "Success" stands for an erased EEPROM: the range is read back (checked
// by the block read's check word) and every byte must read $FF.
int CheckEepromErased(const TalkerLink *pLink) {
    static uint8_t rgbEeprom[65536];
    uint32_t dwSize = (uint32_t)pLink->wEepromEnd - pLink->wEepromStart + 1;
    if (!ReadTargetBytes(pLink, pLink->wEepromStart, rgbEeprom, dwSize, NULL, NULL)) return 0;
    uint32_t dwFirst = dwSize, dwLeft = 0;
    for (uint32_t i = 0; i < dwSize; i++) {
        if (rgbEeprom[i] == 0xFF) continue;
        if (dwLeft++ == 0) dwFirst = i;
    }
    if (dwLeft == 0) return 1;
    fprintf(stderr,
            "BulkErase: %u byte(s) of the EEPROM did not erase, the first at $%04X (reads %02X)\n",
            (unsigned)dwLeft, (unsigned)(uint16_t)(pLink->wEepromStart + dwFirst),
            rgbEeprom[dwFirst]);
    return 0;
}

// Downloads the file, or with "-n" compares the chip with it; then reads back with "-r".
int UseTarget(const Settings *pSettings, const TalkerLink *pLink, ProgramImage *pFile,
              ReadBackFile *pReadBack) {
    if (pFile != NULL && pSettings->fVerifyOnly) {
        fprintf(stdout, "Verifying %s\n", pFile->pFile->pszName);
        if (!VerifyImage(pLink, pFile)) return EXIT_TARGET;
    } else if (pFile != NULL) {
        fprintf(stdout, "Downloading %s\n", pFile->pFile->pszName);
        if (!DownloadImage(pLink, pFile, (int)pSettings->fBulkErase)) return EXIT_TARGET;
    }
    if (pSettings->fReadBack && !ReadBackRange(pLink, pReadBack)) return EXIT_TARGET;
    if (pFile == NULL && !pSettings->fReadBack) {  // "-B" alone
        if (!CheckEepromErased(pLink)) return EXIT_TARGET;
        fprintf(stdout, "Success\n");
    }
    return EXIT_DONE;
}

// The erase is one command: its progress goes from nothing to the whole EEPROM at once. The
// CONFIG value it programs is told first (a value that needs --confirm-config was refused
// before the chip was touched).
int EraseEeprom(const TalkerLink *pLink) {
    uint32_t dwSize = (uint32_t)pLink->wEepromEnd - pLink->wEepromStart + 1;
    PrintConfigValue(pLink->pPart, pLink->bConfigValue);
    fprintf(stdout, "Bulk Erasing EEPROM\n");
    EnterStage(STAGE_BULK_ERASE, dwSize);
    if (!BulkErase(pLink)) return 0;
    NoteBytesDone(dwSize);
    EndProgress("");
    ReportConfigProgrammed(pLink->bConfigValue);
    return 1;
}

// "-b": the talker and the port go to another rate once the talker answers at its own.
int MoveTalkerRate(const TalkerLink *pLink, uint32_t dwRate) {
    SciRate rate;
    if (!FindTalkerRate(&pLink->clock, dwRate, &rate)) return 0;  // refused by -b
    uint16_t wBaud = (uint16_t)(pLink->pPart->wRegisterStart + SCI_BAUD_OFFSET);
    return SetTalkerRate(pLink->pPort, wBaud, rate.bBaud, rate.dwRate);
}

// Below E = 1 MHz the EEPROM needs CSEL: OPTION is read with "r" and written back with it set
// (in bootstrap mode CSEL may be written at any time).
int SelectEepromClock(const TalkerLink *pLink) {
    if (!pLink->clock.fNeedsCsel) return 1;
    uint8_t bOption = 0;
    if (!ReadTargetBytes(pLink, OPTION, &bOption, 1, NULL, NULL)) return 0;
    return WriteTargetByte(pLink->pPort, OPTION, (uint8_t)(bOption | OPTION_CSEL));
}

// The prompt a talker at its command loop sends at once; longer is a talker inside a command.
const uint32_t RETURN_PROBE_WAIT_MS = 100;

// After a "-b" run, success or failure, a talker that still answers at once goes back to its
// first rate (9600 at 8 MHz), where the next run's probe looks for it; one left at the fast
// rate would take that run's probe and load as letters. The port follows the talker, so its
// rate tells whether the talker moved.
void ReturnTalkerToFirstRate(const TalkerLink *pLink) {
    Port *pPort = pLink->pPort;
    uint32_t dwRate = pPort->dwBaudRate;
    if (dwRate == pLink->clock.firstRate.dwRate) return;
    uint8_t bReply = 0;
    if (ReadProbeReply(pPort, TALKER_SYNC, RETURN_PROBE_WAIT_MS, &bReply) &&
        bReply == TALKER_PROMPT && MoveTalkerRate(pLink, pLink->clock.firstRate.dwRate))
        return;
    fprintf(stderr,
            "The talker may still run at %u baud: reset the board into special bootstrap mode "
            "(MODA and MODB low) before the next run\n",
            (unsigned)dwRate);
}

// Synchronises with the talker and readies the target: expanded bus if asked, the EEPROM
// unprotected where the part has BPROT, and the bulk erase if asked.
int PrepareTarget(const Settings *pSettings, const TalkerLink *pLink, ProgramImage *pFile) {
    Port *pPort = pLink->pPort;
    EnterStage(STAGE_PREPARE, 0);
    if (!GetPrompt(pPort, 1)) return 0;
    uint32_t dwFirstRate = pLink->clock.firstRate.dwRate;
    if (pLink->dwTalkerRate != dwFirstRate && !MoveTalkerRate(pLink, pLink->dwTalkerRate)) return 0;
    if (WritesTarget(pSettings, pFile) && !SelectEepromClock(pLink)) return 0;
    if (pSettings->fExpandedBus) {
        fprintf(stdout, "Enable Expanded Memory\n");
        if (!WriteTargetByte(pPort, HPRIO, HPRIO_EXPANDED)) return 0;
    }
    int fWriteBprot = pLink->pPart->fHasBprot && WritesTarget(pSettings, pFile);
    if (fWriteBprot && !WriteTargetByte(pPort, BPROT, BprotValue(pSettings))) return 0;
    if (pSettings->fBulkErase && !EraseEeprom(pLink)) return 0;
    return 1;
}

// The talker goes into the chip unless the one of an earlier run still answers; any other
// answer to the probe (a talker inside a command, a ROM that a stray byte set loading)
// stops the run. Which probe and which load rate, by part and "-b": BootTalker.
LinkOutcome LoadTalker(TalkerLink *pLink) {
    fprintf(stdout, "Downloading talker file\n");
    int fRunning = 0;
    LinkOutcome eLoad = BootTalker(pLink, &fRunning);
    if (eLoad == LINK_DONE && fRunning) fprintf(stdout, "Talker already running\n");
    return eLoad;
}

// Everything that talks to the target, from the talker load to the end of the download.
int ProgramTarget(const Settings *pSettings, TalkerLink *pLink, ProgramImage *pFile,
                  ReadBackFile *pReadBack) {
    InstallInterruptHandlers();
    LinkOutcome eReset = ResetIntoBootstrap(pSettings, pLink);
    if (eReset != LINK_DONE) return EXIT_TARGET;
    const TalkerClock *pClock = &pLink->clock;
    ReportTalkerClock(pClock);
    LinkOutcome eLoad = LoadTalker(pLink);
    eLoad = LoadAfterResetByHand(pSettings, pLink, ChooseLoadBaud(pLink), eLoad);
    if (eLoad != LINK_DONE) return EXIT_TARGET;
    if (!OpenComPort(pLink, pClock->firstRate.dwRate)) return EXIT_TARGET;
    int nStatus = PrepareTarget(pSettings, pLink, pFile)
                      ? UseTarget(pSettings, pLink, pFile, pReadBack)
                      : EXIT_TARGET;
    ReturnTalkerToFirstRate(pLink);
    CloseComPort(pLink);
    return nStatus;
}

// The read-back file gets its name only after a run that read the whole range; its "Success"
// waits for the file, so that no run says it before failing.
int FinishReadBack(ReadBackFile *pReadBack, int nStatus) {
    if (nStatus != EXIT_DONE) {
        DiscardReadBackFile(pReadBack);
        return nStatus;
    }
    if (!SaveReadBackFile(pReadBack)) return EXIT_INPUT_FILE;
    fprintf(stdout, "Success\n");
    return EXIT_DONE;
}

// A folder named by "-o" could never be replaced by the file: refused before the target is
// touched, with the words the rename would have failed with.
int IsOutputNameUsable(const ReadBackFile *pReadBack) {
    struct stat info;
    const char *pszName = pReadBack->pSettings->szOutputFile;
    if (stat(pszName, &info) != 0 || (info.st_mode & S_IFMT) != S_IFDIR) return 1;
    fprintf(stderr, "File Error: Could not write %s: %s\n", pReadBack->szShownName,
            strerror(EISDIR));
    return 0;
}

// What the user asked for, once the command line is read: EXIT_DONE with *ppFile the image (or
// NULL when the run takes no file), or the exit status that ends the run.
int TakeInputFile(const Settings *pSettings, ProgramImage **ppFile) {
    static ProgramImage image;  // about 1 MB: never on the stack
    *ppFile = NULL;
    if (pSettings->szInputFile[0] != '\0') {
        int nStatus = LoadInputFile(pSettings, &image);
        // A file without data leaves the run what -B or -r give it to do.
        if (nStatus == EXIT_DONE && image.dwBytes != 0) *ppFile = &image;
        return nStatus;
    }
    if (pSettings->fReadBack) return EXIT_DONE;  // reading back alone needs no file
    fprintf(stderr, "No input file specified\n");
    if (pSettings->fBulkErase) return EXIT_DONE;
    PrintUsage(pSettings);
    return EXIT_COMMAND_LINE;
}

// Everything after the command line: the file, the read-back file, the target.
int RunWithSettings(const Settings *pSettings) {
    UseProgressLine(IsTerminalOutput());
    SetProgressColumns(GetTerminalColumns());
    if (pSettings->fListPorts) return ListSerialPorts("") ? EXIT_DONE : EXIT_TARGET;
    TalkerLink link;
    FillTalkerLink(pSettings, &link);
    if (IsLoopAlone(pSettings)) return FinishLoop(pSettings, &link, EXIT_DONE);
    ProgramImage *pFile = NULL;
    int nStatus = TakeInputFile(pSettings, &pFile);
    if (nStatus != EXIT_DONE) return nStatus;
    if (pSettings->fBulkErase &&
        !IsConfigValueAllowed(pSettings->pPart, pSettings->bConfigValue, pSettings->fConfirmConfig))
        return EXIT_COMMAND_LINE;
    ReadBackFile readBack;
    StartReadBackFile(&readBack, pSettings);
    if (pSettings->fReadBack && (!IsOutputNameUsable(&readBack) || !CreateReadBackFile(&readBack)))
        return EXIT_INPUT_FILE;
    nStatus = ProgramTarget(pSettings, &link, pFile, &readBack);
    if (pSettings->fReadBack) nStatus = FinishReadBack(&readBack, nStatus);
    return FinishLoop(pSettings, &link, nStatus);
}

}  // namespace

int RunProgramming(int argc, char **argv) {
    PrintBanner(argv[0]);
    Settings settings = MakeDefaultSettings();
    if (!ParseCommandLine(argc, argv, &settings)) {
        if (!settings.fHelpRequested) return EXIT_COMMAND_LINE;
        fprintf(stderr, "hc11prog version %s\n", HC11PROG_VERSION);
        return EXIT_DONE;
    }
    return ReportFailure(RunWithSettings(&settings));
}
