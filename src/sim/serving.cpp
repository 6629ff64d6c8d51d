// Simulator::serve: hc11sim's serving loop, between the chip's time and the wall clock.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>

#include "simulator.h"

namespace hc11 {

namespace {

using WallClock = std::chrono::steady_clock;

constexpr uint64_t kFastSliceCycles = 20000;    // between looks at the wire when running flat out
constexpr double kRealtimeLeadSeconds = 0.001;  // 2000 cycles at E = 2 MHz
constexpr double kForever = std::numeric_limits<double>::infinity();
constexpr double kClockWatchSeconds = 100e-6;

double SecondsSince(WallClock::time_point start) {
    return std::chrono::duration<double>(WallClock::now() - start).count();
}

}  // namespace

// Ties simulated cycles to the wall clock from the moment serving began.
class WallAnchor {
  public:
    explicit WallAnchor(const Clock &clock)
        : clock_(clock), cycle_(clock.now), start_(WallClock::now()) {}
    uint64_t cycleNow() const { return cycle_ + uint64_t(SecondsSince(start_) * clock_.eHz); }
    // Seconds until the wall clock reaches cycle: 0 if it has, infinity for UINT64_MAX.
    double secondsUntil(uint64_t cycle) const {
        if (cycle == UINT64_MAX) return kForever;
        return std::max(0.0,
                        clock_.seconds(cycle - std::min(cycle, cycle_)) - SecondsSince(start_));
    }

  private:
    const Clock &clock_;
    uint64_t cycle_;
    WallClock::time_point start_;
};

// As fast as it can, simulated time runs far ahead of the host. A timeout that watches the
// line (the boot ROM's idle end of a load) is therefore held until the wall clock has seen
// the line stay that quiet.
class LineQuiet {
  public:
    void hostActive() { since_.reset(); }
    // Seconds still to wait before secondsLeft of quiet have passed on the wall clock.
    double remaining(double secondsLeft) {
        if (!since_) since_ = WallClock::now();
        return std::max(0.0, secondsLeft - SecondsSince(*since_));
    }

  private:
    std::optional<WallClock::time_point> since_;
};

namespace {

// Sleeps until the host sends something, the wall clock reaches resume, or limit seconds
// pass; or, when a character is due at the host within kClockWatchSeconds, watches the clock
// until then: a sleep can overshoot by tens of microseconds.
void PauseServing(HostLine &line, const WallAnchor &wall, uint64_t resume, uint64_t release,
                  double limit) {
    double toRelease = wall.secondsUntil(release);
    double seconds = std::min({wall.secondsUntil(resume), toRelease - kClockWatchSeconds, limit});
    if (seconds > 0) {
        line.waitForInput(std::isinf(seconds) ? -1 : seconds);
    } else if (toRelease < kClockWatchSeconds) {
        while (wall.secondsUntil(release) > 0) {
        }
    }
}

}  // namespace

// The held characters that are due go to the host in one write, each read at the host's rate.
bool Simulator::passHeldBytes(HostLine &line, uint64_t dueBy) {
    size_t count = adapter_.release(dueBy, chip_.cycles(), bus().sci().characterStart());
    if (count == 0) return false;
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < count; i++)
        bytes.push_back(readByHost(adapter_[i].frame, adapter_[i].end));
    line.send(bytes.data(), bytes.size());
    adapter_.drop(count);
    return true;
}

// What the host sent since the last look: its bytes, then the moves of its modem lines, then
// its breaks, each kind in the order it came.
bool Simulator::pumpHostInput(HostLine &line, uint64_t startCycle) {
    uint8_t buffer[256];
    size_t count = line.receive(buffer, sizeof buffer);
    if (count > 0)
        queueHostBytes(std::vector<uint8_t>(buffer, buffer + count), line.hostBaud(), startCycle);
    bool active = count > 0;
    bool dtr = false, rts = false;
    while (line.takeLineChange(&dtr, &rts)) {
        wiring_.linesMoved(chip_, dtr, rts);
        active = true;
    }
    while (line.takeBreak()) {
        hostSendBreak(line.hostBaud());
        active = true;
    }
    return active;
}

// In real time the simulation runs at most a lead ahead of the wall clock, less than one
// character at 9600 baud.
uint64_t Simulator::sliceEnd(bool realtime, uint64_t wallCycle) const {
    return realtime ? wallCycle + chip_.clock().cyclesFor(kRealtimeLeadSeconds)
                    : chip_.cycles() + kFastSliceCycles;
}

// The cycle at which the serving loop runs the target on, or UINT64_MAX when only the host
// can give it something to do. In real time that is when the simulation is only half its
// lead ahead of the wall clock, so that a character exists before it is due at the host.
uint64_t Simulator::resumeCycle(bool realtime, RunEnd ran) const {
    if (ran == RunEnd::Waiting) return UINT64_MAX;
    if (!realtime) return 0;
    return chip_.cycles() -
           std::min(chip_.cycles(), chip_.clock().cyclesFor(kRealtimeLeadSeconds) / 2);
}

// SIGUSR1 and --reset-after: the chip resets, the host's port stays as it is, and what the
// target sent before the reset still reaches the host. True when it reset.
bool Simulator::resetWhenAsked(const ServeOptions &options, double servingSeconds,
                               bool *resetDone) {
    bool asked = options.resetRequested && *options.resetRequested;
    bool due =
        options.resetAfterSeconds > 0 && !*resetDone && servingSeconds >= options.resetAfterSeconds;
    if (!asked && !due) return false;
    if (asked) *options.resetRequested = 0;
    if (due) *resetDone = true;
    reset();
    return true;
}

// Seconds the serving loop may pause before a held line timeout falls due; once it has, the
// clock jumps to it and 0 is returned.
double Simulator::awaitLineTimeout(LineQuiet &quiet, RunEnd ran, bool holding) {
    uint64_t timeout = chip_.lineTimeout();
    if (!holding || ran != RunEnd::Waiting || timeout == UINT64_MAX) return kForever;
    double left =
        quiet.remaining(chip_.clock().seconds(timeout - std::min(timeout, chip_.cycles())));
    if (left > 0) return left;
    chip_.jumpToLineTimeout();
    quiet.hostActive();
    return 0;
}

// One look at the wire: the host's input in, the chip run on, what is due out. True when
// something crossed the wire.
bool Simulator::serveOnce(HostLine &line, const ServeOptions &options, const WallAnchor &wall,
                          LineQuiet &quiet, RunEnd *ran) {
    uint64_t wallCycle = wall.cycleNow();
    if (options.realtime && chip_.waiting())
        chip_.skipWaiting(std::min(wallCycle, chip_.nextEvent()));
    bool active = pumpHostInput(line, options.realtime ? wallCycle : chip_.cycles());
    if (active) quiet.hostActive();
    *ran = wiring_.resetHeld() ? RunEnd::Waiting
                               : run({sliceEnd(options.realtime, wallCycle), Chip::kNoCount, true});
    uint64_t dueBy = options.realtime ? wall.cycleNow() : UINT64_MAX;
    return passHeldBytes(line, dueBy) || active;
}

ServeEnd Simulator::serve(HostLine &line, const ServeOptions &options) {
    line_ = &line;
    adapter_.setLatency(options.latencyMs * chip_.clock().eHz / 1000.0);
    chip_.holdLineTimeouts(!options.realtime);
    wiring_ = LineWiring(options.wiring, releasedMode_);
    LineQuiet lineQuiet;
    WallAnchor wall(chip_.clock());
    WallClock::time_point lastActivity = WallClock::now(), started = lastActivity;
    bool resetDone = false;
    ServeEnd end = ServeEnd::StopRequested;
    while (!(options.stopRequested && *options.stopRequested)) {
        if (resetWhenAsked(options, SecondsSince(started), &resetDone)) continue;
        RunEnd ran;
        if (serveOnce(line, options, wall, lineQuiet, &ran)) lastActivity = WallClock::now();
        double quiet = SecondsSince(lastActivity);
        if (options.exitAfterSeconds > 0 && quiet >= options.exitAfterSeconds) {
            end = ServeEnd::WireQuiet;
            break;
        }
        double limit = options.exitAfterSeconds > 0 ? options.exitAfterSeconds - quiet : kForever;
        limit = std::min({limit, awaitLineTimeout(lineQuiet, ran, !options.realtime),
                          adapter_.wallWait(options.realtime)});
        if (options.resetAfterSeconds > 0 && !resetDone)
            limit =
                std::min(limit, std::max(0.0, options.resetAfterSeconds - SecondsSince(started)));
        if (limit > 0)
            PauseServing(line, wall, resumeCycle(options.realtime, ran),
                         adapter_.releaseCycle(options.realtime), limit);
    }
    adapter_.setLatency(0);  // whatever is held goes out now
    passHeldBytes(line, UINT64_MAX);
    chip_.holdLineTimeouts(false);
    line_ = nullptr;
    return end;
}

}  // namespace hc11
