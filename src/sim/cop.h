// The computer-operating-properly watchdog. It runs while CONFIG's latched NOCOP is clear and
// the chip is in a normal mode (bootstrap mode leaves it off, so that the boot ROM, which does
// not feed it, can wait for the host; the documentation leaves this open). It times out after
// 2^15 E cycles times 1, 4, 16 or 64 as OPTION's time-protected CR1:CR0 say, unless $55 then
// $AA are written to COPRST; a timeout resets the chip through the COP vector ($FFFA). OPTION
// is kept whole (DLY set at reset); its other bits are not modelled.
#pragma once

#include <cstdint>

#include "clock.h"
#include "device.h"
#include "trace.h"

namespace hc11 {

class Cop : public Device {
  public:
    static constexpr uint8_t kRegisters[] = {reg::OPTION, reg::COPRST};
    static constexpr uint16_t kVector = 0xFFFA;
    static constexpr uint64_t kBaseCycles = 1u << 15;
    static constexpr uint8_t kOptionAtReset = 0x10;  // DLY set

    Cop(const Clock &clock, Trace &trace) : clock_(clock), trace_(trace) {}

    void reset() override;
    uint8_t readRegister(uint8_t offset) override { return peekRegister(offset); }
    uint8_t peekRegister(uint8_t offset) const override {
        return offset == reg::OPTION ? option_ : 0x00;
    }
    void writeRegister(uint8_t offset, uint8_t value) override;
    uint64_t nextEvent() const override { return running() ? deadline_ : UINT64_MAX; }
    void advance() override;

    // The watchdog timed out since the last call: the chip must reset.
    bool takeTimeout() {
        bool fired = timedOut_;
        timedOut_ = false;
        return fired;
    }

  private:
    bool running() const;
    uint64_t period() const { return kBaseCycles << (2 * (option_ & 0x03)); }

    const Clock &clock_;
    Trace &trace_;
    uint8_t option_ = kOptionAtReset;
    bool armed_ = false;  // $55 written, waiting for the $AA
    bool timedOut_ = false;
    uint64_t deadline_ = 0;
};

}  // namespace hc11
