// The talker answers "r" with the byte at the frame's address, then its prompt. The frames go
// back to back through a talker stream (the talker answers a frame in far fewer cycles than
// the next takes on the wire), and the replies are checked as they come.
#include "target_read.h"

#include "talker_stream.h"

int ReadTargetBytes(const TalkerLink *pLink, uint16_t wAddress, uint8_t *pbBuffer,
                    uint32_t dwLength, ReadProgressFn pfnProgress, void *pContext) {
    TalkerStream stream;
    StartTalkerStream(&stream, pLink);
    SetStreamReadProgress(&stream, pfnProgress, pContext);
    for (uint32_t i = 0; i < dwLength; i++) {
        if (!StreamReadByte(&stream, (uint16_t)(wAddress + i), &pbBuffer[i])) return 0;
    }
    return FinishTalkerStream(&stream);
}
