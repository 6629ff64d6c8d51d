// The Telnet commands of a network serial port, and the parser of the server's bytes.
#include "rfc2217_protocol.h"

#include <cstring>

namespace {

void KeepSubnegotiationByte(TelnetParser *pParser, uint8_t bByte) {
    if (pParser->cbSub < sizeof(pParser->rgbSub)) pParser->rgbSub[pParser->cbSub++] = bByte;
}

// The byte after IAC.
void TakeCommand(TelnetParser *pParser, uint8_t bByte, uint8_t *pbData, size_t *pcbData) {
    pParser->eState = TELNET_PARSE_DATA;
    if (bByte == TELNET_IAC) {
        pbData[(*pcbData)++] = bByte;
    } else if (bByte >= TELNET_WILL) {
        pParser->bVerb = bByte;
        pParser->eState = TELNET_PARSE_OPTION;
    } else if (bByte == TELNET_SB) {
        pParser->eState = TELNET_PARSE_SUB_OPTION;
    }
    // Any other command (NOP, GA, DM, a stray SE...) carries nothing for a serial port.
}

void EndEvent(TelnetParser *pParser, TelnetEventKind eKind, TelnetEvent *pEvent) {
    pEvent->eKind = eKind;
    pEvent->bVerb = pParser->bVerb;
    pEvent->bOption = pParser->bOption;
    pEvent->pbBytes = pParser->rgbSub;
    pEvent->cbBytes = eKind == TELNET_EVENT_SUBNEGOTIATION ? pParser->cbSub : 0;
    pParser->eState = TELNET_PARSE_DATA;
}

// The byte after IAC inside a subnegotiation; returns 1 when it ends the subnegotiation.
int TakeSubnegotiationCommand(TelnetParser *pParser, uint8_t bByte, uint8_t *pbData,
                              size_t *pcbData, TelnetEvent *pEvent) {
    if (bByte == TELNET_SE) {
        EndEvent(pParser, TELNET_EVENT_SUBNEGOTIATION, pEvent);
        return 1;
    }
    if (bByte == TELNET_IAC) {
        KeepSubnegotiationByte(pParser, bByte);
        pParser->eState = TELNET_PARSE_SUB;
        return 0;
    }
    // RFC 854 leaves a command inside a subnegotiation open: the subnegotiation is dropped
    // and the command taken, so that a server that never sends SE can't swallow the data.
    TakeCommand(pParser, bByte, pbData, pcbData);
    return 0;
}

// Takes one byte; returns 1 when it ends an event.
int TakeByte(TelnetParser *pParser, uint8_t bByte, uint8_t *pbData, size_t *pcbData,
             TelnetEvent *pEvent) {
    switch (pParser->eState) {
        case TELNET_PARSE_DATA:
            if (bByte == TELNET_IAC) {
                pParser->eState = TELNET_PARSE_COMMAND;
            } else {
                pbData[(*pcbData)++] = bByte;
            }
            return 0;
        case TELNET_PARSE_COMMAND:
            TakeCommand(pParser, bByte, pbData, pcbData);
            return 0;
        case TELNET_PARSE_OPTION:
            pParser->bOption = bByte;
            EndEvent(pParser, TELNET_EVENT_OPTION, pEvent);
            return 1;
        case TELNET_PARSE_SUB_OPTION:
            pParser->bOption = bByte;
            pParser->cbSub = 0;
            pParser->eState = TELNET_PARSE_SUB;
            return 0;
        case TELNET_PARSE_SUB:
            if (bByte == TELNET_IAC) {
                pParser->eState = TELNET_PARSE_SUB_IAC;
            } else {
                KeepSubnegotiationByte(pParser, bByte);
            }
            return 0;
        case TELNET_PARSE_SUB_IAC:
            return TakeSubnegotiationCommand(pParser, bByte, pbData, pcbData, pEvent);
    }
    return 0;
}

}  // namespace

void InitTelnetParser(TelnetParser *pParser) {
    memset(pParser, 0, sizeof(*pParser));
    pParser->eState = TELNET_PARSE_DATA;
}

size_t ParseTelnetBytes(TelnetParser *pParser, const uint8_t *pbIn, size_t cbIn, uint8_t *pbData,
                        size_t *pcbData, TelnetEvent *pEvent) {
    pEvent->eKind = TELNET_EVENT_NONE;
    pEvent->cbBytes = 0;
    for (size_t i = 0; i < cbIn; i++) {
        if (TakeByte(pParser, pbIn[i], pbData, pcbData, pEvent)) return i + 1;
    }
    return cbIn;
}

size_t EscapeTelnetData(const uint8_t *pbIn, size_t cbIn, uint8_t *pbOut, size_t cbOut,
                        size_t *pcbConsumed) {
    size_t cbWritten = 0;
    size_t i = 0;
    for (; i < cbIn; i++) {
        size_t cbNeeded = pbIn[i] == TELNET_IAC ? 2 : 1;
        if (cbWritten + cbNeeded > cbOut) break;
        if (pbIn[i] == TELNET_IAC) pbOut[cbWritten++] = TELNET_IAC;
        pbOut[cbWritten++] = pbIn[i];
    }
    *pcbConsumed = i;
    return cbWritten;
}

size_t FormatTelnetOption(uint8_t bVerb, uint8_t bOption, uint8_t *pbOut) {
    pbOut[0] = TELNET_IAC;
    pbOut[1] = bVerb;
    pbOut[2] = bOption;
    return 3;
}

size_t FormatComPortCommand(uint8_t bCommand, uint32_t dwValue, size_t cbValue, uint8_t *pbOut) {
    size_t cbWritten = 0;
    pbOut[cbWritten++] = TELNET_IAC;
    pbOut[cbWritten++] = TELNET_SB;
    pbOut[cbWritten++] = TELNET_OPTION_COM_PORT;
    pbOut[cbWritten++] = bCommand;
    for (size_t i = cbValue; i-- > 0;) {
        uint8_t bByte = uint8_t(dwValue >> (8 * i));
        if (bByte == TELNET_IAC) pbOut[cbWritten++] = TELNET_IAC;
        pbOut[cbWritten++] = bByte;
    }
    pbOut[cbWritten++] = TELNET_IAC;
    pbOut[cbWritten++] = TELNET_SE;
    return cbWritten;
}

int ReadComPortValue(const uint8_t *pbBytes, uint32_t cbBytes, size_t cbValue, uint32_t *pdwValue) {
    if (cbBytes < 1 + cbValue) return 0;
    uint32_t dwValue = 0;
    for (size_t i = 0; i < cbValue; i++) dwValue = (dwValue << 8) | pbBytes[1 + i];
    *pdwValue = dwValue;
    return 1;
}

namespace {

int IsLocalOptionWanted(uint8_t bOption) {
    return bOption == TELNET_OPTION_BINARY || bOption == TELNET_OPTION_SUPPRESS_GO_AHEAD ||
           bOption == TELNET_OPTION_COM_PORT;
}

int IsRemoteOptionWanted(uint8_t bOption) {
    return bOption == TELNET_OPTION_BINARY || bOption == TELNET_OPTION_SUPPRESS_GO_AHEAD;
}

}  // namespace

size_t StartTelnetOptions(TelnetOptions *pOptions, uint8_t *pbOut) {
    memset(pOptions, TELNET_OPTION_OFF, sizeof(*pOptions));
    size_t cbWritten = 0;
    static const uint8_t kWanted[] = {TELNET_OPTION_COM_PORT, TELNET_OPTION_BINARY,
                                      TELNET_OPTION_SUPPRESS_GO_AHEAD};
    for (uint8_t bOption : kWanted) {
        pOptions->rgbLocal[bOption] = TELNET_OPTION_WANTED;
        cbWritten += FormatTelnetOption(TELNET_WILL, bOption, pbOut + cbWritten);
        if (!IsRemoteOptionWanted(bOption)) continue;
        pOptions->rgbRemote[bOption] = TELNET_OPTION_WANTED;
        cbWritten += FormatTelnetOption(TELNET_DO, bOption, pbOut + cbWritten);
    }
    return cbWritten;
}

size_t AnswerTelnetOption(TelnetOptions *pOptions, uint8_t bVerb, uint8_t bOption, uint8_t *pbOut) {
    // DO and DONT speak of what the client does, WILL and WONT of what the server does.
    int fLocal = bVerb == TELNET_DO || bVerb == TELNET_DONT;
    int fPositive = bVerb == TELNET_DO || bVerb == TELNET_WILL;
    uint8_t *pbState = fLocal ? &pOptions->rgbLocal[bOption] : &pOptions->rgbRemote[bOption];
    int fWanted = fLocal ? IsLocalOptionWanted(bOption) : IsRemoteOptionWanted(bOption);
    uint8_t bAccept = fLocal ? TELNET_WILL : TELNET_DO;
    uint8_t bRefuse = fLocal ? TELNET_WONT : TELNET_DONT;
    uint8_t bWas = *pbState;
    if (fPositive) {
        if (bWas != TELNET_OPTION_OFF) {
            *pbState = TELNET_OPTION_ON;
            return 0;
        }
        if (!fWanted) return FormatTelnetOption(bRefuse, bOption, pbOut);
        *pbState = TELNET_OPTION_ON;
        return FormatTelnetOption(bAccept, bOption, pbOut);
    }
    *pbState = TELNET_OPTION_OFF;
    return bWas == TELNET_OPTION_ON ? FormatTelnetOption(bRefuse, bOption, pbOut) : 0;
}

namespace {

const char kRfc2217Scheme[] = "rfc2217://";

// 1 for 1 to 65535 written in decimal, without sign or leading zero.
int IsTcpPortNumber(const char *pszText, size_t cchText) {
    if (cchText == 0 || cchText > 5 || pszText[0] == '0') return 0;
    uint32_t dwValue = 0;
    for (size_t i = 0; i < cchText; i++) {
        if (pszText[i] < '0' || pszText[i] > '9') return 0;
        dwValue = dwValue * 10 + uint32_t(pszText[i] - '0');
    }
    return dwValue <= 65535;
}

int CopyPart(const char *pszFrom, size_t cchFrom, char *pszTo, size_t cchTo) {
    if (cchFrom == 0 || cchFrom >= cchTo) return 0;
    memcpy(pszTo, pszFrom, cchFrom);
    pszTo[cchFrom] = '\0';
    return 1;
}

}  // namespace

int ParseRfc2217Url(const char *pszUrl, char *pszHost, size_t cchHost, char *pszService,
                    size_t cchService) {
    size_t cchScheme = sizeof(kRfc2217Scheme) - 1;
    if (strncmp(pszUrl, kRfc2217Scheme, cchScheme) != 0) return 0;
    const char *pszHostStart = pszUrl + cchScheme;
    const char *pszColon = strrchr(pszHostStart, ':');
    if (pszColon == NULL) return 0;
    const char *pszPort = pszColon + 1;
    if (!IsTcpPortNumber(pszPort, strlen(pszPort))) return 0;
    size_t cchHostPart = size_t(pszColon - pszHostStart);
    if (cchHostPart >= 2 && pszHostStart[0] == '[' && pszColon[-1] == ']') {
        pszHostStart++;
        cchHostPart -= 2;
    }
    // A bracket, a slash, a space or a control byte left in the host is no name and no address.
    for (size_t i = 0; i < cchHostPart; i++) {
        unsigned char ch = (unsigned char)pszHostStart[i];
        if (ch == '[' || ch == ']' || ch == ' ' || ch == '/' || ch < 0x20 || ch == 0x7F) return 0;
    }
    return CopyPart(pszHostStart, cchHostPart, pszHost, cchHost) &&
           CopyPart(pszPort, strlen(pszPort), pszService, cchService);
}
