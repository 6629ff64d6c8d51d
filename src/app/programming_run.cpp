// The programming run: each stage one call, the first failure ends the run after its own
// message. Nothing touches the target before the input file has been checked whole.
#include "programming_run.h"

#include <cstdio>

#include "bootstrap_loader.h"
#include "download.h"
#include "exit_status.h"
#include "port_list.h"
#include "read_back.h"
#include "serial_port.h"
#include "settings.h"
#include "talker_protocol.h"
#include "verify.h"

namespace {

const DWORD TALKER_BAUD_RATE = 9600;
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

// Opens a file for reading as text, or gives NULL. A name that opens but cannot be read
// from (a directory, on POSIX systems) counts as one that does not open, as on Windows, where
// opening a directory already fails.
FILE *OpenReadableFile(const char *pszName) {
    FILE *pFile = fopen(pszName, "r");
    if (pFile == NULL) return NULL;
    if (fgetc(pFile) == EOF && ferror(pFile)) {
        fclose(pFile);
        return NULL;
    }
    rewind(pFile);
    return pFile;
}

// Opens the input file and checks every line before the target is touched.
// Returns EXIT_DONE with *ppFile open, or the exit status of the failure.
int OpenInputFile(FILE **ppFile) {
    *ppFile = OpenReadableFile(g_Settings.szInputFile);
    if (*ppFile == NULL) {
        fprintf(stderr, "File Error: Could not open %s\n", g_Settings.szInputFile);
        return EXIT_INPUT_FILE;
    }
    if (!CheckSRecordFile(*ppFile)) {
        fclose(*ppFile);
        *ppFile = NULL;
        return EXIT_INPUT_FILE;
    }
    rewind(*ppFile);
    return EXIT_DONE;
}

// Whether the run stores anything in the chip's memory: reading back and verifying do not,
// so they leave BPROT alone.
int WritesTarget(FILE *pFile) {
    return g_Settings.fBulkErase || (pFile != NULL && !g_Settings.fVerifyOnly);
}

// Downloads the file, or with "-n" compares the chip with it; then reads back with "-r".
int UseTarget(HANDLE hPort, FILE *pFile) {
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

// Synchronises with the talker and readies the target: expanded bus if asked, the EEPROM
// unprotected, and the bulk erase if asked.
int PrepareTarget(HANDLE hPort, FILE *pFile) {
    if (!GetPrompt(hPort, 1)) return 0;
    if (g_Settings.fExpandedBus) {
        fprintf(stdout, "Enable Expanded Memory\n");
        if (!WriteTargetByte(hPort, HPRIO, HPRIO_EXPANDED)) return 0;
    }
    if (WritesTarget(pFile) && !WriteTargetByte(hPort, BPROT, BprotValue())) return 0;
    if (g_Settings.fBulkErase) {
        fprintf(stdout, "Bulk Erasing EEPROM\n");
        if (!BulkErase(hPort)) return 0;
    }
    return 1;
}

// Everything that talks to the target, from the talker load to the end of the download.
int ProgramTarget(FILE *pFile) {
    fprintf(stdout, "Downloading talker file\n");
    if (!DownloadTalker(g_Settings.dwComPort)) return EXIT_TARGET;
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
        return g_Settings.fHelpRequested ? EXIT_DONE : EXIT_COMMAND_LINE;
    }
    if (g_Settings.fListPorts) return ListSerialPorts("") ? EXIT_DONE : EXIT_TARGET;
    FILE *pFile = NULL;
    if (g_Settings.szInputFile[0] != '\0') {
        int nStatus = OpenInputFile(&pFile);
        if (nStatus != EXIT_DONE) return nStatus;
    } else if (!g_Settings.fReadBack) {  // reading back alone needs no file
        fprintf(stderr, "No input file specified\n");
        if (!g_Settings.fBulkErase) {
            PrintUsage();
            return EXIT_COMMAND_LINE;
        }
    }
    ReadBackFile readBack = {};
    if (g_Settings.fReadBack && !CreateReadBackFile(&readBack)) {
        if (pFile != NULL) fclose(pFile);
        return EXIT_INPUT_FILE;
    }
    int nStatus = ProgramTarget(pFile);
    if (pFile != NULL) fclose(pFile);
    return g_Settings.fReadBack ? FinishReadBack(&readBack, nStatus) : nStatus;
}
