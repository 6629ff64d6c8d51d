#include "simulator.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>

namespace hc11 {

namespace {

using WallClock = std::chrono::steady_clock;

constexpr uint64_t kFastSliceCycles = 20000;    // between looks at the wire when running flat out
constexpr uint64_t kRealtimeLeadCycles = 2000;  // 1 ms
constexpr size_t kPollHistory = 4;
constexpr size_t kNoCount = SIZE_MAX;
constexpr uint64_t kMaxBurstCycles = 20000;  // a burst is passed on in parts after 10 ms
constexpr size_t kAdapterPacketBytes = 62;   // a full-speed USB packet, less its status bytes

bool SameState(const Registers &a, const Registers &b) {
    return a.a == b.a && a.b == b.b && a.x == b.x && a.y == b.y && a.sp == b.sp && a.pc == b.pc &&
           a.ccr == b.ccr;
}

double SecondsSince(WallClock::time_point start) {
    return std::chrono::duration<double>(WallClock::now() - start).count();
}

// Ties simulated cycles to the wall clock from the moment serving began.
class WallAnchor {
  public:
    explicit WallAnchor(uint64_t cycle) : cycle_(cycle), start_(WallClock::now()) {}
    uint64_t cycleNow() const { return cycle_ + uint64_t(SecondsSince(start_) * kEClockHz); }
    // Seconds until the wall clock reaches cycle: 0 if it has, infinity for UINT64_MAX.
    double secondsUntil(uint64_t cycle) const {
        if (cycle == UINT64_MAX) return std::numeric_limits<double>::infinity();
        return std::max(0.0,
                        CyclesToSeconds(cycle - std::min(cycle, cycle_)) - SecondsSince(start_));
    }

  private:
    uint64_t cycle_;
    WallClock::time_point start_;
};

constexpr double kForever = std::numeric_limits<double>::infinity();
constexpr double kClockWatchSeconds = 100e-6;

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

// As fast as it can, simulated time runs far ahead of the host. A timeout that watches the
// line (the boot ROM's idle end of a load) is therefore held until the wall clock has seen
// the line stay that quiet.
class LineQuiet {
  public:
    void hostActive() { since_.reset(); }
    // Seconds still to wait before cyclesLeft of quiet have passed on the wall clock.
    double remaining(uint64_t cyclesLeft) {
        if (!since_) since_ = WallClock::now();
        return std::max(0.0, CyclesToSeconds(cyclesLeft) - SecondsSince(*since_));
    }

  private:
    std::optional<WallClock::time_point> since_;
};

Simulator::Simulator(const SimConfig &config)
    : trace_(config.trace),
      bus_(clock_, trace_, config.part ? *config.part : *GetDefaultPart(), config.xram),
      cpu_(bus_),
      bootRom_(bus_, trace_, clock_, config.secure),
      mode_(config.mode),
      faults_(config.faults) {
    for (const Fault &fault : config.faults)
        if (fault.kind == FaultKind::Stuck) bus_.eeprom().setStuck(uint16_t(fault.value));
    bus_.sci().setTransmitSink(
        [this](const Frame &frame, uint64_t endCycle) { onTargetFrame(frame, endCycle); });
    powerOn();
}

void Simulator::powerOn() {
    resetInto(ChipMode::Bootstrap);
    powerOnBreak_ = true;
}

void Simulator::resetInto(ChipMode mode, uint16_t vector) {
    trace_.line(clock_.now, "reset in %s mode",
                mode == ChipMode::Bootstrap    ? "bootstrap"
                : mode == ChipMode::SingleChip ? "single-chip"
                                               : "expanded");
    powerOnBreak_ = false;
    bus_.reset(mode);
    cpu_.reset(vector);
    bootRomRunning_ = false;
    lineFreeAt_ = clock_.now;
    polls_.clear();
    waiting_ = false;
    if (cpu_.regs().pc == kBootRomStart && bus_.bootRomMapped()) enterBootRom();
    bus_.takeAttention();
    updateNextEvent();
}

void Simulator::startAt(uint16_t pc) {
    bus_.reset(ChipMode::Bootstrap);
    bus_.sci().configure(BootRom::kBaud1200, BootRom::kSciOn);
    bus_.write(kRegisterBase + reg::SPCR,
               uint8_t(bus_.peek(kRegisterBase + reg::SPCR) | spcr::DWOM));
    cpu_.reset();
    cpu_.regs() = BootRom::EntryRegisters(bus_.part(), pc, 0, 0);
    bootRomRunning_ = false;
    polls_.clear();
    bus_.takeAttention();
    updateNextEvent();
}

void Simulator::load(uint16_t address, const std::vector<uint8_t> &bytes) {
    for (uint8_t value : bytes) poke(address++, value);
}

void Simulator::enterBootRom() {
    trace_.line(clock_.now, "boot ROM entered at $%04X", kBootRomStart);
    bootRomRunning_ = true;
    bootRom_.start();
}

void Simulator::hostSend(const std::vector<uint8_t> &bytes, unsigned baud) {
    queueHostBytes(bytes, baud, clock_.now);
}

void Simulator::queueHostBytes(const std::vector<uint8_t> &bytes, unsigned baud,
                               uint64_t startCycle) {
    hostBaud_ = baud;
    if (faults_.dead()) {
        trace_.line(clock_.now, "fault: the line is dead, %zu host byte(s) lost", bytes.size());
        return;
    }
    double bitCycles = baud ? BitCyclesAtBaud(baud) : double(bus_.sci().bitCycles());
    for (uint8_t value : bytes) {
        Frame frame = Frame::AtRate(value, bitCycles);
        // Never before the present: the CPU has already run past it, and every character
        // that should have come in meanwhile would complete at once.
        uint64_t start = std::max({startCycle, lineFreeAt_, clock_.now});
        bus_.sci().lineIn(frame, start);
        lineFreeAt_ = start + uint64_t(frame.length() + 0.5);
        stats_.rxBytes++;
        stats_.wireSeconds += frame.length() / kEClockHz;
        trace_.line(lineFreeAt_, "wire: host -> target $%02X at %u baud", value, baud);
    }
    polls_.clear();
    waiting_ = false;
    updateNextEvent();
}

unsigned Simulator::currentHostBaud() {
    return line_ ? line_->hostBaud() : hostBaud_;
}

// The line carries the character to the host as the faults let it; a stray character
// follows right behind its stop bit.
void Simulator::onTargetFrame(const Frame &frame, uint64_t endCycle) {
    if (frame.lineBreak && powerOnBreak_) {
        powerOnBreak_ = false;
        trace_.line(clock_.now, "wire: the power-up break, before any host could listen");
        return;
    }
    stats_.txBytes++;
    stats_.wireSeconds += frame.length() / kEClockHz;
    Delivery delivery = faults_.targetSent();
    traceDelivery(delivery, frame.value);
    if (delivery.resetAfter) resetPending_ = true;
    if (delivery.reachesHost) {
        Frame carried = frame;
        if (delivery.inverted) carried.value = uint8_t(~frame.value);
        passToHost(carried, endCycle - uint64_t(frame.length() + 0.5), endCycle);
    }
    if (delivery.noiseAfter) {
        Frame noise = Frame::AtRate(kNoiseByte, frame.bitCycles);
        passToHost(noise, endCycle, endCycle + uint64_t(noise.length() + 0.5));
    }
}

void Simulator::traceDelivery(const Delivery &delivery, uint8_t value) {
    if (!trace_.enabled()) return;
    auto number = static_cast<unsigned long long>(delivery.number);
    if (!delivery.reachesHost)
        trace_.line(clock_.now, "fault: byte %llu ($%02X) lost", number, value);
    if (delivery.inverted)
        trace_.line(clock_.now, "fault: byte %llu ($%02X) inverted", number, value);
    if (delivery.noiseAfter) trace_.line(clock_.now, "fault: noise after byte %llu", number);
    if (delivery.lineDiesAfter) trace_.line(clock_.now, "fault: line dead after byte %llu", number);
    if (delivery.resetAfter) trace_.line(clock_.now, "fault: reset after byte %llu", number);
}

// The host reads each character at the rate its port has when the character reaches it.
void Simulator::passToHost(const Frame &frame, uint64_t start, uint64_t end) {
    if (line_) {
        if (heldForLine_.empty()) firstHeldAt_ = WallClock::now();
        heldForLine_.push_back({frame, start, end});
        return;
    }
    targetSent_.push_back({readByHost(frame, end), end});
}

uint8_t Simulator::readByHost(const Frame &frame, uint64_t cycle) {
    unsigned baud = currentHostBaud();
    uint8_t seen = baud ? Receive(frame, BitCyclesAtBaud(baud)).value : frame.value;
    trace_.line(cycle, "wire: target -> host $%02X, read as $%02X by the host at %u baud",
                frame.value, seen, baud);
    return seen;
}

RunEnd Simulator::runUntilSent(size_t count, uint64_t maxCycles) {
    return run({clock_.now + maxCycles, count, true});
}

RunEnd Simulator::runCycles(uint64_t cycles) {
    return run({clock_.now + cycles, kNoCount, false});
}

RunEnd Simulator::runUntilWaiting(uint64_t maxCycles) {
    return run({clock_.now + maxCycles, kNoCount, true});
}

RunEnd Simulator::run(const Goal &goal) {
    for (;;) {
        if (clock_.now >= nextEvent_) serviceDevices();
        if (targetSent_.size() >= goal.sentCount) return RunEnd::Reached;
        if (clock_.now >= goal.limit) return RunEnd::CycleLimit;
        clock_.now += stepProcessor();
        if (!bus_.attention() && !bootRomRunning_ && cpu_.state() == CpuState::Running) continue;
        waiting_ = detectWaiting();
        if (!waiting_) continue;
        if (nextEvent_ == UINT64_MAX && goal.stopWhenWaiting) return RunEnd::Waiting;
        skipWaiting(std::min(nextEvent_, goal.limit));
    }
}

unsigned Simulator::stepProcessor() {
    if (bootRomRunning_) {
        unsigned cycles = bootRom_.step();
        if (bootRom_.finished()) {
            bootRomRunning_ = false;
            cpu_.reset();
            cpu_.regs() = bootRom_.exitRegisters();
        }
        return cycles;
    }
    if (trace_.enabled()) traceInstruction();
    unsigned cycles = cpu_.step();
    if (cpu_.regs().pc == kBootRomStart && bus_.bootRomMapped()) enterBootRom();
    return cycles;
}

void Simulator::traceInstruction() {
    unsigned length = 0;
    uint16_t pc = cpu_.regs().pc;
    std::string text = cpu_.disassemble(pc, &length);
    trace_.line(clock_.now, "%04X  %s", pc, text.c_str());
}

void Simulator::serviceDevices() {
    bus_.advanceDevices();
    if (bus_.cop().takeTimeout()) resetInto(mode_, Cop::kVector);
    applyPendingReset();
    polls_.clear();
    waiting_ = false;
    updateNextEvent();
}

// The reset comes when the SCI has finished the character it was asked for, not from inside
// the SCI's own bookkeeping: the character behind it, already shifting, is lost.
void Simulator::applyPendingReset() {
    if (!resetPending_) return;
    resetPending_ = false;
    trace_.line(clock_.now, "fault: the chip resets");
    reset();
}

void Simulator::updateNextEvent() {
    nextEvent_ = bus_.nextDeviceEvent();
    if (bootRomRunning_ && !holdLineTimeouts_)
        nextEvent_ = std::min(nextEvent_, bootRom_.nextEvent());
}

// The target waits when its next steps can only repeat the last ones until a device changes:
// the boot ROM polling, the CPU in WAI or STOP, or the CPU back at a poll of SCSR (RDRF
// clear) with the same registers and no store in between.
bool Simulator::detectWaiting() {
    uint8_t happened = bus_.takeAttention();
    if (happened & attention::RegisterWrite) {
        polls_.clear();
        updateNextEvent();
    }
    if (bootRomRunning_) {
        waitPeriod_ = BootRom::kPollCycles;
        if (!bootRom_.polling()) updateNextEvent();
        return bootRom_.polling();
    }
    if (cpu_.state() != CpuState::Running) {
        waitPeriod_ = 1;
        return true;
    }
    if (!(happened & attention::EmptyPoll)) return false;
    PollSnapshot now{cpu_.regs(), bus_.storeCount(), clock_.now};
    for (const PollSnapshot &earlier : polls_) {
        if (earlier.stores == now.stores && SameState(earlier.registers, now.registers)) {
            waitPeriod_ = now.cycle - earlier.cycle;
            return true;
        }
    }
    if (polls_.size() == kPollHistory) polls_.erase(polls_.begin());
    polls_.push_back(now);
    return false;
}

void Simulator::skipWaiting(uint64_t until) {
    if (until <= clock_.now || waitPeriod_ == 0) return;
    uint64_t skipped = (until - clock_.now) / waitPeriod_ * waitPeriod_;
    if (skipped == 0) return;
    trace_.line(clock_.now, "waiting: %llu cycles skipped in passes of %llu",
                static_cast<unsigned long long>(skipped),
                static_cast<unsigned long long>(waitPeriod_));
    clock_.now += skipped;
    stats_.skippedCycles += skipped;
}

SimStats Simulator::stats() const {
    SimStats stats = stats_;
    stats.cycles = clock_.now;
    stats.eeprom = bus_.eeprom().stats();
    stats.sci = bus_.sci().stats();
    return stats;
}

// A served line gets the target's characters in bursts: characters sent back to back go to
// the host together, all read at the host's rate at that moment and written in one go, once
// the burst has ended and (in real time) the wall clock has reached its last stop bit. The
// last boot echo and the talker's first prompt right behind it so reach the host together,
// as on a real line, however quickly the host reopens its port and purges it. A burst that
// goes on for long is passed on in parts.
bool Simulator::passHeldBytes(HostLine &line, uint64_t dueBy) {
    size_t count = latencyCycles_ > 0 ? adapterRelease(dueBy) : burstRelease(dueBy);
    if (count == 0) return false;
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < count; i++)
        bytes.push_back(readByHost(heldForLine_[i].frame, heldForLine_[i].end));
    line.send(bytes.data(), bytes.size());
    heldForLine_.erase(heldForLine_.begin(), heldForLine_.begin() + long(count));
    firstHeldAt_ = WallClock::now();
    return true;
}

// --latency: the adapter holds what it received until its timer, started by the first byte
// it holds, expires, or until a packet's 62 bytes are in. In real time a byte is in the
// adapter once the wall clock has reached its stop bit and the timer runs in simulated
// cycles; as fast as it can, every byte sent is in at once and the timer runs on the wall
// clock.
size_t Simulator::adapterRelease(uint64_t dueBy) const {
    size_t inAdapter = 0;
    while (inAdapter < heldForLine_.size() && heldForLine_[inAdapter].end <= dueBy) inAdapter++;
    if (inAdapter >= kAdapterPacketBytes) return kAdapterPacketBytes;
    if (inAdapter == 0) return 0;
    bool expired = dueBy == UINT64_MAX
                       ? SecondsSince(firstHeldAt_) >= CyclesToSeconds(uint64_t(latencyCycles_))
                       : dueBy >= heldForLine_.front().end + uint64_t(latencyCycles_);
    return expired ? inAdapter : 0;
}

// Seconds until the adapter's timer expires on the wall clock, as fast as it can.
double Simulator::adapterWait(bool realtime) const {
    if (latencyCycles_ <= 0 || realtime || heldForLine_.empty()) return kForever;
    return std::max(0.0, CyclesToSeconds(uint64_t(latencyCycles_)) - SecondsSince(firstHeldAt_));
}

size_t Simulator::burstRelease(uint64_t dueBy) const {
    size_t count = 0;
    while (count < heldForLine_.size()) {
        size_t end = burstEnd(count);
        if (end == kNoCount || heldForLine_[end - 1].end > dueBy) break;
        count = end;
    }
    if (count == 0 && !heldForLine_.empty() &&
        heldForLine_.front().end + kMaxBurstCycles <= std::min(dueBy, clock_.now)) {
        while (count < heldForLine_.size() && heldForLine_[count].end <= dueBy) count++;
    }
    return count;
}

// One past the last held character of the burst that begins at first, or kNoCount while the
// transmitter is still adding to it.
size_t Simulator::burstEnd(size_t first) const {
    size_t last = first;
    while (last + 1 < heldForLine_.size() && heldForLine_[last + 1].start <= heldForLine_[last].end)
        last++;
    bool continuing =
        last + 1 == heldForLine_.size() && bus_.sci().characterStart() <= heldForLine_[last].end;
    return continuing ? kNoCount : last + 1;
}

bool Simulator::pumpHostInput(HostLine &line, uint64_t startCycle) {
    uint8_t buffer[256];
    size_t count = line.receive(buffer, sizeof buffer);
    if (count == 0) return false;
    queueHostBytes(std::vector<uint8_t>(buffer, buffer + count), line.hostBaud(), startCycle);
    return true;
}

// In real time the simulation runs at most a lead ahead of the wall clock, less than one
// character at 9600 baud: a host character, stamped with the wall time it was read at,
// then never ends before the cycle the CPU has reached.
uint64_t Simulator::sliceEnd(bool realtime, uint64_t wallCycle) const {
    return realtime ? wallCycle + kRealtimeLeadCycles : clock_.now + kFastSliceCycles;
}

// The cycle at which the serving loop runs the target on, or UINT64_MAX when only the host
// can give it something to do. In real time that is when the simulation is only half its
// lead ahead of the wall clock, so that a character exists before it is due at the host.
uint64_t Simulator::resumeCycle(bool realtime, RunEnd ran) const {
    if (ran == RunEnd::Waiting) return UINT64_MAX;
    if (!realtime) return 0;
    return clock_.now - std::min(clock_.now, kRealtimeLeadCycles / 2);
}

// In real time, the cycle at which the first held character is due at the host.
uint64_t Simulator::releaseCycle(bool realtime) const {
    if (!realtime || heldForLine_.empty()) return UINT64_MAX;
    if (latencyCycles_ <= 0) return heldForLine_.front().end;
    uint64_t timer = heldForLine_.front().end + uint64_t(latencyCycles_);
    if (heldForLine_.size() < kAdapterPacketBytes) return timer;
    return std::min(timer, heldForLine_[kAdapterPacketBytes - 1].end);
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
double Simulator::awaitLineTimeout(LineQuiet &quiet, RunEnd ran) {
    uint64_t timeout = bootRomRunning_ ? bootRom_.nextEvent() : UINT64_MAX;
    if (!holdLineTimeouts_ || ran != RunEnd::Waiting || timeout == UINT64_MAX) return kForever;
    double left = quiet.remaining(timeout - std::min(timeout, clock_.now));
    if (left > 0) return left;
    trace_.line(clock_.now, "line quiet: %llu cycles on to the boot ROM's timeout",
                static_cast<unsigned long long>(timeout - std::min(timeout, clock_.now)));
    clock_.now = std::max(clock_.now, timeout);
    quiet.hostActive();
    polls_.clear();
    waiting_ = false;
    return 0;
}

ServeEnd Simulator::serve(HostLine &line, const ServeOptions &options) {
    line_ = &line;
    latencyCycles_ = options.latencyMs * kEClockHz / 1000.0;
    holdLineTimeouts_ = !options.realtime;
    updateNextEvent();
    LineQuiet lineQuiet;
    WallAnchor wall(clock_.now);
    WallClock::time_point lastActivity = WallClock::now(), started = lastActivity;
    bool resetDone = false;
    ServeEnd end = ServeEnd::StopRequested;
    while (!(options.stopRequested && *options.stopRequested)) {
        if (resetWhenAsked(options, SecondsSince(started), &resetDone)) continue;
        uint64_t wallCycle = wall.cycleNow();
        if (options.realtime && waiting_) skipWaiting(std::min(wallCycle, nextEvent_));
        bool active = pumpHostInput(line, options.realtime ? wallCycle : clock_.now);
        if (active) lineQuiet.hostActive();
        RunEnd ran = run({sliceEnd(options.realtime, wallCycle), kNoCount, true});
        uint64_t dueBy = options.realtime ? wall.cycleNow() : UINT64_MAX;
        if (passHeldBytes(line, dueBy) || active) lastActivity = WallClock::now();
        double quiet = SecondsSince(lastActivity);
        if (options.exitAfterSeconds > 0 && quiet >= options.exitAfterSeconds) {
            end = ServeEnd::WireQuiet;
            break;
        }
        double limit = options.exitAfterSeconds > 0 ? options.exitAfterSeconds - quiet : kForever;
        limit = std::min({limit, awaitLineTimeout(lineQuiet, ran), adapterWait(options.realtime)});
        if (options.resetAfterSeconds > 0 && !resetDone)
            limit =
                std::min(limit, std::max(0.0, options.resetAfterSeconds - SecondsSince(started)));
        if (limit > 0)
            PauseServing(line, wall, resumeCycle(options.realtime, ran),
                         releaseCycle(options.realtime), limit);
    }
    latencyCycles_ = 0;  // whatever is held goes out now
    passHeldBytes(line, UINT64_MAX);
    holdLineTimeouts_ = false;
    updateNextEvent();
    line_ = nullptr;
    return end;
}

void PrintStats(const SimStats &stats, std::FILE *out) {
    const EepromStats &e = stats.eeprom;
    std::fprintf(out, "cycles %llu\n", static_cast<unsigned long long>(stats.cycles));
    std::fprintf(out, "rx_bytes %llu\n", static_cast<unsigned long long>(stats.rxBytes));
    std::fprintf(out, "tx_bytes %llu\n", static_cast<unsigned long long>(stats.txBytes));
    std::fprintf(out, "wire_seconds %.6f\n", stats.wireSeconds);
    const std::pair<const char *, uint64_t> counts[] = {{"eeprom_program", e.program},
                                                        {"eeprom_byte_erase", e.byteErase},
                                                        {"eeprom_row_erase", e.rowErase},
                                                        {"eeprom_bulk_erase", e.bulkErase},
                                                        {"eeprom_aborted", e.aborted}};
    for (const auto &count : counts)
        std::fprintf(out, "%s %llu\n", count.first, static_cast<unsigned long long>(count.second));
    std::fprintf(out, "eeprom_busy_seconds %.6f\n", CyclesToSeconds(e.busyCycles));
    const std::pair<const char *, uint64_t> more[] = {
        {"pprog_writes", e.pprogWrites},
        {"eeprom_protected", e.protectedOps},
        {"sci_overruns", stats.sci.overruns},
        {"sci_framing_errors", stats.sci.framingErrors},
        {"skipped_cycles", stats.skippedCycles}};
    for (const auto &count : more)
        std::fprintf(out, "%s %llu\n", count.first, static_cast<unsigned long long>(count.second));
    std::fprintf(out, "simulated_seconds %.6f\n", CyclesToSeconds(stats.cycles));
}

}  // namespace hc11
