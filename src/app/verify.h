// "-n": the chip compared with the input file, through the talker's reads; nothing is written.
#pragma once

#include "srec_file.h"
#include "talker_link.h"

// Reads back the bytes of every data record of the (already checked) file and compares them.
// Prints one "." per line as the download does, then "Success\n"; or the first differing
// addresses on standard error (address, file value, chip value; at most 20, then a count),
// and returns 0, as after a failed read. Returns 1 when every byte matched.
int VerifyFile(const TalkerLink *pLink, const SRecordFile *pFile);
