// The terminal on Linux and macOS, through termios.
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include "console.h"

namespace {

// The terminal's state from before the monitor, for RestoreConsole and the signal handler.
struct termios g_tioBefore;
volatile sig_atomic_t g_fChanged = 0;

}  // namespace

int IsTerminalInput(void) {
    return isatty(STDIN_FILENO);
}

// Output processing stays (the chip's "\n" still returns the carriage) and so does ISIG for
// Ctrl-C alone: it interrupts as everywhere else in the tool, and its handler restores the
// terminal.
int EnterKeyByKeyConsole(void) {
    if (!isatty(STDIN_FILENO) || g_fChanged) return 1;
    if (tcgetattr(STDIN_FILENO, &g_tioBefore) != 0) return 0;
    struct termios tio = g_tioBefore;
    tio.c_lflag &= ~(tcflag_t)(ICANON | ECHO | ECHONL | IEXTEN);
    tio.c_iflag &= ~(tcflag_t)(ICRNL | INLCR | IGNCR | IXON | IXOFF);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    // Ctrl-\ and Ctrl-Z would leave the terminal as it is now: they go to the chip instead.
    tio.c_cc[VQUIT] = _POSIX_VDISABLE;
    tio.c_cc[VSUSP] = _POSIX_VDISABLE;
    g_fChanged = 1;  // before the change: an interrupt in between restores what was there
    if (tcsetattr(STDIN_FILENO, TCSANOW, &tio) == 0) return 1;
    g_fChanged = 0;
    return 0;
}

void RestoreConsole(void) {
    if (!g_fChanged) return;
    (void)tcsetattr(STDIN_FILENO, TCSANOW, &g_tioBefore);
    g_fChanged = 0;
}

int ReadConsoleBytes(uint8_t *pbBuffer, uint32_t dwLength, uint32_t dwTimeoutMs,
                     uint32_t *pdwRead) {
    *pdwRead = 0;
    struct pollfd pfd = {STDIN_FILENO, POLLIN, 0};
    int nReady = poll(&pfd, 1, (int)dwTimeoutMs);
    if (nReady < 0) return errno == EINTR;
    if (nReady == 0) return 1;
    ssize_t nGot = read(STDIN_FILENO, pbBuffer, dwLength);
    if (nGot < 0) return errno == EINTR || errno == EAGAIN;
    if (nGot == 0) return 0;  // the end of input
    *pdwRead = (uint32_t)nGot;
    return 1;
}
