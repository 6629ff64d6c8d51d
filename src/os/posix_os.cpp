// The interrupt handler and the console on Linux and macOS.
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "console.h"
#include "native_port.h"
#include "os.h"

namespace {

volatile InterruptReportFn g_pfnReport = NULL;
std::atomic<int> g_fInterrupting(0);  // lock-free: set in the handler, read by the boards

void OnInterrupt(int nSignal) {
    g_fInterrupting = 1;
    RestoreConsole();
    ReleaseNativePorts();
    InterruptReportFn pfnReport = g_pfnReport;
    _exit(pfnReport != NULL ? pfnReport(128 + nSignal) : 128 + nSignal);
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

void SetInterruptReport(InterruptReportFn pfnReport) {
    g_pfnReport = pfnReport;
}

int IsInterrupting(void) {
    return g_fInterrupting;
}

// Nothing is left to do about a failed write here.
void WriteInterruptText(int fError, const char *pchText, size_t cchText) {
    ssize_t nIgnored = write(fError ? STDERR_FILENO : STDOUT_FILENO, pchText, cchText);
    (void)nIgnored;
}

void RemoveFileNow(const char *pszPath) {
    (void)unlink(pszPath);
}

int IsTerminalOutput(void) {
    return isatty(STDOUT_FILENO);
}

uint32_t GetTerminalColumns(void) {
    struct winsize size;
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

int CanRedrawLines(void) {
    const char *pszTerm = getenv("TERM");
    return isatty(STDOUT_FILENO) && pszTerm != NULL && pszTerm[0] != '\0' &&
           strcmp(pszTerm, "dumb") != 0;
}

uint64_t GetMonotonicMs(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000 + (uint64_t)ts.tv_nsec / 1000000;
}
