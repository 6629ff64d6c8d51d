// Reading the target's memory through the talker's "r" command.
#pragma once

#include <cstdint>

#include "talker_link.h"

// Called after each byte read with the caller's pContext and the number of bytes done so far.
typedef void (*ReadProgressFn)(void *pContext, uint32_t dwDone);

// Reads dwLength bytes (up to 65536) from wAddress upward into pbBuffer, the address wrapping
// from $FFFF to $0000. Each byte is one "r" exchange: the frame, the byte, the prompt.
// pfnProgress may be NULL. Returns 1 when every byte came, 0 after a message.
int ReadTargetBytes(const TalkerLink *pLink, uint16_t wAddress, uint8_t *pbBuffer,
                    uint32_t dwLength, ReadProgressFn pfnProgress, void *pContext);
