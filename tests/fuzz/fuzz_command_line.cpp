// libFuzzer target for ParseCommandLine. Each input is an argument list: the bytes split at
// every zero byte, after the program name. An argument that is no option ends the process
// from inside the parser; the fuzzer is linked with --wrap=exit, so that this one call comes
// back here with a longjmp (the parser holds nothing that needs destroying) and every other
// exit, libFuzzer's own included, goes on to the real one.
//
// After each parse the settings must hold what the rest of the tool relies on: a range whose
// start is not above its end, names terminated inside their 260 bytes and each equal to an
// argument given (a name is copied whole or refused, never cut), flags of 0 or 1, a result of
// 0 or 1 (0 after "-h"), and status 1 when the parser ends the process.
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "exit_status.h"
#include "settings.h"

namespace {

// The most arguments taken from one input: enough for every option twice over.
const size_t MAX_ARGUMENTS = 64;

std::jmp_buf g_ParseExit;
bool g_fInsideParse = false;
int g_nExitStatus = -1;

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

void CheckSettings(const std::vector<std::string> &arguments) {
    Require(g_Settings.wEepromStart <= g_Settings.wEepromEnd, "the range starts above its end");
    Require(IsTerminated(g_Settings.szInputFile), "the input file name runs past its room");
    Require(IsTerminated(g_Settings.szDevice), "the device name runs past its room");
    Require(IsTerminated(g_Settings.szTalkerFile), "the talker file name runs past its room");
    Require(IsEmptyOrGiven(g_Settings.szInputFile, arguments), "the input file name was cut");
    Require(IsEmptyOrGiven(g_Settings.szDevice, arguments), "the device name was cut");
    Require(g_Settings.szTalkerFile[0] == '\0', "an option filled the talker file name");
    Require(g_Settings.fBulkErase <= 1 && g_Settings.fExpandedBus <= 1 &&
                g_Settings.fVerbose <= 1 && g_Settings.fHelpRequested <= 1,
            "a flag is neither 0 nor 1");
}

}  // namespace

// Every call of exit in the fuzzer lands here (see the link options).
extern "C" [[noreturn]] void __real_exit(int nStatus);
extern "C" [[noreturn]] void __wrap_exit(int nStatus) {
    if (!g_fInsideParse) __real_exit(nStatus);
    g_nExitStatus = nStatus;
    std::longjmp(g_ParseExit, 1);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData) {
    std::vector<std::string> arguments = SplitArguments(pbData, cbData);
    std::vector<char *> argv;
    for (std::string &argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);

    ResetSettings();
    g_nExitStatus = -1;
    g_fInsideParse = true;
    volatile int nResult = -1;
    if (setjmp(g_ParseExit) == 0) {
        nResult = ParseCommandLine(static_cast<int>(arguments.size()), argv.data());
    }
    g_fInsideParse = false;

    if (g_nExitStatus >= 0) {
        Require(g_nExitStatus == EXIT_COMMAND_LINE,
                "the parser ended the process with status != 1");
    } else {
        Require(nResult == 0 || nResult == 1, "the parser returned neither 0 nor 1");
        Require(!g_Settings.fHelpRequested || nResult == 0, "the parse went on after -h");
    }
    CheckSettings(arguments);
    return 0;
}
