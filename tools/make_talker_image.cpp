// make_talker_image: assembles the talker and writes the TalkerImage table the host carries.
//
//   make_talker_image [--as PATH] [--ld PATH] [--objcopy PATH] [--nm PATH] [--work DIR]
//                     talker.s talker.ld talker_image.cpp
//
// The talker is assembled and linked at $0000, its code is taken out as raw bytes, checked
// against the RAM it must fit, cut into S1 lines of 30 data bytes and ended by the S9 line.
// The source name is printed into the output as given, so run it from the top of the tree.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "srecord.h"

namespace {

enum {
    RAM_SIZE = 256,      // the chip's RAM, $0000-$00FF: code, variables and stack
    VARIABLE_BYTES = 2,  // the block mode flag and the scratch byte
    STACK_RESERVE = 10,  // the deepest the talker's stack may grow
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

// Where the link put the things the image's conditions are about.
struct TalkerLayout {
    long lStart = -1;
    long lModeFlag = -1;
    long lScratch = -1;
    long lStackTop = -1;
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
    if (strcmp(pszName, "start") == 0) pLayout->lStart = lValue;
    if (strcmp(pszName, "mode_flag") == 0) pLayout->lModeFlag = lValue;
    if (strcmp(pszName, "scratch") == 0) pLayout->lScratch = lValue;
    if (strcmp(pszName, "STACK_TOP") == 0) pLayout->lStackTop = lValue;
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

// The image's conditions on the RAM: code from $0000, the two variables right after it,
// room for the stack below $00FF.
int CheckLayout(size_t dwCodeSize, const TalkerLayout &layout) {
    long lCodeSize = long(dwCodeSize);
    return Require(dwCodeSize > 0, "no code") &&
           Require(layout.lStart == 0, "start is not at $0000") &&
           Require(layout.lModeFlag == lCodeSize, "mode_flag does not follow the code") &&
           Require(layout.lScratch == lCodeSize + 1, "scratch does not follow mode_flag") &&
           Require(layout.lStackTop == RAM_SIZE - 1, "STACK_TOP is not $00FF") &&
           Require(lCodeSize + VARIABLE_BYTES + STACK_RESERVE <= RAM_SIZE,
                   "code, variables and stack exceed 256 bytes");
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
                      const std::vector<std::string> &lines) {
    unsigned dwEnd = unsigned(dwCodeSize);
    fprintf(pFile,
            "// Generated by tools/make_talker_image from %s; do not edit by hand.\n"
            "// The talker's code: %u bytes at $0000-$%04X. Its mode flag is at $%04X, its\n"
            "// scratch byte at $%04X, and its stack grows down from $00FF.\n"
            "#include \"talker_image.h\"\n\n"
            "const char *const TalkerImage[] = {\n",
            sSource.c_str(), dwEnd, dwEnd - 1, dwEnd, dwEnd + 1);
    for (const std::string &sLine : lines) fprintf(pFile, "    \"%s\",\n", sLine.c_str());
    fprintf(pFile,
            "};\n\n"
            "const unsigned dwTalkerImageLines = sizeof TalkerImage / sizeof TalkerImage[0];\n");
}

int WriteImageSource(const GeneratorSettings &settings, size_t dwCodeSize,
                     const std::vector<std::string> &lines) {
    FILE *pFile = fopen(settings.sOutput.c_str(), "w");
    if (pFile == nullptr) {
        fprintf(stderr, "make_talker_image: cannot create %s\n", settings.sOutput.c_str());
        return 0;
    }
    PrintImageSource(pFile, settings.sSource, dwCodeSize, lines);
    int fClosed = fclose(pFile) == 0;
    if (!fClosed) fprintf(stderr, "make_talker_image: cannot write %s\n", settings.sOutput.c_str());
    return fClosed;
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
        !ReadLayout(settings, sElf, &layout) || !CheckLayout(bCode.size(), layout) ||
        !FormatImageLines(bCode, &lines) || !WriteImageSource(settings, bCode.size(), lines)) {
        return 1;
    }
    printf("make_talker_image: %zu bytes of talker code in %zu lines\n", bCode.size(),
           lines.size());
    return 0;
}
