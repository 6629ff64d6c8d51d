// libFuzzer target for the host's reading of the talker's "R" answers, the bytes a far end
// sends back. Input: a mode byte, the block's address and length (two bytes each), two
// changes (an offset into the answer, two bytes, and the bits to invert), then the chip's
// bytes (repeated to fill its memory). The far end answers every sync and every "R" frame;
// its first answer is the one the line changed, every later one comes clean.
//   mode even: the first answer is the true one with the two changes. Two changed bytes are
//              always caught, so the read must succeed with the chip's bytes.
//   mode odd:  the first answer is the rest of the input, whatever it is: the read must end,
//              with 1 or 0, within the buffers it was given.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "part_table.h"
#include "port.h"
#include "talker_link.h"
#include "talker_protocol.h"
#include "target_read.h"

namespace {

void Require(bool fCondition, const char *pszWhat) {
    if (fCondition) return;
    printf("fuzz_block_read: %s\n", pszWhat);
    abort();
}

struct FarEnd {
    std::vector<uint8_t> chip = std::vector<uint8_t>(65536);
    std::vector<uint8_t> firstAnswer;  // empty: the true answer with the changes
    uint16_t rgwChangeAt[2];
    uint8_t rgbChange[2];
    int fAnswered;
    std::vector<uint8_t> pending;  // what the far end has sent and the host not read
};

FarEnd *EndOf(Port *pPort) {
    return *PortState<FarEnd *>(pPort);
}

// The answer to "R" of dwCount bytes from wFirst, as talker.s sends it.
std::vector<uint8_t> TrueAnswer(const FarEnd &end, uint16_t wFirst, uint32_t dwCount) {
    std::vector<uint8_t> answer;
    for (uint32_t dwDone = 0; dwDone < dwCount;) {
        uint16_t wSpan = uint16_t(wFirst + dwDone);
        uint32_t dwSpan = SpanLength(wSpan, dwCount - dwDone);
        uint8_t rgbSpan[READ_SPAN];
        for (uint32_t i = 0; i < dwSpan; i++) rgbSpan[i] = end.chip[uint16_t(wSpan + i)];
        answer.insert(answer.end(), rgbSpan, rgbSpan + dwSpan);
        uint16_t wCheck = SpanCheck(rgbSpan, dwSpan);
        answer.push_back(uint8_t(wCheck >> 8));
        answer.push_back(uint8_t(wCheck));
        dwDone += dwSpan;
    }
    answer.push_back(TALKER_PROMPT);
    return answer;
}

void Answer(FarEnd *pEnd, const uint8_t *pbFrame) {
    uint32_t dwCount = uint32_t(pbFrame[3] << 8 | pbFrame[4]);
    std::vector<uint8_t> answer =
        TrueAnswer(*pEnd, uint16_t(pbFrame[1] << 8 | pbFrame[2]), dwCount ? dwCount : 65536);
    if (!pEnd->fAnswered && !pEnd->firstAnswer.empty()) answer = pEnd->firstAnswer;
    if (!pEnd->fAnswered && pEnd->firstAnswer.empty()) {
        for (int i = 0; i < 2; i++)
            answer[pEnd->rgwChangeAt[i] % answer.size()] ^= pEnd->rgbChange[i];
    }
    pEnd->fAnswered = 1;
    pEnd->pending.insert(pEnd->pending.end(), answer.begin(), answer.end());
}

int Write(Port *pPort, const uint8_t *pbBuffer, uint32_t dwLength, uint32_t, uint32_t *pdwWritten) {
    FarEnd *pEnd = EndOf(pPort);
    if (dwLength == 1 && pbBuffer[0] == TALKER_SYNC) pEnd->pending = {TALKER_PROMPT};
    if (dwLength == FRAME_LENGTH) Answer(pEnd, pbBuffer);
    *pdwWritten = dwLength;
    return 1;
}

int Read(Port *pPort, uint8_t *pbBuffer, uint32_t dwLength, uint32_t, uint32_t *pdwRead) {
    std::vector<uint8_t> &pending = EndOf(pPort)->pending;
    *pdwRead = dwLength < pending.size() ? dwLength : uint32_t(pending.size());
    memcpy(pbBuffer, pending.data(), *pdwRead);
    pending.erase(pending.begin(), pending.begin() + *pdwRead);
    return 1;
}

int Done(Port *) {
    return 1;
}
int Purge(Port *pPort) {
    EndOf(pPort)->pending.clear();
    return 1;
}
int PassTime(Port *, uint32_t) {
    return 1;
}

const PortOps FAR_END_OPS = {
    nullptr, Read, Write, Done, Purge, nullptr, nullptr, nullptr, nullptr, nullptr, PassTime,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData) {
    const size_t HEADER = 11;
    if (cbData < HEADER) return 0;
    static FarEnd end;
    end.fAnswered = 0;
    end.pending.clear();
    const uint8_t *pbRest = pbData + HEADER;
    size_t cbRest = cbData - HEADER;
    for (size_t i = 0; i < end.chip.size(); i++) end.chip[i] = cbRest ? pbRest[i % cbRest] : 0;
    int fRaw = pbData[0] & 1;
    end.firstAnswer = fRaw ? std::vector<uint8_t>(pbRest, pbRest + cbRest) : std::vector<uint8_t>();
    if (fRaw && end.firstAnswer.empty()) end.firstAnswer.push_back(0);
    uint16_t wFirst = uint16_t(pbData[1] << 8 | pbData[2]);
    uint32_t dwLength = uint32_t(pbData[3] << 8 | pbData[4]) % 4096 + 1;
    for (int i = 0; i < 2; i++) {
        end.rgwChangeAt[i] = uint16_t(pbData[5 + 3 * i] << 8 | pbData[6 + 3 * i]);
        end.rgbChange[i] = pbData[7 + 3 * i];
    }

    static LinkTarget target;
    DescribeLinkTarget(&target, GetDefaultPart(), 8000000, 0, "");
    TalkerLink link;
    StartTalkerLink(&link, &target);
    link.device.pOps = &FAR_END_OPS;
    *PortState<FarEnd *>(&link.device) = &end;
    link.pPort = &link.device;
    std::vector<uint8_t> read(dwLength);
    int nResult = ReadTargetBytes(&link, wFirst, read.data(), dwLength, nullptr, nullptr);
    Require(nResult == 0 || nResult == 1, "a result that is neither 1 nor 0");
    if (fRaw) return 0;
    Require(nResult == 1, "a read with two changed bytes failed");
    for (uint32_t i = 0; i < dwLength; i++)
        Require(read[i] == end.chip[uint16_t(wFirst + i)], "two changed bytes went unseen");
    return 0;
}
