#include "chip.h"

#include <algorithm>

#include "chip_devices.h"

namespace hc11 {

namespace {

constexpr size_t kPollHistory = 4;

bool SameState(const Registers &a, const Registers &b) {
    return a.a == b.a && a.b == b.b && a.x == b.x && a.y == b.y && a.sp == b.sp && a.pc == b.pc &&
           a.ccr == b.ccr;
}

}  // namespace

Chip::Chip(const SimConfig &config)
    : clock_(config.crystalHz),
      trace_(config.trace),
      part_(config.part ? *config.part : *GetDefaultPart()),
      bus_(clock_, trace_, part_, config.xram, BuildChipDevices(clock_, trace_, part_)),
      cpu_(bus_),
      bootRom_(bus_, trace_, clock_, config.secure),
      mode_(config.mode),
      powerUpMode_(config.mode),
      resetMode_(config.resetMode.value_or(config.mode)) {
    for (const Fault &fault : config.faults)
        if (fault.kind == FaultKind::Stuck) bus_.eeprom().setStuck(uint16_t(fault.value));
    powerOn();
}

void Chip::powerOn() {
    resetThrough(powerUpMode_, kResetVector);
    powerOnBreak_ = powerUpMode_ == ChipMode::Bootstrap;
    mode_ = resetMode_;
}

bool Chip::takePowerOnBreak() {
    bool pending = powerOnBreak_;
    powerOnBreak_ = false;
    return pending;
}

void Chip::resetThrough(ChipMode mode, uint16_t vector) {
    trace_.line(clock_.now, "reset in %s mode",
                mode == ChipMode::Bootstrap    ? "bootstrap"
                : mode == ChipMode::SingleChip ? "single-chip"
                                               : "expanded");
    powerOnBreak_ = false;
    bus_.reset(mode);
    cpu_.reset(vector);
    bootRomRunning_ = false;
    if (onReset_) onReset_();
    polls_.clear();
    waiting_ = false;
    if (cpu_.regs().pc == kBootRomStart && bus_.bootRomMapped()) enterBootRom();
    bus_.takeAttention();
    updateNextEvent();
}

void Chip::startAt(uint16_t pc) {
    bus_.reset(ChipMode::Bootstrap);
    bus_.sci().configure(kBootRomBaudSlow, BootRom::kSciOn);
    uint16_t spcrAddress = bus_.registerAddress(reg::SPCR);
    bus_.write(spcrAddress, uint8_t(bus_.peek(spcrAddress) | spcr::DWOM));
    cpu_.reset();
    cpu_.regs() = BootRom::EntryRegisters(bus_.part(), pc, 0, 0);
    bootRomRunning_ = false;
    polls_.clear();
    bus_.takeAttention();
    updateNextEvent();
}

void Chip::enterBootRom() {
    trace_.line(clock_.now, "boot ROM entered at $%04X", kBootRomStart);
    bootRomRunning_ = true;
    bootRom_.start();
}

void Chip::inputQueued() {
    lookAgain();
    updateNextEvent();
}

void Chip::lookAgain() {
    polls_.clear();
    waiting_ = false;
}

RunEnd Chip::run(const Goal &goal, const std::function<size_t()> &sentSoFar) {
    for (;;) {
        if (clock_.now >= nextEvent_) serviceDevices();
        if (goal.sentCount != kNoCount && sentSoFar() >= goal.sentCount) return RunEnd::Reached;
        if (clock_.now >= goal.limit) return RunEnd::CycleLimit;
        clock_.now += stepProcessor();
        if (!bus_.attention() && !bootRomRunning_ && cpu_.state() == CpuState::Running) continue;
        waiting_ = detectWaiting();
        if (!waiting_) continue;
        if (nextEvent_ == UINT64_MAX && goal.stopWhenWaiting) return RunEnd::Waiting;
        skipWaiting(std::min(nextEvent_, goal.limit));
    }
}

unsigned Chip::stepProcessor() {
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

void Chip::traceInstruction() {
    unsigned length = 0;
    uint16_t pc = cpu_.regs().pc;
    std::string text = cpu_.disassemble(pc, &length);
    trace_.line(clock_.now, "%04X  %s", pc, text.c_str());
}

void Chip::serviceDevices() {
    bus_.advanceDevices();
    if (std::optional<uint16_t> vector = bus_.takeResetRequest()) resetThrough(mode_, *vector);
    applyPendingReset();
    lookAgain();
    updateNextEvent();
}

// The reset comes when the SCI has finished the character it was asked for, not from inside
// the SCI's own bookkeeping: the character behind it, already shifting, is lost.
void Chip::applyPendingReset() {
    if (!resetPending_) return;
    resetPending_ = false;
    trace_.line(clock_.now, "fault: the chip resets");
    reset();
}

void Chip::updateNextEvent() {
    nextEvent_ = bus_.nextDeviceEvent();
    if (bootRomRunning_ && !holdLineTimeouts_)
        nextEvent_ = std::min(nextEvent_, bootRom_.nextEvent());
}

// The target waits when its next steps can only repeat the last ones until a device changes:
// the boot ROM polling, the CPU in WAI or STOP, or the CPU back at a poll of SCSR (RDRF
// clear) with the same registers and no store in between.
bool Chip::detectWaiting() {
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

void Chip::skipWaiting(uint64_t until) {
    if (until <= clock_.now || waitPeriod_ == 0) return;
    uint64_t skipped = (until - clock_.now) / waitPeriod_ * waitPeriod_;
    if (skipped == 0) return;
    trace_.line(clock_.now, "waiting: %llu cycles skipped in passes of %llu",
                static_cast<unsigned long long>(skipped),
                static_cast<unsigned long long>(waitPeriod_));
    clock_.now += skipped;
    skippedCycles_ += skipped;
}

void Chip::holdLineTimeouts(bool hold) {
    holdLineTimeouts_ = hold;
    updateNextEvent();
}

uint64_t Chip::lineTimeout() const {
    return bootRomRunning_ ? bootRom_.nextEvent() : UINT64_MAX;
}

void Chip::jumpToLineTimeout() {
    uint64_t timeout = lineTimeout();
    trace_.line(clock_.now, "line quiet: %llu cycles on to the boot ROM's timeout",
                static_cast<unsigned long long>(timeout - std::min(timeout, clock_.now)));
    clock_.now = std::max(clock_.now, timeout);
    lookAgain();
}

}  // namespace hc11
