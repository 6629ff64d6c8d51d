// The interrupt handler and the console on Linux and macOS.
#include <signal.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include "console.h"
#include "native_port.h"
#include "os.h"
#include "stopped_run.h"

namespace {

void OnInterrupt(int nSignal) {
    char szMessage[256];
    size_t cchMessage = FormatInterruptMessage(szMessage, sizeof(szMessage));
    RestoreConsole();
    ReleaseNativePorts();
    const char *pszLeftover = GetInterruptLeftover();
    if (pszLeftover != NULL) (void)unlink(pszLeftover);
    // The progress marks may have left standard output in mid-line. Nothing is left to do
    // about a failed write here.
    ssize_t nIgnored = write(STDOUT_FILENO, "\n", 1);
    nIgnored = write(STDERR_FILENO, szMessage, cchMessage);
    const char *pszVerdict = GetInterruptVerdict();
    nIgnored = write(STDOUT_FILENO, pszVerdict, strlen(pszVerdict));
    (void)nIgnored;
    _exit(128 + nSignal);
}

}  // namespace

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

uint32_t GetTerminalColumns(void) {
    struct winsize size;
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

uint64_t GetMonotonicMs(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000 + (uint64_t)ts.tv_nsec / 1000000;
}
