// hc11sim: a simulated 68HC11 target of the part table, reset in the mode its pins select
// (special bootstrap by default), behind a pseudo-terminal. Prints the terminal's path as its first
// line, serves it until SIGINT, SIGTERM or --exit-after, then writes the --dump and the --stats.
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "memory_image.h"
#include "options.h"
#include "pty_wire.h"
#include "simulator.h"

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;
int g_wakePipe[2] = {-1, -1};

// Sets the flag and wakes a wait for input through the pipe.
void OnStopSignal(int) {
    g_stopRequested = 1;
    char byte = 1;
    ssize_t written = write(g_wakePipe[1], &byte, 1);
    (void)written;
}

bool InstallStopHandlers() {
    if (pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("hc11sim: pipe");
        return false;
    }
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

bool OpenWire(const hc11::SimOptions &options, hc11::PtyWire *wire) {
    if (!wire->open()) return false;
    if (!options.linkPath.empty() && !wire->link(options.linkPath)) return false;
    std::printf("%s\n", wire->slavePath().c_str());
    std::fflush(stdout);
    return true;
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
    if (options.trace) setvbuf(stderr, nullptr, _IOLBF, 1 << 16);
    // Real time sleeps to the character's stop bit; the default 50 us of slack would add
    // to every one of them.
    if (options.realtime) prctl(PR_SET_TIMERSLACK, 1000UL);
    hc11::SimConfig config;
    config.xram = options.xram;
    config.trace = options.trace ? stderr : nullptr;
    config.faults = options.faults;
    config.part = options.part;
    config.mode = options.mode;
    config.secure = options.secure;
    hc11::Simulator sim(config);
    if (!options.eepromPath.empty()) {
        if (!hc11::LoadEepromImage(sim.bus(), options.eepromPath.c_str())) return 1;
        sim.powerOn();  // the preloaded CONFIG is in force from the start
    }
    hc11::PtyWire wire;
    // The handlers go in before the path is printed: whoever reads it may signal at once.
    if (!InstallStopHandlers() || !OpenWire(options, &wire)) return 1;
    wire.setWakeDescriptor(g_wakePipe[0]);
    hc11::ServeOptions serveOptions;
    serveOptions.realtime = options.realtime;
    serveOptions.exitAfterSeconds = options.exitAfterSeconds;
    serveOptions.stopRequested = &g_stopRequested;
    sim.serve(wire, serveOptions);
    return Finish(options, sim);
}
