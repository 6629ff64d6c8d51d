// The command line: each option, its value rule and its refusal message.
#include "settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "crystal.h"
#include "hc11_registers.h"
#include "hex_digit.h"
#include "part_table.h"
#include "port.h"
#include "serial_counter.h"
#include "srec_file.h"
#include "talker_clock.h"
#include "talker_link.h"

// The part's defaults where the user named nothing else, as the link describes them: its boot
// load, and unless -e or -C named them, its EEPROM range and the CONFIG value its erase gives.
static void TakePartDefaults(Settings *pSettings, const PartInfo *pPart) {
    LinkTarget target;
    DescribeLinkTarget(&target, pPart, pSettings->dwCrystalHz, 0, "");
    pSettings->pPart = pPart;
    pSettings->dwTalkerLength = target.dwLoadLength;
    if (!pSettings->fEepromRangeGiven) {
        pSettings->wEepromStart = target.wEepromStart;
        pSettings->wEepromEnd = target.wEepromEnd;
    }
    if (!pSettings->fConfigGiven) pSettings->bConfigValue = target.bConfigValue;
}

// The defaults of the fields that do not start empty: the default part's (the 811E2's).
Settings MakeDefaultSettings(void) {
    Settings settings = {};
    settings.dwComPort = 1;
    settings.dwCrystalHz = DEFAULT_CRYSTAL_HZ;
    TakePartDefaults(&settings, GetDefaultPart());  // $F800-$FFFF, CONFIG $F5, a 256-byte load
    TalkerClock clock;
    SetTalkerClock(&clock, settings.dwCrystalHz);
    settings.dwTalkerRate = clock.firstRate.dwRate;  // the talker's own, 9600
    settings.dwMonitorRate = 9600;
    return settings;
}

namespace {

// The parts by name, the default one marked.
void PrintPartUsage(void) {
    fprintf(stderr, "\t-p <part> 68HC11 part:");
    for (unsigned i = 0; i < GetPartCount(); i++) {
        const PartInfo *pPart = GetPartByIndex(i);
        fprintf(stderr, "%s %s%s", i == 0 ? "" : ",", pPart->pszName,
                pPart == GetDefaultPart() ? " (default)" : "");
    }
    fprintf(stderr, "\n");
}

const char CRYSTAL_MESSAGE[] = "Expected crystal frequency in MHz, from 1 to 20 (e.g. 7.3728)\n";

// The rates the talker runs at with the crystal named so far, " 9600 (default), 15625, ...
// or 125000" with pszFirstMark after the first, into szText; returns its length.
size_t FormatTalkerRates(const Settings *pSettings, const char *pszFirstMark, char *pszText,
                         size_t cchText) {
    TalkerClock clock;
    SetTalkerClock(&clock, pSettings->dwCrystalHz);
    SciRate rgRates[MAX_TALKER_RATES];
    uint32_t dwCount = ListTalkerRates(&clock, rgRates);
    size_t cch = 0;
    pszText[0] = '\0';
    for (uint32_t i = 0; i < dwCount && cch < cchText; i++) {
        const char *pszBefore = i == 0 ? "" : i + 1 == dwCount ? " or" : ",";
        cch += (size_t)snprintf(pszText + cch, cchText - cch, "%s %u%s", pszBefore,
                                (unsigned)rgRates[i].dwRate, i == 0 ? pszFirstMark : "");
    }
    return cch < cchText ? cch : cchText - 1;
}

void PrintRateUsage(const Settings *pSettings) {
    char szRates[512];
    FormatTalkerRates(pSettings, " (default)", szRates, sizeof szRates);
    fprintf(stderr, "\t-b <rate> talker link rate:%s\n", szRates);
}

// The board's lines, the wait for a reset by hand, the run and the monitor.
void PrintLoopUsage(void) {
    fprintf(stderr,
            "\t--reset-line dtr|rts the line wired to RESET: reset the board for the load\n");
    fprintf(stderr, "\t--mode-line dtr|rts the line wired to MODA and MODB: bootstrap mode\n");
    fprintf(stderr, "\t--invert-lines the lines hold their pins low while released\n");
    fprintf(stderr, "\t--run reset into the program after the run (needs --reset-line)\n");
    fprintf(stderr,
            "\t--wait <seconds> wait that long for a reset by hand when the board "
            "does not answer\n");
    fprintf(stderr,
            "\t--monitor [rate] show what the chip sends, send what is typed; "
            "Ctrl-] ends it (9600 default)\n");
    fprintf(stderr, "\t--raw the monitor shows every byte as it is, not \\xHH\n");
    fprintf(stderr, "\t--monitor-for <seconds> the monitor ends after that long\n");
}

// Several boards in one run, their serial numbers and records.
void PrintBoardsUsage(void) {
    fprintf(stderr, "\t-d may be given once a board: the boards are programmed at once\n");
    fprintf(stderr, "\t--boards <filename> the boards' ports, one a line (# comments)\n");
    fprintf(stderr,
            "\t--serial <addr>:<bytes> give each board the next number of the --serial-file, "
            "big-endian at addr\n");
    fprintf(stderr, "\t--serial-file <filename> holds the next free serial number\n");
    fprintf(stderr, "\t--log <filename> append a JSON line per board with what it got\n");
    fprintf(stderr, "\t--json write JSON events on standard output instead of text\n");
    fprintf(stderr, "\t--station program board after board on each port, as each is reset\n");
    fprintf(stderr, "\t--count <n> with --station: end after n boards per port\n");
}

}  // namespace

void PrintUsage(const Settings *pSettings) {
    fprintf(stderr, "%s: [options][-i <filename>]\n", pSettings->pszProgramName);
    fprintf(stderr, "\twhere\n\t-c n\tn specifies COM port (1 is default)\n");
    fprintf(stderr, "\t-i <filename> is input file\n");
    fprintf(stderr, "\t-E enable expanded memory bus\n");
    fprintf(stderr, "\t-B Bulk erase EEPROM\n");
    fprintf(stderr, "\t-h Help message\n");
    fprintf(stderr, "\t-C <n> Config register value\n");
    fprintf(stderr, "\t-e <start>-<stop> EEPROM address range (default %04x-%04x)\n",
            pSettings->wEepromStart, pSettings->wEepromEnd);
    fprintf(stderr, "\t-d <device> serial device to use instead of the COM port\n");
    fprintf(stderr, "\t-l list the serial ports\n");
    fprintf(stderr, "\t-r <start>-<end> read that range back into the -o file\n");
    fprintf(
        stderr,
        "\t-o <filename> file the read-back is written to: S19, Intel HEX (.hex), binary (.bin)\n");
    fprintf(stderr, "\t-n verify only: compare the chip with the -i file, write nothing\n");
    fprintf(stderr, "\t-I forget an earlier -i\n");
    fprintf(stderr, "\t-V trace every byte on the wire on standard error\n");
    fprintf(stderr, "\t-s accepted, without effect\n");
    fprintf(stderr, "\t-S accepted, without effect\n");
    PrintPartUsage();
    PrintRateUsage(pSettings);
    fprintf(stderr, "\t-x <MHz> the board's crystal frequency (default 8), from 1 to 20\n");
    fprintf(stderr,
            "\t--confirm-config let -B -C program a CONFIG that turns security on or "
            "the EEPROM off\n");
    PrintLoopUsage();
    fprintf(stderr, "\t--base <addr> the -i file is raw binary, its first byte at addr\n");
    PrintBoardsUsage();
    fprintf(stderr, "\nNormal operation on COM1 is as follows:\n");
    fprintf(stderr, "%s -c 1 -i myprog.s19\n\n", pSettings->pszProgramName);
}

namespace {

// A refused value: its message, then the usage; the walk stops.
int RefuseValue(const Settings *pSettings, const char *pszMessage) {
    fputs(pszMessage, stderr);
    PrintUsage(pSettings);
    return 0;
}

// A setter's answer for a value it does not take: the parser refuses it with the option's
// own text, the one a missing value gets. Refusals for other reasons print their own.
const int VALUE_NOT_EXPECTED = -1;

// Decimal digits only, dwMin to dwMax, nothing after them, into *pdwValue: anything else would
// open a port or set a rate the user did not name.
int ReadDecimal(const char *pszValue, uint32_t dwMin, uint32_t dwMax, uint32_t *pdwValue) {
    uint64_t qwValue = 0;
    if (pszValue[0] == '\0') return 0;
    for (const char *pch = pszValue; *pch != '\0'; pch++) {
        if (*pch < '0' || *pch > '9') return 0;
        qwValue = qwValue * 10 + (uint64_t)(*pch - '0');
        if (qwValue > dwMax) return 0;
    }
    if (qwValue < dwMin) return 0;
    *pdwValue = (uint32_t)qwValue;
    return 1;
}

// Ports count from 1: COM1 is the first.
int SetComPort(Settings *pSettings, const char *pszValue) {
    pSettings->fComPortGiven = 1;
    uint32_t dwPort = 0;
    if (!ReadDecimal(pszValue, 0, UINT32_MAX, &dwPort)) return VALUE_NOT_EXPECTED;
    if (dwPort == 0) return RefuseValue(pSettings, "Expected com port value of 1 or more\n");
    pSettings->dwComPort = dwPort;
    return 1;
}

int SetConfigValue(Settings *pSettings, const char *pszValue) {
    uint32_t dwValue = 0;
    const char *pch = pszValue;
    if (!ReadHexNumber(&pch, 0xFF, &dwValue) || *pch != '\0') return VALUE_NOT_EXPECTED;
    pSettings->bConfigValue = (uint8_t)dwValue;
    pSettings->fConfigGiven = 1;
    return 1;
}

// Copies a name whole, or refuses it: a name cut short would be another file or device.
int CopyName(const Settings *pSettings, char *pszField, const char *pszValue,
             const char *pszMessage) {
    if (strlen(pszValue) >= MAX_FILE_NAME) return RefuseValue(pSettings, pszMessage);
    strcpy(pszField, pszValue);
    return 1;
}

int SetInputFile(Settings *pSettings, const char *pszValue) {
    if (pszValue[0] == '-') return VALUE_NOT_EXPECTED;
    return CopyName(pSettings, pSettings->szInputFile, pszValue,
                    "Input file name is too long: at most 259 characters\n");
}

// Each "-d" is a board; the first is also the one port of a run of one board.
int SetDevice(Settings *pSettings, const char *pszValue) {
    if (pszValue[0] == '\0') return VALUE_NOT_EXPECTED;
    if (pSettings->dwDevices == MAX_DEVICE_NAMES)
        return RefuseValue(pSettings, "Too many boards: at most 128\n");
    char *pszBoard = pSettings->rgszDevices[pSettings->dwDevices];
    if (!CopyName(pSettings, pszBoard, pszValue,
                  "Device name is too long: at most 259 characters\n"))
        return 0;
    if (pSettings->dwDevices++ == 0)
        snprintf(pSettings->szDevice, sizeof pSettings->szDevice, "%s", pszBoard);
    return 1;
}

// "-C" only acts through the bulk erase; said once the whole line is read.
void WarnUnusedConfigValue(const Settings *pSettings) {
    if (pSettings->fConfigGiven && !pSettings->fBulkErase) {
        fprintf(stderr, "-C has no effect without -B: CONFIG is programmed by the bulk erase\n");
    }
}

// Reads "start-end" (hexadecimal, at most $FFFF each, nothing after the end) into *pwStart
// and *pwEnd, or refuses it: VALUE_NOT_EXPECTED when it is not that, pszInvalid when
// start > end.
int ReadAddressRange(const Settings *pSettings, const char *pszValue, uint16_t *pwStart,
                     uint16_t *pwEnd, const char *pszInvalid) {
    uint32_t dwStart = 0, dwEnd = 0;
    const char *pch = pszValue;
    int fRead = ReadHexNumber(&pch, 0xFFFF, &dwStart) && *pch++ == '-' &&
                ReadHexNumber(&pch, 0xFFFF, &dwEnd);
    if (!fRead || *pch != '\0') return VALUE_NOT_EXPECTED;
    if (dwStart > dwEnd) return RefuseValue(pSettings, pszInvalid);
    *pwStart = (uint16_t)dwStart;
    *pwEnd = (uint16_t)dwEnd;
    return 1;
}

int SetEepromRange(Settings *pSettings, const char *pszValue) {
    int nRead = ReadAddressRange(pSettings, pszValue, &pSettings->wEepromStart,
                                 &pSettings->wEepromEnd, "Invalid EEPROM range\n");
    if (nRead == 1) pSettings->fEepromRangeGiven = 1;
    return nRead;
}

// The message for a part name that is missing or unknown: the names that are.
const char *PartNameMessage(void) {
    static char szMessage[128];
    size_t cch = (size_t)snprintf(szMessage, sizeof szMessage, "Expected part name:");
    for (unsigned i = 0; i < GetPartCount() && cch < sizeof szMessage; i++) {
        cch += (size_t)snprintf(szMessage + cch, sizeof szMessage - cch, "%s %s", i == 0 ? "" : ",",
                                GetPartByIndex(i)->pszName);
    }
    if (cch + 1 < sizeof szMessage) strcpy(szMessage + cch, "\n");
    return szMessage;
}

// The part's EEPROM (with CONFIG erased) and its CONFIG value, where "-e" and "-C" did not
// name them.
int SetPart(Settings *pSettings, const char *pszValue) {
    const PartInfo *pPart = FindPart(pszValue);
    if (pPart == nullptr) return VALUE_NOT_EXPECTED;
    TakePartDefaults(pSettings, pPart);
    return 1;
}

// "-r" reads like "-e": two hexadecimal numbers, the start not above the end.
int SetReadRange(Settings *pSettings, const char *pszValue) {
    int nRead = ReadAddressRange(pSettings, pszValue, &pSettings->wReadStart, &pSettings->wReadEnd,
                                 "Invalid read range\n");
    if (nRead == 1) pSettings->fReadBack = 1;
    return nRead;
}

int SetOutputFile(Settings *pSettings, const char *pszValue) {
    if (pszValue[0] == '-') return VALUE_NOT_EXPECTED;
    return CopyName(pSettings, pSettings->szOutputFile, pszValue,
                    "Output file name is too long: at most 259 characters\n");
}

// The message for a rate the talker can't run at: the ones it can with the crystal named so
// far (which only an "-x" other than 8 MHz adds to the message).
const char *TalkerRateMessage(const Settings *pSettings) {
    static char szMessage[512];
    size_t cch = (size_t)snprintf(szMessage, sizeof szMessage, "Expected rate");
    cch += FormatTalkerRates(pSettings, "", szMessage + cch, sizeof szMessage - cch);
    if (pSettings->dwCrystalHz != DEFAULT_CRYSTAL_HZ) {
        cch += (size_t)snprintf(szMessage + cch, sizeof szMessage - cch, " with a %g MHz crystal",
                                pSettings->dwCrystalHz / 1e6);
    }
    if (cch + 1 < sizeof szMessage) strcpy(szMessage + cch, "\n");
    return szMessage;
}

// A rate in decimal digits; whether the talker runs at it is judged once "-x" is known.
int SetTalkerRate(Settings *pSettings, const char *pszValue) {
    if (!ReadDecimal(pszValue, 1, UINT32_MAX, &pSettings->dwTalkerRateAsked))
        return VALUE_NOT_EXPECTED;
    return 1;
}

// The crystal in decimal MHz, within the range boards use, as hc11sim's "--crystal" reads it.
int SetCrystal(Settings *pSettings, const char *pszValue) {
    if (!ReadCrystalMhz(pszValue, &pSettings->dwCrystalHz)) return VALUE_NOT_EXPECTED;
    return 1;
}

// "dtr" or "rts" into *pdwLine (port.h's PORT_LINE_DTR and PORT_LINE_RTS).
int ReadLineName(const char *pszValue, uint32_t *pdwLine) {
    if (strcmp(pszValue, "dtr") == 0)
        *pdwLine = PORT_LINE_DTR;
    else if (strcmp(pszValue, "rts") == 0)
        *pdwLine = PORT_LINE_RTS;
    else
        return 0;
    return 1;
}

int SetResetLine(Settings *pSettings, const char *pszValue) {
    return ReadLineName(pszValue, &pSettings->dwResetLine) ? 1 : VALUE_NOT_EXPECTED;
}

int SetModeLine(Settings *pSettings, const char *pszValue) {
    return ReadLineName(pszValue, &pSettings->dwModeLine) ? 1 : VALUE_NOT_EXPECTED;
}

const uint32_t MAX_WAIT_SECONDS = 86400;  // a day: longer is a typing slip

int SetWaitSeconds(Settings *pSettings, const char *pszValue) {
    if (!ReadDecimal(pszValue, 1, MAX_WAIT_SECONDS, &pSettings->dwWaitSeconds))
        return VALUE_NOT_EXPECTED;
    return 1;
}

int SetMonitorSeconds(Settings *pSettings, const char *pszValue) {
    if (!ReadDecimal(pszValue, 1, MAX_WAIT_SECONDS, &pSettings->dwMonitorSeconds))
        return VALUE_NOT_EXPECTED;
    return 1;
}

// The rates a serial port may be asked for: 50 baud to 4 Mbaud.
const uint32_t MIN_MONITOR_RATE = 50, MAX_MONITOR_RATE = 4000000;

// "--monitor" takes the next argument as its rate when that starts with a digit.
int SetMonitor(Settings *pSettings, int argc, char **argv, int *pi) {
    pSettings->fMonitor = 1;
    if (*pi + 1 >= argc || argv[*pi + 1][0] < '0' || argv[*pi + 1][0] > '9') return 1;
    *pi += 1;
    if (!ReadDecimal(argv[*pi], MIN_MONITOR_RATE, MAX_MONITOR_RATE, &pSettings->dwMonitorRate))
        return RefuseValue(pSettings, "Expected --monitor rate from 50 to 4000000\n");
    return 1;
}

// "--base": one to four hexadecimal digits and nothing after them.
int SetBinaryBase(Settings *pSettings, const char *pszValue) {
    unsigned long dwBase = strtoul(pszValue, NULL, 16);
    size_t cchDigits = strspn(pszValue, "0123456789abcdefABCDEF");
    if (cchDigits == 0 || cchDigits > 4 || pszValue[cchDigits] != '\0') return VALUE_NOT_EXPECTED;
    pSettings->wBinaryBase = (uint16_t)dwBase;
    pSettings->fBinaryBase = 1;
    return 1;
}

int SetBoardsFile(Settings *pSettings, const char *pszValue) {
    if (pszValue[0] == '\0') return VALUE_NOT_EXPECTED;
    return CopyName(pSettings, pSettings->szBoardsFile, pszValue,
                    "Boards file name is too long: at most 259 characters\n");
}

int SetSerial(Settings *pSettings, const char *pszValue) {
    if (!ParseSerialSpec(pszValue, &pSettings->wSerialAddress, &pSettings->dwSerialBytes))
        return VALUE_NOT_EXPECTED;
    pSettings->fSerial = 1;
    return 1;
}

int SetSerialFile(Settings *pSettings, const char *pszValue) {
    if (pszValue[0] == '\0') return VALUE_NOT_EXPECTED;
    return CopyName(pSettings, pSettings->szSerialFile, pszValue,
                    "Serial file name is too long: at most 259 characters\n");
}

int SetLogFile(Settings *pSettings, const char *pszValue) {
    if (pszValue[0] == '\0') return VALUE_NOT_EXPECTED;
    return CopyName(pSettings, pSettings->szLogFile, pszValue,
                    "Log file name is too long: at most 259 characters\n");
}

int SetStationCount(Settings *pSettings, const char *pszValue) {
    if (!ReadDecimal(pszValue, 1, UINT32_MAX, &pSettings->dwStationCount))
        return VALUE_NOT_EXPECTED;
    return 1;
}

// An option that takes a value: its setter (1, 0 after its own refusal, or VALUE_NOT_EXPECTED)
// and the text that refuses a value missing or not expected; nullptr where the text is worded
// from what the line has named so far (see ExpectedValueMessage).
struct ValueOption {
    const char *pszName;
    int (*pfnSet)(Settings *pSettings, const char *pszValue);
    const char *pszExpected;
};

const ValueOption g_rgValueOptions[] = {
    {"-c", SetComPort, "Expected com port value\n"},
    {"-C", SetConfigValue, "Expected Config Register Value between 0 and FF\n"},
    {"-i", SetInputFile, "Expected input filename value\n"},
    {"-e", SetEepromRange, "Expected EEPROM Range\n"},
    {"-d", SetDevice, "Expected device name value\n"},
    {"-p", SetPart, nullptr},
    {"-r", SetReadRange, "Expected read range\n"},
    {"-o", SetOutputFile, "Expected output filename value\n"},
    {"-b", SetTalkerRate, nullptr},
    {"-x", SetCrystal, CRYSTAL_MESSAGE},
    {"--reset-line", SetResetLine, "Expected --reset-line dtr or rts\n"},
    {"--mode-line", SetModeLine, "Expected --mode-line dtr or rts\n"},
    {"--wait", SetWaitSeconds, "Expected --wait seconds from 1 to 86400\n"},
    {"--monitor-for", SetMonitorSeconds, "Expected --monitor-for seconds from 1 to 86400\n"},
    {"--base", SetBinaryBase, "Expected base address (hexadecimal, 0-ffff)\n"},
    {"--boards", SetBoardsFile, "Expected --boards filename value\n"},
    {"--serial", SetSerial, "Expected --serial <addr>:<bytes>, addr hexadecimal, bytes 1 to 8\n"},
    {"--serial-file", SetSerialFile, "Expected --serial-file filename value\n"},
    {"--log", SetLogFile, "Expected --log filename value\n"},
    {"--count", SetStationCount, "Expected --count boards, 1 or more\n"},
};

// An option without a value: the flag it sets (none for "-s" and "-S").
struct FlagOption {
    const char *pszName;
    uint32_t Settings::*pfFlag;
};

const FlagOption g_rgFlagOptions[] = {
    {"-s", nullptr},
    {"-S", nullptr},
    {"-B", &Settings::fBulkErase},
    {"-E", &Settings::fExpandedBus},
    {"-V", &Settings::fVerbose},
    {"-n", &Settings::fVerifyOnly},
    {"-l", &Settings::fListPorts},
    {"--confirm-config", &Settings::fConfirmConfig},
    {"--invert-lines", &Settings::fInvertLines},
    {"--run", &Settings::fRun},
    {"--raw", &Settings::fMonitorRaw},
    {"--json", &Settings::fJson},
    {"--station", &Settings::fStation},
};

// The parts known, and the rates the talker runs at with the crystal named so far.
const char *ExpectedValueMessage(const ValueOption *pOption, const Settings *pSettings) {
    if (pOption->pszExpected != nullptr) return pOption->pszExpected;
    return pOption->pfnSet == SetPart ? PartNameMessage() : TalkerRateMessage(pSettings);
}

// The option's value from argv[*pi + 1], *pi moved past it. Returns 1, or 0 after a refusal.
int TakeValue(const ValueOption *pOption, int argc, char **argv, int *pi, Settings *pSettings) {
    if (*pi + 1 >= argc) return RefuseValue(pSettings, ExpectedValueMessage(pOption, pSettings));
    *pi += 1;
    int nSet = pOption->pfnSet(pSettings, argv[*pi]);
    if (nSet == VALUE_NOT_EXPECTED)
        return RefuseValue(pSettings, ExpectedValueMessage(pOption, pSettings));
    return nSet;
}

const ValueOption *FindValueOption(const char *pszArg) {
    for (const ValueOption &option : g_rgValueOptions) {
        if (strcmp(pszArg, option.pszName) == 0) return &option;
    }
    return nullptr;
}

const FlagOption *FindFlagOption(const char *pszArg) {
    for (const FlagOption &option : g_rgFlagOptions) {
        if (strcmp(pszArg, option.pszName) == 0) return &option;
    }
    return nullptr;
}

}  // namespace

namespace {

// "-b" among the rates the talker runs at with the crystal, or without "-b" the first of them.
int SettleTalkerRate(Settings *pSettings) {
    TalkerClock clock;
    SetTalkerClock(&clock, pSettings->dwCrystalHz);
    SciRate rate;
    if (pSettings->dwTalkerRateAsked == 0) {
        pSettings->dwTalkerRate = clock.firstRate.dwRate;
    } else if (FindTalkerRate(&clock, pSettings->dwTalkerRateAsked, &rate)) {
        pSettings->dwTalkerRate = rate.dwRate;
    } else {
        return RefuseValue(pSettings, TalkerRateMessage(pSettings));
    }
    return 1;
}

// Names what was not understood; a bare name is most often an input file without its "-i".
void ReportUnknownArgument(const char *pszArg) {
    static char szShown[SHOWN_NAME_ROOM];
    FormatShownName(pszArg, szShown, sizeof szShown);
    fprintf(stderr, "Unknown argument: %s%s\n", szShown,
            pszArg[0] == '-' ? "" : " (an input file is named with -i)");
}

// The lines, the run and the monitor: each option with what it needs.
int CheckLoopCombinations(const Settings *pSettings) {
    if (pSettings->dwModeLine != 0 && pSettings->dwModeLine == pSettings->dwResetLine)
        return RefuseValue(pSettings, "--mode-line and --reset-line need two lines\n");
    if (pSettings->dwResetLine == 0 && (pSettings->dwModeLine != 0 || pSettings->fInvertLines))
        return RefuseValue(pSettings, "--mode-line and --invert-lines need --reset-line\n");
    if (pSettings->fRun && pSettings->dwResetLine == 0)
        return RefuseValue(pSettings,
                           "--run needs --reset-line: the program starts from a reset\n");
    if (!pSettings->fMonitor && (pSettings->fMonitorRaw || pSettings->dwMonitorSeconds != 0))
        return RefuseValue(pSettings, "--raw and --monitor-for need --monitor\n");
    return 1;
}

// Several boards, serial numbers and the station: each option with what it needs.
int CheckBoardCombinations(const Settings *pSettings) {
    if (pSettings->fComPortGiven && (pSettings->dwDevices > 1 || pSettings->szBoardsFile[0]))
        return RefuseValue(pSettings, "-c names one port: it can't go with several boards\n");
    if (pSettings->fMonitor && IsSeveralBoards(pSettings))
        return RefuseValue(pSettings, "--monitor watches one board: it can't go with several\n");
    if (pSettings->dwStationCount != 0 && !pSettings->fStation)
        return RefuseValue(pSettings, "--count needs --station\n");
    if (pSettings->fSerial != (pSettings->szSerialFile[0] != '\0'))
        return RefuseValue(pSettings, "--serial and --serial-file go together\n");
    if (pSettings->fSerial && (pSettings->szInputFile[0] == '\0' || pSettings->fVerifyOnly))
        return RefuseValue(pSettings,
                           "--serial goes with a run that programs an -i file, not with -n or -r "
                           "alone\n");
    return 1;
}

// Options that make no sense together, or one without the other it needs.
int CheckCombinations(const Settings *pSettings) {
    if (pSettings->fReadBack && pSettings->szOutputFile[0] == '\0') {
        return RefuseValue(pSettings, "-r needs -o <filename> to write the read-back to\n");
    }
    if (!pSettings->fReadBack && pSettings->szOutputFile[0] != '\0') {
        return RefuseValue(pSettings, "-o needs -r <start>-<end>: there is nothing to read\n");
    }
    if (pSettings->fVerifyOnly && pSettings->fBulkErase) {
        return RefuseValue(pSettings, "-n can't go with -B: verifying writes nothing\n");
    }
    return CheckLoopCombinations(pSettings) && CheckBoardCombinations(pSettings);
}

}  // namespace

int IsSeveralBoards(const Settings *pSettings) {
    return pSettings->dwDevices > 1 || pSettings->szBoardsFile[0] != '\0' || pSettings->fStation;
}

int ParseCommandLine(int argc, char **argv, Settings *pSettings) {
    pSettings->pszProgramName = argv[0];
    pSettings->fEepromRangeGiven = pSettings->fConfigGiven = 0;
    for (int i = 1; i < argc; i++) {
        const char *pszArg = argv[i];
        if (const ValueOption *pValue = FindValueOption(pszArg)) {
            if (!TakeValue(pValue, argc, argv, &i, pSettings)) return 0;
        } else if (const FlagOption *pFlag = FindFlagOption(pszArg)) {
            if (pFlag->pfFlag != nullptr) pSettings->*pFlag->pfFlag = 1;
        } else if (strcmp(pszArg, "--monitor") == 0) {
            if (!SetMonitor(pSettings, argc, argv, &i)) return 0;
        } else if (strcmp(pszArg, "-I") == 0) {
            pSettings->szInputFile[0] = '\0';
        } else if (strcmp(pszArg, "-h") == 0) {
            pSettings->fHelpRequested = 1;
            PrintUsage(pSettings);
            return 0;
        } else {
            ReportUnknownArgument(pszArg);
            PrintUsage(pSettings);
            return 0;
        }
    }
    WarnUnusedConfigValue(pSettings);
    return CheckCombinations(pSettings) && SettleTalkerRate(pSettings);
}
