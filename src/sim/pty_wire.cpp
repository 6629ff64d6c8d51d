#include "pty_wire.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace hc11 {

namespace {

struct SpeedRate {
    speed_t speed;
    unsigned baud;
};

const SpeedRate kSpeeds[] = {{B50, 50},         {B75, 75},        {B110, 110},     {B134, 134},
                             {B150, 150},       {B200, 200},      {B300, 300},     {B600, 600},
                             {B1200, 1200},     {B1800, 1800},    {B2400, 2400},   {B4800, 4800},
                             {B9600, 9600},     {B19200, 19200},  {B38400, 38400}, {B57600, 57600},
                             {B115200, 115200}, {B230400, 230400}};

#ifdef __linux__
// The kernel's termios2: a rate without a speed code (BOTHER) is given in bit/s, as the host
// sets 7812, 15625 or 125000. (<asm/termbits.h> can't be included beside <termios.h>.)
struct KernelTermios2 {
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};

unsigned RateInBitsPerSecond(int fd) {
    KernelTermios2 tio;
    return ioctl(fd, _IOR('T', 0x2A, KernelTermios2), &tio) == 0 ? tio.c_ospeed : 0;  // TCGETS2
}
#else
// macOS keeps any rate in the speed field itself.
unsigned RateInBitsPerSecond(int fd) {
    termios tio;
    return tcgetattr(fd, &tio) == 0 ? unsigned(cfgetospeed(&tio)) : 0;
}
#endif

bool Fail(const char *what) {
    std::fprintf(stderr, "hc11sim: %s: %s\n", what, strerror(errno));
    return false;
}

}  // namespace

unsigned BaudFromSpeed(unsigned long speed) {
    for (const SpeedRate &entry : kSpeeds)
        if (entry.speed == speed) return entry.baud;
    return 0;
}

PtyWire::~PtyWire() {
    if (!linkPath_.empty()) unlink(linkPath_.c_str());
    if (slaveFd_ >= 0) close(slaveFd_);
    if (masterFd_ >= 0) close(masterFd_);
}

bool PtyWire::open() {
    // Not every system takes O_CLOEXEC here: the flag goes on afterwards.
    masterFd_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (masterFd_ < 0) return Fail("posix_openpt");
    if (fcntl(masterFd_, F_SETFD, FD_CLOEXEC) != 0) return Fail("fcntl");
    if (grantpt(masterFd_) != 0 || unlockpt(masterFd_) != 0) return Fail("grantpt/unlockpt");
    const char *name = ptsname(masterFd_);
    if (!name) return Fail("ptsname");
    slavePath_ = name;
    slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveFd_ < 0) return Fail(name);
    termios tio;
    if (tcgetattr(slaveFd_, &tio) != 0) return Fail("tcgetattr");
    cfmakeraw(&tio);
    cfsetispeed(&tio, B1200);
    cfsetospeed(&tio, B1200);
    if (tcsetattr(slaveFd_, TCSANOW, &tio) != 0) return Fail("tcsetattr");
    int flags = fcntl(masterFd_, F_GETFL);
    if (flags < 0 || fcntl(masterFd_, F_SETFL, flags | O_NONBLOCK) != 0) return Fail("fcntl");
    return true;
}

bool PtyWire::link(const std::string &linkPath) {
    struct stat existing;
    if (lstat(linkPath.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            std::fprintf(stderr, "hc11sim: --link %s: exists and is no symbolic link\n",
                         linkPath.c_str());
            return false;
        }
        unlink(linkPath.c_str());
    }
    if (symlink(slavePath_.c_str(), linkPath.c_str()) != 0) return Fail(linkPath.c_str());
    linkPath_ = linkPath;
    return true;
}

unsigned PtyWire::hostBaud() {
    termios tio;
    if (tcgetattr(slaveFd_, &tio) != 0) return 0;
    unsigned baud = BaudFromSpeed(cfgetospeed(&tio));
    return baud != 0 ? baud : RateInBitsPerSecond(slaveFd_);
}

size_t PtyWire::receive(uint8_t *buffer, size_t room) {
    ssize_t count = read(masterFd_, buffer, room);
    return count > 0 ? size_t(count) : 0;
}

// Bytes the host's side cannot take (its input queue full while nobody reads the port) are
// dropped, as a real line would lose them.
void PtyWire::send(const uint8_t *bytes, size_t count) {
    while (count > 0) {
        ssize_t written = write(masterFd_, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            dropped_ += count;
            return;
        }
        bytes += written;
        count -= size_t(written);
    }
}

void PtyWire::waitForInput(double seconds) {
    WaitReadable(masterFd_, wakeFd_, seconds);
}

// pselect, POSIX everywhere, keeps the nanoseconds that real time needs. The wake descriptor
// is emptied once it has woken the wait: left readable, it would end every wait after it.
void WaitReadable(int fd, int wakeFd, double seconds) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    if (wakeFd >= 0) FD_SET(wakeFd, &readable);
    timespec timeout;
    timespec *limit = nullptr;
    if (seconds >= 0) {
        double whole = std::floor(seconds);
        timeout.tv_sec = time_t(whole);
        timeout.tv_nsec = long((seconds - whole) * 1e9);
        limit = &timeout;
    }
    if (pselect(std::max(fd, wakeFd) + 1, &readable, nullptr, nullptr, limit, nullptr) <= 0) return;
    if (wakeFd < 0 || !FD_ISSET(wakeFd, &readable)) return;
    char drained[64];  // one read: readable, it cannot block, and it takes what is there
    ssize_t count = read(wakeFd, drained, sizeof drained);
    (void)count;
}

}  // namespace hc11
