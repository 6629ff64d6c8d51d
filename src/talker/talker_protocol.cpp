// Talker commands: a letter and four frame bytes (address and count, high byte first), then
// the prompt. The set-up commands go one at a time; records go through a stream.
#include "talker_protocol.h"

#include <cstdio>

#include "com_port.h"
#include "progress.h"
#include "say.h"
#include "talker_stream.h"

namespace {

const uint32_t SYNC_ATTEMPTS = 10;
const uint32_t WRONG_ANSWERS_TO_STOP = 2;  // one may be a byte garbled on the line
// After a rate's "w" has drained, its wire time at the old rate and this much before the port
// changes: a USB adapter's 1 ms frames, and the host's scheduling.
const uint32_t RATE_SWITCH_MARGIN_MS = 5;
const uint32_t STRAY_GAP_MS = 40;        // twice the common adapters' default latency timer
const uint32_t PROMPT_SEARCH_BYTES = 8;  // read after a rate's "w", among them its prompt
const uint32_t SYNC_SETTLE_MS = 20;      // beyond the common adapters' default latency timer, 16 ms

// How a series of syncs ended, and what answered them.
enum SyncOutcome { SYNC_PROMPT, SYNC_SILENT, SYNC_WRONG_ANSWERS, SYNC_CALL_FAILED };
struct SyncAnswers {
    uint32_t dwSilent;  // attempts that read nothing
    uint32_t dwWrong;   // answers that were not ">"
    uint32_t dwBreaks;  // of them, $00: a break, or a boot ROM's echo at a slower rate
    uint8_t bLastWrong;
};

enum PromptAttempt {
    ATTEMPT_CALL_FAILED = -1,  // no further attempt may be made
    ATTEMPT_SILENT = 0,
    ATTEMPT_PROMPT = 1,
    ATTEMPT_WRONG_ANSWER = 2,
};

// One attempt at reading the prompt; a byte that is not ">" goes into *pbReply.
PromptAttempt TryPrompt(Port *pPort, int fSync, uint8_t *pbReply) {
    if (fSync) {
        // A USB adapter may still hold bytes the chip sent before (the talker's start-up
        // prompt, up to its latency timer late): they come in before the purge.
        WaitOnPort(pPort, SYNC_SETTLE_MS);
        PurgePortInput(pPort);
        uint8_t bSync = TALKER_SYNC;
        uint32_t dwWrite = 0;
        if (!TracedWrite(pPort, &bSync, 1, &dwWrite)) {
            SayErr("GetPrompt: Error on sync write (%x)\n", (unsigned)pPort->dwLastError);
            SayPortFailure(pPort);
            return ATTEMPT_CALL_FAILED;
        }
    }
    uint32_t dwRead = 0;
    if (!TracedRead(pPort, pbReply, 1, &dwRead)) {
        SayErr("GetPrompt: Error on read (%x)\n", (unsigned)pPort->dwLastError);
        SayPortFailure(pPort);
        return ATTEMPT_CALL_FAILED;
    }
    if (dwRead != 1) return ATTEMPT_SILENT;
    if (*pbReply == TALKER_PROMPT) return ATTEMPT_PROMPT;
    ReportWrongPrompt(*pbReply);
    return ATTEMPT_WRONG_ANSWER;
}

// The first silent attempt is reported with what the retries are doing: an unplugged or
// unpowered board keeps the run in them for about 20 s.
void ReportSilentAttempt(uint32_t dwSilent) {
    if (dwSilent != 1) return;
    EndProgressLineForMessage();
    SayErr("GetPrompt: Didn't read a character\n");
    SayErr(
        "GetPrompt: no answer: sending the sync again, up to %u more times over about %u s "
        "(is the board powered, its cable in, and was it not reset?)\n",
        (unsigned)(SYNC_ATTEMPTS - 1), (unsigned)(SYNC_ATTEMPTS - 1) * 2);
}

void BuildFrame(uint8_t bLetter, uint16_t wAddress, uint16_t wCount, uint8_t *pbFrame) {
    pbFrame[0] = bLetter;
    pbFrame[1] = (uint8_t)(wAddress >> 8);
    pbFrame[2] = (uint8_t)(wAddress & 0xFF);
    pbFrame[3] = (uint8_t)(wCount >> 8);
    pbFrame[4] = (uint8_t)(wCount & 0xFF);
}

// A byte command: the count's high byte 0, its low byte the value.
void BuildValueFrame(uint8_t bLetter, uint16_t wAddress, uint32_t dwValue, uint8_t *pbFrame) {
    BuildFrame(bLetter, wAddress, (uint8_t)dwValue, pbFrame);
}

// A block: 65536 bytes go as a count of 0.
void BuildBlockFrame(uint8_t bLetter, uint16_t wAddress, uint32_t dwCount, uint8_t *pbFrame) {
    BuildFrame(bLetter, wAddress, (uint16_t)dwCount, pbFrame);
}

void BuildBulkEraseFrame(uint8_t bLetter, uint16_t wAddress, uint32_t dwConfig, uint8_t *pbFrame) {
    (void)wAddress;
    BuildFrame(bLetter, BULK_ERASE_ADDRESS, (uint8_t)dwConfig, pbFrame);
}

typedef void (*FrameBuilder)(uint8_t bLetter, uint16_t wAddress, uint32_t dwArgument,
                             uint8_t *pbFrame);

struct CommandRow {
    uint8_t bLetter;
    FrameBuilder pfnBuild;
};

// In TalkerCommand's order.
const CommandRow COMMAND_TABLE[TALKER_COMMANDS] = {
    {'r', BuildValueFrame},     {'w', BuildValueFrame}, {'p', BuildValueFrame},
    {'W', BuildBlockFrame},     {'P', BuildBlockFrame}, {'R', BuildBlockFrame},
    {'B', BuildBulkEraseFrame},
};

// Up to SYNC_ATTEMPTS syncs, until the prompt, a failed call, or WRONG_ANSWERS_TO_STOP answers
// that are not the prompt: then the line carries bytes, and more syncs would not change what
// answers them.
SyncOutcome SyncWithTalker(Port *pPort, SyncAnswers *pAnswers) {
    *pAnswers = SyncAnswers{0, 0, 0, 0};
    for (uint32_t i = 0; i < SYNC_ATTEMPTS; i++) {
        uint8_t bReply = 0;
        PromptAttempt eAttempt = TryPrompt(pPort, 1, &bReply);
        if (eAttempt == ATTEMPT_PROMPT) return SYNC_PROMPT;
        if (eAttempt == ATTEMPT_CALL_FAILED) return SYNC_CALL_FAILED;
        if (eAttempt == ATTEMPT_SILENT) {
            ReportSilentAttempt(++pAnswers->dwSilent);
            continue;
        }
        pAnswers->bLastWrong = bReply;
        if (bReply == BOOT_BREAK_BYTE) pAnswers->dwBreaks++;
        if (++pAnswers->dwWrong == WRONG_ANSWERS_TO_STOP) return SYNC_WRONG_ANSWERS;
    }
    return SYNC_SILENT;
}

}  // namespace

void ReportWrongPrompt(uint8_t bReply) {
    EndProgressLineForMessage();
    // A control byte would act on the terminal: it is shown by its value.
    if (bReply >= 0x20 && bReply < 0x7F)
        SayErr("GetPrompt: Got a %c(0x%x), expected '>'\n", bReply, bReply);
    else
        SayErr("GetPrompt: Got a $%02X, expected '>'\n", bReply);
}

void BuildCommandFrame(TalkerCommand eCommand, uint16_t wAddress, uint32_t dwArgument,
                       uint8_t *pbFrame) {
    const CommandRow &row = COMMAND_TABLE[eCommand];
    row.pfnBuild(row.bLetter, wAddress, dwArgument, pbFrame);
}

int GetPrompt(Port *pPort, int fSync) {
    uint8_t bReply = 0;
    if (!fSync) {
        PromptAttempt eAttempt = TryPrompt(pPort, 0, &bReply);
        if (eAttempt == ATTEMPT_SILENT) SayErr("GetPrompt: Didn't read a character\n");
        return eAttempt == ATTEMPT_PROMPT;
    }
    SyncAnswers answers;
    SyncOutcome eOutcome = SyncWithTalker(pPort, &answers);
    if (eOutcome == SYNC_WRONG_ANSWERS) {
        // $80 is the boot ROM echoing at 1200 baud: it still takes a load, longer than the
        // one -p's part was sent.
        SayErr(
            "GetPrompt: the board answers the sync with $%02X, not the talker's prompt: "
            "likely another part than -p names (its boot ROM still taking the load), or a "
            "port that does not make 9600 baud. Check -p, reset the board into special "
            "bootstrap mode and run again\n",
            answers.bLastWrong);
    } else if (eOutcome == SYNC_SILENT) {
        SayErr(
            "GetPrompt: the talker never answered: check the board's power and the cable, "
            "reset it into special bootstrap mode and run again\n");
    }
    return eOutcome == SYNC_PROMPT;
}

int WriteTargetByte(Port *pPort, uint16_t wAddress, uint8_t bValue) {
    uint8_t pbFrame[FRAME_LENGTH];
    BuildCommandFrame(TALKER_WRITE_BYTE, wAddress, bValue, pbFrame);
    if (!SendRawNoEcho(pPort, pbFrame, FRAME_LENGTH - 1)) return 0;
    if (!SendRawWithEcho(pPort, &pbFrame[FRAME_LENGTH - 1], 1, 1, 1, NULL)) return 0;
    return GetPrompt(pPort, 0);
}

int BulkErase(const TalkerLink *pLink) {
    uint8_t pbFrame[FRAME_LENGTH];
    BuildCommandFrame(TALKER_BULK_ERASE, BULK_ERASE_ADDRESS, pLink->pTarget->bConfigValue, pbFrame);
    if (pLink->pTarget->fTrace) SayErr("BulkErase\n");
    if (!SendRawNoEcho(pLink->pPort, pbFrame, FRAME_LENGTH)) return 0;
    return GetPrompt(pLink->pPort, 0);
}

int InEepromRange(const TalkerLink *pLink, uint16_t wAddress) {
    return wAddress >= pLink->pTarget->wEepromStart && wAddress <= pLink->pTarget->wEepromEnd;
}

int WriteSRecord(const TalkerLink *pLink, const SRecord *pRecord, uint32_t *pdwMismatches) {
    TalkerStream stream;
    StartTalkerStream(&stream, pLink);
    int nResult = StreamSRecord(&stream, pRecord) && FinishTalkerStream(&stream);
    *pdwMismatches += GetStreamMismatches(&stream);
    return nResult;
}

namespace {

// The rate's "w", with the first rate's sync in front when fSync. The frame's last byte must
// have left at the old rate before the port changes: drained, then its wire time and a margin.
// The talker's answers (the sync's prompt, the "w"'s prompt at the new rate read as a stray
// byte at the old) may come later, as late as a USB adapter's latency timer holds them: they
// are read past, not purged after a wait.
int SendRateFrame(Port *pPort, uint16_t wBaudAddress, uint8_t bBaud, int fSync) {
    uint8_t pbBytes[1 + FRAME_LENGTH] = {TALKER_SYNC};
    BuildCommandFrame(TALKER_WRITE_BYTE, wBaudAddress, bBaud, &pbBytes[1]);
    uint32_t dwLength = FRAME_LENGTH + (fSync ? 1 : 0);
    PurgePortInput(pPort);
    if (!SendRawNoEcho(pPort, fSync ? pbBytes : &pbBytes[1], dwLength)) return 0;
    DrainPort(pPort);
    uint32_t dwRate = pPort->dwBaudRate;
    uint32_t dwWireMs = (dwLength * BITS_PER_CHARACTER * 1000 + dwRate - 1) / dwRate;
    WaitOnPort(pPort, dwWireMs + RATE_SWITCH_MARGIN_MS);
    return 1;
}

// Whether the talker's prompt comes, before it at most a few other bytes: it ran at the old
// rate when the sync came. Before the prompt may come a stray byte (its start-up prompt read at
// the load's rate), after it the "w"'s echo and a stray: none of them reads as ">". A network's
// round trip may bring it after the switch's wait.
int SyncPromptCame(Port *pPort) {
    for (uint32_t dwSeen = 0; dwSeen < PROMPT_SEARCH_BYTES;) {
        uint8_t pbCame[PROMPT_SEARCH_BYTES];
        uint32_t dwRead = 0;
        if (!ReadPort(pPort, pbCame, PROMPT_SEARCH_BYTES - dwSeen, REPLY_WAIT_MS, &dwRead) ||
            dwRead == 0)
            return 0;
        for (uint32_t i = 0; i < dwRead; i++)
            if (pbCame[i] == TALKER_PROMPT) return 1;
        dwSeen += dwRead;
    }
    return 0;
}

// The first sync at the new rate: the switch's strays may come before its answer, and are
// passed over. None reads as ">": the "w"'s echo is the BAUD value (whose bit 3, a test bit,
// no rate sets), and a character at one of the talker's rates read at another has too few or
// too many edges for it.
int SyncPastStrays(Port *pPort) {
    uint8_t bSync = TALKER_SYNC;
    uint32_t dwWritten = 0;
    if (!TracedWrite(pPort, &bSync, 1, &dwWritten) || dwWritten != 1) return 0;
    uint8_t bReply = 0;
    uint32_t dwRead = 0;
    if (!TracedRead(pPort, &bReply, 1, &dwRead)) return 0;
    for (uint32_t i = 0; dwRead == 1 && i < PROMPT_SEARCH_BYTES; i++) {
        if (bReply == TALKER_PROMPT) return 1;
        // The answer comes at most one latency timer after the strays; a byte with nothing
        // after it was the answer itself.
        if (!ReadPort(pPort, &bReply, 1, STRAY_GAP_MS, &dwRead)) return 0;
    }
    return 0;
}

// The port at dwRate, then the sync: 1 when the talker answers there, else 0 after a message.
int AnswerAtNewRate(Port *pPort, uint32_t dwRate) {
    if (!SetComPortRate(pPort, dwRate)) return 0;
    if (SyncPastStrays(pPort)) return 1;
    // No answer among the first bytes: the syncs one by one say what answers.
    SyncAnswers answers;
    SyncOutcome eOutcome = SyncWithTalker(pPort, &answers);
    if (eOutcome == SYNC_PROMPT) return 1;
    if (eOutcome == SYNC_CALL_FAILED) return 0;
    if (answers.dwBreaks != 0) {
        // A talker never sends $00 unasked; a chip that reset sends its break, and its boot
        // ROM's echoes at 1200 or 7812 baud read as $00 at the faster rates.
        SayErr(
            "SetTalkerRate: the board answered $00 at %u baud: the chip reset (its boot ROM's "
            "break, or its echoes at the ROM's own rate), not a rate problem. Check the "
            "board's power and reset line, reset it into special bootstrap mode and run "
            "again\n",
            (unsigned)dwRate);
        return 0;
    }
    SayErr(
        "SetTalkerRate: the talker did not answer at %u baud: the adapter or the cable may "
        "not carry this rate (try a lower -b)\n",
        (unsigned)dwRate);
    return 0;
}

}  // namespace

int SetTalkerRate(Port *pPort, uint16_t wBaudAddress, uint8_t bBaud, uint32_t dwRate) {
    return SendRateFrame(pPort, wBaudAddress, bBaud, 0) && AnswerAtNewRate(pPort, dwRate);
}

int SyncAndSetTalkerRate(Port *pPort, uint16_t wBaudAddress, uint8_t bBaud, uint32_t dwRate) {
    if (!SendRateFrame(pPort, wBaudAddress, bBaud, 1)) return 0;
    if (SyncPromptCame(pPort)) return AnswerAtNewRate(pPort, dwRate);
    // No prompt: the syncs one by one say what answers at the old rate.
    return GetPrompt(pPort, 1) && SetTalkerRate(pPort, wBaudAddress, bBaud, dwRate);
}
