// The talker answers "r" with the byte at the frame's address, then its prompt. The frames go
// back to back through a talker stream (the talker answers a frame in far fewer cycles than
// the next takes on the wire), and the replies are checked as they come.
#include "target_read.h"

#include "talker_stream.h"

int ReadTargetBytes(HANDLE hPort, WORD wAddress, BYTE *pbBuffer, DWORD dwLength,
                    ReadProgressFn pfnProgress) {
    TalkerStream stream;
    StartTalkerStream(&stream, hPort);
    stream.pfnReadProgress = pfnProgress;
    for (DWORD i = 0; i < dwLength; i++) {
        if (!StreamReadByte(&stream, (WORD)(wAddress + i), &pbBuffer[i])) return 0;
    }
    return FinishTalkerStream(&stream);
}
