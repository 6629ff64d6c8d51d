// The computer-operating-properly watchdog. It counts while CONFIG's latched NOCOP is clear
// and times out 2^15 E cycles times 1, 4, 16 or 64 (as OPTION's CR1:CR0 say) after reset or
// after the last $55 then $AA written to COPRST; a time-out asks the chip to reset through
// the COP vector ($FFFA). CR (with IRQE and DLY) is time-protected: in the normal modes it takes
// one write in the first 64 cycles after reset. The deadline follows the rate written. TEST1's
// DISR, set out of reset in the special modes (bootstrap) and clear in the normal ones, holds the
// COP's reset off in the special modes, which lets the boot ROM (which does not feed the COP) wait
// for the host. OPTION is kept whole (DLY set at reset); its other bits and TEST1's other bits are
// not modelled.
#pragma once

#include <cstdint>
#include <vector>

#include "clock.h"
#include "device.h"
#include "trace.h"

namespace hc11 {

class Cop : public Device {
  public:
    static constexpr uint16_t kVector = 0xFFFA;
    static constexpr uint64_t kBaseCycles = 1u << 15;
    static constexpr uint8_t kOptionAtReset = option::DLY;

    Cop(const Clock &clock, Trace &trace) : clock_(clock), trace_(trace) {}

    std::vector<uint8_t> registers() const override {
        return {reg::OPTION, reg::COPRST, reg::TEST1};
    }
    void reset() override;
    uint8_t readRegister(uint8_t offset) override { return peekRegister(offset); }
    uint8_t peekRegister(uint8_t offset) const override;
    void writeRegister(uint8_t offset, uint8_t value) override;
    // A time-out whose reset is held off changes nothing a program sees: no event then.
    uint64_t nextEvent() const override {
        return counting() && !resetHeldOff() ? deadline() : UINT64_MAX;
    }
    void advance() override;
    void beforeModeChange() override { advance(); }  // time-outs so far stay held off

  private:
    bool counting() const;
    bool resetHeldOff() const;
    uint64_t period() const { return kBaseCycles << (2 * (option_ & option::CR)); }
    uint64_t deadline() const { return restarted_ + period(); }
    void writeOption(uint8_t value);
    void writeTest1(uint8_t value);

    const Clock &clock_;
    Trace &trace_;
    uint8_t option_ = kOptionAtReset;
    uint8_t test1_ = 0;
    bool protectedWritten_ = false;  // the normal modes' one write of IRQE, DLY and CR is done
    bool armed_ = false;             // $55 written, waiting for the $AA
    uint64_t restarted_ = 0;         // when the count last began from zero
};

}  // namespace hc11
