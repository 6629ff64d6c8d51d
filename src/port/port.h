// The serial port as the rest of the host sees it: one small set of operations, with one
// implementation per kind of port (POSIX termios, Win32, RFC 2217 over TCP, the simulated
// chip in the test process, and a tracing port that wraps another). Nothing above this
// header knows which kind it holds, and no implementation allocates: a Port carries its
// implementation's state in fixed room of its own, owned by whoever opened it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum {
    PORT_NAME_ROOM = 280,    // a device name, "COMn", or "rfc2217://host:port"
    PORT_STATE_ROOM = 8192,  // the implementation's state, buffers included
    PORT_ERROR_ROOM = 640,   // the system's words for an error, and what to do
};

// The modem-control lines the tool may move. Asserted means the line's active level (DTR
// and RTS asserted drive the RS-232 line positive, an adapter's TTL pin low).
enum PortLine { PORT_LINE_DTR = 1, PORT_LINE_RTS = 2 };

struct Port;

// One kind of port. Each operation returns 1 for success and 0 for failure; a failure
// leaves the system's error code in Port::dwLastError for DescribeError.
struct PortOps {
    // Sets the line rate, 8 data bits, no parity, one stop bit, raw, no flow control.
    int (*pfnSetRate)(Port *pPort, uint32_t dwBaudRate);
    // Reads up to dwLength bytes; returns once at least one byte came or dwTimeoutMs ran out
    // (success with *pdwRead = 0: a time-out is no error).
    int (*pfnRead)(Port *pPort, uint8_t *pbBuffer, uint32_t dwLength, uint32_t dwTimeoutMs,
                   uint32_t *pdwRead);
    // Writes every byte, or fails; waits at most dwTimeoutMs for room (success with a short
    // *pdwWritten when it ran out).
    int (*pfnWrite)(Port *pPort, const uint8_t *pbBuffer, uint32_t dwLength, uint32_t dwTimeoutMs,
                    uint32_t *pdwWritten);
    // Returns once every byte written has left the host (as far as the host can tell).
    int (*pfnDrain)(Port *pPort);
    // Drops whatever was received and not yet read.
    int (*pfnPurgeInput)(Port *pPort);
    // Asserts (fAsserted 1) or releases one modem-control line.
    int (*pfnSetLine)(Port *pPort, PortLine eLine, int fAsserted);
    // Holds the line in break (space) for dwMs milliseconds.
    int (*pfnSendBreak)(Port *pPort, uint32_t dwMs);
    // Gives the port back as it was before the open (line settings, exclusive use).
    void (*pfnClose)(Port *pPort);
    // The system's words for dwLastError, and a hint for the usual causes.
    void (*pfnDescribeError)(const Port *pPort, char *pszText, size_t cchText);
    // Drops what was written and has not left yet; NULL where the port can't.
    int (*pfnPurgeOutput)(Port *pPort);
    // Lets dwMs pass on the line, for a port whose time is not the wall clock's (a simulated
    // chip): returns 1 once it has, 0 when the caller must sleep. NULL: the caller sleeps.
    int (*pfnPassTime)(Port *pPort, uint32_t dwMs);
};

struct Port {
    const PortOps *pOps;  // NULL while the port is closed
    uint32_t dwLastError;
    uint32_t dwBaudRate;          // the rate set last
    uint32_t fLinesUnconfirmed;   // a line change went unacknowledged (a network server that
                                  // left SET-CONTROL unanswered): it may not reach the board
    uint32_t fConnectionLost;     // the device went away or the server closed the connection:
                                  // dwLastError says how, and no later call can work
    char szName[PORT_NAME_ROOM];  // what messages call the port
    alignas(16) unsigned char rgState[PORT_STATE_ROOM];  // the implementation's own
};

// The implementation's state inside a Port, for the implementation alone.
template <typename T>
T *PortState(Port *pPort) {
    static_assert(sizeof(T) <= PORT_STATE_ROOM, "a port's state fits its room");
    return reinterpret_cast<T *>(pPort->rgState);
}
template <typename T>
const T *PortState(const Port *pPort) {
    static_assert(sizeof(T) <= PORT_STATE_ROOM, "a port's state fits its room");
    return reinterpret_cast<const T *>(pPort->rgState);
}

// The operations through the port's own table, for the code above the interface.
inline int SetPortRate(Port *pPort, uint32_t dwBaudRate) {
    return pPort->pOps->pfnSetRate(pPort, dwBaudRate);
}
inline int ReadPort(Port *pPort, uint8_t *pbBuffer, uint32_t dwLength, uint32_t dwTimeoutMs,
                    uint32_t *pdwRead) {
    return pPort->pOps->pfnRead(pPort, pbBuffer, dwLength, dwTimeoutMs, pdwRead);
}
inline int WritePort(Port *pPort, const uint8_t *pbBuffer, uint32_t dwLength, uint32_t dwTimeoutMs,
                     uint32_t *pdwWritten) {
    return pPort->pOps->pfnWrite(pPort, pbBuffer, dwLength, dwTimeoutMs, pdwWritten);
}
inline int DrainPort(Port *pPort) {
    return pPort->pOps->pfnDrain(pPort);
}
inline int PurgePortInput(Port *pPort) {
    return pPort->pOps->pfnPurgeInput(pPort);
}
inline int PurgePortOutput(Port *pPort) {
    return pPort->pOps->pfnPurgeOutput == NULL ? 1 : pPort->pOps->pfnPurgeOutput(pPort);
}
inline int PassPortTime(Port *pPort, uint32_t dwMs) {
    return pPort->pOps->pfnPassTime == NULL ? 0 : pPort->pOps->pfnPassTime(pPort, dwMs);
}
inline int SetPortLine(Port *pPort, PortLine eLine, int fAsserted) {
    return pPort->pOps->pfnSetLine(pPort, eLine, fAsserted);
}
inline int SendPortBreak(Port *pPort, uint32_t dwMs) {
    return pPort->pOps->pfnSendBreak(pPort, dwMs);
}
inline void DescribePortError(const Port *pPort, char *pszText, size_t cchText) {
    pPort->pOps->pfnDescribeError(pPort, pszText, cchText);
}
// Closes an open port and marks it closed; a closed port is left alone.
inline void ClosePort(Port *pPort) {
    if (pPort->pOps == NULL) return;
    pPort->pOps->pfnClose(pPort);
    pPort->pOps = NULL;
}

// A port record before its open: closed, no error, no rate yet, and the name messages use.
inline void StartPortRecord(Port *pPort, const char *pszName) {
    pPort->pOps = NULL;
    pPort->dwLastError = 0;
    pPort->dwBaudRate = 0;
    pPort->fLinesUnconfirmed = 0;
    pPort->fConnectionLost = 0;
    snprintf(pPort->szName, sizeof(pPort->szName), "%s", pszName);
}
