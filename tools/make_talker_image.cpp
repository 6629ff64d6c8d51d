// make_talker_image: assembles the talker and writes the TalkerImage table the host carries.
//
//   make_talker_image [--as PATH] [--ld PATH] [--objcopy PATH] [--nm PATH] [--work DIR]
//                     talker.s talker.ld talker_image.cpp
//
// The talker is assembled and linked at $0000, its code is taken out as raw bytes, checked
// against the RAM it must fit, cut into S1 lines of 30 data bytes and ended by the S9 line.
// Its deepest stack is worked out from the source (talker_stack.h) and must fit the room the
// source gives it; the margin is printed. Beside talker_image.cpp it writes talker_image.h,
// which states where the host patches the image for another E clock. The source name is
// printed into the output as given, so run it from the top of the tree.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "srecord.h"
#include "talker_stack.h"

namespace {

enum {
    RAM_SIZE = 256,  // the chip's RAM, $0000-$00FF: code, variables and stack
    DATA_BYTES_PER_LINE = 30,
};

struct GeneratorSettings {
    std::string sAssembler = "m68hc11-as";
    std::string sLinker = "m68hc11-ld";
    std::string sObjcopy = "m68hc11-objcopy";
    std::string sNm = "m68hc11-nm";
    std::string sWorkDir = ".";
    std::string sSource;
    std::string sLinkScript;
    std::string sOutput;
};

// Where the link put the things the image's conditions are about, and the values the source
// gives the patchable places.
struct TalkerLayout {
    long lStart = -1;
    long lStartupEnd = -1;  // the start-up code, run once, holds the stack and the variables
    long lPollMask = -1;    // the first variable, a byte of the start-up code
    long lReadyValue = -1;  // its first value, RDRF
    long lVariablesEnd = -1;
    long lStackTop = -1;
    long lStackBytes = -1;
    long lDeepestStack = -1;
    long lBaudOffset = -1;
    long lShortDelayOffset = -1;
    long lLongDelayOffset = -1;
    long lDelayPassCycles = -1;
    long lBaudValue = -1;
    long lShortPasses = -1;
    long lLongPasses = -1;
};

struct SymbolField {
    const char *pszName;
    long TalkerLayout::*plField;
};

const SymbolField LAYOUT_SYMBOLS[] = {
    {"start", &TalkerLayout::lStart},
    {"startup_end", &TalkerLayout::lStartupEnd},
    {"poll_mask", &TalkerLayout::lPollMask},
    {"RDRF", &TalkerLayout::lReadyValue},
    {"variables_end", &TalkerLayout::lVariablesEnd},
    {"stack_top", &TalkerLayout::lStackTop},
    {"STACK_BYTES", &TalkerLayout::lStackBytes},
    {"baud_value", &TalkerLayout::lBaudOffset},
    {"short_passes", &TalkerLayout::lShortDelayOffset},
    {"long_passes", &TalkerLayout::lLongDelayOffset},
    {"DELAY_PASS_CYCLES", &TalkerLayout::lDelayPassCycles},
    {"BAUD_9600", &TalkerLayout::lBaudValue},
    {"SHORT_PASSES", &TalkerLayout::lShortPasses},
    {"LONG_PASSES", &TalkerLayout::lLongPasses},
};

void PrintUsage() {
    fprintf(stderr,
            "usage: make_talker_image [--as PATH] [--ld PATH] [--objcopy PATH] [--nm PATH]\n"
            "                         [--work DIR] talker.s talker.ld talker_image.cpp\n");
}

int ParseArguments(int argc, char **argv, GeneratorSettings *pSettings) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; i++) {
        std::string sArg = argv[i];
        std::string *psTarget = nullptr;
        if (sArg == "--as") psTarget = &pSettings->sAssembler;
        if (sArg == "--ld") psTarget = &pSettings->sLinker;
        if (sArg == "--objcopy") psTarget = &pSettings->sObjcopy;
        if (sArg == "--nm") psTarget = &pSettings->sNm;
        if (sArg == "--work") psTarget = &pSettings->sWorkDir;
        if (psTarget == nullptr) {
            positional.push_back(sArg);
        } else if (i + 1 < argc) {
            *psTarget = argv[++i];
        } else {
            PrintUsage();
            return 0;
        }
    }
    if (positional.size() != 3) {
        PrintUsage();
        return 0;
    }
    pSettings->sSource = positional[0];
    pSettings->sLinkScript = positional[1];
    pSettings->sOutput = positional[2];
    return 1;
}

// Quotes one word for the POSIX shell.
std::string Quote(const std::string &sWord) {
    std::string sQuoted = "'";
    for (char c : sWord) sQuoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    return sQuoted + "'";
}

int RunCommand(const std::string &sCommand) {
    if (std::system(sCommand.c_str()) == 0) return 1;
    fprintf(stderr, "make_talker_image: command failed: %s\n", sCommand.c_str());
    return 0;
}

// Assembles with every branch kept short (so the listing shows what the chip runs), links
// at $0000 with the talker's own link script and cuts the code out as raw bytes.
int AssembleTalker(const GeneratorSettings &settings, const std::string &sElf,
                   const std::string &sBinary) {
    std::string sObject = settings.sWorkDir + "/talker.o";
    return RunCommand(Quote(settings.sAssembler) + " --short-branches -o " + Quote(sObject) + " " +
                      Quote(settings.sSource)) &&
           RunCommand(Quote(settings.sLinker) + " --no-warn-rwx-segments -T " +
                      Quote(settings.sLinkScript) + " -o " + Quote(sElf) + " " + Quote(sObject)) &&
           RunCommand(Quote(settings.sObjcopy) + " -O binary -j .text " + Quote(sElf) + " " +
                      Quote(sBinary));
}

int ReadBinary(const std::string &sPath, std::vector<uint8_t> *pbCode) {
    FILE *pFile = fopen(sPath.c_str(), "rb");
    if (pFile == nullptr) {
        fprintf(stderr, "make_talker_image: cannot open %s\n", sPath.c_str());
        return 0;
    }
    int c;
    while ((c = fgetc(pFile)) != EOF) pbCode->push_back(uint8_t(c));
    fclose(pFile);
    return 1;
}

void NoteSymbol(const char *pszName, long lValue, TalkerLayout *pLayout) {
    for (const SymbolField &symbol : LAYOUT_SYMBOLS) {
        if (strcmp(pszName, symbol.pszName) == 0) pLayout->*symbol.plField = lValue;
    }
}

int ReadLayout(const GeneratorSettings &settings, const std::string &sElf, TalkerLayout *pLayout) {
    std::string sCommand = Quote(settings.sNm) + " " + Quote(sElf);
    FILE *pPipe = popen(sCommand.c_str(), "r");
    if (pPipe == nullptr) {
        fprintf(stderr, "make_talker_image: cannot run %s\n", sCommand.c_str());
        return 0;
    }
    char szLine[256], szName[200];
    long lValue;
    char cKind;
    while (fgets(szLine, sizeof szLine, pPipe) != nullptr) {
        if (sscanf(szLine, "%lx %c %199s", &lValue, &cKind, szName) == 3) {
            NoteSymbol(szName, lValue, pLayout);
        }
    }
    if (pclose(pPipe) != 0) {
        fprintf(stderr, "make_talker_image: command failed: %s\n", sCommand.c_str());
        return 0;
    }
    return 1;
}

int Require(bool fHolds, const char *pszCondition) {
    if (!fHolds)
        fprintf(stderr, "make_talker_image: the talker breaks its layout: %s\n", pszCondition);
    return fHolds ? 1 : 0;
}

// The code's byte or big-endian word at an offset; -1 when it lies outside the code.
long CodeValue(const std::vector<uint8_t> &bCode, long lOffset, size_t dwBytes) {
    if (lOffset < 0 || size_t(lOffset) + dwBytes > bCode.size()) return -1;
    long lValue = 0;
    for (size_t i = 0; i < dwBytes; i++) lValue = lValue << 8 | bCode[size_t(lOffset) + i];
    return lValue;
}

// The image's conditions on the RAM: code from $0000 up to $00FF at most; within the start-up
// code, which runs before anything is pushed or stored, the stack from stack_top down and the
// variables above it, poll_mask first with its start value; the deepest stack within its room.
int CheckRam(const std::vector<uint8_t> &bCode, const TalkerLayout &layout) {
    long lCodeSize = long(bCode.size());
    long lStackBottom = layout.lStackTop - layout.lStackBytes + 1;
    return Require(lCodeSize > 0, "no code") &&
           Require(layout.lStart == 0, "start is not at $0000") &&
           Require(lCodeSize <= RAM_SIZE, "the code exceeds 256 bytes") &&
           Require(layout.lStartupEnd > 0 && layout.lStartupEnd <= lCodeSize,
                   "startup_end is missing") &&
           Require(layout.lStackBytes > 0 && lStackBottom >= layout.lStart,
                   "the stack's room reaches below $0000") &&
           Require(layout.lPollMask > layout.lStackTop,
                   "the variables do not lie above the stack") &&
           Require(layout.lVariablesEnd > layout.lPollMask &&
                       layout.lVariablesEnd <= layout.lStartupEnd,
                   "the variables do not lie within the start-up code") &&
           Require(layout.lReadyValue >= 0 &&
                       CodeValue(bCode, layout.lPollMask, 1) == layout.lReadyValue,
                   "poll_mask's byte does not hold RDRF") &&
           Require(layout.lDeepestStack <= layout.lStackBytes,
                   "the deepest stack exceeds STACK_BYTES");
}

// Each patchable place holds the value the source gives it, so its offset is right.
int CheckPatchPlaces(const std::vector<uint8_t> &bCode, const TalkerLayout &layout) {
    return Require(layout.lBaudValue >= 0 &&
                       CodeValue(bCode, layout.lBaudOffset, 1) == layout.lBaudValue,
                   "baud_value does not hold BAUD_9600") &&
           Require(layout.lShortPasses > 0 &&
                       CodeValue(bCode, layout.lShortDelayOffset, 2) == layout.lShortPasses,
                   "short_passes does not hold SHORT_PASSES") &&
           Require(layout.lLongPasses > 0 &&
                       CodeValue(bCode, layout.lLongDelayOffset, 2) == layout.lLongPasses,
                   "long_passes does not hold LONG_PASSES") &&
           Require(layout.lDelayPassCycles > 0, "DELAY_PASS_CYCLES is missing");
}

int FormatImageLines(const std::vector<uint8_t> &bCode, std::vector<std::string> *pLines) {
    char szLine[SRECORD_LINE_ROOM];
    for (size_t dwOffset = 0; dwOffset < bCode.size(); dwOffset += DATA_BYTES_PER_LINE) {
        size_t dwLength = bCode.size() - dwOffset;
        if (dwLength > DATA_BYTES_PER_LINE) dwLength = DATA_BYTES_PER_LINE;
        if (!FormatS1Record(uint16_t(dwOffset), &bCode[dwOffset], dwLength, szLine,
                            sizeof szLine)) {
            fprintf(stderr, "make_talker_image: cannot format the S1 line at %zu\n", dwOffset);
            return 0;
        }
        pLines->push_back(szLine);
    }
    if (!FormatS9Record(0, szLine, sizeof szLine)) {
        fprintf(stderr, "make_talker_image: cannot format the S9 line\n");
        return 0;
    }
    pLines->push_back(szLine);
    return 1;
}

void PrintImageSource(FILE *pFile, const std::string &sSource, size_t dwCodeSize,
                      const TalkerLayout &layout, const std::vector<std::string> &lines) {
    unsigned dwEnd = unsigned(dwCodeSize);
    fprintf(
        pFile,
        "// Generated by tools/make_talker_image from %s; do not edit by hand.\n"
        "// The talker's code: %u bytes at $0000-$%04X. Once started, it keeps its variables at\n"
        "// $%04X-$%04X and its stack from $%04X down, at most %ld bytes deep.\n"
        "#include \"talker_image.h\"\n\n"
        "const char *const TalkerImage[] = {\n",
        sSource.c_str(), dwEnd, dwEnd - 1, unsigned(layout.lPollMask),
        unsigned(layout.lVariablesEnd) - 1, unsigned(layout.lStackTop), layout.lDeepestStack);
    for (const std::string &sLine : lines) fprintf(pFile, "    \"%s\",\n", sLine.c_str());
    fprintf(pFile,
            "};\n\n"
            "const unsigned dwTalkerImageLines = sizeof TalkerImage / sizeof TalkerImage[0];\n");
}

void PrintImageHeader(FILE *pFile, const std::string &sSource, const TalkerLayout &layout) {
    fprintf(
        pFile,
        "// The talker's machine code as the host carries it: S1 lines from $0000 without gaps,\n"
        "// then one S9 line; and the places where the host patches it.\n"
        "// Generated by tools/make_talker_image from %s; do not edit by hand.\n"
        "#pragma once\n\n"
        "extern const char *const TalkerImage[];\n"
        "extern const unsigned dwTalkerImageLines;\n\n"
        "// For another E clock the host patches the image it sends (offsets from its first byte,\n"
        "// at $0000): the BAUD value, one byte, and the passes of the 10 ms and 100 ms EEPROM\n"
        "// delays, two bytes each, high byte first. A delay of t seconds at E Hz takes\n"
        "// ceil(t * E / TALKER_DELAY_PASS_CYCLES) passes, from 1 to 65535.\n"
        "const unsigned TALKER_BAUD_OFFSET = %ld;\n"
        "const unsigned TALKER_SHORT_DELAY_OFFSET = %ld;\n"
        "const unsigned TALKER_LONG_DELAY_OFFSET = %ld;\n"
        "const unsigned TALKER_DELAY_PASS_CYCLES = %ld;\n\n"
        "// The RAM the talker leaves alone once started: start-up code after its variables.\n"
        "const unsigned TALKER_FREE_RAM_START = 0x%04lX;\n"
        "const unsigned TALKER_FREE_RAM_END = 0x%04lX;\n\n"
        "// Its stack: the first byte pushed, the room below it, and the deepest use (worked\n"
        "// out from the source).\n"
        "const unsigned TALKER_STACK_TOP = 0x%04lX;\n"
        "const unsigned TALKER_STACK_BYTES = %ld;\n"
        "const unsigned TALKER_STACK_DEEPEST = %ld;\n",
        sSource.c_str(), layout.lBaudOffset, layout.lShortDelayOffset, layout.lLongDelayOffset,
        layout.lDelayPassCycles, layout.lVariablesEnd, layout.lStartupEnd - 1, layout.lStackTop,
        layout.lStackBytes, layout.lDeepestStack);
}

// talker_image.h beside talker_image.cpp: the output's name with its extension replaced.
std::string HeaderPath(const std::string &sOutput) {
    size_t dwDot = sOutput.rfind('.');
    size_t dwSlash = sOutput.rfind('/');
    if (dwDot == std::string::npos || (dwSlash != std::string::npos && dwDot < dwSlash))
        return sOutput + ".h";
    return sOutput.substr(0, dwDot) + ".h";
}

FILE *CreateOutput(const std::string &sPath) {
    FILE *pFile = fopen(sPath.c_str(), "w");
    if (pFile == nullptr) fprintf(stderr, "make_talker_image: cannot create %s\n", sPath.c_str());
    return pFile;
}

int CloseOutput(FILE *pFile, const std::string &sPath) {
    int fClosed = fclose(pFile) == 0;
    if (!fClosed) fprintf(stderr, "make_talker_image: cannot write %s\n", sPath.c_str());
    return fClosed;
}

int WriteImageFiles(const GeneratorSettings &settings, size_t dwCodeSize,
                    const TalkerLayout &layout, const std::vector<std::string> &lines) {
    FILE *pSource = CreateOutput(settings.sOutput);
    if (pSource == nullptr) return 0;
    PrintImageSource(pSource, settings.sSource, dwCodeSize, layout, lines);
    if (!CloseOutput(pSource, settings.sOutput)) return 0;
    std::string sHeader = HeaderPath(settings.sOutput);
    FILE *pHeader = CreateOutput(sHeader);
    if (pHeader == nullptr) return 0;
    PrintImageHeader(pHeader, settings.sSource, layout);
    return CloseOutput(pHeader, sHeader);
}

}  // namespace

int main(int argc, char **argv) {
    GeneratorSettings settings;
    if (!ParseArguments(argc, argv, &settings)) return 2;
    std::string sElf = settings.sWorkDir + "/talker.elf";
    std::string sBinary = settings.sWorkDir + "/talker.bin";
    std::vector<uint8_t> bCode;
    TalkerLayout layout;
    std::vector<std::string> lines;
    if (!AssembleTalker(settings, sElf, sBinary) || !ReadBinary(sBinary, &bCode) ||
        !ReadLayout(settings, sElf, &layout) ||
        !FindDeepestStack(settings.sSource, "start", &layout.lDeepestStack) ||
        !CheckRam(bCode, layout) || !CheckPatchPlaces(bCode, layout) ||
        !FormatImageLines(bCode, &lines) ||
        !WriteImageFiles(settings, bCode.size(), layout, lines)) {
        return 1;
    }
    printf(
        "make_talker_image: %zu bytes of talker code in %zu lines; stack at most %ld of %ld "
        "bytes deep (%ld to spare)\n",
        bCode.size(), lines.size(), layout.lDeepestStack, layout.lStackBytes,
        layout.lStackBytes - layout.lDeepestStack);
    return 0;
}
