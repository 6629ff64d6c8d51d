// The programming run: each stage one call, the first failure ends the run after its own
// message. The input file is read once, whole, and checked before the target is touched;
// the download sends those same bytes. The entry uses src/link and src/srec; neither of them
// knows the command line: g_LinkSettings carries what the link needs.
#include "programming_run.h"

#include <cstdio>
#include <cstring>

#include "bootstrap_loader.h"
#include "download.h"
#include "exit_status.h"
#include "interrupt.h"
#include "link_settings.h"
#include "part_table.h"
#include "platform.h"
#include "port_list.h"
#include "progress.h"
#include "read_back.h"
#include "serial_port.h"
#include "settings.h"
#include "srec_file.h"
#include "talker_probe.h"
#include "talker_protocol.h"
#include "verify.h"

namespace {

const DWORD TALKER_BAUD_RATE = 9600;
const WORD SCI_BAUD_OFFSET = 0x2B;  // BAUD, from the register block's start
const WORD HPRIO = 0x103C;
const BYTE HPRIO_EXPANDED = 0x65;  // MDA set (expanded bus), RBOOT cleared
const WORD BPROT = 0x1035;
const BYTE BPROT_ARRAY_ONLY = 0x10;  // BPRT3-0 cleared, PTCON kept: CONFIG stays protected
const BYTE BPROT_ALL = 0x00;         // CONFIG too: the bulk erase reprograms it

// CONFIG is unprotected only when the bulk erase is to give it a new value: with PTCON set
// its erase and programming would silently do nothing.
BYTE BprotValue(void) {
    return g_Settings.fBulkErase ? BPROT_ALL : BPROT_ARRAY_ONLY;
}

void PrintBanner(const char *pszProgramName) {
    fprintf(stdout, "%s: version %s %s\n", pszProgramName, __DATE__, __TIME__);
    fprintf(stdout, "Copyright (c) the hc11prog developers; free to use, copy and change.\n\n");
}

// Reads the input file once and checks every line before the target is touched. No record
// may write the RAM where the talker runs with its stack (the rest of a larger RAM is plain
// memory), nor the register block: a write
// to BAUD or SCCR2 cuts the link, and CONFIG can never read back (it is set with -B -C).
// Returns EXIT_DONE with *pFile filled, or the exit status of the failure.
int LoadInputFile(SRecordFile *pFile) {
    const PartInfo *pPart = g_Settings.pPart;
    const WORD wTalkerRamEnd = (WORD)(pPart->wRamStart + g_Settings.dwTalkerLength - 1);
    const RefusedRange rgRanges[] = {
        {pPart->wRamStart, wTalkerRamEnd, "the RAM the talker runs in"},
        {pPart->wRegisterStart, pPart->wRegisterEnd,
         "the chip's registers (CONFIG is set with -B -C)"},
    };
    if (!ReadSRecordFile(g_Settings.szInputFile, pFile)) return EXIT_INPUT_FILE;
    if (!CheckSRecordFile(pFile, rgRanges, sizeof(rgRanges) / sizeof(rgRanges[0]))) {
        return EXIT_INPUT_FILE;
    }
    return EXIT_DONE;
}

// Hands the link layer what it needs of the user's choices.
void ApplyLinkSettings(void) {
    g_LinkSettings.fVerbose = g_Settings.fVerbose;
    g_LinkSettings.dwTalkerLength = g_Settings.pPart->wBootLoadMax;
    g_LinkSettings.fVariableLoad = g_Settings.pPart->fVariableLoad;
    g_LinkSettings.bConfigValue = g_Settings.bConfigValue;
    g_LinkSettings.wEepromStart = g_Settings.wEepromStart;
    g_LinkSettings.wEepromEnd = g_Settings.wEepromEnd;
    g_LinkSettings.dwTalkerRate = g_Settings.dwTalkerRate;
    static_assert(sizeof(g_LinkSettings.szDevice) == sizeof(g_Settings.szDevice), "same room");
    memcpy(g_LinkSettings.szDevice, g_Settings.szDevice, sizeof(g_LinkSettings.szDevice));
}

// Whether the run stores anything in the chip's memory: reading back and verifying do not,
// so they leave BPROT alone.
int WritesTarget(const SRecordFile *pFile) {
    return g_Settings.fBulkErase || (pFile != NULL && !g_Settings.fVerifyOnly);
}

// Downloads the file, or with "-n" compares the chip with it; then reads back with "-r".
int UseTarget(HANDLE hPort, const SRecordFile *pFile) {
    if (pFile != NULL && g_Settings.fVerifyOnly) {
        fprintf(stdout, "Verifying %s\n", g_Settings.szInputFile);
        if (!VerifyFile(hPort, pFile)) return EXIT_TARGET;
    } else if (pFile != NULL) {
        fprintf(stdout, "Downloading %s\n", g_Settings.szInputFile);
        if (!DownloadFile(hPort, pFile)) return EXIT_TARGET;
    }
    if (g_Settings.fReadBack && !ReadBackRange(hPort)) return EXIT_TARGET;
    return EXIT_DONE;
}

// The erase is one command: its progress goes from nothing to the whole EEPROM at once.
int EraseEeprom(HANDLE hPort) {
    DWORD dwSize = (DWORD)g_Settings.wEepromEnd - g_Settings.wEepromStart + 1;
    fprintf(stdout, "Bulk Erasing EEPROM\n");
    EnterStage(STAGE_BULK_ERASE, dwSize);
    if (!BulkErase(hPort)) return 0;
    NoteBytesDone(dwSize);
    EndProgress("");
    return 1;
}

// "-b": the talker and the port go to the faster rate once the talker answers at its own.
int MoveTalkerRate(HANDLE hPort) {
    const SciRate *pRate = FindSciRate(g_Settings.dwTalkerRate);
    WORD wBaud = (WORD)(g_Settings.pPart->wRegisterStart + SCI_BAUD_OFFSET);
    return SetTalkerRate(hPort, wBaud, pRate->bBaud, pRate->dwRate);
}

// Synchronises with the talker and readies the target: expanded bus if asked, the EEPROM
// unprotected where the part has BPROT, and the bulk erase if asked.
int PrepareTarget(HANDLE hPort, const SRecordFile *pFile) {
    EnterStage(STAGE_PREPARE, 0);
    if (!GetPrompt(hPort, 1)) return 0;
    if (g_Settings.dwTalkerRate != TALKER_BAUD_RATE && !MoveTalkerRate(hPort)) return 0;
    if (g_Settings.fExpandedBus) {
        fprintf(stdout, "Enable Expanded Memory\n");
        if (!WriteTargetByte(hPort, HPRIO, HPRIO_EXPANDED)) return 0;
    }
    int fWriteBprot = g_Settings.pPart->fHasBprot && WritesTarget(pFile);
    if (fWriteBprot && !WriteTargetByte(hPort, BPROT, BprotValue())) return 0;
    if (g_Settings.fBulkErase && !EraseEeprom(hPort)) return 0;
    return 1;
}

// The probe waits this long for a running talker's prompt: a USB adapter may hold it 16 ms.
const DWORD PROBE_WAIT_MS = 100;

// The talker goes into the chip unless the one of an earlier run still answers; any other
// answer to the probe (a talker inside a command, a ROM that a stray byte set loading)
// stops the run. A part whose boot ROM ends its load after 4 idle characters (33 ms at 1200
// baud) is not probed: an unanswered probe would leave the load racing that end across the
// port's reopening. Nor is a load at the ROM's own 7812 baud: the probe's "s" would have set
// the ROM to 1200.
int LoadTalker(DWORD dwLoadBaud) {
    fprintf(stdout, "Downloading talker file\n");
    if (g_Settings.pPart->fVariableLoad || dwLoadBaud != BOOT_BAUD_1200) {
        return DownloadTalker(g_Settings.dwComPort, dwLoadBaud, 0);
    }
    ProbeResult eProbe = ProbeTalker(g_Settings.dwComPort, PROBE_WAIT_MS);
    if (eProbe == PROBE_FAILED) return 0;
    if (eProbe == PROBE_TALKER_RUNNING) {
        fprintf(stdout, "Talker already running\n");
        return 1;
    }
    return DownloadTalker(g_Settings.dwComPort, BOOT_BAUD_1200, 1);
}

// Everything that talks to the target, from the talker load to the end of the download.
int ProgramTarget(const SRecordFile *pFile) {
    InstallInterruptHandlers();
    // With -b the load, too, goes faster: at the boot ROM's own 7812 baud.
    DWORD dwLoadBaud =
        g_Settings.dwTalkerRate == TALKER_BAUD_RATE ? BOOT_BAUD_1200 : BOOT_BAUD_7812;
    if (!LoadTalker(dwLoadBaud)) return EXIT_TARGET;
    HANDLE hPort = OpenComPort(g_Settings.dwComPort, TALKER_BAUD_RATE);
    if (hPort == INVALID_HANDLE_VALUE) return EXIT_TARGET;
    int nStatus = PrepareTarget(hPort, pFile) ? UseTarget(hPort, pFile) : EXIT_TARGET;
    CloseHandle(hPort);
    return nStatus;
}

// The read-back file gets its name only after a run that read the whole range.
int FinishReadBack(ReadBackFile *pReadBack, int nStatus) {
    if (nStatus != EXIT_DONE) {
        DiscardReadBackFile(pReadBack);
        return nStatus;
    }
    return SaveReadBackFile(pReadBack) ? EXIT_DONE : EXIT_INPUT_FILE;
}

}  // namespace

int RunProgramming(int argc, char **argv) {
    PrintBanner(argv[0]);
    if (!ParseCommandLine(argc, argv)) {
        if (!g_Settings.fHelpRequested) return EXIT_COMMAND_LINE;
        fprintf(stderr, "hc11prog version %s\n", HC11PROG_VERSION);
        return EXIT_DONE;
    }
    ApplyLinkSettings();
    UseProgressLine(IsTerminalOutput());
    if (g_Settings.fListPorts) return ListSerialPorts("") ? EXIT_DONE : EXIT_TARGET;
    SRecordFile file;
    const SRecordFile *pFile = NULL;
    if (g_Settings.szInputFile[0] != '\0') {
        int nStatus = LoadInputFile(&file);
        if (nStatus != EXIT_DONE) return nStatus;
        pFile = &file;
    } else if (!g_Settings.fReadBack) {  // reading back alone needs no file
        fprintf(stderr, "No input file specified\n");
        if (!g_Settings.fBulkErase) {
            PrintUsage();
            return EXIT_COMMAND_LINE;
        }
    }
    ReadBackFile readBack = {};
    if (g_Settings.fReadBack && !CreateReadBackFile(&readBack)) return EXIT_INPUT_FILE;
    int nStatus = ProgramTarget(pFile);
    return g_Settings.fReadBack ? FinishReadBack(&readBack, nStatus) : nStatus;
}
