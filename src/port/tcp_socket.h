// A TCP connection for the network serial port: POSIX sockets or Winsock, the difference kept
// in tcp_socket.cpp alone. The socket is non-blocking; every wait has a time-out.
#pragma once

#include <cstddef>
#include <cstdint>

typedef intptr_t TcpSocket;
const TcpSocket TCP_SOCKET_NONE = -1;

enum TcpConnectResult {
    TCP_CONNECTED,
    TCP_HOST_UNKNOWN,   // the name did not resolve: *pdwError is the resolver's code
    TCP_NOT_CONNECTED,  // every address refused or failed: *pdwError is the system's code
};

// Connects to pszHost (a name or an address) on pszService (a port number), trying each
// address it resolves to for up to dwTimeoutMs, with TCP_NODELAY set.
TcpConnectResult ConnectTcp(const char *pszHost, const char *pszService, uint32_t dwTimeoutMs,
                            TcpSocket *phSocket, uint32_t *pdwError);

// Waits up to dwTimeoutMs for bytes (or the end of the connection). Returns 1 and sets
// *pfReady, or 0 with the system's code in *pdwError.
int WaitTcpReadable(TcpSocket hSocket, uint32_t dwTimeoutMs, int *pfReady, uint32_t *pdwError);

// Receives what is there, at most cbRoom bytes (perhaps none); *pfClosed once the peer has
// closed the connection. Returns 1, or 0 with the system's code in *pdwError.
int ReceiveTcp(TcpSocket hSocket, uint8_t *pbBuffer, size_t cbRoom, size_t *pcbReceived,
               int *pfClosed, uint32_t *pdwError);

// Sends every byte, waiting up to dwTimeoutMs for room each time the socket is full.
// Returns 1, or 0 with the system's code in *pdwError (its time-out code after a wait ran out).
int SendTcp(TcpSocket hSocket, const uint8_t *pbBuffer, size_t cbLength, uint32_t dwTimeoutMs,
            uint32_t *pdwError);

void CloseTcp(TcpSocket hSocket);

// The system's words for a code from the calls above, and for a resolver's code.
void DescribeTcpError(uint32_t dwError, char *pszText, size_t cchText);
void DescribeResolverError(uint32_t dwError, char *pszText, size_t cchText);

// 1 when dwError says that nothing listens on the port.
int IsTcpConnectionRefused(uint32_t dwError);
// 1 when dwError says that the peer reset or closed a connection that stood.
int IsTcpConnectionLost(uint32_t dwError);
// 1 when dwError says that a wait above ran out.
int IsTcpTimeout(uint32_t dwError);
