#include "erase_check.h"

#include "say.h"
#include "target_read.h"

namespace {

// Runs of unset bytes less than this far apart are read as one block: the file's bytes between
// them cost less wire time than another frame, its prompt and the round trip between them. They
// are read, not judged.
const uint32_t READ_MERGE_GAP = 64;

const uint8_t ERASED = 0xFF;

int IsUnset(const ProgramImage *pImage, uint32_t dwAddress) {
    return pImage == NULL || pImage->rgbState[dwAddress] == BYTE_ABSENT;
}

// The first unset address in [dwFrom, dwTo), or dwTo.
uint32_t NextUnset(const ProgramImage *pImage, uint32_t dwFrom, uint32_t dwTo) {
    while (dwFrom < dwTo && !IsUnset(pImage, dwFrom)) dwFrom++;
    return dwFrom;
}

// The end of the read that starts at the unset dwFrom: later unset runs joined while the set
// bytes between are few.
uint32_t ReadEnd(const ProgramImage *pImage, uint32_t dwFrom, uint32_t dwTo) {
    uint32_t dwEnd = dwFrom;
    for (;;) {
        while (dwEnd < dwTo && IsUnset(pImage, dwEnd)) dwEnd++;
        uint32_t dwNext = NextUnset(pImage, dwEnd, dwTo);
        if (dwNext == dwTo || dwNext - dwEnd >= READ_MERGE_GAP) return dwEnd;
        dwEnd = dwNext;
    }
}

struct Unerased {
    uint32_t dwCount;
    uint32_t dwFirst;
};

void CountUnerased(const ProgramImage *pImage, const uint8_t *pbChip, uint32_t dwFrom,
                   uint32_t dwTo, Unerased *pUnerased) {
    for (uint32_t dw = dwFrom; dw < dwTo; dw++) {
        if (pbChip[dw] == ERASED || !IsUnset(pImage, dw)) continue;
        if (pUnerased->dwCount++ == 0) pUnerased->dwFirst = dw;
    }
}

}  // namespace

int CheckEepromErased(const TalkerLink *pLink, const ProgramImage *pImage, uint8_t *pbChip) {
    const uint32_t dwStart = pLink->pTarget->wEepromStart;
    const uint32_t dwEnd = (uint32_t)pLink->pTarget->wEepromEnd + 1;
    Unerased unerased = {0, 0};
    for (uint32_t dw = NextUnset(pImage, dwStart, dwEnd); dw < dwEnd;
         dw = NextUnset(pImage, dw, dwEnd)) {
        uint32_t dwReadEnd = ReadEnd(pImage, dw, dwEnd);
        if (!ReadTargetBytes(pLink, (uint16_t)dw, pbChip + dw, dwReadEnd - dw, NULL, NULL))
            return 0;
        CountUnerased(pImage, pbChip, dw, dwReadEnd, &unerased);
        dw = dwReadEnd;
    }
    if (unerased.dwCount == 0) return 1;
    SayErr("BulkErase: %u byte(s) of the EEPROM did not erase, the first at $%04X (reads %02X)\n",
           (unsigned)unerased.dwCount, (unsigned)unerased.dwFirst, pbChip[unerased.dwFirst]);
    return 0;
}
