// Serial devices on Linux and macOS, through termios: an exclusive open, raw 8-bit lines at
// any rate the driver takes, and reads and writes that wait with poll, never by sleeping.
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

#include <atomic>

#ifdef __linux__
#include <linux/serial.h>
#endif
#ifdef __APPLE__
#include <IOKit/serial/ioss.h>
#endif

#include "native_port.h"
#include "port_open.h"

namespace {

// The ports open now, for the interrupt handler: a slot is marked in use before its
// descriptor is made exclusive, so that no exclusive descriptor escapes the release.
struct OpenDescriptor {
    volatile sig_atomic_t fInUse;
    volatile sig_atomic_t fHaveBefore;
    volatile sig_atomic_t fLinesMoved;  // DTR or RTS set through this open
    int fd;
    struct termios tioBefore;  // the line settings from before the open, given back at close
};

// Room for every board of a run (128) and the odd port besides.
enum { MAX_OPEN_PORTS = 160 };
OpenDescriptor g_rgOpen[MAX_OPEN_PORTS];
// Boards open their ports on threads of their own: a slot is claimed whole before it is used.
std::atomic<bool> g_rgClaimed[MAX_OPEN_PORTS];

struct PosixPortState {
    int nSlot;
};

int Descriptor(const Port *pPort) {
    return g_rgOpen[PortState<PosixPortState>(pPort)->nSlot].fd;
}

// On an open port these say that the device is gone: unplugged, or a pty's other side closed.
int IsDeviceGone(int nErrno) {
    return nErrno == EIO || nErrno == ENXIO || nErrno == ENODEV || nErrno == EBADF;
}

int FailWith(Port *pPort, int nErrno) {
    pPort->dwLastError = (uint32_t)nErrno;
    if (pPort->pOps != NULL && IsDeviceGone(nErrno)) pPort->fConnectionLost = 1;
    return 0;
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

// Async-signal-safe. A port whose lines were set keeps them: with HUPCL the close would drop
// DTR and RTS, and reset or hold a board wired to them.
void ReleaseSlot(OpenDescriptor *pOpen) {
    struct termios tio = pOpen->tioBefore;
    if (pOpen->fLinesMoved) tio.c_cflag &= ~(tcflag_t)HUPCL;
    if (pOpen->fHaveBefore) (void)tcsetattr(pOpen->fd, TCSANOW, &tio);
    (void)ioctl(pOpen->fd, TIOCNXCL);
    (void)flock(pOpen->fd, LOCK_UN);
    (void)close(pOpen->fd);
    pOpen->fInUse = 0;
}

long long NowMs(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

// Waits until the descriptor is ready for events or the deadline passes.
// Returns 1 when ready, 0 at the deadline, -1 on an error or a hang-up (errno set).
int WaitReady(int fd, short sEvents, long long llDeadline) {
    for (;;) {
        long long llLeft = llDeadline - NowMs();
        if (llLeft <= 0) return 0;
        struct pollfd pfd = {fd, sEvents, 0};
        int nReady = poll(&pfd, 1, (int)llLeft);
        if (nReady < 0 && errno == EINTR) continue;
        if (nReady < 0) return -1;
        if (nReady == 0) continue;
        if (pfd.revents & sEvents) return 1;
        errno = EIO;
        return -1;
    }
}

struct RateCode {
    uint32_t dwRate;
    speed_t speed;
};

const RateCode g_rgRates[] = {
    {110, B110},     {300, B300},     {600, B600},       {1200, B1200},
    {2400, B2400},   {4800, B4800},   {9600, B9600},     {19200, B19200},
    {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
};

bool SpeedFromRate(uint32_t dwRate, speed_t *pSpeed) {
    for (const RateCode &rate : g_rgRates) {
        if (rate.dwRate == dwRate) {
            *pSpeed = rate.speed;
            return true;
        }
    }
    return false;
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

// A rate without a speed code, such as 7812 or 125000, given in bit/s.
bool SetAnyRate(int fd, uint32_t dwRate) {
    struct termios2 tio;
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_cflag &= ~(tcflag_t)CBAUD;
    tio.c_cflag |= RATE_IN_BITS_PER_SECOND;
    tio.c_ispeed = tio.c_ospeed = dwRate;
    return ioctl(fd, TCSETS2, &tio) == 0;
}
#elif defined(__APPLE__)
// Untested here: macOS sets any rate with IOSSIOSPEED once the line is configured.
bool SetAnyRate(int fd, uint32_t dwRate) {
    speed_t speed = dwRate;
    return ioctl(fd, IOSSIOSPEED, &speed) == 0;
}
#else
bool SetAnyRate(int, uint32_t) {
    errno = EINVAL;
    return false;
}
#endif

// A raw line: no echo, no line editing, no character translation, no flow control, no
// hang-up on close. With VMIN 1 a read with nothing there says EAGAIN (the descriptor is
// non-blocking), so that a read of 0 bytes means the line hung up.
int PosixSetRate(Port *pPort, uint32_t dwBaudRate) {
    int fd = Descriptor(pPort);
    speed_t speed = B9600;  // a placeholder for a rate without a speed code
    bool fCodedRate = SpeedFromRate(dwBaudRate, &speed);
    struct termios tio;
    if (tcgetattr(fd, &tio) != 0) return FailWith(pPort, errno);
    cfmakeraw(&tio);
    tio.c_cflag &= ~(tcflag_t)(CSIZE | CSTOPB | PARENB | PARODD | HUPCL | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | CS8;
    tio.c_iflag &= ~(tcflag_t)(IXON | IXOFF | IXANY | INPCK);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) return FailWith(pPort, errno);
    if (!fCodedRate && !SetAnyRate(fd, dwBaudRate)) return FailWith(pPort, errno);
    pPort->dwBaudRate = dwBaudRate;
    return 1;
}

int PosixRead(Port *pPort, uint8_t *pbBuffer, uint32_t dwLength, uint32_t dwTimeoutMs,
              uint32_t *pdwRead) {
    int fd = Descriptor(pPort);
    long long llDeadline = NowMs() + dwTimeoutMs;
    *pdwRead = 0;
    while (*pdwRead == 0 && dwLength > 0) {
        ssize_t nGot = read(fd, pbBuffer, dwLength);
        if (nGot > 0) {
            *pdwRead = (uint32_t)nGot;
            break;
        }
        if (nGot == 0) return FailWith(pPort, EIO);  // the line hung up
        if (errno != EAGAIN && errno != EINTR) return FailWith(pPort, errno);
        int nReady = WaitReady(fd, POLLIN, llDeadline);
        if (nReady == 0) break;
        if (nReady < 0) return FailWith(pPort, errno);
    }
    return 1;
}

int PosixWrite(Port *pPort, const uint8_t *pbBuffer, uint32_t dwLength, uint32_t dwTimeoutMs,
               uint32_t *pdwWritten) {
    int fd = Descriptor(pPort);
    long long llDeadline = NowMs() + dwTimeoutMs;
    *pdwWritten = 0;
    while (*pdwWritten < dwLength) {
        ssize_t nPut = write(fd, pbBuffer + *pdwWritten, dwLength - *pdwWritten);
        if (nPut > 0) {
            *pdwWritten += (uint32_t)nPut;
            continue;
        }
        if (nPut < 0 && errno != EAGAIN && errno != EINTR) return FailWith(pPort, errno);
        int nReady = WaitReady(fd, POLLOUT, llDeadline);
        if (nReady == 0) break;
        if (nReady < 0) return FailWith(pPort, errno);
    }
    return 1;
}

int PosixDrain(Port *pPort) {
    return tcdrain(Descriptor(pPort)) == 0 ? 1 : FailWith(pPort, errno);
}

int PosixPurgeInput(Port *pPort) {
    return tcflush(Descriptor(pPort), TCIFLUSH) == 0 ? 1 : FailWith(pPort, errno);
}

int PosixPurgeOutput(Port *pPort) {
    return tcflush(Descriptor(pPort), TCOFLUSH) == 0 ? 1 : FailWith(pPort, errno);
}

int PosixSetLine(Port *pPort, PortLine eLine, int fAsserted) {
    int nBits = eLine == PORT_LINE_DTR ? TIOCM_DTR : TIOCM_RTS;
    int nResult = ioctl(Descriptor(pPort), fAsserted ? TIOCMBIS : TIOCMBIC, &nBits);
    if (nResult != 0) return FailWith(pPort, errno);
    g_rgOpen[PortState<PosixPortState>(pPort)->nSlot].fLinesMoved = 1;
    return 1;
}

void SleepMs(uint32_t dwMs) {
    struct timespec ts = {(time_t)(dwMs / 1000), (long)(dwMs % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// tcsendbreak's length is the system's choice; TIOCSBRK holds the break as long as asked.
int PosixSendBreak(Port *pPort, uint32_t dwMs) {
    int fd = Descriptor(pPort);
#ifdef TIOCSBRK
    if (ioctl(fd, TIOCSBRK) != 0) return FailWith(pPort, errno);
    SleepMs(dwMs);
    if (ioctl(fd, TIOCCBRK) != 0) return FailWith(pPort, errno);
    return 1;
#else
    return tcsendbreak(fd, (int)dwMs) == 0 ? 1 : FailWith(pPort, errno);
#endif
}

// Gives up the tty's exclusive flag too, so that the port can be opened again at once.
void PosixClose(Port *pPort) {
    int nSlot = PortState<PosixPortState>(pPort)->nSlot;
    ReleaseSlot(&g_rgOpen[nSlot]);
    g_rgClaimed[nSlot] = false;
}

// What to do about a refused open: join the group that owns the device (dialout on Debian,
// uucp on Arch, whatever the system chose), or fix the device's permissions.
void FormatPermissionHint(const char *pszDevice, char *pszHint, size_t cchHint) {
    struct stat st;
    const struct group *pGroup = NULL;
    if (stat(pszDevice, &st) == 0) pGroup = getgrgid(st.st_gid);
    if (pGroup == NULL || pGroup->gr_gid == 0) {
        snprintf(pszHint, cchHint, "check the device's permissions for your user");
        return;
    }
    snprintf(pszHint, cchHint,
             "add your user to the %s group that owns %s (sudo usermod -aG %s $USER), "
             "then log in again",
             pGroup->gr_name, pszDevice, pGroup->gr_name);
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

void PosixDescribeError(const Port *pPort, char *pszText, size_t cchText) {
    int nErrno = (int)pPort->dwLastError;
    char szAdvice[PORT_ERROR_ROOM];
    const char *pszHint =
        pPort->fConnectionLost ? "the device was unplugged or closed" : HintForError(nErrno);
    if (nErrno == EACCES || nErrno == EPERM) {
        FormatPermissionHint(pPort->szName, szAdvice, sizeof(szAdvice));
        pszHint = szAdvice;
    }
    if (pszHint == NULL)
        snprintf(pszText, cchText, "%s", strerror(nErrno));
    else
        snprintf(pszText, cchText, "%s: %s", strerror(nErrno), pszHint);
}

const PortOps g_PosixOps = {
    PosixSetRate, PosixRead,      PosixWrite, PosixDrain,         PosixPurgeInput,
    PosixSetLine, PosixSendBreak, PosixClose, PosixDescribeError, PosixPurgeOutput,
    NULL};

int ClaimFreeSlot(void) {
    for (int i = 0; i < MAX_OPEN_PORTS; i++) {
        if (!g_rgClaimed[i].exchange(true)) return i;
    }
    return -1;
}

// Opens the device into the slot and takes it for this process. Returns 0 with errno set.
int OpenIntoSlot(const char *pszOpen, int nSlot) {
    int fd = open(pszOpen, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    OpenDescriptor *pOpen = &g_rgOpen[nSlot];
    pOpen->fd = fd;
    pOpen->fLinesMoved = 0;
    pOpen->fHaveBefore = tcgetattr(fd, &pOpen->tioBefore) == 0;
    int nErrno = errno;
    std::atomic_signal_fence(std::memory_order_seq_cst);  // the slot is whole before it counts
    pOpen->fInUse = 1;
    if (!TakeExclusiveUse(fd)) {
        nErrno = errno;
        pOpen->fInUse = 0;
        close(fd);
        errno = nErrno;
        return 0;
    }
    if (!pOpen->fHaveBefore) {  // not a terminal: the descriptor is no serial port
        ReleaseSlot(pOpen);
        errno = nErrno;
        return 0;
    }
    RequestLowLatency(fd);
    return 1;
}

// The failed open's message, with the port closed.
int FailOpen(Port *pPort, int nErrno) {
    pPort->pOps = &g_PosixOps;
    pPort->dwLastError = (uint32_t)nErrno;
    PrintPortError(pPort);
    pPort->pOps = NULL;
    return 0;
}

}  // namespace

int OpenNativePort(Port *pPort, const char *pszOpen, const char *pszShown, uint32_t dwBaudRate) {
    StartPortRecord(pPort, pszShown);
    int nSlot = ClaimFreeSlot();
    if (nSlot < 0) return FailOpen(pPort, EMFILE);
    if (!OpenIntoSlot(pszOpen, nSlot)) {
        int nErrno = errno;
        g_rgClaimed[nSlot] = false;
        return FailOpen(pPort, nErrno);
    }
    PortState<PosixPortState>(pPort)->nSlot = nSlot;
    pPort->pOps = &g_PosixOps;
    if (PosixSetRate(pPort, dwBaudRate)) return 1;
    PrintRateRefused(pPort, dwBaudRate);
    ClosePort(pPort);
    return 0;
}

void ReleaseNativePorts(void) {
    for (OpenDescriptor &open : g_rgOpen) {
        if (open.fInUse) ReleaseSlot(&open);
    }
}
