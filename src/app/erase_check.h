// After a bulk erase the EEPROM must read $FF before the run may call it erased: an erase-only
// run reads the whole range back, a run with an input file the bytes of the range the file does
// not set (the download reads its own bytes back as they program). Block reads at wire speed,
// each checked by its spans' check bytes.
#pragma once

#include <cstdint>

#include "program_image.h"
#include "talker_link.h"

// Reads the link's EEPROM range back where pImage (NULL: nothing) holds no byte, into pbChip
// (ADDRESS_SPACE bytes, indexed by address), and checks that each of those bytes reads $FF.
// Returns 1, or 0 after
// "BulkErase: N byte(s) of the EEPROM did not erase, the first at $XXXX (reads YY)".
int CheckEepromErased(const TalkerLink *pLink, const ProgramImage *pImage, uint8_t *pbChip);
