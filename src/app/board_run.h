// One board's whole run, from the reset and the talker load to the last check, over its own
// records: a board's run shares nothing with another board's but the input image, which it
// copies before it changes anything in it. The run says its outcome once.
#pragma once

#include <cstdint>

#include "program_image.h"
#include "read_back.h"
#include "run_target.h"

// What a board's run works in: large, so never on a stack; each board its own.
struct BoardWork {
    ProgramImage image;  // the input image as this board gets it
    ReadBackFile readBack;
    uint8_t rgbEeprom[ADDRESS_SPACE];  // the EEPROM as read back after an erase
};

// What the board got: its exit status and the bytes written and verified (a reflash counts what
// it wrote).
struct BoardOutcome {
    int nStatus;
    uint32_t dwBytes;
};

// The bytes a serial number puts into the board's image, as if the file had held them.
struct ImagePatch {
    uint16_t wAddress;
    uint32_t dwLength;  // 0 for none
    uint8_t rgbValue[8];
};

// Runs the board: the read-back file prepared, the target reset and loaded, erased, programmed
// or compared, read back, then the loop's --run and --monitor; says "Success" once all the work
// on the chip's memory is done, or "Failure". pImage is the checked input image (NULL when the
// run takes no file), pPatch the board's own bytes over it (NULL for none).
BoardOutcome RunBoard(const RunTarget *pTarget, const ProgramImage *pImage,
                      const ImagePatch *pPatch, BoardWork *pWork);

// The verdict of a run that failed before it reached a board: "Failure" for a refused file or
// an unusable output name, nothing for a refused command line. Returns nStatus.
int SayVerdict(int nStatus);
