// "-n": the chip compared with the input file, through the talker's reads; nothing is written.
#pragma once

#include "srec_file.h"
#include "win32_serial.h"

// Reads back the bytes of every data record of the (already checked) file and compares them.
// Prints one "." per line as the download does, then "Success\n"; or the first differing
// addresses on standard error (address, file value, chip value; at most 20, then a count),
// then "Failure\n". Returns 1 when every byte matched, 0 on a difference or a failed read.
int VerifyFile(HANDLE hPort, const SRecordFile *pFile);
