// The Windows serial calls over termios, for Linux and macOS. Each call keeps the meaning
// the link layer relies on: an exclusive open, raw 8-bit lines at the DCB's rate, and reads
// and writes that honour the COMMTIMEOUTS totals without busy-waiting or sleeping.
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "win32_serial.h"

#ifdef __linux__
#include <linux/serial.h>
#endif
#ifdef __APPLE__
#include <IOKit/serial/ioss.h>
#endif

#include "interrupt.h"
#include "platform.h"

namespace {

// One open port: its descriptor, the time-outs that Windows would keep in the driver, and
// the line settings it had before we opened it.
struct PortSlot {
    int fd;
    COMMTIMEOUTS timeouts;
    struct termios tioBefore;
    volatile sig_atomic_t fHaveBefore;
};

enum { MAX_OPEN_PORTS = 8 };
PortSlot g_rgPorts[MAX_OPEN_PORTS];
// Read by the interrupt handler: a slot is marked in use before its descriptor is made
// exclusive, so that no exclusive descriptor escapes the release.
volatile sig_atomic_t g_rgfInUse[MAX_OPEN_PORTS];
DWORD g_dwLastError;

BOOL FailWith(int nErrno) {
    g_dwLastError = (DWORD)nErrno;
    return FALSE;
}

PortSlot *SlotFromHandle(HANDLE hFile) {
    for (int i = 0; i < MAX_OPEN_PORTS; i++) {
        if (g_rgfInUse[i] && hFile == (HANDLE)&g_rgPorts[i]) return &g_rgPorts[i];
    }
    return nullptr;
}

// USB-serial adapters hold received bytes up to their latency timer unless asked not to;
// in a lockstep protocol that costs more than the wire itself. A refusal is harmless.
void RequestLowLatency(int fd) {
#ifdef __linux__
    struct serial_struct serial;
    if (ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        (void)ioctl(fd, TIOCSSERIAL, &serial);
    }
#else
    (void)fd;
#endif
}

// Exclusive use: TIOCEXCL keeps out other opens of the tty, the lock keeps out
// programs that open it anyway (root ignores TIOCEXCL). The lock comes first: a port that
// another program holds is left exactly as it was.
bool TakeExclusiveUse(int fd) {
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) errno = EBUSY;
        return false;
    }
    (void)ioctl(fd, TIOCEXCL);
    return true;
}

// Async-signal-safe: every open port gets its line settings back, its exclusive flag and lock
// cleared, and is closed.
void ReleaseAllPorts(void) {
    for (int i = 0; i < MAX_OPEN_PORTS; i++) {
        if (!g_rgfInUse[i]) continue;
        int fd = g_rgPorts[i].fd;
        if (g_rgPorts[i].fHaveBefore) (void)tcsetattr(fd, TCSANOW, &g_rgPorts[i].tioBefore);
        (void)ioctl(fd, TIOCNXCL);
        (void)flock(fd, LOCK_UN);
        (void)close(fd);
        g_rgfInUse[i] = 0;
    }
}

void OnInterrupt(int nSignal) {
    char szMessage[256];
    size_t cchMessage = FormatInterruptMessage(szMessage, sizeof(szMessage));
    ReleaseAllPorts();
    const char *pszLeftover = GetInterruptLeftover();
    if (pszLeftover != NULL) (void)unlink(pszLeftover);
    // The progress marks may have left standard output in mid-line. Nothing is left to do
    // about a failed write here.
    ssize_t nIgnored = write(STDOUT_FILENO, "\n", 1);
    nIgnored = write(STDERR_FILENO, szMessage, cchMessage);
    (void)nIgnored;
    _exit(128 + nSignal);
}

// The device the last open was for: a refused open's hint names the group that owns it.
char g_szLastOpened[260];

// What to do about a refused open: join the group that owns the device (dialout on Debian,
// uucp on Arch, whatever the system chose), or fix the device's permissions.
void FormatPermissionHint(char *pszHint, size_t cchHint) {
    struct stat st;
    const struct group *pGroup = NULL;
    if (stat(g_szLastOpened, &st) == 0) pGroup = getgrgid(st.st_gid);
    if (pGroup == NULL || pGroup->gr_gid == 0) {
        snprintf(pszHint, cchHint, "check the device's permissions for your user");
        return;
    }
    snprintf(pszHint, cchHint,
             "add your user to the %s group that owns %s (sudo usermod -aG %s $USER), "
             "then log in again",
             pGroup->gr_name, g_szLastOpened, pGroup->gr_name);
}

// What to do about the usual causes of a failed open, or NULL.
const char *HintForError(int nErrno) {
    switch (nErrno) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return "no such port: check the port number or the -d device name";
        case EBUSY:
            return "another program holds the port: close it and try again";
        case ENOTTY:
        case EINVAL:
            return "not a serial device";
        default:
            return NULL;
    }
}

long long NowMs(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

// Deadline of a transfer of dwBytes, or -1 for none (all totals zero means wait forever).
long long TransferDeadline(DWORD dwMultiplier, DWORD dwConstant, DWORD dwBytes) {
    long long llTotal = (long long)dwMultiplier * dwBytes + dwConstant;
    return llTotal == 0 ? -1 : NowMs() + llTotal;
}

// Waits until the descriptor is ready for events or the deadline passes.
// Returns 1 when ready, 0 at the deadline, -1 on an error or a hang-up (errno set).
int WaitReady(int fd, short sEvents, long long llDeadline) {
    for (;;) {
        int nTimeout = -1;
        if (llDeadline >= 0) {
            long long llLeft = llDeadline - NowMs();
            if (llLeft <= 0) return 0;
            nTimeout = (int)llLeft;
        }
        struct pollfd pfd = {fd, sEvents, 0};
        int nReady = poll(&pfd, 1, nTimeout);
        if (nReady < 0 && errno == EINTR) continue;
        if (nReady < 0) return -1;
        if (nReady == 0) continue;
        if (pfd.revents & sEvents) return 1;
        errno = EIO;
        return -1;
    }
}

struct RateCode {
    DWORD dwRate;
    speed_t speed;
};

const RateCode g_rgRates[] = {
    {110, B110},     {300, B300},     {600, B600},       {1200, B1200},
    {2400, B2400},   {4800, B4800},   {9600, B9600},     {19200, B19200},
    {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
};

bool SpeedFromRate(DWORD dwRate, speed_t *pSpeed) {
    for (const RateCode &rate : g_rgRates) {
        if (rate.dwRate == dwRate) {
            *pSpeed = rate.speed;
            return true;
        }
    }
    return false;
}

DWORD RateFromSpeed(speed_t speed) {
    for (const RateCode &rate : g_rgRates) {
        if (rate.speed == speed) return rate.dwRate;
    }
    return 0;
}

#ifdef __linux__
// The kernel's termios2, which carries a rate in bit/s beside the speed codes (glibc's
// <termios.h> and the kernel's <asm/termbits.h> can't be included together).
struct termios2 {
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};
const tcflag_t RATE_IN_BITS_PER_SECOND = 0010000;  // the kernel's BOTHER

// A rate without a speed code, such as 15625 or 125000, given in bit/s.
bool SetAnyRate(int fd, DWORD dwRate) {
    struct termios2 tio;
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_cflag &= ~(tcflag_t)CBAUD;
    tio.c_cflag |= RATE_IN_BITS_PER_SECOND;
    tio.c_ispeed = tio.c_ospeed = dwRate;
    return ioctl(fd, TCSETS2, &tio) == 0;
}

DWORD GetAnyRate(int fd) {
    struct termios2 tio;
    return ioctl(fd, TCGETS2, &tio) == 0 ? (DWORD)tio.c_ospeed : 0;
}
#elif defined(__APPLE__)
// Untested here: macOS sets any rate with IOSSIOSPEED once the line is configured.
bool SetAnyRate(int fd, DWORD dwRate) {
    speed_t speed = dwRate;
    return ioctl(fd, IOSSIOSPEED, &speed) == 0;
}

DWORD GetAnyRate(int fd) {
    struct termios tio;
    return tcgetattr(fd, &tio) == 0 ? (DWORD)cfgetospeed(&tio) : 0;
}
#else
bool SetAnyRate(int, DWORD) {
    errno = EINVAL;
    return false;
}

DWORD GetAnyRate(int) {
    return 0;
}
#endif

BYTE ByteSizeFromFlags(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

tcflag_t FlagsFromByteSize(BYTE bSize) {
    switch (bSize) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

}  // namespace

HANDLE CreateFileA(LPCSTR lpFileName, DWORD, DWORD, LPVOID, DWORD, DWORD, HANDLE) {
    int nSlot = 0;
    while (nSlot < MAX_OPEN_PORTS && g_rgfInUse[nSlot]) nSlot++;
    if (nSlot == MAX_OPEN_PORTS) {
        FailWith(EMFILE);
        return INVALID_HANDLE_VALUE;
    }
    snprintf(g_szLastOpened, sizeof(g_szLastOpened), "%s", lpFileName);
    int fd = open(lpFileName, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        FailWith(errno);
        return INVALID_HANDLE_VALUE;
    }
    PortSlot *pPort = &g_rgPorts[nSlot];
    pPort->fd = fd;
    pPort->timeouts = COMMTIMEOUTS{0, 0, 0, 0, 0};
    pPort->fHaveBefore = tcgetattr(fd, &pPort->tioBefore) == 0;
    g_rgfInUse[nSlot] = 1;
    if (!TakeExclusiveUse(fd)) {
        int nErrno = errno;
        g_rgfInUse[nSlot] = 0;
        close(fd);
        FailWith(nErrno);
        return INVALID_HANDLE_VALUE;
    }
    RequestLowLatency(fd);
    return (HANDLE)pPort;
}

BOOL GetCommState(HANDLE hFile, DCB *lpDCB) {
    PortSlot *pPort = SlotFromHandle(hFile);
    if (pPort == nullptr) return FailWith(EBADF);
    struct termios tio;
    if (tcgetattr(pPort->fd, &tio) != 0) return FailWith(errno);
    *lpDCB = DCB{};
    lpDCB->DCBlength = sizeof(DCB);
    lpDCB->BaudRate = RateFromSpeed(cfgetospeed(&tio));
    if (lpDCB->BaudRate == 0) lpDCB->BaudRate = GetAnyRate(pPort->fd);
    lpDCB->fBinary = 1;
    lpDCB->fParity = (tio.c_iflag & INPCK) ? 1 : 0;
    lpDCB->fOutxCtsFlow = (tio.c_cflag & CRTSCTS) ? 1 : 0;
    lpDCB->fDtrControl = DTR_CONTROL_ENABLE;
    lpDCB->fRtsControl = RTS_CONTROL_ENABLE;
    lpDCB->fOutX = (tio.c_iflag & IXON) ? 1 : 0;
    lpDCB->fInX = (tio.c_iflag & IXOFF) ? 1 : 0;
    lpDCB->ByteSize = ByteSizeFromFlags(tio.c_cflag);
    lpDCB->Parity = !(tio.c_cflag & PARENB)  ? NOPARITY
                    : (tio.c_cflag & PARODD) ? ODDPARITY
                                             : EVENPARITY;
    lpDCB->StopBits = (tio.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
    lpDCB->XonChar = (char)tio.c_cc[VSTART];
    lpDCB->XoffChar = (char)tio.c_cc[VSTOP];
    return TRUE;
}

// A raw line: no echo, no line editing, no character translation, no hang-up on close,
// and reads that return whatever has arrived (the time-outs are ours, not the driver's).
BOOL SetCommState(HANDLE hFile, DCB *lpDCB) {
    PortSlot *pPort = SlotFromHandle(hFile);
    if (pPort == nullptr) return FailWith(EBADF);
    speed_t speed = B9600;  // a placeholder for a rate without a speed code
    bool fCodedRate = SpeedFromRate(lpDCB->BaudRate, &speed);
    struct termios tio;
    if (tcgetattr(pPort->fd, &tio) != 0) return FailWith(errno);
    cfmakeraw(&tio);
    tio.c_cflag &= ~(tcflag_t)(CSIZE | CSTOPB | PARENB | PARODD | HUPCL | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | FlagsFromByteSize(lpDCB->ByteSize);
    if (lpDCB->StopBits == TWOSTOPBITS) tio.c_cflag |= CSTOPB;
    if (lpDCB->Parity != NOPARITY) tio.c_cflag |= PARENB;
    if (lpDCB->Parity == ODDPARITY) tio.c_cflag |= PARODD;
    if (lpDCB->fOutxCtsFlow) tio.c_cflag |= CRTSCTS;
    tio.c_iflag &= ~(tcflag_t)(IXON | IXOFF | IXANY | INPCK);
    if (lpDCB->fOutX) tio.c_iflag |= IXON;
    if (lpDCB->fInX) tio.c_iflag |= IXOFF;
    if (lpDCB->fParity) tio.c_iflag |= INPCK;
    // With VMIN 1 a read with nothing there says EAGAIN (the descriptor is non-blocking),
    // so that a read of 0 bytes means the line hung up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (tcsetattr(pPort->fd, TCSANOW, &tio) != 0) return FailWith(errno);
    if (!fCodedRate && !SetAnyRate(pPort->fd, lpDCB->BaudRate)) return FailWith(errno);
    return TRUE;
}

BOOL GetCommTimeouts(HANDLE hFile, COMMTIMEOUTS *lpCommTimeouts) {
    PortSlot *pPort = SlotFromHandle(hFile);
    if (pPort == nullptr) return FailWith(EBADF);
    *lpCommTimeouts = pPort->timeouts;
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE hFile, COMMTIMEOUTS *lpCommTimeouts) {
    PortSlot *pPort = SlotFromHandle(hFile);
    if (pPort == nullptr) return FailWith(EBADF);
    pPort->timeouts = *lpCommTimeouts;
    return TRUE;
}

// Returns what has arrived when the total time-out runs out: success with a short count.
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPVOID) {
    *lpNumberOfBytesRead = 0;
    PortSlot *pPort = SlotFromHandle(hFile);
    if (pPort == nullptr) return FailWith(EBADF);
    const COMMTIMEOUTS &t = pPort->timeouts;
    bool fReturnAtOnce = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                         t.ReadTotalTimeoutConstant == 0;
    long long llDeadline = fReturnAtOnce
                               ? NowMs()
                               : TransferDeadline(t.ReadTotalTimeoutMultiplier,
                                                  t.ReadTotalTimeoutConstant, nNumberOfBytesToRead);
    BYTE *pbBuffer = (BYTE *)lpBuffer;
    while (*lpNumberOfBytesRead < nNumberOfBytesToRead) {
        ssize_t nGot = read(pPort->fd, pbBuffer + *lpNumberOfBytesRead,
                            nNumberOfBytesToRead - *lpNumberOfBytesRead);
        if (nGot > 0) {
            *lpNumberOfBytesRead += (DWORD)nGot;
            continue;
        }
        if (nGot == 0) return FailWith(EIO);  // the line hung up (no data reads as EAGAIN)
        if (errno != EAGAIN && errno != EINTR) return FailWith(errno);
        int nReady = WaitReady(pPort->fd, POLLIN, llDeadline);
        if (nReady == 0) break;
        if (nReady < 0) return FailWith(errno);
    }
    return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPVOID) {
    *lpNumberOfBytesWritten = 0;
    PortSlot *pPort = SlotFromHandle(hFile);
    if (pPort == nullptr) return FailWith(EBADF);
    long long llDeadline =
        TransferDeadline(pPort->timeouts.WriteTotalTimeoutMultiplier,
                         pPort->timeouts.WriteTotalTimeoutConstant, nNumberOfBytesToWrite);
    const BYTE *pbBuffer = (const BYTE *)lpBuffer;
    while (*lpNumberOfBytesWritten < nNumberOfBytesToWrite) {
        ssize_t nPut = write(pPort->fd, pbBuffer + *lpNumberOfBytesWritten,
                             nNumberOfBytesToWrite - *lpNumberOfBytesWritten);
        if (nPut > 0) {
            *lpNumberOfBytesWritten += (DWORD)nPut;
            continue;
        }
        if (nPut < 0 && errno != EAGAIN && errno != EINTR) return FailWith(errno);
        int nReady = WaitReady(pPort->fd, POLLOUT, llDeadline);
        if (nReady == 0) break;
        if (nReady < 0) return FailWith(errno);
    }
    return TRUE;
}

BOOL PurgeComm(HANDLE hFile, DWORD dwFlags) {
    PortSlot *pPort = SlotFromHandle(hFile);
    if (pPort == nullptr) return FailWith(EBADF);
    int nQueue = -1;
    if ((dwFlags & PURGE_RXCLEAR) && (dwFlags & PURGE_TXCLEAR))
        nQueue = TCIOFLUSH;
    else if (dwFlags & PURGE_RXCLEAR)
        nQueue = TCIFLUSH;
    else if (dwFlags & PURGE_TXCLEAR)
        nQueue = TCOFLUSH;
    if (nQueue >= 0 && tcflush(pPort->fd, nQueue) != 0) return FailWith(errno);
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE hFile) {
    PortSlot *pPort = SlotFromHandle(hFile);
    if (pPort == nullptr) return FailWith(EBADF);
    if (tcdrain(pPort->fd) != 0) return FailWith(errno);
    return TRUE;
}

void Sleep(DWORD dwMilliseconds) {
    struct timespec ts = {(time_t)(dwMilliseconds / 1000),
                          (long)(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// Gives up the tty's exclusive flag too, so that the port can be opened again at once.
BOOL CloseHandle(HANDLE hObject) {
    PortSlot *pPort = SlotFromHandle(hObject);
    if (pPort == nullptr) return FailWith(EBADF);
    (void)ioctl(pPort->fd, TIOCNXCL);
    g_rgfInUse[pPort - g_rgPorts] = 0;
    int nResult = close(pPort->fd);
    if (nResult != 0) return FailWith(errno);
    return TRUE;
}

DWORD GetLastError(void) {
    return g_dwLastError;
}

void SetLastError(DWORD dwErrCode) {
    g_dwLastError = dwErrCode;
}

void DescribePortError(DWORD dwError, char *pszHint, size_t cchHint) {
    if (dwError == EACCES || dwError == EPERM) {
        char szAdvice[PORT_HINT_ROOM];
        FormatPermissionHint(szAdvice, sizeof(szAdvice));
        snprintf(pszHint, cchHint, "%s: %s", strerror((int)dwError), szAdvice);
        return;
    }
    const char *pszHintText = HintForError((int)dwError);
    if (pszHintText == NULL) {
        snprintf(pszHint, cchHint, "%s", strerror((int)dwError));
    } else {
        snprintf(pszHint, cchHint, "%s: %s", strerror((int)dwError), pszHintText);
    }
}

// A signal the user's shell set to be ignored (nohup, a background job) stays ignored.
void InstallInterruptHandlers(void) {
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    action.sa_handler = OnInterrupt;
    sigfillset(&action.sa_mask);
    const int rgnSignals[] = {SIGINT, SIGTERM, SIGHUP};
    for (int nSignal : rgnSignals) {
        struct sigaction before;
        if (sigaction(nSignal, NULL, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        sigaction(nSignal, &action, NULL);
    }
}

int IsTerminalOutput(void) {
    return isatty(STDOUT_FILENO);
}
