// The programming run: the command line read, the input file read once, whole, and checked
// before any board is touched; then the board's run (board_run.h), which says its outcome.
// A failure before a board is reached says "Failure" here, and the exit status is decided here.
#include "programming_run.h"

#include <cstdio>
#include <cstring>

#include "board_run.h"
#include "config_value.h"
#include "exit_status.h"
#include "line_console.h"
#include "line_run.h"
#include "os.h"
#include "part_table.h"
#include "port_list.h"
#include "program_image.h"
#include "progress.h"
#include "run_target.h"
#include "say.h"
#include "settings.h"
#include "stopped_run.h"

namespace {

void PrintBanner(const char *pszProgramName) {
    SayOut("%s: version %s %s\n", pszProgramName, __DATE__, __TIME__);
    SayOut("Copyright (c) the hc11prog developers; free to use, copy and change.\n\n");
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
    SayErr("No input file specified\n");
    if (pSettings->fBulkErase) return EXIT_DONE;
    PrintUsage(pSettings);
    return EXIT_COMMAND_LINE;
}

// Everything after the command line: the file, then the boards.
int RunWithSettings(const Settings *pSettings) {
    if (pSettings->fListPorts) return ListSerialPorts("") ? EXIT_DONE : EXIT_TARGET;
    ProgramImage *pFile = NULL;
    if (!IsLoopAloneAsked(pSettings)) {
        int nStatus = TakeInputFile(pSettings, &pFile);
        if (nStatus != EXIT_DONE) return SayVerdict(nStatus);
        if (pSettings->fBulkErase &&
            !IsConfigValueAllowed(pSettings->pPart, pSettings->bConfigValue,
                                  pSettings->fConfirmConfig))
            return EXIT_COMMAND_LINE;
    }
    return RunBoards(pSettings, pFile);
}

// With --json nothing but events on standard output, from the first line on.
int RunWithSettingsAsJson(const Settings *pSettings) {
    BindRunJsonText();
    int nStatus = RunWithSettings(pSettings);
    BindTextSink(NULL);
    if (nStatus == EXIT_INPUT_FILE || nStatus == EXIT_COMMAND_LINE) SayJsonEnd(nStatus);
    return nStatus;
}

// With --json standard output carries JSON alone: the banner gives way to the start event.
int IsJsonAsked(int argc, char **argv) {
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--json") == 0) return 1;
    }
    return 0;
}

}  // namespace

int RunProgramming(int argc, char **argv) {
    if (!IsJsonAsked(argc, argv)) PrintBanner(argv[0]);
    Settings settings = MakeDefaultSettings();
    if (!ParseCommandLine(argc, argv, &settings)) {
        if (!settings.fHelpRequested) return EXIT_COMMAND_LINE;
        fprintf(stderr, "hc11prog version %s\n", HC11PROG_VERSION);
        return EXIT_DONE;
    }
    return settings.fJson ? RunWithSettingsAsJson(&settings) : RunWithSettings(&settings);
}
