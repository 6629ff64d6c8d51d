#include "json_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

void AppendRaw(JsonLine *pLine, const char *pch, size_t cch) {
    if (pLine->fOverflow) return;
    if (cch >= sizeof(pLine->sz) - pLine->cch) {
        pLine->fOverflow = 1;
        return;
    }
    memcpy(pLine->sz + pLine->cch, pch, cch);
    pLine->cch += cch;
    pLine->sz[pLine->cch] = '\0';
}

void AppendText(JsonLine *pLine, const char *psz) {
    AppendRaw(pLine, psz, strlen(psz));
}

// The length of the well-formed UTF-8 sequence at pb (RFC 3629: no overlong forms, no
// surrogates, nothing past U+10FFFF), or 0 when the byte there starts none.
size_t MeasureUtf8Sequence(const uint8_t *pb, size_t cb) {
    uint8_t bLead = pb[0];
    size_t cbSequence = 0;
    uint8_t bLow = 0x80, bHigh = 0xBF;  // the second byte's range
    if (bLead >= 0xC2 && bLead <= 0xDF) {
        cbSequence = 2;
    } else if (bLead >= 0xE0 && bLead <= 0xEF) {
        cbSequence = 3;
        if (bLead == 0xE0) bLow = 0xA0;
        if (bLead == 0xED) bHigh = 0x9F;
    } else if (bLead >= 0xF0 && bLead <= 0xF4) {
        cbSequence = 4;
        if (bLead == 0xF0) bLow = 0x90;
        if (bLead == 0xF4) bHigh = 0x8F;
    }
    if (cbSequence == 0 || cb < cbSequence) return 0;
    if (pb[1] < bLow || pb[1] > bHigh) return 0;
    for (size_t i = 2; i < cbSequence; i++) {
        if (pb[i] < 0x80 || pb[i] > 0xBF) return 0;
    }
    return cbSequence;
}

void AppendEscapedByte(JsonLine *pLine, uint8_t b) {
    char szEscape[8];
    snprintf(szEscape, sizeof szEscape, "\\u%04x", (unsigned)b);
    AppendText(pLine, szEscape);
}

// One character of a string, escaped where JSON needs it; returns the bytes it took.
size_t AppendCharacter(JsonLine *pLine, const uint8_t *pb, size_t cb) {
    uint8_t b = pb[0];
    if (b == '"' || b == '\\') {
        char rgchEscape[2] = {'\\', (char)b};
        AppendRaw(pLine, rgchEscape, 2);
        return 1;
    }
    if (b < 0x20 || b == 0x7F) {
        AppendEscapedByte(pLine, b);
        return 1;
    }
    size_t cbSequence = b < 0x80 ? 1 : MeasureUtf8Sequence(pb, cb);
    if (cbSequence == 0) {
        AppendEscapedByte(pLine, b);
        return 1;
    }
    AppendRaw(pLine, reinterpret_cast<const char *>(pb), cbSequence);
    return cbSequence;
}

void AppendKey(JsonLine *pLine, const char *pszKey) {
    if (pLine->cFields++ > 0) AppendRaw(pLine, ",", 1);
    AppendJsonString(pLine, pszKey, strlen(pszKey));
    AppendRaw(pLine, ":", 1);
}

}  // namespace

void BeginJsonObject(JsonLine *pLine) {
    pLine->sz[0] = '\0';
    pLine->cch = 0;
    pLine->fOverflow = 0;
    pLine->cFields = 0;
    AppendRaw(pLine, "{", 1);
}

void AppendJsonString(JsonLine *pLine, const char *pch, size_t cch) {
    const uint8_t *pb = reinterpret_cast<const uint8_t *>(pch);
    AppendRaw(pLine, "\"", 1);
    for (size_t i = 0; i < cch;) i += AppendCharacter(pLine, pb + i, cch - i);
    AppendRaw(pLine, "\"", 1);
}

void AddJsonString(JsonLine *pLine, const char *pszKey, const char *pszValue) {
    if (pszValue == NULL) return AddJsonNull(pLine, pszKey);
    AppendKey(pLine, pszKey);
    AppendJsonString(pLine, pszValue, strlen(pszValue));
}

void AddJsonUnsigned(JsonLine *pLine, const char *pszKey, uint64_t qwValue) {
    char szNumber[24];
    snprintf(szNumber, sizeof szNumber, "%llu", (unsigned long long)qwValue);
    AppendKey(pLine, pszKey);
    AppendText(pLine, szNumber);
}

void AddJsonSigned(JsonLine *pLine, const char *pszKey, int64_t nValue) {
    char szNumber[24];
    snprintf(szNumber, sizeof szNumber, "%lld", (long long)nValue);
    AppendKey(pLine, pszKey);
    AppendText(pLine, szNumber);
}

void AddJsonNull(JsonLine *pLine, const char *pszKey) {
    AppendKey(pLine, pszKey);
    AppendText(pLine, "null");
}

void AddJsonBool(JsonLine *pLine, const char *pszKey, int fValue) {
    AppendKey(pLine, pszKey);
    AppendText(pLine, fValue ? "true" : "false");
}

void AddJsonDouble(JsonLine *pLine, const char *pszKey, double dValue, uint32_t dwDecimals) {
    if (!std::isfinite(dValue)) return AddJsonNull(pLine, pszKey);
    // A number too large for the room is no value a run produces; it is marked, not cut.
    char szNumber[64];
    int cch =
        snprintf(szNumber, sizeof szNumber, "%.*f", (int)(dwDecimals > 9 ? 9 : dwDecimals), dValue);
    AppendKey(pLine, pszKey);
    if (cch < 0 || (size_t)cch >= sizeof szNumber) {
        pLine->fOverflow = 1;
        return;
    }
    AppendText(pLine, szNumber);
}

void AddJsonScaled(JsonLine *pLine, const char *pszKey, uint64_t qwValue, uint32_t dwDecimals,
                   int fTrim) {
    uint64_t qwScale = 1;
    if (dwDecimals > 19) dwDecimals = 19;
    for (uint32_t i = 0; i < dwDecimals; i++) qwScale *= 10;
    char szNumber[48];
    int cch = snprintf(szNumber, sizeof szNumber, "%llu", (unsigned long long)(qwValue / qwScale));
    if (dwDecimals > 0) {
        snprintf(szNumber + cch, sizeof szNumber - (size_t)cch, ".%0*llu", (int)dwDecimals,
                 (unsigned long long)(qwValue % qwScale));
        size_t cchAll = strlen(szNumber);
        while (fTrim && szNumber[cchAll - 1] == '0') szNumber[--cchAll] = '\0';
        if (szNumber[cchAll - 1] == '.') szNumber[cchAll - 1] = '\0';
    }
    AppendKey(pLine, pszKey);
    AppendText(pLine, szNumber);
}

int EndJsonObject(JsonLine *pLine) {
    AppendRaw(pLine, "}\n", 2);
    return !pLine->fOverflow;
}
