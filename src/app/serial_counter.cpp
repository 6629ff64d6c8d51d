#include "serial_counter.h"

#include <cstdio>
#include <cstring>

#include "hex_digit.h"

namespace {

// Hexadecimal digits up to FFFF, an "0x" before them allowed, as "-e" reads its ends.
int ReadHexAddress(const char **ppch, uint32_t *pdwValue) {
    const char *pch = *ppch;
    if (pch[0] == '0' && (pch[1] == 'x' || pch[1] == 'X') && HexDigitValue(pch[2]) >= 0) pch += 2;
    if (HexDigitValue(*pch) < 0) return 0;
    uint32_t dwValue = 0;
    for (; HexDigitValue(*pch) >= 0; pch++) {
        dwValue = dwValue * 16 + (uint32_t)HexDigitValue(*pch);
        if (dwValue > 0xFFFF) return 0;
    }
    *pdwValue = dwValue;
    *ppch = pch;
    return 1;
}

int IsBlank(char ch) {
    return ch == ' ' || ch == '\t';
}

// Where the first line ends: at its CR or LF, or at the end of the text.
size_t FindFirstLineEnd(const char *pch, size_t cch) {
    size_t i = 0;
    while (i < cch && pch[i] != '\n' && pch[i] != '\r') i++;
    return i;
}

void PrintCounterError(const SerialCounter *pCounter) {
    char szWords[256];
    DescribeFileError(szWords, sizeof szWords);
    fprintf(stderr, "Serial counter file %s: %s\n", pCounter->szPath, szWords);
}

// The file's text under the lock, and its number. Prints why when there is none.
int ReadCounterText(SerialCounter *pCounter, char *pch, size_t *pcch, uint64_t *pqwNext) {
    if (!ReadSharedFile(&pCounter->file, pch, SERIAL_COUNTER_ROOM, pcch)) {
        PrintCounterError(pCounter);
        return 0;
    }
    if (*pcch > SERIAL_COUNTER_ROOM) {
        fprintf(stderr, "Serial counter file %s: longer than %u bytes\n", pCounter->szPath,
                (unsigned)SERIAL_COUNTER_ROOM);
        return 0;
    }
    if (!ParseSerialCounterText(pch, *pcch, pqwNext)) {
        fprintf(stderr,
                "Serial counter file %s: its first line must hold the next serial number, in "
                "decimal\n",
                pCounter->szPath);
        return 0;
    }
    return 1;
}

// The text with qwNext on its first line, the line end and the lines after it kept.
size_t FormatCounterText(const char *pchOld, size_t cchOld, uint64_t qwNext, char *pchNew) {
    size_t cchNumber = (size_t)snprintf(pchNew, 24, "%llu", (unsigned long long)qwNext);
    size_t ichRest = FindFirstLineEnd(pchOld, cchOld);
    size_t cchRest = cchOld - ichRest;
    memcpy(pchNew + cchNumber, pchOld + ichRest, cchRest);
    return cchNumber + cchRest;
}

// Under both locks: reads the number, and writes the next one back when it fits.
SerialTake TakeLocked(SerialCounter *pCounter, uint64_t *pqwNumber) {
    char rgchOld[SERIAL_COUNTER_ROOM + 1];
    char rgchNew[SERIAL_COUNTER_ROOM + 24];
    size_t cchOld = 0;
    uint64_t qwNext = 0;
    if (!ReadCounterText(pCounter, rgchOld, &cchOld, &qwNext)) return SERIAL_FAILED;
    *pqwNumber = qwNext;
    // The largest 64-bit number is never given: the number after it could not be recorded.
    if (!IsSerialNumberInRange(qwNext, pCounter->dwBytes) || qwNext == UINT64_MAX)
        return SERIAL_EXHAUSTED;
    size_t cchNew = FormatCounterText(rgchOld, cchOld, qwNext + 1, rgchNew);
    if (!RewriteSharedFile(&pCounter->file, rgchNew, cchNew)) {
        PrintCounterError(pCounter);
        return SERIAL_FAILED;
    }
    return SERIAL_TAKEN;
}

}  // namespace

int ParseSerialSpec(const char *pszValue, uint16_t *pwAddress, uint32_t *pdwBytes) {
    const char *pch = pszValue;
    uint32_t dwAddress = 0;
    if (!ReadHexAddress(&pch, &dwAddress) || *pch++ != ':') return 0;
    if (pch[0] < '1' || pch[0] > '0' + MAX_SERIAL_BYTES || pch[1] != '\0') return 0;
    uint32_t dwBytes = (uint32_t)(pch[0] - '0');
    // Bytes past $FFFF would wrap to the bottom of the map: no range names that.
    if (dwAddress + dwBytes - 1 > 0xFFFF) return 0;
    *pwAddress = (uint16_t)dwAddress;
    *pdwBytes = dwBytes;
    return 1;
}

int ParseSerialCounterText(const char *pch, size_t cch, uint64_t *pqwNext) {
    size_t cchLine = FindFirstLineEnd(pch, cch);
    size_t i = 0;
    while (i < cchLine && IsBlank(pch[i])) i++;
    size_t ichDigits = i;
    uint64_t qwValue = 0;
    for (; i < cchLine && pch[i] >= '0' && pch[i] <= '9'; i++) {
        uint64_t qwDigit = (uint64_t)(pch[i] - '0');
        if (qwValue > (UINT64_MAX - qwDigit) / 10) return 0;
        qwValue = qwValue * 10 + qwDigit;
    }
    if (i == ichDigits) return 0;
    while (i < cchLine && IsBlank(pch[i])) i++;
    if (i != cchLine) return 0;
    // A lone CR ends no line: "12\r" and "12\r\n" are one line, "12\rjunk" is junk.
    if (cchLine + 1 < cch && pch[cchLine] == '\r' && pch[cchLine + 1] != '\n') return 0;
    *pqwNext = qwValue;
    return 1;
}

int OpenSerialCounter(SerialCounter *pCounter, const char *pszPath, uint32_t dwBytes) {
    pCounter->file.hFile = -1;
    pCounter->dwBytes = dwBytes;
    if (strlen(pszPath) >= sizeof pCounter->szPath) {
        fprintf(stderr, "Serial counter file name is too long: at most %u characters\n",
                (unsigned)(sizeof pCounter->szPath - 1));
        return 0;
    }
    strcpy(pCounter->szPath, pszPath);
    if (!OpenSharedFile(&pCounter->file, pszPath, SHARED_FILE_UPDATE)) {
        PrintCounterError(pCounter);
        return 0;
    }
    char rgchText[SERIAL_COUNTER_ROOM + 1];
    size_t cchText = 0;
    uint64_t qwNext = 0;
    if (!ReadCounterText(pCounter, rgchText, &cchText, &qwNext)) {
        CloseSerialCounter(pCounter);
        return 0;
    }
    return 1;
}

void CloseSerialCounter(SerialCounter *pCounter) {
    CloseSharedFile(&pCounter->file);
}

SerialTake TakeSerialNumber(SerialCounter *pCounter, uint64_t *pqwNumber) {
    std::lock_guard<std::mutex> guard(pCounter->mutex);
    if (!LockSharedFile(&pCounter->file)) {
        PrintCounterError(pCounter);
        return SERIAL_FAILED;
    }
    SerialTake eTake = TakeLocked(pCounter, pqwNumber);
    if (!UnlockSharedFile(&pCounter->file) && eTake != SERIAL_FAILED) {
        PrintCounterError(pCounter);
        return SERIAL_FAILED;
    }
    return eTake;
}

void DescribeSerialExhausted(uint64_t qwNumber, uint32_t dwBytes, char *pszText, size_t cchText) {
    snprintf(pszText, cchText, "serial number %llu does not fit in %u byte%s",
             (unsigned long long)qwNumber, (unsigned)dwBytes, dwBytes == 1 ? "" : "s");
}

int IsSerialNumberInRange(uint64_t qw, uint32_t dwBytes) {
    return dwBytes >= MAX_SERIAL_BYTES || qw >> (8 * dwBytes) == 0;
}

void EncodeSerialNumber(uint64_t qw, uint32_t dwBytes, uint8_t *pb) {
    for (uint32_t i = 0; i < dwBytes; i++) pb[dwBytes - 1 - i] = (uint8_t)(qw >> (8 * i));
}
