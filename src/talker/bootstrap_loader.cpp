#include "bootstrap_loader.h"

#include <cstdio>
#include <cstring>

#include "com_port.h"
#include "progress.h"
#include "say.h"
#include "srecord.h"
#include "talker_image.h"
#include "talker_probe.h"

namespace {

const uint8_t BOOT_START_BYTE = 0xFF;
const uint32_t IDLE_END_CHARACTERS = 4;  // the idle line that ends a variable-length load
const uint32_t LATE_EVIDENCE_BYTES = 2;  // wrong echoes needed to call the load one byte late
// Echoes, all one value, that make a talker of an earlier run the likely answer: its replies
// come at its own faster rate, and each reads at the load's rate as one same byte.
const uint32_t RUNNING_TALKER_EVIDENCE = 8;
// Echoes read before a load's failure is judged a rate's rather than noise's or a stray byte's.
const uint32_t GARBLE_EVIDENCE_BYTES = 8;
enum { MAX_DOWNLOAD_LENGTH = 256, MAX_IMAGE_LINES = 16 };
// The probe waits this long for a running talker's prompt: two characters at 9600, a USB
// adapter's latency timer (16 ms) and its 1 ms frames make about 20 ms; the wait is twice that.
// Over a network the server's round trip comes on top.
const uint32_t PROBE_WAIT_MS = 40;
const uint32_t NETWORK_PROBE_WAIT_MS = 100;

// What follows the $FF, where each image line's data begins in it, and the echoes read.
struct TalkerLoad {
    uint8_t pbBytes[MAX_DOWNLOAD_LENGTH];
    uint8_t pbEchoes[MAX_DOWNLOAD_LENGTH];
    uint32_t dwLength;  // bytes sent after the $FF
    uint32_t dwTalker;  // of which the talker's; the rest is zero fill
    uint32_t dwEchoed;  // echoes read
    uint32_t rgdwLineStart[MAX_IMAGE_LINES + 1];
    uint32_t dwLines;
};

// The S1 data of the image in table order: the ROM places bytes by arrival, so addresses and
// checksums are not sent.
int AddTalkerImage(TalkerLoad *pLoad) {
    SRecord record;
    pLoad->dwTalker = pLoad->dwLines = 0;
    for (unsigned i = 0; i < dwTalkerImageLines; i++) {
        if (!ParseSRecordString(TalkerImage[i], &record)) return 0;
        if (record.wType == 9) break;
        if (record.wType != 1) continue;
        if (pLoad->dwLines == MAX_IMAGE_LINES ||
            pLoad->dwTalker + record.wLength > MAX_DOWNLOAD_LENGTH) {
            SayErr("DownloadTalker: the talker image exceeds %u bytes\n",
                   (unsigned)MAX_DOWNLOAD_LENGTH);
            return 0;
        }
        pLoad->rgdwLineStart[pLoad->dwLines++] = pLoad->dwTalker;
        memcpy(pLoad->pbBytes + pLoad->dwTalker, record.bData, record.wLength);
        pLoad->dwTalker += record.wLength;
    }
    pLoad->rgdwLineStart[pLoad->dwLines] = pLoad->dwTalker;
    return 1;
}

// A fixed-length load is filled with zeros to its length; a variable-length one is the
// talker alone, ended by the idle line.
int BuildLoad(const TalkerLink *pLink, TalkerLoad *pLoad) {
    if (!AddTalkerImage(pLoad)) return 0;
    PatchTalkerImage(&pLink->pTarget->clock, pLoad->pbBytes);
    uint32_t dwLength = pLink->pTarget->dwLoadLength;
    if (dwLength > MAX_DOWNLOAD_LENGTH) dwLength = MAX_DOWNLOAD_LENGTH;
    if (pLink->pTarget->pPart->fVariableLoad || dwLength < pLoad->dwTalker)
        dwLength = pLoad->dwTalker;
    memset(pLoad->pbBytes + pLoad->dwTalker, 0, dwLength - pLoad->dwTalker);
    pLoad->dwLength = dwLength;
    return 1;
}

// Anything received before the load is not an echo (a break from a reset, noise on the
// line), so it is emptied first. The $FF and the load go in one write: the driver keeps the
// line busy from the first byte to the last, so no pause of the host's can look like the idle
// line that ends a variable-length load. The ROM echoes at the rate it receives, so the wire
// paces the load; the echoes wait in the port until they are read.
int SendLoad(Port *pPort, const TalkerLoad *pLoad, int fFirstSent) {
    uint8_t pbWire[MAX_DOWNLOAD_LENGTH + 1];
    uint32_t dwStart = fFirstSent ? 0 : 1;
    pbWire[0] = BOOT_START_BYTE;
    memcpy(pbWire + dwStart, pLoad->pbBytes, pLoad->dwLength);
    PurgePortInput(pPort);
    return WriteBytes(pPort, pbWire, dwStart + pLoad->dwLength);
}

// "%u." before each image line's echoes and after the last, where no progress line is drawn.
void PrintLineMark(uint32_t dwLine) {
    char szMark[16];
    snprintf(szMark, sizeof szMark, "%u.", (unsigned)dwLine);
    PrintProgressMark(szMark);
}

// The ROM holds its break from reset until the $FF's start bit; a UART that was listening
// then reads it as a $00 ahead of the first echo.
int ReadEcho(Port *pPort, TalkerLoad *pLoad, uint32_t dwIndex) {
    if (!ReadRawByte(pPort, &pLoad->pbEchoes[dwIndex])) return 0;
    pLoad->dwEchoed = dwIndex + 1;
    if (dwIndex != 0 || pLoad->pbEchoes[0] != BOOT_BREAK_BYTE ||
        pLoad->pbBytes[0] == BOOT_BREAK_BYTE)
        return 1;
    return ReadRawByte(pPort, &pLoad->pbEchoes[0]);
}

// The echoes of one image line, each compared with its byte.
int ReadLineEchoes(Port *pPort, TalkerLoad *pLoad, uint32_t dwLine, uint32_t *pdwMismatches) {
    uint32_t dwStart = pLoad->rgdwLineStart[dwLine];
    for (uint32_t i = dwStart; i < pLoad->rgdwLineStart[dwLine + 1]; i++) {
        if (!ReadEcho(pPort, pLoad, i)) return 0;
        if (!EchoMatches(pLoad->pbEchoes[i], pLoad->pbBytes + dwStart, i - dwStart))
            (*pdwMismatches)++;
        NoteBytesDone(1);
    }
    return 1;
}

// The fill's echoes are read but not compared: the last one is garbled when the talker
// switches the line to 9600 baud while it is still going out.
int ReadEchoes(Port *pPort, TalkerLoad *pLoad, uint32_t *pdwMismatches) {
    for (uint32_t dwLine = 0; dwLine < pLoad->dwLines; dwLine++) {
        PrintLineMark(dwLine);
        if (!ReadLineEchoes(pPort, pLoad, dwLine, pdwMismatches)) return 0;
    }
    PrintLineMark(pLoad->dwLines);
    for (uint32_t i = pLoad->dwTalker; i < pLoad->dwLength; i++) {
        if (!ReadEcho(pPort, pLoad, i)) return 0;
        NoteBytesDone(1);
    }
    return 1;
}

// Whether, from the first wrong echo on, every echo was the byte sent before it: a stray
// byte put the ROM one byte behind the host. Stores the first wrong echo's index.
int EchoesRanLate(const TalkerLoad *pLoad, uint32_t *pdwFirst) {
    uint32_t dwFirst = 0, dwWrong = 0;
    while (dwFirst < pLoad->dwTalker && pLoad->pbEchoes[dwFirst] == pLoad->pbBytes[dwFirst])
        dwFirst++;
    for (uint32_t i = dwFirst + 1; i < pLoad->dwTalker; i++) {
        if (pLoad->pbEchoes[i] != pLoad->pbBytes[i - 1]) return 0;
        if (pLoad->pbEchoes[i] != pLoad->pbBytes[i]) dwWrong++;
    }
    *pdwFirst = dwFirst;
    return dwWrong >= LATE_EVIDENCE_BYTES;
}

void PrintCheckBoard(void) {
    SayErr(
        "DownloadTalker: Check that the board was reset into special bootstrap mode (MODA "
        "and MODB low), the port, and the cable\n");
}

// A load whose echoes differed: the chip would run code that is not the talker.
void ReportWrongEchoes(const TalkerLoad *pLoad, uint32_t dwMismatches) {
    SayErr(
        "DownloadTalker: %u talker byte(s) echoed wrong: the target is not running the "
        "talker\n",
        (unsigned)dwMismatches);
    uint32_t dwFirst = 0;
    if (!EchoesRanLate(pLoad, &dwFirst)) {
        PrintCheckBoard();
    } else if (dwFirst == 0 && pLoad->pbEchoes[0] == BOOT_START_BYTE) {
        SayErr(
            "DownloadTalker: the boot ROM echoed the $FF as the talker's first byte: a "
            "stray byte reached it first and the talker landed one byte late. Reset the "
            "board into bootstrap mode and run again\n");
    } else {
        SayErr(
            "DownloadTalker: from talker byte %u on, each echo came one byte late: a stray "
            "byte reached the line. Reset the board into bootstrap mode and run again\n",
            (unsigned)dwFirst);
    }
}

// Whether the echoes came back garbled, byte by byte in many ways: a boot ROM that runs at
// another rate than the host, as a crystal other than -x makes it. One same echo throughout
// is a running talker's, echoes one byte late a stray byte's, none at all a board elsewhere.
int EchoesLookGarbled(const TalkerLoad *pLoad) {
    uint32_t dwEchoed = pLoad->dwEchoed < pLoad->dwTalker ? pLoad->dwEchoed : pLoad->dwTalker;
    if (dwEchoed < GARBLE_EVIDENCE_BYTES) return 0;
    uint32_t dwWrong = 0, dwOtherValues = 0, dwShifted = 0;
    for (uint32_t i = 0; i < dwEchoed; i++) {
        const uint8_t bEcho = pLoad->pbEchoes[i];
        if (bEcho != pLoad->pbBytes[i]) dwWrong++;
        if (bEcho != pLoad->pbEchoes[0]) dwOtherValues++;
        // An echo lost or added shifts the rest by one byte, each still whole.
        if ((i > 0 && bEcho == pLoad->pbBytes[i - 1]) ||
            (i + 1 < pLoad->dwTalker && bEcho == pLoad->pbBytes[i + 1]))
            dwShifted++;
    }
    return dwWrong * 4 >= dwEchoed && dwOtherValues != 0 && dwShifted * 2 < dwWrong;
}

void ReportGarbledEchoes(const TalkerLink *pLink) {
    SayErr(
        "DownloadTalker: the echoes came back garbled, each byte its own way, as from a boot "
        "ROM at another rate: check that -x names the board's crystal (now %g MHz)\n",
        pLink->pTarget->clock.dwCrystalHz / 1e6);
}

// Sends the load and judges its echoes. Returns 1 when every talker byte came back as sent.
int LoadTalker(Port *pPort, TalkerLoad *pLoad, int fFirstSent) {
    uint32_t dwMismatches = 0;
    pLoad->dwEchoed = 0;
    int fRead = SendLoad(pPort, pLoad, fFirstSent) && ReadEchoes(pPort, pLoad, &dwMismatches);
    EndProgress("\n");  // ends the line of progress marks
    if (!fRead) {
        PrintCheckBoard();
        return 0;
    }
    if (dwMismatches == 0) return 1;
    ReportWrongEchoes(pLoad, dwMismatches);
    return 0;
}

// The ROM starts a variable-length load's program once the line has been idle for 4
// character times after the last byte; that count began as the last echo was sent, one
// character before it arrived here. One character more covers the ROM noticing.
void WaitOutIdleEnd(Port *pPort, uint32_t dwLoadBaud) {
    uint32_t dwBits = (IDLE_END_CHARACTERS + 1) * BITS_PER_CHARACTER;
    WaitOnPort(pPort, (dwBits * 1000 + dwLoadBaud - 1) / dwLoadBaud);
}

// SendBootLoad with the load built.
int SendTalker(TalkerLink *pLink, TalkerLoad *pLoad, uint32_t dwLoadBaud, int fFirstSent) {
    EnterStage(STAGE_TALKER_LOAD, pLoad->dwLength);
    int fLoaded = LoadTalker(pLink->pPort, pLoad, fFirstSent);
    if (!fLoaded && EchoesLookGarbled(pLoad)) ReportGarbledEchoes(pLink);
    if (fLoaded && pLink->pTarget->pPart->fVariableLoad) WaitOutIdleEnd(pLink->pPort, dwLoadBaud);
    return fLoaded;
}

// The probe's byte for a load at dwLoadBaud: the ROM must leave it at that rate.
uint8_t ProbeByteFor(const TalkerLink *pLink, uint32_t dwLoadBaud) {
    return dwLoadBaud == pLink->pTarget->clock.dwBootFastRate ? BOOT_START_BYTE : TALKER_SYNC;
}

// A fixed-length part is probed where the ROM reads the probe as that load needs; elsewhere
// (a crystal where "s" might read as $00, $55 or $FF) the load goes unprobed, at the ROM's
// slow rate (ChooseLoadBaud).
int ProbesBeforeLoad(const TalkerLink *pLink, uint32_t dwLoadBaud) {
    if (pLink->pTarget->pPart->fVariableLoad) return 0;
    return dwLoadBaud == pLink->pTarget->clock.dwBootFastRate ||
           ProbeSuitsTalkerClock(&pLink->pTarget->clock, TALKER_SYNC);
}

// Probes on the open port at 9600; after silence the port moves to the load's rate and the
// load follows without its $FF.
LinkOutcome ProbeThenLoad(TalkerLink *pLink, TalkerLoad *pLoad, uint32_t dwLoadBaud,
                          int *pfRunning) {
    uint32_t dwWaitMs = pLink->fKeepOpen ? NETWORK_PROBE_WAIT_MS : PROBE_WAIT_MS;
    ProbeResult eProbe = ProbeTalker(pLink->pPort, ProbeByteFor(pLink, dwLoadBaud), dwWaitMs);
    if (eProbe == PROBE_FAILED) return LINK_FAILED;
    *pfRunning = eProbe == PROBE_TALKER_RUNNING;
    if (*pfRunning) return LINK_DONE;
    if (!SetComPortRate(pLink->pPort, dwLoadBaud)) return LINK_FAILED;
    return SendTalker(pLink, pLoad, dwLoadBaud, 1) ? LINK_DONE : LINK_FAILED;
}

// Whether the echoes were one same byte that the talker's bytes are not: the answers of a
// talker still running, not a boot ROM's echoes (a wrong crystal garbles each byte its own
// way, a board not in bootstrap mode sends nothing).
int EchoesLookLikeATalker(const TalkerLoad *pLoad) {
    if (pLoad->dwEchoed < RUNNING_TALKER_EVIDENCE) return 0;
    int fDiffers = 0;
    for (uint32_t i = 0; i < pLoad->dwEchoed; i++) {
        if (pLoad->pbEchoes[i] != pLoad->pbEchoes[0]) return 0;
        if (pLoad->pbBytes[i] != pLoad->pbEchoes[0]) fDiffers = 1;
    }
    return fDiffers;
}

// A load that was not probed for first, and a talker's answers for its echoes.
void ReportUnprobedTalker(const TalkerLink *pLink) {
    const PartInfo *pPart = pLink->pTarget->pPart;
    if (pPart->fVariableLoad) {
        SayErr(
            "the talker from an earlier run may still be running: reset the board (on the %s "
            "a running talker can't be detected)\n",
            pPart->pszName);
    } else {
        SayErr(
            "the talker from an earlier run may still be running: reset the board (at this "
            "crystal a running talker can't be detected)\n");
    }
}

// A load sent without a probe first: where the talker can't be looked for, a failure says
// when its echoes were a running talker's answers.
LinkOutcome LoadUnprobed(TalkerLink *pLink, TalkerLoad *pLoad, uint32_t dwLoadBaud) {
    if (SendTalker(pLink, pLoad, dwLoadBaud, 0)) return LINK_DONE;
    if (EchoesLookLikeATalker(pLoad)) ReportUnprobedTalker(pLink);
    return LINK_FAILED;
}

}  // namespace

uint32_t ChooseLoadBaud(const TalkerLink *pLink) {
    const TalkerClock *pClock = &pLink->pTarget->clock;
    int fFasterRun = pLink->pTarget->dwTalkerRate != pClock->firstRate.dwRate;
    int fFast =
        fFasterRun && !pLink->pTarget->pPart->fVariableLoad && FFProbeSuitsTalkerClock(pClock);
    return fFast ? pClock->dwBootFastRate : pClock->dwBootSlowRate;
}

LinkOutcome BootTalker(TalkerLink *pLink, int *pfRunning) {
    TalkerLoad load;
    *pfRunning = 0;
    if (!BuildLoad(pLink, &load)) return LINK_NOT_REACHED;
    uint32_t dwLoadBaud = ChooseLoadBaud(pLink);
    int fProbe = ProbesBeforeLoad(pLink, dwLoadBaud);
    uint32_t dwOpenRate = fProbe ? pLink->pTarget->clock.firstRate.dwRate : dwLoadBaud;
    if (!OpenComPort(pLink, dwOpenRate)) return LINK_NOT_REACHED;
    LinkOutcome eOutcome = fProbe ? ProbeThenLoad(pLink, &load, dwLoadBaud, pfRunning)
                                  : LoadUnprobed(pLink, &load, dwLoadBaud);
    CloseComPort(pLink);
    return eOutcome;
}

int SendBootLoad(TalkerLink *pLink, uint32_t dwLoadBaud, int fFirstSent) {
    TalkerLoad load;
    return BuildLoad(pLink, &load) && SendTalker(pLink, &load, dwLoadBaud, fFirstSent);
}

LinkOutcome DownloadTalker(TalkerLink *pLink, uint32_t dwLoadBaud, int fFirstSent) {
    if (!OpenComPort(pLink, dwLoadBaud)) return LINK_NOT_REACHED;
    int fLoaded = SendBootLoad(pLink, dwLoadBaud, fFirstSent);
    CloseComPort(pLink);
    return fLoaded ? LINK_DONE : LINK_FAILED;
}
