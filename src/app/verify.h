// "-n": the chip compared with the input image, nothing written.
#pragma once

#include "program_image.h"
#include "talker_link.h"

// Reads the chip where the image has bytes ("R" blocks, each checked) and compares, printing
// the file's progress dots as the bytes they stand for come. Returns 1 when the chip holds the
// file, or returns 0 after the failure's message: the first 20 differing addresses with the file's
// and the chip's values, "... and N more", and the count.
int VerifyImage(const TalkerLink *pLink, const ProgramImage *pImage);
