// Feeding an S-record file, held whole in memory and already checked, to the talker.
#pragma once

#include "srec_file.h"
#include "talker_link.h"

// Downloads the file line by line through the link's open port, printing "." before each line
// and once more at the end when the text ends with a line end (one dot per read of the file
// as a stream: a file of N lines ending in a newline prints N+1). S1, S2 and S3 records go to
// the talker; the other lines are passed over. Ends with "Success" (1), or returns 0 after
// the failure's message; a byte that did not verify makes it a failure, after a line
// counting them.
int DownloadFile(const TalkerLink *pLink, const SRecordFile *pFile);
