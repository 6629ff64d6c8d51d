#include "image_read.h"

#include "target_read.h"

namespace {

// Runs of present bytes less than this far apart are read as one block: the gap's bytes cost
// less wire time than another frame, its prompt and the round trip between them.
const uint32_t READ_MERGE_GAP = 64;

struct SpanProgress {
    const ImageReader *pReader;
    uint32_t dwSpanFirst;
};

void NoteSpanProgress(void *pContext, uint32_t dwDone) {
    const SpanProgress *pProgress = static_cast<const SpanProgress *>(pContext);
    pProgress->pReader->pfnReached(pProgress->pReader->pContext, pProgress->dwSpanFirst + dwDone);
}

// The end of the span that starts with pFirst: later runs joined while the gap is short.
uint32_t SpanEnd(const ImageReader *pReader, const ImageWalk *pWalk, const ImageRun *pFirst) {
    uint32_t dwEnd = pFirst->wFirst + pFirst->dwLength;
    ImageRun next;
    while (NextImageRun(pReader->pImage, pWalk, dwEnd, &next) && next.wFirst < pReader->dwTo &&
           next.wFirst - dwEnd < READ_MERGE_GAP) {
        dwEnd = next.wFirst + next.dwLength;
    }
    return dwEnd;
}

}  // namespace

int ReadImageSpans(const ImageReader *pReader) {
    uint8_t rgbChip[IMAGE_ADDRESS_SPACE];  // 64 KB on the run's own stack
    const uint32_t rgdwBounds[] = {pReader->dwFrom, pReader->dwTo};
    const ImageWalk walk = {rgdwBounds, 2, 0, 0};
    ImageRun run;
    uint32_t dwFrom = pReader->dwFrom;
    while (NextImageRun(pReader->pImage, &walk, dwFrom, &run) && run.wFirst < pReader->dwTo) {
        uint32_t dwEnd = SpanEnd(pReader, &walk, &run);
        SpanProgress progress = {pReader, run.wFirst};
        ReadProgressFn pfnProgress = pReader->pfnReached != NULL ? NoteSpanProgress : NULL;
        if (!ReadTargetBytes(pReader->pLink, run.wFirst, rgbChip, dwEnd - run.wFirst, pfnProgress,
                             &progress)) {
            return 0;
        }
        if (!pReader->pfnSpan(pReader->pContext, run.wFirst, rgbChip, dwEnd - run.wFirst)) return 0;
        dwFrom = dwEnd;
    }
    return 1;
}
