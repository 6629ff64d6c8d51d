#include "verify.h"

#include <cstdio>

#include "image_read.h"
#include "progress.h"
#include "say.h"

namespace {

enum { MAX_LISTED = 20 };

// The differences found so far: the first MAX_LISTED kept for the report, all counted.
struct Differences {
    uint16_t rgwAddress[MAX_LISTED];
    uint8_t rgbFile[MAX_LISTED], rgbChip[MAX_LISTED];
    uint32_t dwCount;
};

struct Verify {
    const ProgramImage *pImage;
    uint32_t dwDotsFrom;  // the dots of the addresses below this are printed
    Differences diff;
};

void PrintDotsUpTo(Verify *pVerify, uint32_t dwAddressEnd) {
    uint32_t dwDots = ImageDotsIn(pVerify->pImage, pVerify->dwDotsFrom, dwAddressEnd);
    for (uint32_t i = 0; i < dwDots; i++) PrintProgressMark(".");
    pVerify->dwDotsFrom = dwAddressEnd;
}

// A byte has come: counted when the file gives it (a span also reads the short gaps).
void NoteReached(void *pContext, uint32_t dwAddressEnd) {
    Verify *pVerify = static_cast<Verify *>(pContext);
    if (pVerify->pImage->rgbState[dwAddressEnd - 1] != BYTE_ABSENT) NoteBytesDone(1);
    PrintDotsUpTo(pVerify, dwAddressEnd);
}

// Compares the image's bytes in one span read from the chip.
int CompareSpan(void *pContext, uint16_t wFirst, const uint8_t *pbChip, uint32_t dwLength) {
    Verify *pVerify = static_cast<Verify *>(pContext);
    Differences *pDiff = &pVerify->diff;
    for (uint32_t i = 0; i < dwLength; i++) {
        uint32_t a = wFirst + i;
        if (pVerify->pImage->rgbState[a] == BYTE_ABSENT) continue;
        if (pbChip[i] == pVerify->pImage->rgbValue[a]) continue;
        if (pDiff->dwCount < MAX_LISTED) {
            pDiff->rgwAddress[pDiff->dwCount] = (uint16_t)a;
            pDiff->rgbFile[pDiff->dwCount] = pVerify->pImage->rgbValue[a];
            pDiff->rgbChip[pDiff->dwCount] = pbChip[i];
        }
        pDiff->dwCount++;
    }
    return 1;
}

// Listed once the walk is over, so that they do not break into the progress line.
int ReportDifferences(const Differences *pDiff) {
    for (uint32_t i = 0; i < pDiff->dwCount && i < MAX_LISTED; i++) {
        SayErr("$%04X: file %02X, chip %02X\n", pDiff->rgwAddress[i], pDiff->rgbFile[i],
               pDiff->rgbChip[i]);
    }
    if (pDiff->dwCount > MAX_LISTED) {
        SayErr("... and %u more\n", (unsigned)(pDiff->dwCount - MAX_LISTED));
    }
    SayErr("%u byte(s) differ: the chip does not hold the file\n", (unsigned)pDiff->dwCount);
    return 0;
}

}  // namespace

int VerifyImage(const TalkerLink *pLink, const ProgramImage *pImage) {
    Verify verify;
    verify.pImage = pImage;
    verify.dwDotsFrom = 0;
    verify.diff.dwCount = 0;
    EnterStage(STAGE_VERIFY, pImage->dwBytes);
    ImageReader reader = {pLink, pImage, 0, IMAGE_ADDRESS_SPACE, NoteReached, CompareSpan, &verify};
    if (!ReadImageSpans(&reader)) return 0;
    PrintDotsUpTo(&verify, IMAGE_ADDRESS_SPACE);
    const Differences *pDiff = &verify.diff;
    // The list of differences starts on a line of its own, not after the dots.
    EndProgress(pDiff->dwCount != 0 ? "\n" : "");
    if (pDiff->dwCount != 0) return ReportDifferences(pDiff);
    return 1;
}
