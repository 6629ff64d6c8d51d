// TCP for the network serial port. The platform's calls sit in the first block; the
// functions after it read the same on POSIX and Windows.
#include "tcp_socket.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

namespace {
typedef SOCKET NativeSocket;
const NativeSocket NATIVE_SOCKET_NONE = INVALID_SOCKET;
const int kSendFlags = 0;
const uint32_t kTimedOut = WSAETIMEDOUT;

uint32_t LastSocketError() {
    return uint32_t(WSAGetLastError());
}
int IsWouldBlock(uint32_t dwError) {
    return dwError == WSAEWOULDBLOCK;
}
int IsInterrupted(uint32_t dwError) {
    return dwError == WSAEINTR;
}
int StartSockets() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}
void StopSockets() {
    WSACleanup();
}
int SetNonBlocking(NativeSocket hSocket) {
    u_long dwOn = 1;
    return ioctlsocket(hSocket, FIONBIO, &dwOn) == 0;
}
void CloseNative(NativeSocket hSocket) {
    closesocket(hSocket);
}

// A failed connect shows in the exception set, not the write set.
int WaitNative(NativeSocket hSocket, int fWrite, uint32_t dwTimeoutMs, int *pfReady) {
    fd_set setReady, setFailed;
    FD_ZERO(&setReady);
    FD_ZERO(&setFailed);
    FD_SET(hSocket, &setReady);
    FD_SET(hSocket, &setFailed);
    timeval timeout = {long(dwTimeoutMs / 1000), long(dwTimeoutMs % 1000 * 1000)};
    int iCount = select(0, fWrite ? NULL : &setReady, fWrite ? &setReady : NULL,
                        fWrite ? &setFailed : NULL, &timeout);
    *pfReady = iCount > 0;
    return iCount >= 0;
}

void DescribeSystemError(uint32_t dwError, char *pszText, size_t cchText) {
    DWORD cch = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                               dwError, 0, pszText, DWORD(cchText), NULL);
    while (cch > 0 && (pszText[cch - 1] == '\n' || pszText[cch - 1] == '\r' ||
                       pszText[cch - 1] == '.' || pszText[cch - 1] == ' ')) {
        pszText[--cch] = '\0';
    }
    if (cch == 0) snprintf(pszText, cchText, "error %u", unsigned(dwError));
}
}  // namespace

int IsTcpConnectionRefused(uint32_t dwError) {
    return dwError == WSAECONNREFUSED;
}
int IsTcpConnectionLost(uint32_t dwError) {
    return dwError == WSAECONNRESET || dwError == WSAECONNABORTED || dwError == WSAESHUTDOWN;
}
void DescribeResolverError(uint32_t dwError, char *pszText, size_t cchText) {
    DescribeSystemError(dwError, pszText, cchText);
}
#else
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
typedef int NativeSocket;
const NativeSocket NATIVE_SOCKET_NONE = -1;
#ifdef MSG_NOSIGNAL
const int kSendFlags = MSG_NOSIGNAL;  // a closed connection is an error, not SIGPIPE
#else
const int kSendFlags = 0;
#endif
const uint32_t kTimedOut = ETIMEDOUT;

uint32_t LastSocketError() {
    return uint32_t(errno);
}
int IsWouldBlock(uint32_t dwError) {
    return dwError == EAGAIN || dwError == EWOULDBLOCK || dwError == EINPROGRESS;
}
int IsInterrupted(uint32_t dwError) {
    return dwError == EINTR;
}
int StartSockets() {
    return 1;
}
void StopSockets() {}
int SetNonBlocking(NativeSocket hSocket) {
#ifdef SO_NOSIGPIPE
    int fOn = 1;
    setsockopt(hSocket, SOL_SOCKET, SO_NOSIGPIPE, &fOn, sizeof(fOn));
#endif
    int iFlags = fcntl(hSocket, F_GETFL);
    return iFlags != -1 && fcntl(hSocket, F_SETFL, iFlags | O_NONBLOCK) == 0;
}
void CloseNative(NativeSocket hSocket) {
    close(hSocket);
}

// A signal (Ctrl-C) is the run's interrupt handler's to judge: the wait goes on after it.
int WaitNative(NativeSocket hSocket, int fWrite, uint32_t dwTimeoutMs, int *pfReady) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwTimeoutMs);
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline -
                                                                 std::chrono::steady_clock::now());
        pollfd entry = {hSocket, short(fWrite ? POLLOUT : POLLIN), 0};
        int iCount = poll(&entry, 1, left.count() > 0 ? int(left.count()) : 0);
        if (iCount < 0 && errno == EINTR) continue;
        *pfReady = iCount > 0;
        return iCount >= 0;
    }
}

void DescribeSystemError(uint32_t dwError, char *pszText, size_t cchText) {
    snprintf(pszText, cchText, "%s", strerror(int(dwError)));
}
}  // namespace

int IsTcpConnectionRefused(uint32_t dwError) {
    return dwError == ECONNREFUSED;
}
int IsTcpConnectionLost(uint32_t dwError) {
    return dwError == ECONNRESET || dwError == EPIPE || dwError == ECONNABORTED;
}
void DescribeResolverError(uint32_t dwError, char *pszText, size_t cchText) {
    snprintf(pszText, cchText, "%s", gai_strerror(int(dwError)));
}
#endif

namespace {

// Connects one resolved address within dwTimeoutMs; leaves the socket non-blocking.
int ConnectAddress(const addrinfo *pAddress, uint32_t dwTimeoutMs, NativeSocket *phSocket,
                   uint32_t *pdwError) {
    NativeSocket hSocket =
        socket(pAddress->ai_family, pAddress->ai_socktype, pAddress->ai_protocol);
    if (hSocket == NATIVE_SOCKET_NONE || !SetNonBlocking(hSocket)) {
        *pdwError = LastSocketError();
        if (hSocket != NATIVE_SOCKET_NONE) CloseNative(hSocket);
        return 0;
    }
    uint32_t dwError = 0;
    if (connect(hSocket, pAddress->ai_addr, int(pAddress->ai_addrlen)) != 0) {
        dwError = LastSocketError();
        int fReady = 0;
        if (IsWouldBlock(dwError) && WaitNative(hSocket, 1, dwTimeoutMs, &fReady)) {
            int iSocketError = 0;
            socklen_t cbSocketError = sizeof(iSocketError);
            getsockopt(hSocket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&iSocketError),
                       &cbSocketError);
            dwError = fReady ? uint32_t(iSocketError) : kTimedOut;
        }
    }
    if (dwError != 0) {
        *pdwError = dwError;
        CloseNative(hSocket);
        return 0;
    }
    int fOn = 1;  // each byte leaves at once: the talker's protocol waits on single echoes
    setsockopt(hSocket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&fOn),
               sizeof(fOn));
    *phSocket = hSocket;
    return 1;
}

}  // namespace

TcpConnectResult ConnectTcp(const char *pszHost, const char *pszService, uint32_t dwTimeoutMs,
                            TcpSocket *phSocket, uint32_t *pdwError) {
    if (!StartSockets()) {
        *pdwError = LastSocketError();
        return TCP_NOT_CONNECTED;
    }
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo *pAddresses = NULL;
    int iResolved = getaddrinfo(pszHost, pszService, &hints, &pAddresses);
    if (iResolved != 0) {
        *pdwError = uint32_t(iResolved);
        StopSockets();
        return TCP_HOST_UNKNOWN;
    }
    // "localhost" may come as ::1 first while the server listens on 127.0.0.1 only.
    NativeSocket hSocket = NATIVE_SOCKET_NONE;
    for (const addrinfo *p = pAddresses; p != NULL; p = p->ai_next) {
        if (ConnectAddress(p, dwTimeoutMs, &hSocket, pdwError)) break;
    }
    freeaddrinfo(pAddresses);
    if (hSocket == NATIVE_SOCKET_NONE) {
        StopSockets();
        return TCP_NOT_CONNECTED;
    }
    *phSocket = TcpSocket(hSocket);
    return TCP_CONNECTED;
}

int WaitTcpReadable(TcpSocket hSocket, uint32_t dwTimeoutMs, int *pfReady, uint32_t *pdwError) {
    if (WaitNative(NativeSocket(hSocket), 0, dwTimeoutMs, pfReady)) return 1;
    *pdwError = LastSocketError();
    return 0;
}

int ReceiveTcp(TcpSocket hSocket, uint8_t *pbBuffer, size_t cbRoom, size_t *pcbReceived,
               int *pfClosed, uint32_t *pdwError) {
    *pcbReceived = 0;
    *pfClosed = 0;
    int iCount =
        int(recv(NativeSocket(hSocket), reinterpret_cast<char *>(pbBuffer), int(cbRoom), 0));
    if (iCount > 0) *pcbReceived = size_t(iCount);
    if (iCount == 0) *pfClosed = 1;
    if (iCount >= 0) return 1;
    *pdwError = LastSocketError();
    return IsWouldBlock(*pdwError) || IsInterrupted(*pdwError);
}

int SendTcp(TcpSocket hSocket, const uint8_t *pbBuffer, size_t cbLength, uint32_t dwTimeoutMs,
            uint32_t *pdwError) {
    size_t cbSent = 0;
    while (cbSent < cbLength) {
        int iCount =
            int(send(NativeSocket(hSocket), reinterpret_cast<const char *>(pbBuffer) + cbSent,
                     int(cbLength - cbSent), kSendFlags));
        if (iCount >= 0) {
            cbSent += size_t(iCount);
            continue;
        }
        *pdwError = LastSocketError();
        if (IsInterrupted(*pdwError)) continue;
        if (!IsWouldBlock(*pdwError)) return 0;
        int fReady = 0;
        if (!WaitNative(NativeSocket(hSocket), 1, dwTimeoutMs, &fReady)) {
            *pdwError = LastSocketError();
            return 0;
        }
        if (!fReady) {
            *pdwError = kTimedOut;
            return 0;
        }
    }
    return 1;
}

void CloseTcp(TcpSocket hSocket) {
    if (hSocket == TCP_SOCKET_NONE) return;
    CloseNative(NativeSocket(hSocket));
    StopSockets();
}

void DescribeTcpError(uint32_t dwError, char *pszText, size_t cchText) {
    DescribeSystemError(dwError, pszText, cchText);
}

int IsTcpTimeout(uint32_t dwError) {
    return dwError == kTimedOut;
}
