// libFuzzer target for ParseCommandLine. Each input is an argument list: the bytes split at
// every zero byte, after the program name.
//
// After each parse the settings must hold what the rest of the tool relies on: a range whose
// start is not above its end, names terminated inside their 260 bytes and each equal to an
// argument given (a name is copied whole or refused, never cut), flags of 0 or 1, and a result
// of 0 or 1 (0 after "-h" and after an argument that is no option: the parser never ends the
// process itself).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "port.h"
#include "settings.h"

namespace {

// The most arguments taken from one input: enough for every option twice over.
const size_t MAX_ARGUMENTS = 64;

int IsLineOrNone(uint32_t dwLine) {
    return dwLine == 0 || dwLine == PORT_LINE_DTR || dwLine == PORT_LINE_RTS;
}

void Require(bool fCondition, const char *pszWhat) {
    if (fCondition) return;
    // Standard output: the fuzzer runs with standard error closed for the usage texts.
    fprintf(stdout, "fuzz_command_line: %s\n", pszWhat);
    fflush(stdout);
    abort();
}

std::vector<std::string> SplitArguments(const uint8_t *pbData, size_t cbData) {
    std::vector<std::string> arguments = {"hc11prog"};
    std::string strText(reinterpret_cast<const char *>(pbData), cbData);
    for (size_t iStart = 0; iStart <= strText.size() && arguments.size() < MAX_ARGUMENTS;) {
        size_t iEnd = strText.find('\0', iStart);
        if (iEnd == std::string::npos) iEnd = strText.size();
        arguments.push_back(strText.substr(iStart, iEnd - iStart));
        iStart = iEnd + 1;
    }
    if (cbData == 0) arguments.pop_back();  // no bytes: the program name alone
    return arguments;
}

bool IsTerminated(const char *pszField) {
    return memchr(pszField, '\0', MAX_FILE_NAME) != NULL;
}

// An empty name, or one of the arguments exactly.
bool IsEmptyOrGiven(const char *pszField, const std::vector<std::string> &arguments) {
    if (pszField[0] == '\0') return true;
    for (size_t i = 1; i < arguments.size(); i++) {
        if (arguments[i] == pszField) return true;
    }
    return false;
}

void CheckSettings(const Settings &settings, const std::vector<std::string> &arguments) {
    Require(settings.wEepromStart <= settings.wEepromEnd, "the range starts above its end");
    Require(!settings.fReadBack || settings.wReadStart <= settings.wReadEnd,
            "the read range starts above its end");
    Require(settings.dwComPort != 0, "port 0 was taken: ports count from 1");
    Require(IsTerminated(settings.szInputFile), "the input file name runs past its room");
    Require(IsTerminated(settings.szDevice), "the device name runs past its room");
    Require(IsEmptyOrGiven(settings.szInputFile, arguments), "the input file name was cut");
    Require(IsEmptyOrGiven(settings.szDevice, arguments), "the device name was cut");
    Require(settings.fBulkErase <= 1 && settings.fExpandedBus <= 1 && settings.fVerbose <= 1 &&
                settings.fHelpRequested <= 1 && settings.fConfirmConfig <= 1,
            "a flag is neither 0 nor 1");
    Require(IsLineOrNone(settings.dwResetLine) && IsLineOrNone(settings.dwModeLine),
            "a line is neither DTR nor RTS");
    Require(settings.dwDevices <= MAX_DEVICE_NAMES, "more boards than the list holds");
    for (uint32_t i = 0; i < settings.dwDevices; i++)
        Require(IsTerminated(settings.rgszDevices[i]) &&
                    IsEmptyOrGiven(settings.rgszDevices[i], arguments),
                "a board's name was cut");
    Require(settings.dwDevices == 0 || strcmp(settings.szDevice, settings.rgszDevices[0]) == 0,
            "the one port of a run is not the first -d");
    Require(!settings.fSerial || (settings.dwSerialBytes >= 1 && settings.dwSerialBytes <= 8 &&
                                  settings.wSerialAddress + settings.dwSerialBytes <= 0x10000),
            "a serial number's bytes out of their range");
    Require(settings.fInvertLines <= 1 && settings.fRun <= 1 && settings.fMonitor <= 1 &&
                settings.fMonitorRaw <= 1,
            "a loop flag is neither 0 nor 1");
    Require(settings.dwWaitSeconds <= 86400 && settings.dwMonitorSeconds <= 86400,
            "a time above a day");
    Require(settings.dwMonitorRate >= 50 && settings.dwMonitorRate <= 4000000,
            "a monitor rate no port takes");
    Require(settings.dwCrystalHz >= 1000000 && settings.dwCrystalHz <= 20000000,
            "a crystal outside 1 to 20 MHz");
}

// "-x" takes decimal MHz alone: digits, then a point and digits or nothing.
bool IsDecimalMhz(const std::string &strValue) {
    size_t cchWhole = strValue.find_first_not_of("0123456789");
    if (cchWhole == 0) return false;
    if (cchWhole == std::string::npos) return true;
    return strValue[cchWhole] == '.' && cchWhole + 1 < strValue.size() &&
           strValue.find_first_not_of("0123456789", cchWhole + 1) == std::string::npos;
}

// A crystal other than the default came from a "-x" with decimal MHz.
void CheckCrystalGiven(const Settings &settings, const std::vector<std::string> &arguments) {
    if (settings.dwCrystalHz == 8000000) return;
    bool fGiven = false;
    for (size_t i = 1; i + 1 < arguments.size(); i++)
        fGiven = fGiven || (arguments[i] == "-x" && IsDecimalMhz(arguments[i + 1]));
    Require(fGiven, "a crystal taken from no decimal MHz");
}

// What an accepted line promises the loop: every option has what it needs.
void CheckAcceptedLoop(const Settings &settings) {
    Require(settings.dwResetLine != 0 ||
                (settings.dwModeLine == 0 && !settings.fInvertLines && !settings.fRun),
            "a line option or --run without --reset-line");
    Require(settings.dwModeLine == 0 || settings.dwModeLine != settings.dwResetLine,
            "the mode and reset lines are one");
    Require(settings.fMonitor || (!settings.fMonitorRaw && settings.dwMonitorSeconds == 0),
            "--raw or --monitor-for without --monitor");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData) {
    std::vector<std::string> arguments = SplitArguments(pbData, cbData);
    std::vector<char *> argv;
    for (std::string &argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);

    Settings settings = MakeDefaultSettings();
    int nResult = ParseCommandLine(static_cast<int>(arguments.size()), argv.data(), &settings);
    Require(nResult == 0 || nResult == 1, "the parser returned neither 0 nor 1");
    Require(!settings.fHelpRequested || nResult == 0, "the parse went on after -h");
    CheckSettings(settings, arguments);
    if (nResult == 1) CheckAcceptedLoop(settings);
    CheckCrystalGiven(settings, arguments);
    return 0;
}
