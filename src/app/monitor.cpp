// The monitor's loop: the port and the keyboard in turn, each waited on for a short while, so
// that neither needs a thread and the time limit is checked between them.
#include "monitor.h"

#include <cstdio>

#include "com_port.h"
#include "console.h"
#include "os.h"
#include "port.h"
#include "port_open.h"
#include "progress.h"

namespace {

const uint32_t TURN_MS = 10;  // how long each side is waited on in its turn
enum { CHUNK = 256 };

int IsShownAsIs(uint8_t b) {
    return (b >= 0x20 && b < 0x7F) || b == '\t' || b == '\n' || b == '\r';
}

// Shows what came from the chip since the last turn; *pfMidLine tells whether the last byte
// shown left the terminal inside a line.
int ShowChipBytes(Port *pPort, int fRaw, int *pfMidLine) {
    uint8_t rgbRead[CHUNK];
    char szText[CHUNK * 4 + 1];
    uint32_t dwRead = 0;
    if (!ReadPort(pPort, rgbRead, sizeof rgbRead, TURN_MS, &dwRead)) {
        PrintPortError(pPort);
        return 0;
    }
    if (dwRead == 0) return 1;
    size_t cchText = FormatMonitorBytes(rgbRead, dwRead, fRaw, szText, sizeof szText);
    fwrite(szText, 1, cchText, stdout);
    fflush(stdout);
    if (cchText != 0) *pfMidLine = szText[cchText - 1] != '\n';
    return 1;
}

enum TypedOutcome { TYPED_FAILED, TYPED_MORE, TYPED_END_KEY, TYPED_INPUT_ENDED };

// Sends what the user typed since the last turn, up to Ctrl-].
TypedOutcome SendTypedBytes(Port *pPort) {
    uint8_t rgbTyped[CHUNK];
    uint32_t dwTyped = 0;
    if (!ReadConsoleBytes(rgbTyped, sizeof rgbTyped, TURN_MS, &dwTyped)) return TYPED_INPUT_ENDED;
    int fEnd = 0;
    uint32_t dwSend = CountBytesToSend(rgbTyped, dwTyped, &fEnd);
    if (dwSend != 0 && !WriteBytes(pPort, rgbTyped, dwSend)) return TYPED_FAILED;
    return fEnd ? TYPED_END_KEY : TYPED_MORE;
}

// Where the watch stands between turns.
struct WatchState {
    int fInputOpen;  // the keyboard (or a script's input) still gives bytes
    int fFailed;
    int fMidLine;  // the chip's last byte shown ended no line
};

// One turn of each side. Returns 1 to go on, 0 when the watch ends (fFailed on a failure).
int WatchTurn(Port *pPort, const MonitorOptions *pOptions, WatchState *pState) {
    int *pfInputOpen = &pState->fInputOpen, *pfFailed = &pState->fFailed;
    if (!ShowChipBytes(pPort, pOptions->fRaw, &pState->fMidLine)) {
        *pfFailed = 1;
        return 0;
    }
    if (!*pfInputOpen) return 1;
    switch (SendTypedBytes(pPort)) {
        case TYPED_FAILED:
            *pfFailed = 1;
            return 0;
        case TYPED_END_KEY:
            return 0;
        case TYPED_INPUT_ENDED:
            // A script's input that ended does not cut short the time it asked for.
            *pfInputOpen = 0;
            return pOptions->dwSeconds != 0;
        default:
            return 1;
    }
}

}  // namespace

size_t FormatMonitorBytes(const uint8_t *pbBytes, size_t cbBytes, int fRaw, char *pszText,
                          size_t cchText) {
    size_t cch = 0;
    for (size_t i = 0; i < cbBytes; i++) {
        int fAsIs = fRaw || IsShownAsIs(pbBytes[i]);
        if (cch + (fAsIs ? 1 : 4) + 1 > cchText) break;  // whole bytes only, and the terminator
        if (fAsIs) {
            pszText[cch++] = (char)pbBytes[i];
        } else {
            cch += (size_t)snprintf(pszText + cch, cchText - cch, "\\x%02X", pbBytes[i]);
        }
    }
    if (cchText != 0) pszText[cch] = '\0';
    return cch;
}

uint32_t CountBytesToSend(const uint8_t *pbTyped, uint32_t cbTyped, int *pfEnd) {
    *pfEnd = 0;
    for (uint32_t i = 0; i < cbTyped; i++) {
        if (pbTyped[i] == MONITOR_END_KEY) {
            *pfEnd = 1;
            return i;
        }
    }
    return cbTyped;
}

int WatchPort(Port *pPort, const MonitorOptions *pOptions) {
    RecordMonitorStage();
    if (!EnterKeyByKeyConsole()) fprintf(stderr, "The terminal stays line by line\n");
    // Said once the keys go through one by one: what is typed from here on reaches the chip.
    fprintf(stdout, "Monitoring %s at %u baud: Ctrl-] ends it\n", pPort->szName,
            (unsigned)pOptions->dwRate);
    fflush(stdout);
    uint64_t qwEnd = GetMonotonicMs() + (uint64_t)pOptions->dwSeconds * 1000;
    WatchState state = {1, 0, 0};
    while (WatchTurn(pPort, pOptions, &state)) {
        if (pOptions->dwSeconds != 0 && GetMonotonicMs() >= qwEnd) break;
    }
    RestoreConsole();
    // The shell's prompt comes back at the start of a line, whatever the chip sent last.
    if (state.fMidLine) fputc('\n', stdout);
    if (!state.fFailed) DrainPort(pPort);  // what was typed last reaches the chip
    return !state.fFailed;
}
