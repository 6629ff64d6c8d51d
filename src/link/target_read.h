// Reading the target's memory through the talker's "r" command.
#pragma once

#include "win32_serial.h"

// Called after each byte read with the number of bytes done so far.
typedef void (*ReadProgressFn)(DWORD dwDone);

// Reads dwLength bytes (up to 65536) from wAddress upward into pbBuffer, the address wrapping
// from $FFFF to $0000. Each byte is one "r" exchange: the frame, the byte, the prompt.
// pfnProgress may be NULL. Returns 1 when every byte came, 0 after a message.
int ReadTargetBytes(HANDLE hPort, WORD wAddress, BYTE *pbBuffer, DWORD dwLength,
                    ReadProgressFn pfnProgress);
