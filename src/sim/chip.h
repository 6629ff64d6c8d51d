// The chip: a 68HC11 of the part table (CPU, memory map, SCI, EEPROM, boot ROM; the 811E2
// and an 8 MHz crystal, E = 2 MHz, unless SimConfig says otherwise), and the time loop that
// runs it. Knows nothing of the host: its wire (simulator.h) feeds the SCI and takes what it sends.
//
// Each run returns why it stopped: its goal was reached, the cycle budget ran out, or the
// target waits for input that is not coming (RunEnd::Waiting), which is detected exactly: the
// CPU polls SCSR with RDRF clear and comes back to the same registers without storing
// anything, while nothing is on the way. While the target so waits with something on the way
// (a character arriving, one shifting out, an EEPROM operation short of its 10 ms), time is
// skipped forward by whole passes of its polling loop, so cycle counts stay exact.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

#include "boot_rom.h"
#include "bus.h"
#include "clock.h"
#include "cpu.h"
#include "trace.h"
#include "wire_faults.h"

namespace hc11 {

struct SimConfig {
    const PartInfo *part = nullptr;       // the chip; the default part (811E2) when null
    ChipMode mode = ChipMode::Bootstrap;  // the mode pins at power-up and every reset
    bool secure = false;                  // the part's mask honours NOSEC = 0 (--secure)
    std::optional<AddressRange> xram;     // external RAM, reached in expanded mode
    std::FILE *trace = nullptr;           // --trace output, none when null
    std::vector<Fault> faults;            // --fault: failures of the field to play

    // --crystal: E runs at a quarter of it.
    double crystalHz = kDefaultCrystalHz;
    // --reset-mode: the mode pins from the first reset after power-up on, when they differ
    // from mode's (a jumper moved once the board is up).
    std::optional<ChipMode> resetMode;
};

enum class RunEnd { Reached, CycleLimit, Waiting };

class Chip {
  public:
    struct Goal {
        uint64_t limit;    // cycle to stop at
        size_t sentCount;  // stop when the target has sent this many bytes (see sentSoFar)
        bool stopWhenWaiting;
    };
    static constexpr size_t kNoCount = SIZE_MAX;

    explicit Chip(const SimConfig &config);
    Chip(const Chip &) = delete;
    Chip &operator=(const Chip &) = delete;

    // Reset in the mode the pins now give (bootstrap: the boot ROM sends its break and waits
    // for its first character; single-chip and expanded: the CPU starts from the reset
    // vector). RAM, EEPROM, CONFIG and external RAM keep their contents; a newly programmed
    // CONFIG takes effect.
    void reset() { resetThrough(mode_, kResetVector); }
    // The mode pins from now on, for every later reset (the COP's, a fault's, reset()): the
    // modem lines of a served board move them.
    void setModePins(ChipMode mode) { mode_ = mode; }
    ChipMode modePins() const { return mode_; }
    // RESET with the pins set to mode; they stay so until they are moved again.
    void resetInto(ChipMode mode) {
        setModePins(mode);
        reset();
    }
    // Power-up in SimConfig::mode; a break of the boot ROM then is heard by nobody. The pins
    // then take SimConfig::resetMode, when given.
    void powerOn();
    // True once after powerOn(), for the break that goes out before any host can listen.
    bool takePowerOnBreak();
    // Starts the CPU at pc as if the boot ROM had just finished a 1200-baud load.
    void startAt(uint16_t pc);
    // A fault resets the chip once the devices have done what is due now (see serviceDevices).
    void requestReset() { resetPending_ = true; }
    // Called after every reset, to let the wire forget what was on its way.
    void setResetListener(std::function<void()> listener) { onReset_ = std::move(listener); }

    // Runs towards goal; sentSoFar tells how many bytes the target has sent.
    RunEnd run(const Goal &goal, const std::function<size_t()> &sentSoFar);
    // Something new is on its way to the SCI: look at the devices' events again.
    void inputQueued();
    // Skips whole passes of the loop the target waits in, up to until.
    void skipWaiting(uint64_t until);
    bool waiting() const { return waiting_; }
    uint64_t nextEvent() const { return nextEvent_; }

    // Serving as fast as it can, the boot ROM's idle timeout is held out of the events: the
    // wire decides when the line has been quiet long enough (lineTimeout, jumpToLineTimeout).
    void holdLineTimeouts(bool hold);
    uint64_t lineTimeout() const;  // UINT64_MAX when the boot ROM is not timing the line
    void jumpToLineTimeout();

    uint64_t cycles() const { return clock_.now; }
    const Clock &clock() const { return clock_; }
    Trace &trace() { return trace_; }
    bool bootRomRunning() const { return bootRomRunning_; }
    uint64_t skippedCycles() const { return skippedCycles_; }
    Cpu &cpu() { return cpu_; }
    Bus &bus() { return bus_; }
    const Bus &bus() const { return bus_; }

  private:
    struct PollSnapshot {
        Registers registers;
        uint64_t stores;
        uint64_t cycle;
    };

    void resetThrough(ChipMode mode, uint16_t vector);
    unsigned stepProcessor();
    void traceInstruction();
    void enterBootRom();
    void serviceDevices();
    void applyPendingReset();
    void updateNextEvent();
    bool detectWaiting();
    void lookAgain();

    Clock clock_;
    Trace trace_;
    const PartInfo &part_;
    Bus bus_;
    Cpu cpu_;
    BootRom bootRom_;
    ChipMode mode_;  // the mode pins now
    const ChipMode powerUpMode_, resetMode_;
    bool bootRomRunning_ = false;
    bool powerOnBreak_ = false;  // the next break is the one nobody hears
    bool resetPending_ = false;
    bool holdLineTimeouts_ = false;
    uint64_t nextEvent_ = UINT64_MAX;
    std::vector<PollSnapshot> polls_;
    uint64_t waitPeriod_ = 0;  // cycles per pass of the loop the target waits in
    bool waiting_ = false;     // the target is in such a loop now
    uint64_t skippedCycles_ = 0;
    std::function<void()> onReset_;
};

}  // namespace hc11
