// Feeding the user's S-record file to the talker, and checking the whole file before the
// target is touched.
#pragma once

#include <cstdio>

#include "win32_serial.h"

// Reads every line as the download would and parses it. Refused besides what the parser
// refuses: a record whose line holds fewer digits than its count announces (cut short), a line
// with text after a carriage return (lines ending in CR alone), and S1 data aimed at the
// talker's own RAM ($0000-$00FF, the wrap from $FFFF included). Returns 1 when the whole file
// can be downloaded; otherwise 0 after the line's message ("Can't parse S record" after the
// parser's own, or one of the three above) on standard error and "Failure" on standard
// output. Leaves the file at its end.
int CheckSRecordFile(FILE *pFile);

// Downloads the file from where it stands, line by line, printing "." before each read:
// S1 records go to WriteSRecord, S0 and S9 are passed over. Ends with "Success" (1) or
// "Failure" (0); a byte that did not verify makes it a failure, after a line counting them.
int DownloadFile(HANDLE hPort, FILE *pFile);
