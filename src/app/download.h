// Programming the input image, read whole and checked before, through the talker.
#pragma once

#include "program_image.h"
#include "talker_link.h"

// Downloads the image: contiguous bytes as one "W" block, or "P" block inside the EEPROM
// range, split at the range's bounds and at 65536. Unless fChipErased (-B), the EEPROM is read
// a window of 256 addresses at a time before it is programmed, and the bytes the chip already
// holds are left out; a window the chip lacks nearly whole ends the reading. Prints the
// file's progress dots as the bytes they stand for go out. Returns 1 when every byte verified, or
// returns 0 after the failure's message; bytes that did not verify make it a failure, each listed
// (the first 20) with its address and record, then a count.
int DownloadImage(const TalkerLink *pLink, ProgramImage *pImage, int fChipErased);
