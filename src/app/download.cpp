#include "download.h"

#include <cstdio>

#include "image_read.h"
#include "progress.h"
#include "say.h"
#include "talker_protocol.h"
#include "talker_stream.h"

namespace {

enum { MAX_LISTED = 20, DOT_CHUNK = 256, READ_WINDOW = 256 };
const uint8_t ERASED_BYTE = 0xFF;

// When the chip lacks this share (percent) of a window's bytes or more, the rest of the EEPROM
// goes out without reading it first: reading bytes that all must change costs a character
// each, and the talker passes over a byte that holds its value already.
const uint32_t DIRECT_PERCENT = 90;

struct Download {
    const TalkerLink *pLink;
    ProgramImage *pImage;
    TalkerStream stream;
    uint32_t dwDotsFrom;  // the dots of the addresses below this are printed
    int fLineDotShown;    // and the dot of the line that ends at dwDotsFrom's next dot
    uint32_t dwListed;    // mismatches seen, the first MAX_LISTED of them printed
    int fReadFirst;       // the next EEPROM window is read, and only what differs programmed
    uint32_t dwHeldInWindow;
    uint32_t dwErasesInWindow;  // bytes read that need a 0 turned into a 1: an erase each
    uint32_t dwStayedErased;    // EEPROM bytes that read back $FF instead of their value
};

// A byte that did not verify, named by the record that gave it, as each record's own write
// named it.
void ReportMismatch(void *pContext, uint16_t wAddress, uint8_t bWritten, uint8_t bReadBack) {
    Download *pDownload = static_cast<Download *>(pContext);
    const LinkTarget *pTarget = pDownload->pLink->pTarget;
    if (wAddress >= pTarget->wEepromStart && wAddress <= pTarget->wEepromEnd &&
        bReadBack == ERASED_BYTE)
        pDownload->dwStayedErased++;
    if (pDownload->dwListed++ >= MAX_LISTED) return;
    EndProgressLineForMessage();
    const ImageSource *pSource = ImageSourceOf(pDownload->pImage, wAddress);
    uint16_t wRecord = pSource != NULL ? pSource->wAddress : wAddress;
    SayErr("WriteSRecord: $%04X (byte %u of the record at $%04X) wrote %02X, read back %02X\n",
           wAddress, (unsigned)(uint16_t)(wAddress - wRecord), wRecord, bWritten, bReadBack);
}

// The dots of the addresses below dwEnd not printed yet.
void PrintDotsUpTo(Download *pDownload, uint32_t dwEnd) {
    if (dwEnd <= pDownload->dwDotsFrom) return;
    uint32_t dwDots = ImageDotsIn(pDownload->pImage, pDownload->dwDotsFrom, dwEnd);
    if (pDownload->fLineDotShown && dwDots != 0) dwDots--;
    for (uint32_t i = 0; i < dwDots; i++) PrintProgressMark(".");
    pDownload->dwDotsFrom = dwEnd;
    pDownload->fLineDotShown = 0;
}

// A line's own dot shows before its bytes go, as when each line was read and then sent;
// the dots of the lines without data after it once its bytes are on their way.
void PrintLineDot(Download *pDownload, uint32_t dwLineEnd) {
    PrintDotsUpTo(pDownload, dwLineEnd);
    if (pDownload->pImage->rgdwDotsAt[dwLineEnd] == 0 || pDownload->fLineDotShown) return;
    PrintProgressMark(".");
    pDownload->fLineDotShown = 1;
}

// The bytes from dwFirst up to the end of the line they belong to (where its dot is due),
// at most DOT_CHUNK and the run's dwLeft.
uint32_t LineChunk(const ProgramImage *pImage, uint32_t dwFirst, uint32_t dwLeft) {
    uint32_t dwCount = 1;
    while (dwCount < dwLeft && dwCount < DOT_CHUNK &&
           pImage->rgdwDotsAt[dwFirst + dwCount - 1] == 0)
        dwCount++;
    return dwCount;
}

// The chip's EEPROM bytes that already hold the image's values are marked held; those that
// need an erase before their programming are counted.
int MarkHeld(void *pContext, uint16_t wFirst, const uint8_t *pbChip, uint32_t dwLength) {
    Download *pDownload = static_cast<Download *>(pContext);
    const ProgramImage *pImage = pDownload->pImage;
    for (uint32_t i = 0; i < dwLength; i++) {
        uint32_t dwAddress = (uint16_t)(wFirst + i);
        int fErase = (pImage->rgbValue[dwAddress] & ~pbChip[i]) != 0;
        pDownload->dwErasesInWindow += pImage->rgbState[dwAddress] != BYTE_ABSENT && fErase;
    }
    uint32_t dwHeld = MarkImageBytesHeld(pDownload->pImage, wFirst, pbChip, dwLength);
    pDownload->dwHeldInWindow += dwHeld;
    NoteBytesDone(dwHeld);
    return 1;
}

// The file sets most of the EEPROM, and most of its bytes need an erase and a programming byte
// by byte (20 ms), where after one bulk erase (110 ms) each would only be programmed (10 ms).
void SuggestBulkErase() {
    EndProgressLineForMessage();
    SayErr(
        "Most of the EEPROM differs from the file and must be erased byte by byte: -B (one "
        "bulk erase first) would take about half the time\n");
}

uint32_t PresentBytes(const ProgramImage *pImage, uint32_t dwFrom, uint32_t dwTo) {
    uint32_t dwPresent = 0;
    for (uint32_t a = dwFrom; a < dwTo; a++) dwPresent += pImage->rgbState[a] != BYTE_ABSENT;
    return dwPresent;
}

// Whether the file sets more than half of the EEPROM: a bulk erase clears what it does not set.
int FileFillsMostOfTheEeprom(const Download *pDownload) {
    const LinkTarget *pTarget = pDownload->pLink->pTarget;
    uint32_t dwEnd = (uint32_t)pTarget->wEepromEnd + 1;
    return PresentBytes(pDownload->pImage, pTarget->wEepromStart, dwEnd) * 2 >
           dwEnd - pTarget->wEepromStart;
}

// Reads the EEPROM window [dwFrom, dwTo) once everything queued has been answered, and stops
// reading when the chip lacks nearly all of it.
int ReadWindow(Download *pDownload, uint32_t dwFrom, uint32_t dwTo) {
    uint32_t dwPresent = PresentBytes(pDownload->pImage, dwFrom, dwTo);
    if (dwPresent == 0) return 1;
    if (!FinishTalkerStream(&pDownload->stream)) return 0;
    pDownload->dwHeldInWindow = pDownload->dwErasesInWindow = 0;
    ImageReader reader = {pDownload->pLink, pDownload->pImage, dwFrom, dwTo, NULL,
                          MarkHeld,         pDownload};
    if (!ReadImageSpans(&reader)) return 0;
    uint32_t dwLacking = dwPresent - pDownload->dwHeldInWindow;
    if (dwLacking * 100 < dwPresent * DIRECT_PERCENT) return 1;
    pDownload->fReadFirst = 0;
    if (pDownload->dwErasesInWindow * 2 > dwPresent && FileFillsMostOfTheEeprom(pDownload))
        SuggestBulkErase();
    return 1;
}

// One run as one block, its bytes queued a chunk at a time so that the dots keep pace.
int SendRun(Download *pDownload, const ImageRun *pRun) {
    TalkerCommand eBlock =
        InEepromRange(pDownload->pLink, pRun->wFirst) ? TALKER_PROGRAM_BLOCK : TALKER_WRITE_BLOCK;
    if (pDownload->pLink->pTarget->fTrace)
        SayErr("WriteSRecord(%x bytes)\n", (unsigned)pRun->dwLength);
    if (!StreamBlockStart(&pDownload->stream, eBlock, pRun->wFirst, pRun->dwLength)) return 0;
    for (uint32_t dwDone = 0, dwCount = 0; dwDone < pRun->dwLength; dwDone += dwCount) {
        uint32_t dwFirst = pRun->wFirst + dwDone;
        dwCount = LineChunk(pDownload->pImage, dwFirst, pRun->dwLength - dwDone);
        PrintLineDot(pDownload, dwFirst + dwCount - 1);
        if (!StreamBlockBytes(&pDownload->stream, &pDownload->pImage->rgbValue[dwFirst], dwCount))
            return 0;
        if (!SendQueuedBytes(&pDownload->stream)) return 0;
        PrintDotsUpTo(pDownload, dwFirst + dwCount);
    }
    return 1;
}

// The runs in [dwFrom, dwTo) the chip does not hold, each as one block.
int SendRuns(Download *pDownload, uint32_t dwFrom, uint32_t dwTo) {
    const TalkerLink *pLink = pDownload->pLink;
    const uint32_t rgdwBounds[] = {pLink->pTarget->wEepromStart,
                                   (uint32_t)pLink->pTarget->wEepromEnd + 1, dwTo};
    const ImageWalk walk = {rgdwBounds, 3, 0, 1};
    ImageRun run;
    for (uint32_t dw = dwFrom;
         NextImageRun(pDownload->pImage, &walk, dw, &run) && run.wFirst < dwTo;
         dw = run.wFirst + run.dwLength) {
        if (!SendRun(pDownload, &run)) return 0;
    }
    return 1;
}

// The EEPROM window by window, each read before what differs in it is programmed, until the
// chip turns out to lack nearly a whole window: then the rest at once.
int SendEeprom(Download *pDownload) {
    uint32_t dw = pDownload->pLink->pTarget->wEepromStart;
    const uint32_t dwEnd = (uint32_t)pDownload->pLink->pTarget->wEepromEnd + 1;
    while (dw < dwEnd && pDownload->fReadFirst) {
        uint32_t dwTo = (dw / READ_WINDOW + 1) * READ_WINDOW;
        if (dwTo > dwEnd) dwTo = dwEnd;
        if (!ReadWindow(pDownload, dw, dwTo) || !SendRuns(pDownload, dw, dwTo)) return 0;
        dw = dwTo;
    }
    return SendRuns(pDownload, dw, dwEnd);
}

// In address order: below the EEPROM, the EEPROM, above it.
int SendImage(Download *pDownload) {
    const TalkerLink *pLink = pDownload->pLink;
    if (!SendRuns(pDownload, 0, pLink->pTarget->wEepromStart) || !SendEeprom(pDownload) ||
        !SendRuns(pDownload, (uint32_t)pLink->pTarget->wEepromEnd + 1, IMAGE_ADDRESS_SPACE)) {
        return 0;
    }
    PrintDotsUpTo(pDownload, IMAGE_ADDRESS_SPACE);
    return FinishTalkerStream(&pDownload->stream);
}

// The EEPROM bytes the download programmed: the image's there that the chip did not hold.
uint32_t CountEepromBytesSent(const Download *pDownload) {
    const LinkTarget *pTarget = pDownload->pLink->pTarget;
    uint32_t dwSent = 0;
    for (uint32_t a = pTarget->wEepromStart; a <= pTarget->wEepromEnd; a++)
        dwSent += pDownload->pImage->rgbState[a] == BYTE_PRESENT;
    return dwSent;
}

int ReportMismatches(const Download *pDownload) {
    uint32_t dwMismatches = GetStreamMismatches(&pDownload->stream);
    if (dwMismatches > MAX_LISTED)
        SayErr("... and %u more\n", (unsigned)(dwMismatches - MAX_LISTED));
    SayErr("%u byte(s) did not verify: the target does not hold the file\n",
           (unsigned)dwMismatches);
    // Not one EEPROM byte took its value, each left erased, and nothing else wrong: the
    // programming pulse, timed from -x, was too short for the chip's own clock.
    if (dwMismatches >= 2 && pDownload->dwStayedErased == dwMismatches &&
        CountEepromBytesSent(pDownload) == dwMismatches) {
        SayErr(
            "Each byte that did not verify is an EEPROM byte left erased ($FF): programming "
            "takes the time the crystal sets; check that -x names the board's crystal (now %g "
            "MHz)\n",
            pDownload->pLink->pTarget->clock.dwCrystalHz / 1e6);
    }
    return 0;
}

}  // namespace

int DownloadImage(const TalkerLink *pLink, ProgramImage *pImage, int fChipErased) {
    Download download;  // about 12 KB, each run its own
    download.pLink = pLink;
    download.pImage = pImage;
    download.dwDotsFrom = 0;
    download.fLineDotShown = 0;
    download.dwListed = 0;
    download.dwStayedErased = 0;
    download.fReadFirst = !fChipErased;
    EnterStage(STAGE_DOWNLOAD, pImage->dwBytes);
    StartTalkerStream(&download.stream, pLink);
    SetStreamMismatchReport(&download.stream, ReportMismatch, &download);
    if (!SendImage(&download)) return 0;
    EndProgress("");
    if (GetStreamMismatches(&download.stream) != 0) return ReportMismatches(&download);
    return 1;
}
