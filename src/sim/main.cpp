// hc11sim: a simulated 68HC11 target of the part table, powered up in the mode --mode gives
// its pins (special bootstrap by default) behind a pseudo-terminal or, with --listen, an
// RFC 2217 network port. Prints the terminal's path (or the port's rfc2217:// address) as its
// first line, serves it until SIGINT, SIGTERM or --exit-after, then writes the --dump and the
// --stats. SIGUSR1 (and --reset-after) resets the chip in the mode its pins then give:
// --reset-mode's, or --mode's.
#include <fcntl.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <csignal>
#include <cstdio>

#include "memory_image.h"
#include "options.h"
#include "pty_wire.h"
#include "rfc2217_wire.h"
#include "simulator.h"

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;
volatile std::sig_atomic_t g_resetRequested = 0;
int g_wakePipe[2] = {-1, -1};

// Sets the flag and wakes a wait for input through the pipe.
void OnSignal(int number) {
    if (number == SIGUSR1)
        g_resetRequested = 1;
    else
        g_stopRequested = 1;
    char byte = 1;
    ssize_t written = write(g_wakePipe[1], &byte, 1);
    (void)written;
}

// pipe2 is not in every POSIX system: the flags go on one call at a time.
bool MakeWakePipe() {
    if (pipe(g_wakePipe) != 0) return false;
    for (int fd : g_wakePipe) {
        int flags = fcntl(fd, F_GETFL);
        if (fcntl(fd, F_SETFD, FD_CLOEXEC) != 0 || flags < 0 ||
            fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
            return false;
    }
    return true;
}

bool InstallSignalHandlers() {
    if (!MakeWakePipe()) {
        std::perror("hc11sim: pipe");
        return false;
    }
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int number : {SIGINT, SIGTERM, SIGUSR1})
        if (sigaction(number, &action, nullptr) != 0) return false;
    return true;
}

// Real time sleeps to the character's stop bit; Linux's default 50 us of timer slack would
// add to every one of them. Elsewhere the system's own slack stands.
void AskForPreciseSleeps() {
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1000UL);
#endif
}

bool OpenWire(const hc11::SimOptions &options, hc11::PtyWire *wire) {
    if (!wire->open()) return false;
    if (!options.linkPath.empty() && !wire->link(options.linkPath)) return false;
    std::printf("%s\n", wire->slavePath().c_str());
    std::fflush(stdout);
    return true;
}

bool OpenNetworkWire(const hc11::SimOptions &options, hc11::Rfc2217Wire *wire) {
    if (!wire->listen(options.listenHost, options.listenPort)) return false;
    std::printf("%s\n", wire->url().c_str());
    std::fflush(stdout);
    return true;
}

hc11::ServeOptions ServeOptionsOf(const hc11::SimOptions &options) {
    hc11::ServeOptions serveOptions;
    serveOptions.realtime = options.realtime;
    serveOptions.exitAfterSeconds = options.exitAfterSeconds;
    serveOptions.latencyMs = options.latencyMs;
    serveOptions.stopRequested = &g_stopRequested;
    serveOptions.resetRequested = &g_resetRequested;
    serveOptions.resetAfterSeconds = options.resetAfterSeconds;
    serveOptions.wiring = options.wiring;
    return serveOptions;
}

int Finish(const hc11::SimOptions &options, const hc11::Simulator &sim) {
    int status = 0;
    if (!options.dumpPath.empty() && !hc11::WriteMemoryDump(sim.bus(), options.dumpPath.c_str()))
        status = 1;
    if (options.stats) hc11::PrintStats(sim.stats(), stdout);
    std::fflush(stdout);
    return status;
}

}  // namespace

int main(int argc, char **argv) {
    hc11::SimOptions options;
    switch (hc11::ParseSimOptions(argc, argv, &options)) {
        case hc11::ParseResult::Help:
            hc11::PrintSimUsage(argv[0]);
            return 0;
        case hc11::ParseResult::Error:
            return 2;
        case hc11::ParseResult::Run:
            break;
    }
    if (!options.dumpPath.empty() && !hc11::CheckMemoryDumpPath(options.dumpPath.c_str())) return 1;
    if (options.trace) setvbuf(stderr, nullptr, _IOLBF, 1 << 16);
    if (options.realtime) AskForPreciseSleeps();
    hc11::SimConfig config;
    config.xram = options.xram;
    config.trace = options.trace ? stderr : nullptr;
    config.faults = options.faults;
    config.part = options.part;
    config.mode = options.mode;
    config.secure = options.secure;
    config.crystalHz = options.crystalHz;
    config.resetMode = options.resetMode;
    hc11::Simulator sim(config);
    if (!options.eepromPath.empty()) {
        if (!hc11::LoadEepromImage(sim.bus(), options.eepromPath.c_str())) return 1;
        sim.powerOn();  // the preloaded CONFIG is in force from the start
    }
    hc11::PtyWire ptyWire;
    hc11::Rfc2217Wire networkWire;
    hc11::HostLine &wire = options.listen ? static_cast<hc11::HostLine &>(networkWire) : ptyWire;
    // The handlers go in before the path is printed: whoever reads it may signal at once.
    if (!InstallSignalHandlers()) return 1;
    if (!(options.listen ? OpenNetworkWire(options, &networkWire) : OpenWire(options, &ptyWire)))
        return 1;
    ptyWire.setWakeDescriptor(g_wakePipe[0]);
    networkWire.setWakeDescriptor(g_wakePipe[0]);
    sim.serve(wire, ServeOptionsOf(options));
    return Finish(options, sim);
}
