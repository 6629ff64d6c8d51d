// "-r" with "-o": a range of the chip read back through the talker into a file in the format
// of the name's extension (.s19, .srec, .mot; .hex, .ihx; .bin). The file
// is written under a temporary name beside the one asked for and renamed only once the whole
// range is in it, so that a failed or interrupted read never leaves a half file under that name.
#pragma once

#include <cstdio>

#include "run_target.h"
#include "srec_file.h"
#include "talker_link.h"

enum { ADDRESS_SPACE = 0x10000 };

struct ReadBackFile {
    const ReadBackRequest *pRequest;      // the range ("-r") and the name ("-o")
    const PartInfo *pPart;                // named in the file's header
    char szTempName[MAX_FILE_NAME + 32];  // the name with ".partial"
    char szShownName[SHOWN_NAME_ROOM];    // the name as messages show it
    FILE *pFile;  // NULL when no read-back was asked for, or when written directly
    int fDirect;  // "-o" names a device or a pipe: written at the end, under that name
    uint8_t pbChip[ADDRESS_SPACE];  // the range as read, from its first address
};

// Makes *pOut ready for the other calls, nothing created yet.
void StartReadBackFile(ReadBackFile *pOut, const ReadBackRequest *pRequest, const PartInfo *pPart);

// Creates the temporary file beside the "-o" name before the target is touched; a device or
// a pipe (/dev/stdout, /dev/null) gets no temporary file, which would be renamed over it.
// Returns 1, or 0 after "File Error: Could not create ...".
int CreateReadBackFile(ReadBackFile *pOut);

// Reads the "-r" range through the talker, printing its stage line and progress (the run's
// "Success" waits for the file: SaveReadBackFile). Returns 1 when every
// byte came, 0 after the failure's message.
int ReadBackRange(const TalkerLink *pLink, ReadBackFile *pOut);

// Writes what ReadBackRange read in the name's format and gives the file its name. Returns 1, or 0
// after a message; the temporary file is then gone.
int SaveReadBackFile(ReadBackFile *pOut);

// Closes and removes the temporary file: the run failed before the range was read.
void DiscardReadBackFile(ReadBackFile *pOut);
