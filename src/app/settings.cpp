// The command line: each option, its value rule and its refusal message.
#include "settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "part_table.h"

Settings g_Settings = MakeDefaultSettings();

// The defaults of the fields that do not start empty; the 811E2's row gives the same range
// and CONFIG value.
Settings MakeDefaultSettings(void) {
    Settings settings = {};
    settings.dwComPort = 1;
    settings.dwTalkerLength = 256;
    settings.bConfigValue = 0xF5;
    settings.wEepromStart = 0xF800;
    settings.wEepromEnd = 0xFFFF;
    settings.dwTalkerRate = 9600;
    settings.pPart = GetDefaultPart();
    return settings;
}

void ResetSettings(void) {
    g_Settings = MakeDefaultSettings();
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

void PrintUsage(void) {
    fprintf(stderr, "%s: [options][-i <filename>]\n", g_Settings.pszProgramName);
    fprintf(stderr, "\twhere\n\t-c n\tn specifies COM port (1 is default)\n");
    fprintf(stderr, "\t-i <filename> is input file\n");
    fprintf(stderr, "\t-E enable expanded memory bus\n");
    fprintf(stderr, "\t-B Bulk erase EEPROM\n");
    fprintf(stderr, "\t-h Help message\n");
    fprintf(stderr, "\t-C <n> Config register value\n");
    fprintf(stderr, "\t-e <start>-<stop> EEPROM address range (default %04x-%04x)\n",
            g_Settings.wEepromStart, g_Settings.wEepromEnd);
    fprintf(stderr, "\t-d <device> serial device to use instead of the COM port\n");
    fprintf(stderr, "\t-l list the serial ports\n");
    fprintf(stderr, "\t-r <start>-<end> read that range back into the -o file\n");
    fprintf(stderr, "\t-o <filename> S19 file the read-back is written to\n");
    fprintf(stderr, "\t-n verify only: compare the chip with the -i file, write nothing\n");
    PrintPartUsage();
    fprintf(stderr,
            "\t-b <rate> talker link rate: 9600 (default), 15625, 31250, 62500 or 125000\n");
    fprintf(stderr, "\nNormal operation on COM1 is as follows:\n");
    fprintf(stderr, "%s -c 1 -i myprog.s19\n\n", g_Settings.pszProgramName);
}

namespace {

// What the user named explicitly: a part's defaults do not override it, whichever comes first.
int g_fEepromRangeGiven;
int g_fConfigGiven;

// A refused value: its message, then the usage; the walk stops.
int RefuseValue(const char *pszMessage) {
    fputs(pszMessage, stderr);
    PrintUsage();
    return 0;
}

// Decimal digits only, and a value that fits 32 bits: anything else would open a port the
// user did not name.
int SetComPort(const char *pszValue) {
    uint64_t qwPort = 0;
    if (pszValue[0] == '\0') return RefuseValue("Expected com port value\n");
    for (const char *pch = pszValue; *pch != '\0'; pch++) {
        if (*pch < '0' || *pch > '9') return RefuseValue("Expected com port value\n");
        qwPort = qwPort * 10 + (uint64_t)(*pch - '0');
        if (qwPort > UINT32_MAX) return RefuseValue("Expected com port value\n");
    }
    g_Settings.dwComPort = (uint32_t)qwPort;
    return 1;
}

int SetConfigValue(const char *pszValue) {
    unsigned int dwValue = 0;
    if (sscanf(pszValue, "%x", &dwValue) != 1 || dwValue > 0xFF) {
        return RefuseValue("Expected Config Register Value between 0 and FF\n");
    }
    g_Settings.bConfigValue = (uint8_t)dwValue;
    g_fConfigGiven = 1;
    return 1;
}

// Copies a name whole, or refuses it: a name cut short would be another file or device.
int CopyName(char *pszField, const char *pszValue, const char *pszMessage) {
    if (strlen(pszValue) >= MAX_FILE_NAME) return RefuseValue(pszMessage);
    strcpy(pszField, pszValue);
    return 1;
}

int SetInputFile(const char *pszValue) {
    if (pszValue[0] == '-') return RefuseValue("Expected input filename value\n");
    return CopyName(g_Settings.szInputFile, pszValue,
                    "Input file name is too long: at most 259 characters\n");
}

int SetDevice(const char *pszValue) {
    if (pszValue[0] == '\0') return RefuseValue("Expected device name value\n");
    return CopyName(g_Settings.szDevice, pszValue,
                    "Device name is too long: at most 259 characters\n");
}

// "-C" only acts through the bulk erase; said once the whole line is read.
void WarnUnusedConfigValue(void) {
    if (g_fConfigGiven && !g_Settings.fBulkErase) {
        fprintf(stderr, "-C has no effect without -B: CONFIG is programmed by the bulk erase\n");
    }
}

// Reads "start-end" (hexadecimal, at most four digits each) into *pwStart and *pwEnd, or
// refuses it: pszExpected when fewer than two numbers convert, pszInvalid when start > end.
int ReadAddressRange(const char *pszValue, uint16_t *pwStart, uint16_t *pwEnd,
                     const char *pszExpected, const char *pszInvalid) {
    unsigned int dwStart = 0, dwEnd = 0;
    if (sscanf(pszValue, "%04x-%04x", &dwStart, &dwEnd) != 2) return RefuseValue(pszExpected);
    if ((uint16_t)dwStart > (uint16_t)dwEnd) return RefuseValue(pszInvalid);
    *pwStart = (uint16_t)dwStart;
    *pwEnd = (uint16_t)dwEnd;
    return 1;
}

int SetEepromRange(const char *pszValue) {
    if (!ReadAddressRange(pszValue, &g_Settings.wEepromStart, &g_Settings.wEepromEnd,
                          "Expected EEPROM Range\n", "Invalid EEPROM range\n")) {
        return 0;
    }
    g_fEepromRangeGiven = 1;
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
int SetPart(const char *pszValue) {
    const PartInfo *pPart = FindPart(pszValue);
    if (pPart == nullptr) return RefuseValue(PartNameMessage());
    g_Settings.pPart = pPart;
    g_Settings.dwTalkerLength = pPart->wBootLoadMax;
    if (!g_fEepromRangeGiven) {
        g_Settings.wEepromStart = pPart->wEepromStart;
        g_Settings.wEepromEnd = pPart->wEepromEnd;
    }
    if (!g_fConfigGiven) g_Settings.bConfigValue = pPart->bConfigAfterErase;
    return 1;
}

// "-r" reads like "-e": two hexadecimal numbers, the start not above the end.
int SetReadRange(const char *pszValue) {
    if (!ReadAddressRange(pszValue, &g_Settings.wReadStart, &g_Settings.wReadEnd,
                          "Expected read range\n", "Invalid read range\n")) {
        return 0;
    }
    g_Settings.fReadBack = 1;
    return 1;
}

int SetOutputFile(const char *pszValue) {
    if (pszValue[0] == '-') return RefuseValue("Expected output filename value\n");
    return CopyName(g_Settings.szOutputFile, pszValue,
                    "Output file name is too long: at most 259 characters\n");
}

// One of the rates the talker's SCI makes (the part table's list).
int SetTalkerRate(const char *pszValue) {
    char *pszEnd = NULL;
    unsigned long dwRate = strtoul(pszValue, &pszEnd, 10);
    if (pszValue[0] < '0' || pszValue[0] > '9' || *pszEnd != '\0' ||
        FindSciRate((uint32_t)dwRate) == NULL) {
        return RefuseValue("Expected rate 9600, 15625, 31250, 62500 or 125000\n");
    }
    g_Settings.dwTalkerRate = (uint32_t)dwRate;
    return 1;
}

// An option that takes a value: its setter and the message when the value is missing.
struct ValueOption {
    const char *pszName;
    int (*pfnSet)(const char *pszValue);
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
};

// An option without a value: the flag it sets (none for "-s" and "-S").
struct FlagOption {
    const char *pszName;
    uint32_t *pfFlag;
};

const FlagOption g_rgFlagOptions[] = {
    {"-s", nullptr},
    {"-S", nullptr},
    {"-B", &g_Settings.fBulkErase},
    {"-E", &g_Settings.fExpandedBus},
    {"-V", &g_Settings.fVerbose},
    {"-n", &g_Settings.fVerifyOnly},
    {"-l", &g_Settings.fListPorts},
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
int CheckCombinations(void) {
    if (g_Settings.fReadBack && g_Settings.szOutputFile[0] == '\0') {
        return RefuseValue("-r needs -o <filename> to write the read-back to\n");
    }
    if (!g_Settings.fReadBack && g_Settings.szOutputFile[0] != '\0') {
        return RefuseValue("-o needs -r <start>-<end>: there is nothing to read\n");
    }
    if (g_Settings.fVerifyOnly && g_Settings.fBulkErase) {
        return RefuseValue("-n can't go with -B: verifying writes nothing\n");
    }
    return 1;
}

}  // namespace

int ParseCommandLine(int argc, char **argv) {
    g_Settings.pszProgramName = argv[0];
    g_fEepromRangeGiven = g_fConfigGiven = 0;
    for (int i = 1; i < argc; i++) {
        const char *pszArg = argv[i];
        if (const ValueOption *pValue = FindValueOption(pszArg)) {
            if (i + 1 >= argc) return RefuseValue(MissingValueMessage(pValue));
            if (!pValue->pfnSet(argv[++i])) return 0;
        } else if (const FlagOption *pFlag = FindFlagOption(pszArg)) {
            if (pFlag->pfFlag != nullptr) *pFlag->pfFlag = 1;
        } else if (strcmp(pszArg, "-I") == 0) {
            g_Settings.szInputFile[0] = '\0';
        } else if (strcmp(pszArg, "-h") == 0) {
            g_Settings.fHelpRequested = 1;
            PrintUsage();
            return 0;
        } else {
            PrintUsage();
            return 0;
        }
    }
    WarnUnusedConfigValue();
    return CheckCombinations();
}
