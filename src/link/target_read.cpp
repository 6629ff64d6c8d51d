// The talker answers "r" with the byte at the frame's address, then its prompt. One byte per
// exchange, in lockstep: the frame, the byte, the prompt; everything a read sends and awaits
// goes through ReadTargetByte, the one place a streamed read would change.
#include "target_read.h"

#include <cstdio>

#include "interrupt.h"
#include "serial_port.h"
#include "talker_protocol.h"

namespace {

enum { FRAME_LENGTH = 5 };

int ReadTargetByte(HANDLE hPort, WORD wAddress, BYTE *pbValue) {
    // The count is not looked at by "r"; the host sends zeros as for every command.
    const BYTE pbFrame[FRAME_LENGTH] = {'r', (BYTE)(wAddress >> 8), (BYTE)(wAddress & 0xFF), 0, 0};
    if (!SendRawNoEcho(hPort, pbFrame, FRAME_LENGTH)) return 0;
    DWORD dwRead = 0;
    if (!TracedRead(hPort, pbValue, 1, &dwRead)) {
        fprintf(stderr, "ReadTargetBytes: Read error 0x%x\n", (unsigned)GetLastError());
        return 0;
    }
    if (dwRead != 1) {
        fprintf(stderr, "ReadTargetBytes: No reply for the byte at $%04X\n", wAddress);
        return 0;
    }
    return GetPrompt(hPort, 0);
}

}  // namespace

int ReadTargetBytes(HANDLE hPort, WORD wAddress, BYTE *pbBuffer, DWORD dwLength,
                    ReadProgressFn pfnProgress) {
    for (DWORD i = 0; i < dwLength; i++) {
        if (!ReadTargetByte(hPort, (WORD)(wAddress + i), &pbBuffer[i])) return 0;
        NoteBytesDone(1);
        if (pfnProgress != NULL) pfnProgress(i + 1);
    }
    return 1;
}
