// The command line: each option, its value rule and its refusal message.
#include "settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "part_table.h"

// The defaults of the fields that do not start empty: the default part's (the 811E2's).
Settings MakeDefaultSettings(void) {
    const PartInfo *pPart = GetDefaultPart();
    Settings settings = {};
    settings.dwComPort = 1;
    settings.dwTalkerLength = pPart->wBootLoadMax;     // 256
    settings.bConfigValue = pPart->bConfigAfterErase;  // $F5
    settings.wEepromStart = pPart->wEepromStart;       // $F800-$FFFF
    settings.wEepromEnd = pPart->wEepromEnd;
    settings.dwTalkerRate = GetSciRateByIndex(0)->dwRate;  // the talker's own, 9600
    settings.pPart = pPart;
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
    fprintf(stderr, "\t-o <filename> S19 file the read-back is written to\n");
    fprintf(stderr, "\t-n verify only: compare the chip with the -i file, write nothing\n");
    PrintPartUsage();
    fprintf(stderr,
            "\t-b <rate> talker link rate: 9600 (default), 15625, 31250, 62500 or 125000\n");
    fprintf(stderr, "\t--base <addr> the -i file is raw binary, its first byte at addr\n");
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

// Decimal digits only, and a value that fits 32 bits: anything else would open a port the
// user did not name.
int SetComPort(Settings *pSettings, const char *pszValue) {
    uint64_t qwPort = 0;
    if (pszValue[0] == '\0') return RefuseValue(pSettings, "Expected com port value\n");
    for (const char *pch = pszValue; *pch != '\0'; pch++) {
        if (*pch < '0' || *pch > '9') return RefuseValue(pSettings, "Expected com port value\n");
        qwPort = qwPort * 10 + (uint64_t)(*pch - '0');
        if (qwPort > UINT32_MAX) return RefuseValue(pSettings, "Expected com port value\n");
    }
    pSettings->dwComPort = (uint32_t)qwPort;
    return 1;
}

int SetConfigValue(Settings *pSettings, const char *pszValue) {
    unsigned int dwValue = 0;
    if (sscanf(pszValue, "%x", &dwValue) != 1 || dwValue > 0xFF) {
        return RefuseValue(pSettings, "Expected Config Register Value between 0 and FF\n");
    }
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
    if (pszValue[0] == '-') return RefuseValue(pSettings, "Expected input filename value\n");
    return CopyName(pSettings, pSettings->szInputFile, pszValue,
                    "Input file name is too long: at most 259 characters\n");
}

int SetDevice(Settings *pSettings, const char *pszValue) {
    if (pszValue[0] == '\0') return RefuseValue(pSettings, "Expected device name value\n");
    return CopyName(pSettings, pSettings->szDevice, pszValue,
                    "Device name is too long: at most 259 characters\n");
}

// "-C" only acts through the bulk erase; said once the whole line is read.
void WarnUnusedConfigValue(const Settings *pSettings) {
    if (pSettings->fConfigGiven && !pSettings->fBulkErase) {
        fprintf(stderr, "-C has no effect without -B: CONFIG is programmed by the bulk erase\n");
    }
}

// Reads "start-end" (hexadecimal, at most four digits each) into *pwStart and *pwEnd, or
// refuses it: pszExpected when fewer than two numbers convert, pszInvalid when start > end.
int ReadAddressRange(const Settings *pSettings, const char *pszValue, uint16_t *pwStart,
                     uint16_t *pwEnd, const char *pszExpected, const char *pszInvalid) {
    unsigned int dwStart = 0, dwEnd = 0;
    if (sscanf(pszValue, "%04x-%04x", &dwStart, &dwEnd) != 2)
        return RefuseValue(pSettings, pszExpected);
    if ((uint16_t)dwStart > (uint16_t)dwEnd) return RefuseValue(pSettings, pszInvalid);
    *pwStart = (uint16_t)dwStart;
    *pwEnd = (uint16_t)dwEnd;
    return 1;
}

int SetEepromRange(Settings *pSettings, const char *pszValue) {
    if (!ReadAddressRange(pSettings, pszValue, &pSettings->wEepromStart, &pSettings->wEepromEnd,
                          "Expected EEPROM Range\n", "Invalid EEPROM range\n")) {
        return 0;
    }
    pSettings->fEepromRangeGiven = 1;
    return 1;
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
    if (pPart == nullptr) return RefuseValue(pSettings, PartNameMessage());
    pSettings->pPart = pPart;
    pSettings->dwTalkerLength = pPart->wBootLoadMax;
    if (!pSettings->fEepromRangeGiven) {
        pSettings->wEepromStart = pPart->wEepromStart;
        pSettings->wEepromEnd = pPart->wEepromEnd;
    }
    if (!pSettings->fConfigGiven) pSettings->bConfigValue = pPart->bConfigAfterErase;
    return 1;
}

// "-r" reads like "-e": two hexadecimal numbers, the start not above the end.
int SetReadRange(Settings *pSettings, const char *pszValue) {
    if (!ReadAddressRange(pSettings, pszValue, &pSettings->wReadStart, &pSettings->wReadEnd,
                          "Expected read range\n", "Invalid read range\n")) {
        return 0;
    }
    pSettings->fReadBack = 1;
    return 1;
}

int SetOutputFile(Settings *pSettings, const char *pszValue) {
    if (pszValue[0] == '-') return RefuseValue(pSettings, "Expected output filename value\n");
    return CopyName(pSettings, pSettings->szOutputFile, pszValue,
                    "Output file name is too long: at most 259 characters\n");
}

// One of the rates the talker's SCI makes (the part table's list).
int SetTalkerRate(Settings *pSettings, const char *pszValue) {
    char *pszEnd = NULL;
    unsigned long dwRate = strtoul(pszValue, &pszEnd, 10);
    if (pszValue[0] < '0' || pszValue[0] > '9' || *pszEnd != '\0' ||
        FindSciRate((uint32_t)dwRate) == NULL) {
        return RefuseValue(pSettings, "Expected rate 9600, 15625, 31250, 62500 or 125000\n");
    }
    pSettings->dwTalkerRate = (uint32_t)dwRate;
    return 1;
}

// "--base": one to four hexadecimal digits and nothing after them.
int SetBinaryBase(Settings *pSettings, const char *pszValue) {
    unsigned long dwBase = strtoul(pszValue, NULL, 16);
    size_t cchDigits = strspn(pszValue, "0123456789abcdefABCDEF");
    if (cchDigits == 0 || cchDigits > 4 || pszValue[cchDigits] != '\0') {
        return RefuseValue(pSettings, "Expected base address (hexadecimal, 0-ffff)\n");
    }
    pSettings->wBinaryBase = (uint16_t)dwBase;
    pSettings->fBinaryBase = 1;
    return 1;
}

// An option that takes a value: its setter and the message when the value is missing.
struct ValueOption {
    const char *pszName;
    int (*pfnSet)(Settings *pSettings, const char *pszValue);
    const char *pszMissing;
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
    {"-b", SetTalkerRate, "Expected rate 9600, 15625, 31250, 62500 or 125000\n"},
    {"--base", SetBinaryBase, "Expected base address (hexadecimal, 0-ffff)\n"},
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
};

const char *MissingValueMessage(const ValueOption *pOption) {
    return pOption->pszMissing != nullptr ? pOption->pszMissing : PartNameMessage();
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
    return 1;
}

}  // namespace

int ParseCommandLine(int argc, char **argv, Settings *pSettings) {
    pSettings->pszProgramName = argv[0];
    pSettings->fEepromRangeGiven = pSettings->fConfigGiven = 0;
    for (int i = 1; i < argc; i++) {
        const char *pszArg = argv[i];
        if (const ValueOption *pValue = FindValueOption(pszArg)) {
            if (i + 1 >= argc) return RefuseValue(pSettings, MissingValueMessage(pValue));
            if (!pValue->pfnSet(pSettings, argv[++i])) return 0;
        } else if (const FlagOption *pFlag = FindFlagOption(pszArg)) {
            if (pFlag->pfFlag != nullptr) pSettings->*pFlag->pfFlag = 1;
        } else if (strcmp(pszArg, "-I") == 0) {
            pSettings->szInputFile[0] = '\0';
        } else if (strcmp(pszArg, "-h") == 0) {
            pSettings->fHelpRequested = 1;
            PrintUsage(pSettings);
            return 0;
        } else {
            PrintUsage(pSettings);
            return 0;
        }
    }
    WarnUnusedConfigValue(pSettings);
    return CheckCombinations(pSettings);
}
