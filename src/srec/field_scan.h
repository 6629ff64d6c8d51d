// The one number conversion the S-record parser uses: a field read the way sscanf reads it
// with a single "%<width>x" or "%<width>u", but from a text of known length, so that nothing
// past a line's end is ever looked at. Private to src/srec and its tests.
#pragma once

#include <cstddef>
#include <cstdint>

// Converts the start of pchText[0, cchText) as sscanf does with one field of dwWidth
// (1 to 8) characters in dwBase (16 for "%x", 10 for "%u"): leading white space skipped,
// an optional sign and, in base 16, an optional "0x" or "0X" inside the width, digits of
// either case up to the first one that does not fit. A '-' negates the value modulo 2^32.
// Returns 1 with *pdwValue set when at least one digit was read, 0 otherwise.
int ScanField(const char *pchText, size_t cchText, uint32_t dwWidth, uint32_t dwBase,
              uint32_t *pdwValue);
