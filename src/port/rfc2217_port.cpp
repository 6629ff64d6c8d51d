// A Port over TCP to an RFC 2217 server. Data goes out with IAC doubled; what comes back is
// parsed into data, kept until read, and the server's commands, answered or recorded as they
// come. Every wait for an answer is bounded: a server may ignore a command (ser2net before a
// pty ignores SET-CONTROL), and the run then goes on without the answer.
#include "rfc2217_port.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "rfc2217_protocol.h"
#include "say.h"
#include "tcp_socket.h"

namespace {

enum {
    CONNECT_TIMEOUT_MS = 5000,
    NEGOTIATION_TIMEOUT_MS = 2000,  // for DO COM-PORT-OPTION, and for the rate's answer
    CONTROL_TIMEOUT_MS = 500,       // SET-CONTROL and PURGE-DATA, often left unanswered
    RECEIVE_ROOM = 2048,
    SEND_ROOM = 512,
    COM_PORT_COMMANDS = 16,  // the answers kept, by command (SET-BAUDRATE .. PURGE-DATA)
    HOST_ROOM = PORT_NAME_ROOM,
    SERVICE_ROOM = 8,
};

// Failures of the server rather than the system: Windows keeps bit 29 of an error code for
// codes such as these, and errno values never reach it.
enum {
    RFC2217_ERROR_BAD_URL = 0x20000001,
    RFC2217_ERROR_HOST_UNKNOWN,
    RFC2217_ERROR_CLOSED,
    RFC2217_ERROR_COM_PORT_REFUSED,
    RFC2217_ERROR_COM_PORT_UNANSWERED,
    RFC2217_ERROR_FORMAT_REFUSED,
    RFC2217_ERROR_RATE_REFUSED,
    RFC2217_ERROR_RATE_UNANSWERED,
    RFC2217_ERROR_WRITE_STALLED,
};

struct Rfc2217State {
    TcpSocket hSocket;
    int fConnected;  // the connection stood once: later socket errors are the connection's
    uint32_t dwResolverError;
    TelnetParser parser;
    TelnetOptions options;
    uint8_t rgbReceived[RECEIVE_ROOM];  // the server's bytes as they came
    uint8_t rgbData[RECEIVE_ROOM];      // its data, waiting to be read
    size_t ibDataStart, ibDataEnd;
    uint32_t rgdwAnswerCount[COM_PORT_COMMANDS];
    uint32_t rgdwAnswer[COM_PORT_COMMANDS];
    int fDropDataUntilPurgeAnswer;
    int fControlUnanswered;  // once a SET-CONTROL went unanswered, no other is waited for
    int fQueryUnanswered;
    uint32_t dwBytesReceived;  // none at all: the server never started the negotiation
    // When the server's UART will have sent the last byte written, if it sends each byte as
    // it comes: the written bytes' time on the wire, from the first of them.
    std::chrono::steady_clock::time_point wireIdle;
    uint32_t dwRateAsked, dwRateAnswered;
    char szHost[HOST_ROOM];
    char szService[SERVICE_ROOM];
};

Rfc2217State *State(Port *pPort) {
    return PortState<Rfc2217State>(pPort);
}

int Fail(Port *pPort, uint32_t dwError) {
    pPort->dwLastError = dwError;
    if (dwError == RFC2217_ERROR_CLOSED || IsTcpConnectionLost(dwError)) pPort->fConnectionLost = 1;
    return 0;
}

uint32_t MsUntil(std::chrono::steady_clock::time_point deadline) {
    auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    return uint32_t(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

int SendBytes(Port *pPort, const uint8_t *pbBytes, size_t cbBytes, uint32_t dwTimeoutMs) {
    uint32_t dwError = 0;
    if (SendTcp(State(pPort)->hSocket, pbBytes, cbBytes, dwTimeoutMs, &dwError)) return 1;
    return Fail(pPort, IsTcpTimeout(dwError) ? uint32_t(RFC2217_ERROR_WRITE_STALLED) : dwError);
}

// A server's answer to a COM-PORT-OPTION command: counted, and its value kept.
void TakeComPortAnswer(Rfc2217State *pState, const TelnetEvent &event) {
    if (event.cbBytes == 0 || event.pbBytes[0] < COM_PORT_SERVER_ANSWER) return;
    uint32_t dwCommand = event.pbBytes[0] - COM_PORT_SERVER_ANSWER;
    if (dwCommand >= COM_PORT_COMMANDS) return;
    size_t cbValue = dwCommand == COM_PORT_SET_BAUDRATE ? 4 : 1;
    uint32_t dwValue = 0;
    if (!ReadComPortValue(event.pbBytes, event.cbBytes, cbValue, &dwValue)) return;
    pState->rgdwAnswer[dwCommand] = dwValue;
    pState->rgdwAnswerCount[dwCommand]++;
    // What came before the purge's answer was received before the purge.
    if (dwCommand == COM_PORT_PURGE_DATA && pState->fDropDataUntilPurgeAnswer) {
        pState->ibDataStart = pState->ibDataEnd = 0;
        pState->fDropDataUntilPurgeAnswer = 0;
    }
}

int TakeEvent(Port *pPort, const TelnetEvent &event) {
    Rfc2217State *pState = State(pPort);
    if (event.eKind == TELNET_EVENT_SUBNEGOTIATION && event.bOption == TELNET_OPTION_COM_PORT) {
        TakeComPortAnswer(pState, event);
    }
    if (event.eKind != TELNET_EVENT_OPTION) return 1;
    // Some servers answer the client's WILL with WONT: a refusal all the same.
    if (event.bVerb == TELNET_WONT && event.bOption == TELNET_OPTION_COM_PORT) {
        pState->options.rgbLocal[TELNET_OPTION_COM_PORT] = TELNET_OPTION_OFF;
    }
    uint8_t rgbAnswer[3];
    size_t cbAnswer = AnswerTelnetOption(&pState->options, event.bVerb, event.bOption, rgbAnswer);
    return cbAnswer == 0 || SendBytes(pPort, rgbAnswer, cbAnswer, NEGOTIATION_TIMEOUT_MS);
}

int TakeServerBytes(Port *pPort, const uint8_t *pbBytes, size_t cbBytes) {
    Rfc2217State *pState = State(pPort);
    size_t ibNext = 0;
    while (ibNext < cbBytes) {
        TelnetEvent event;
        ibNext += ParseTelnetBytes(&pState->parser, pbBytes + ibNext, cbBytes - ibNext,
                                   pState->rgbData, &pState->ibDataEnd, &event);
        if (!TakeEvent(pPort, event)) return 0;
    }
    return 1;
}

// Receives once, after a wait said bytes are there. The data waits at the start of its room;
// when no room is left (a server sending data while the port waits for an answer), the
// unread data is dropped, as a UART drops bytes nobody reads.
int ReceiveAndTake(Port *pPort) {
    Rfc2217State *pState = State(pPort);
    size_t cbWaiting = pState->ibDataEnd - pState->ibDataStart;
    memmove(pState->rgbData, pState->rgbData + pState->ibDataStart, cbWaiting);
    pState->ibDataStart = 0;
    pState->ibDataEnd = cbWaiting == sizeof(pState->rgbData) ? 0 : cbWaiting;
    size_t cbRoom = sizeof(pState->rgbData) - pState->ibDataEnd;
    size_t cbReceived = 0;
    int fClosed = 0;
    uint32_t dwError = 0;
    if (!ReceiveTcp(pState->hSocket, pState->rgbReceived, cbRoom, &cbReceived, &fClosed,
                    &dwError)) {
        return Fail(pPort, dwError);
    }
    if (fClosed) return Fail(pPort, RFC2217_ERROR_CLOSED);
    pState->dwBytesReceived += (uint32_t)cbReceived;
    return TakeServerBytes(pPort, pState->rgbReceived, cbReceived);
}

typedef int (*ReceiveCondition)(const Rfc2217State *pState, const void *pContext);

// Takes the server's bytes until pfnDone holds or dwTimeoutMs runs out (*pfDone says which).
// Returns 1, or 0 when the connection failed.
int ReceiveUntil(Port *pPort, ReceiveCondition pfnDone, const void *pContext, uint32_t dwTimeoutMs,
                 int *pfDone) {
    Rfc2217State *pState = State(pPort);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwTimeoutMs);
    for (;;) {
        *pfDone = pfnDone(pState, pContext);
        if (*pfDone) return 1;
        uint32_t dwLeft = MsUntil(deadline);
        int fReady = 0;
        uint32_t dwError = 0;
        if (!WaitTcpReadable(pState->hSocket, dwLeft, &fReady, &dwError)) {
            return Fail(pPort, dwError);
        }
        if (!fReady) return 1;
        if (!ReceiveAndTake(pPort)) return 0;
        if (dwLeft == 0) {
            *pfDone = pfnDone(pState, pContext);
            return 1;
        }
    }
}

int HasData(const Rfc2217State *pState, const void *) {
    return pState->ibDataEnd > pState->ibDataStart;
}

int IsComPortDecided(const Rfc2217State *pState, const void *) {
    return pState->options.rgbLocal[TELNET_OPTION_COM_PORT] != TELNET_OPTION_WANTED;
}

struct AnswerWait {
    uint8_t bCommand;
    uint32_t dwCountBefore;
};

int HasAnswer(const Rfc2217State *pState, const void *pContext) {
    const AnswerWait *pWait = static_cast<const AnswerWait *>(pContext);
    return pState->rgdwAnswerCount[pWait->bCommand] != pWait->dwCountBefore;
}

// Sends a COM-PORT-OPTION command with its value: four bytes for the rate, one otherwise.
int SendComPort(Port *pPort, uint8_t bCommand, uint32_t dwValue) {
    uint8_t rgbCommand[TELNET_COMMAND_ROOM];
    size_t cbValue = bCommand == COM_PORT_SET_BAUDRATE ? 4 : 1;
    size_t cbCommand = FormatComPortCommand(bCommand, dwValue, cbValue, rgbCommand);
    return SendBytes(pPort, rgbCommand, cbCommand, NEGOTIATION_TIMEOUT_MS);
}

// Sends a COM-PORT-OPTION command and waits up to dwTimeoutMs for its answer: *pfAnswered,
// and the answer's value in *pdwAnswer. Returns 0 only when the connection failed.
int AskComPort(Port *pPort, uint8_t bCommand, uint32_t dwValue, uint32_t dwTimeoutMs,
               int *pfAnswered, uint32_t *pdwAnswer) {
    Rfc2217State *pState = State(pPort);
    AnswerWait wait = {bCommand, pState->rgdwAnswerCount[bCommand]};
    if (!SendComPort(pPort, bCommand, dwValue)) return 0;
    if (!ReceiveUntil(pPort, HasAnswer, &wait, dwTimeoutMs, pfAnswered)) return 0;
    *pdwAnswer = pState->rgdwAnswer[bCommand];
    return 1;
}

// A SET-CONTROL, answered or not: once one went unanswered, none is waited for again.
int SetControl(Port *pPort, uint8_t bControl) {
    Rfc2217State *pState = State(pPort);
    uint32_t dwTimeoutMs = pState->fControlUnanswered ? 0 : CONTROL_TIMEOUT_MS;
    int fAnswered = 0;
    uint32_t dwAnswer = 0;
    if (!AskComPort(pPort, COM_PORT_SET_CONTROL, bControl, dwTimeoutMs, &fAnswered, &dwAnswer)) {
        return 0;
    }
    if (!fAnswered) pState->fControlUnanswered = 1;
    return 1;
}

int SetRfc2217Rate(Port *pPort, uint32_t dwBaudRate) {
    Rfc2217State *pState = State(pPort);
    int fAnswered = 0;
    pState->dwRateAsked = dwBaudRate;
    if (!AskComPort(pPort, COM_PORT_SET_BAUDRATE, dwBaudRate, NEGOTIATION_TIMEOUT_MS, &fAnswered,
                    &pState->dwRateAnswered)) {
        return 0;
    }
    if (!fAnswered) return Fail(pPort, RFC2217_ERROR_RATE_UNANSWERED);
    if (pState->dwRateAnswered != dwBaudRate) return Fail(pPort, RFC2217_ERROR_RATE_REFUSED);
    pPort->dwBaudRate = dwBaudRate;
    return 1;
}

int ReadRfc2217(Port *pPort, uint8_t *pbBuffer, uint32_t dwLength, uint32_t dwTimeoutMs,
                uint32_t *pdwRead) {
    Rfc2217State *pState = State(pPort);
    *pdwRead = 0;
    int fHasData = 0;
    if (!ReceiveUntil(pPort, HasData, NULL, dwTimeoutMs, &fHasData)) return 0;
    size_t cbWaiting = pState->ibDataEnd - pState->ibDataStart;
    size_t cbRead = cbWaiting < dwLength ? cbWaiting : dwLength;
    memcpy(pbBuffer, pState->rgbData + pState->ibDataStart, cbRead);
    pState->ibDataStart += cbRead;
    *pdwRead = uint32_t(cbRead);
    return 1;
}

// Ten bits a byte (start, 8 data, stop) at the port's rate.
void AddWireTime(Port *pPort, uint32_t cbBytes) {
    Rfc2217State *pState = State(pPort);
    auto now = std::chrono::steady_clock::now();
    if (pState->wireIdle < now) pState->wireIdle = now;
    if (pPort->dwBaudRate == 0) return;
    uint64_t qwMicroseconds = uint64_t(cbBytes) * 10 * 1000000 / pPort->dwBaudRate;
    pState->wireIdle += std::chrono::microseconds(qwMicroseconds);
}

int WriteRfc2217(Port *pPort, const uint8_t *pbBuffer, uint32_t dwLength, uint32_t dwTimeoutMs,
                 uint32_t *pdwWritten) {
    *pdwWritten = 0;
    while (*pdwWritten < dwLength) {
        uint8_t rgbEscaped[SEND_ROOM];
        size_t cbConsumed = 0;
        size_t cbEscaped = EscapeTelnetData(pbBuffer + *pdwWritten, dwLength - *pdwWritten,
                                            rgbEscaped, sizeof(rgbEscaped), &cbConsumed);
        if (!SendBytes(pPort, rgbEscaped, cbEscaped, dwTimeoutMs)) return 0;
        *pdwWritten += uint32_t(cbConsumed);
    }
    AddWireTime(pPort, dwLength);
    return 1;
}

// The server takes the stream in order: once it answers a question sent after the data, it
// has taken every byte of it. Whether its UART has sent them no RFC 2217 message tells: the
// port waits as long as the wire needs for them, from when they were written.
int DrainRfc2217(Port *pPort) {
    Rfc2217State *pState = State(pPort);
    uint32_t dwTimeoutMs = pState->fQueryUnanswered ? 0 : NEGOTIATION_TIMEOUT_MS;
    int fAnswered = 0;
    uint32_t dwRate = 0;
    if (!AskComPort(pPort, COM_PORT_SET_BAUDRATE, 0, dwTimeoutMs, &fAnswered, &dwRate)) return 0;
    if (!fAnswered) pState->fQueryUnanswered = 1;
    std::this_thread::sleep_until(pState->wireIdle);
    return 1;
}

int PurgeRfc2217Input(Port *pPort) {
    Rfc2217State *pState = State(pPort);
    pState->ibDataStart = pState->ibDataEnd = 0;
    pState->fDropDataUntilPurgeAnswer = 1;
    int fAnswered = 0;
    uint32_t dwAnswer = 0;
    if (!AskComPort(pPort, COM_PORT_PURGE_DATA, COM_PORT_PURGE_RECEIVE, CONTROL_TIMEOUT_MS,
                    &fAnswered, &dwAnswer)) {
        return 0;
    }
    if (!fAnswered) pState->ibDataStart = pState->ibDataEnd = 0;
    pState->fDropDataUntilPurgeAnswer = 0;
    return 1;
}

int SetRfc2217Line(Port *pPort, PortLine eLine, int fAsserted) {
    uint8_t bControl = eLine == PORT_LINE_DTR
                           ? (fAsserted ? COM_PORT_CONTROL_DTR_ON : COM_PORT_CONTROL_DTR_OFF)
                           : (fAsserted ? COM_PORT_CONTROL_RTS_ON : COM_PORT_CONTROL_RTS_OFF);
    if (!SetControl(pPort, bControl)) return 0;
    if (State(pPort)->fControlUnanswered) pPort->fLinesUnconfirmed = 1;
    return 1;
}

int SendRfc2217Break(Port *pPort, uint32_t dwMs) {
    if (!SetControl(pPort, COM_PORT_CONTROL_BREAK_ON)) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMs));
    return SetControl(pPort, COM_PORT_CONTROL_BREAK_OFF);
}

void CloseRfc2217(Port *pPort) {
    CloseTcp(State(pPort)->hSocket);
    State(pPort)->hSocket = TCP_SOCKET_NONE;
    pPort->pOps = NULL;
}

void DescribeConnectError(const Rfc2217State *pState, uint32_t dwError, char *pszText,
                          size_t cchText) {
    char szSystem[PORT_ERROR_ROOM / 2];
    DescribeTcpError(dwError, szSystem, sizeof(szSystem));
    const char *pszHint = IsTcpConnectionRefused(dwError)
                              ? ": is ser2net running there, with a telnet(rfc2217) accepter "
                                "on that port?"
                              : "";
    snprintf(pszText, cchText, "can't connect to port %s of %s (%s)%s", pState->szService,
             pState->szHost, szSystem, pszHint);
}

// A server that never took up COM-PORT-OPTION: a raw port, which passed the requests on to
// the board as data, or, when it sent nothing at all, one still busy with another client
// (hc11sim serves one at a time; ser2net may too).
void DescribeNoComPort(const Rfc2217State *pState, char *pszText, size_t cchText) {
    snprintf(pszText, cchText,
             "the server did not take up RFC 2217's COM-PORT-OPTION: a raw TCP port? (ser2net's "
             "accepter must be telnet(rfc2217))%s. The board may have taken these requests as "
             "data: reset it before the next run",
             pState->dwBytesReceived == 0
                 ? "; or the server may be busy with another client: it sent nothing"
                 : "");
}

// The words for the server's failures that carry no value of their own.
const struct {
    uint32_t dwError;
    const char *pszText;
} kServerFailures[] = {
    {RFC2217_ERROR_BAD_URL, "not a network port: write rfc2217://HOST:PORT, PORT from 1 to 65535"},
    {RFC2217_ERROR_CLOSED, "the server closed the connection"},
    {RFC2217_ERROR_COM_PORT_REFUSED,
     "the server refuses RFC 2217's COM-PORT-OPTION: it is no network serial port (ser2net's "
     "accepter must be telnet(rfc2217)). The board may have taken these requests as data: "
     "reset it before the next run"},
    {RFC2217_ERROR_FORMAT_REFUSED,
     "the server's port can't be set to 8 data bits, no parity, one stop bit"},
    {RFC2217_ERROR_WRITE_STALLED, "the server took no data within the write's time-out"},
};

void DescribeRfc2217Error(const Port *pPort, char *pszText, size_t cchText) {
    const Rfc2217State *pState = PortState<Rfc2217State>(pPort);
    uint32_t dwError = pPort->dwLastError;
    for (const auto &failure : kServerFailures) {
        if (failure.dwError == dwError) {
            snprintf(pszText, cchText, "%s", failure.pszText);
            return;
        }
    }
    char szSystem[PORT_ERROR_ROOM / 2];
    if (dwError == RFC2217_ERROR_COM_PORT_UNANSWERED) {
        DescribeNoComPort(pState, pszText, cchText);
    } else if (dwError == RFC2217_ERROR_HOST_UNKNOWN) {
        DescribeResolverError(pState->dwResolverError, szSystem, sizeof(szSystem));
        snprintf(pszText, cchText, "the host %s is not known (%s)", pState->szHost, szSystem);
    } else if (dwError == RFC2217_ERROR_RATE_REFUSED) {
        snprintf(pszText, cchText,
                 "the server's port runs at %u baud, not the %u asked for: it can't make that "
                 "rate (try a lower -b)",
                 unsigned(pState->dwRateAnswered), unsigned(pState->dwRateAsked));
    } else if (dwError == RFC2217_ERROR_RATE_UNANSWERED) {
        snprintf(pszText, cchText, "the server did not answer the request for %u baud",
                 unsigned(pState->dwRateAsked));
    } else if (!pState->fConnected) {
        DescribeConnectError(pState, dwError, pszText, cchText);
    } else {
        DescribeTcpError(dwError, szSystem, sizeof(szSystem));
        snprintf(
            pszText, cchText, "%s (%s)",
            pPort->fConnectionLost ? "the server closed the connection" : "the connection failed",
            szSystem);
    }
}

const PortOps kRfc2217Ops = {SetRfc2217Rate,
                             ReadRfc2217,
                             WriteRfc2217,
                             DrainRfc2217,
                             PurgeRfc2217Input,
                             SetRfc2217Line,
                             SendRfc2217Break,
                             CloseRfc2217,
                             DescribeRfc2217Error,
                             NULL,
                             NULL};

int ConnectToServer(Port *pPort, const char *pszUrl) {
    Rfc2217State *pState = State(pPort);
    if (!ParseRfc2217Url(pszUrl, pState->szHost, sizeof(pState->szHost), pState->szService,
                         sizeof(pState->szService))) {
        return Fail(pPort, RFC2217_ERROR_BAD_URL);
    }
    uint32_t dwError = 0;
    switch (ConnectTcp(pState->szHost, pState->szService, CONNECT_TIMEOUT_MS, &pState->hSocket,
                       &dwError)) {
        case TCP_CONNECTED:
            pState->fConnected = 1;
            return 1;
        case TCP_HOST_UNKNOWN:
            pState->dwResolverError = dwError;
            return Fail(pPort, RFC2217_ERROR_HOST_UNKNOWN);
        case TCP_NOT_CONNECTED:
            break;
    }
    return Fail(pPort, dwError);
}

int NegotiateComPort(Port *pPort) {
    Rfc2217State *pState = State(pPort);
    uint8_t rgbRequests[16];
    size_t cbRequests = StartTelnetOptions(&pState->options, rgbRequests);
    if (!SendBytes(pPort, rgbRequests, cbRequests, NEGOTIATION_TIMEOUT_MS)) return 0;
    int fDecided = 0;
    if (!ReceiveUntil(pPort, IsComPortDecided, NULL, NEGOTIATION_TIMEOUT_MS, &fDecided)) {
        return 0;
    }
    if (!fDecided) return Fail(pPort, RFC2217_ERROR_COM_PORT_UNANSWERED);
    if (pState->options.rgbLocal[TELNET_OPTION_COM_PORT] != TELNET_OPTION_ON) {
        return Fail(pPort, RFC2217_ERROR_COM_PORT_REFUSED);
    }
    return 1;
}

// 8 data bits, no parity, one stop bit.
const struct {
    uint8_t bCommand;
    uint8_t bValue;
} kLineFormat[] = {{COM_PORT_SET_DATASIZE, 8},
                   {COM_PORT_SET_PARITY, COM_PORT_PARITY_NONE},
                   {COM_PORT_SET_STOPSIZE, 1}};

// The line format goes out without waiting: the answers come before the rate's, which the
// open waits for next, and CheckLineFormat reads them then.
int SendLineFormat(Port *pPort) {
    for (const auto &setting : kLineFormat) {
        if (!SendComPort(pPort, setting.bCommand, setting.bValue)) return 0;
    }
    return 1;
}

// A server that answers another value can't make it; one that does not answer is taken at
// its word.
int CheckLineFormat(Port *pPort) {
    const Rfc2217State *pState = State(pPort);
    for (const auto &setting : kLineFormat) {
        if (pState->rgdwAnswerCount[setting.bCommand] != 0 &&
            pState->rgdwAnswer[setting.bCommand] != setting.bValue) {
            return Fail(pPort, RFC2217_ERROR_FORMAT_REFUSED);
        }
    }
    return 1;
}

// What a failed open's server still has to say, read up to its end; the first failure stays
// the one to report.
void ReceiveLastWords(Port *pPort) {
    Rfc2217State *pState = State(pPort);
    uint32_t dwFirstError = pPort->dwLastError;
    int fReady = 1;
    uint32_t dwError = 0;
    while (pState->fConnected && WaitTcpReadable(pState->hSocket, 0, &fReady, &dwError) && fReady &&
           ReceiveAndTake(pPort)) {
    }
    pPort->dwLastError = dwFirstError;
}

// The text a server sent instead of data while the port opened ("Port already in use"), in
// quotes after pszText: the lines' ends and what is not printable left out.
void AppendServerWords(Port *pPort, char *pszText, size_t cchText) {
    Rfc2217State *pState = State(pPort);
    ReceiveLastWords(pPort);
    char szWords[120];
    size_t cchWords = 0;
    for (size_t i = pState->ibDataStart; i < pState->ibDataEnd; i++) {
        uint8_t bByte = pState->rgbData[i];
        if (bByte >= ' ' && bByte < 127 && cchWords + 1 < sizeof(szWords)) {
            szWords[cchWords++] = char(bByte);
        }
    }
    szWords[cchWords] = '\0';
    size_t cchUsed = strlen(pszText);
    if (cchWords == 0) return;
    snprintf(pszText + cchUsed, cchText - cchUsed, " (the server said \"%s\")", szWords);
}

}  // namespace

int OpenRfc2217Port(Port *pPort, const char *pszUrl, uint32_t dwBaudRate) {
    memset(pPort, 0, sizeof(*pPort));
    snprintf(pPort->szName, sizeof(pPort->szName), "%s", pszUrl);
    Rfc2217State *pState = State(pPort);
    pState->hSocket = TCP_SOCKET_NONE;
    InitTelnetParser(&pState->parser);
    if (ConnectToServer(pPort, pszUrl) && NegotiateComPort(pPort) && SendLineFormat(pPort) &&
        SetRfc2217Rate(pPort, dwBaudRate) && CheckLineFormat(pPort)) {
        pPort->pOps = &kRfc2217Ops;
        return 1;
    }
    char szText[PORT_ERROR_ROOM];
    DescribeRfc2217Error(pPort, szText, sizeof(szText));
    AppendServerWords(pPort, szText, sizeof(szText));
    SayErr("%s: %s\n", pPort->szName, szText);
    CloseRfc2217(pPort);
    return 0;
}
