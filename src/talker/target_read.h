// Reading the target's memory through the talker's "R" command: a block of bytes back to
// back, then a check word over them that the host recomputes, so that a byte changed on the
// line is never taken for the chip's.
#pragma once

#include <cstdint>

#include "talker_link.h"

// Called after each byte read with the caller's pContext and the number of bytes done so far.
typedef void (*ReadProgressFn)(void *pContext, uint32_t dwDone);

// Reads dwLength bytes (up to 65536) from wAddress upward into pbBuffer, the address wrapping
// from $FFFF to $0000, in "R" blocks of up to 2048. A block whose check word or prompt is wrong is
// read again in smaller blocks, each up to READ_ATTEMPTS times, the talker found again with a sync
// before each; a block that stays wrong fails the read. pfnProgress may be NULL. Returns 1
// when every byte came and checked, 0 after a message.
int ReadTargetBytes(const TalkerLink *pLink, uint16_t wAddress, uint8_t *pbBuffer,
                    uint32_t dwLength, ReadProgressFn pfnProgress, void *pContext);

// The "R" check word over dwLength bytes: the low byte the sum of the bytes, the high byte the
// sum of the running sums, both modulo 256 (talker.s).
uint16_t BlockCheckWord(const uint8_t *pbData, uint32_t dwLength);
