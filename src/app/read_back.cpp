#include "read_back.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "part_table.h"
#include "program_image.h"
#include "progress.h"
#include "say.h"
#include "stopped_run.h"
#include "target_read.h"

namespace {

enum { BYTES_PER_RECORD = 32, HEADER_ROOM = 128 };

uint32_t RangeLength(const ReadBackRequest *pRequest) {
    return (uint32_t)pRequest->wEnd - pRequest->wStart + 1;
}

// One "." per S1 record's worth of bytes, as the download prints one per line.
void PrintReadMark(void *pContext, uint32_t dwDone) {
    const ReadBackFile *pOut = static_cast<const ReadBackFile *>(pContext);
    NoteBytesDone(1);
    if (dwDone % BYTES_PER_RECORD == 0 || dwDone == RangeLength(pOut->pRequest))
        PrintProgressMark(".");
}

// The S0 text names the part and the range, and says when part of it was the talker itself:
// the boot ROM loads it into the start of RAM.
void FormatHeaderText(const ReadBackFile *pOut, char *pszText, size_t cchText) {
    const ReadBackRequest *pRequest = pOut->pRequest;
    const PartInfo *pPart = pOut->pPart;
    uint16_t wTalkerStart = pPart->wRamStart;
    uint16_t wTalkerEnd = (uint16_t)(wTalkerStart + TALKER_RAM_LENGTH - 1);
    int fTalker = pRequest->wStart <= wTalkerEnd && pRequest->wEnd >= wTalkerStart;
    int cch = snprintf(pszText, cchText, "68HC11 %s $%04X-$%04X", pPart->pszName, pRequest->wStart,
                       pRequest->wEnd);
    if (fTalker && cch > 0 && (size_t)cch < cchText) {
        snprintf(pszText + cch, cchText - cch, ", $%04X-$%04X read as the talker", wTalkerStart,
                 wTalkerEnd);
    }
}

// In the format the "-o" name's extension asks for; S19 and Intel HEX from their first record
// at the range's start, S19 after its S0 header.
int WriteReadBack(const ReadBackFile *pOut, FILE *pFile) {
    const ReadBackRequest *pRequest = pOut->pRequest;
    char szText[HEADER_ROOM];
    FormatHeaderText(pOut, szText, sizeof szText);
    return WriteOutputFile(pFile, OutputFormatOfName(pRequest->szName), pRequest->wStart,
                           pOut->pbChip, RangeLength(pRequest), szText);
}

// Windows' rename does not replace an existing file (EEXIST or EACCES); POSIX's does,
// atomically. Any other refusal, such as a directory of that name, is final: remove() would
// delete an empty directory.
int RenameOver(const char *pszFrom, const char *pszTo) {
    if (rename(pszFrom, pszTo) == 0) return 1;
    if (errno != EEXIST && errno != EACCES) return 0;
    remove(pszTo);
    return rename(pszFrom, pszTo) == 0;
}

// A name that exists and is neither a file nor a folder: a device, a pipe, a socket.
int IsSpecialFile(const char *pszName) {
    struct stat info;
    if (stat(pszName, &info) != 0) return 0;
    return (info.st_mode & S_IFMT) != S_IFREG && (info.st_mode & S_IFMT) != S_IFDIR;
}

int WriteDirectly(const ReadBackFile *pOut) {
    FILE *pFile = fopen(pOut->pRequest->szName, "wb");
    if (pFile == NULL) return 0;
    int fWritten = WriteReadBack(pOut, pFile);
    return fclose(pFile) == 0 && fWritten;
}

// A folder named by "-o" could never be replaced by the file: refused before the target is
// touched, with the words the rename would have failed with.
int IsOutputNameUsable(const ReadBackFile *pOut) {
    struct stat info;
    if (stat(pOut->pRequest->szName, &info) != 0 || (info.st_mode & S_IFMT) != S_IFDIR) return 1;
    SayErr("File Error: Could not write %s: %s\n", pOut->szShownName, strerror(EISDIR));
    return 0;
}

}  // namespace

void StartReadBackFile(ReadBackFile *pOut, const ReadBackRequest *pRequest, const PartInfo *pPart) {
    pOut->pRequest = pRequest;
    pOut->pPart = pPart;
    pOut->szTempName[0] = '\0';
    FormatShownName(pRequest->szName, pOut->szShownName, sizeof pOut->szShownName);
    pOut->pFile = NULL;
    pOut->fDirect = 0;
}

int CreateReadBackFile(ReadBackFile *pOut) {
    if (!IsOutputNameUsable(pOut)) return 0;
    const ReadBackRequest *pRequest = pOut->pRequest;
    pOut->fDirect = IsSpecialFile(pRequest->szName);
    if (pOut->fDirect) return 1;
    snprintf(pOut->szTempName, sizeof pOut->szTempName, "%s.partial", pRequest->szName);
    pOut->pFile = fopen(pOut->szTempName, "wb");
    if (pOut->pFile == NULL) {
        SayErr("File Error: Could not create %s.partial: %s\n", pOut->szShownName, strerror(errno));
        return 0;
    }
    SetInterruptLeftover(pOut->szTempName);
    return 1;
}

int ReadBackRange(const TalkerLink *pLink, ReadBackFile *pOut) {
    const ReadBackRequest *pRequest = pOut->pRequest;
    SayOut("Reading $%04X-$%04X into %s\n", pRequest->wStart, pRequest->wEnd, pOut->szShownName);
    // A binary file does not carry its address: the run says it.
    if (OutputFormatOfName(pRequest->szName) == OUTPUT_BINARY) {
        SayOut("%s holds the bytes alone, the first from $%04X\n", pOut->szShownName,
               pRequest->wStart);
    }
    EnterStage(STAGE_READ, RangeLength(pRequest));
    if (!ReadTargetBytes(pLink, pRequest->wStart, pOut->pbChip, RangeLength(pRequest),
                         PrintReadMark, pOut))
        return 0;
    EndProgress("");
    return 1;
}

int SaveReadBackFile(ReadBackFile *pOut) {
    const ReadBackRequest *pRequest = pOut->pRequest;
    if (pOut->fDirect) {
        if (WriteDirectly(pOut)) return 1;
        SayErr("File Error: Could not write %s: %s\n", pOut->szShownName, strerror(errno));
        return 0;
    }
    int fWritten = WriteReadBack(pOut, pOut->pFile);
    if (fclose(pOut->pFile) != 0) fWritten = 0;
    pOut->pFile = NULL;
    int fRenamed = fWritten && RenameOver(pOut->szTempName, pRequest->szName);
    SetInterruptLeftover(NULL);
    if (fRenamed) return 1;
    SayErr("File Error: Could not write %s: %s\n", pOut->szShownName, strerror(errno));
    remove(pOut->szTempName);
    return 0;
}

void DiscardReadBackFile(ReadBackFile *pOut) {
    if (pOut->pFile == NULL) return;
    fclose(pOut->pFile);
    pOut->pFile = NULL;
    remove(pOut->szTempName);
    SetInterruptLeftover(NULL);
}
