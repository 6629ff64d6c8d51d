// Reading the chip where the input image has bytes: for a verify, and for a reflash that
// programs only what differs. Present bytes close together are read as one "R" block (a
// block's frame and prompt cost more than a short gap's bytes).
#pragma once

#include <cstdint>

#include "program_image.h"
#include "talker_link.h"

// Told, with pContext, that the chip's bytes up to (not including) dwAddressEnd have come.
typedef void (*ReachedFn)(void *pContext, uint32_t dwAddressEnd);

// Told of each span read: the chip's dwLength bytes from wFirst. Returns 1 to go on.
typedef int (*SpanFn)(void *pContext, uint16_t wFirst, const uint8_t *pbChip, uint32_t dwLength);

struct ImageReader {
    const TalkerLink *pLink;
    const ProgramImage *pImage;
    uint32_t dwFrom, dwTo;  // the addresses looked at: dwFrom up to, not including, dwTo
    ReachedFn pfnReached;   // NULL: nobody
    SpanFn pfnSpan;
    void *pContext;  // for both
};

// Reads each span of present bytes in [dwFrom, dwTo) in address order. Returns 1, or 0 after
// the message of a failed read (or when pfnSpan returned 0).
int ReadImageSpans(const ImageReader *pReader);
