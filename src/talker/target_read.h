// Reading the target's memory through the talker's "R" command: a block of bytes in spans,
// each span followed by two check bytes that the host recomputes, so that a byte changed on
// the line is never taken for the chip's.
#pragma once

#include <cstdint>

#include "talker_link.h"

// A span of "R" ends after a byte whose address's low seven bits are all ones, and after the
// block's last byte (talker.s): at most READ_SPAN bytes, the first span of a block fewer when
// the block does not start at a multiple of READ_SPAN.
enum { READ_SPAN = 128, SPAN_CHECK_BYTES = 2 };

// Called after each byte read with the caller's pContext and the number of bytes done so far.
typedef void (*ReadProgressFn)(void *pContext, uint32_t dwDone);

// Reads dwLength bytes (up to 65536) from wAddress upward into pbBuffer, the address wrapping
// from $FFFF to $0000, in "R" blocks of up to 2048. A span whose check bytes disagree with its
// bytes (or the whole block, when its prompt is wrong) is read again, up to READ_ATTEMPTS
// times, the talker found again with a sync before each; a span that stays wrong fails the
// read. pfnProgress may be NULL. Returns 1 when every byte came and checked, 0 after a message.
int ReadTargetBytes(const TalkerLink *pLink, uint16_t wAddress, uint8_t *pbBuffer,
                    uint32_t dwLength, ReadProgressFn pfnProgress, void *pContext);

// The bytes of the span that starts at wAddress with dwLeft bytes of the block left.
uint32_t SpanLength(uint16_t wAddress, uint32_t dwLeft);

// A span's check bytes as a word, the first sent high: the XOR of its dwLength bytes, and their
// sum over GF(2^8) mod x^8 + x^4 + x^3 + x^2 + 1, built as sum = sum * x ^ xor after each byte
// (talker.s). Any error confined to two of a span's bytes and its check bytes changes it.
uint16_t SpanCheck(const uint8_t *pbData, uint32_t dwLength);
