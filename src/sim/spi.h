// The serial peripheral interface's control register, SPCR: kept whole, since port D's
// wire-OR mode (DWOM) lives in it and the boot ROM and the talker set and clear it. The SPI
// itself (SPSR, SPDR, transfers) is not modelled: turning it on (SPE) is traced as such.
#pragma once

#include <cstdint>
#include <vector>

#include "clock.h"
#include "device.h"
#include "trace.h"

namespace hc11 {

class SpiControl : public Device {
  public:
    SpiControl(const Clock &clock, Trace &trace) : clock_(clock), trace_(trace) {}

    std::vector<uint8_t> registers() const override { return {reg::SPCR}; }
    void reset() override { spcr_ = spcr::kResetValue; }
    uint8_t readRegister(uint8_t offset) override { return peekRegister(offset); }
    uint8_t peekRegister(uint8_t) const override { return spcr_; }
    void writeRegister(uint8_t, uint8_t value) override {
        if (value & spcr::SPE) trace_.line(clock_.now, "SPCR: the SPI is not modelled");
        spcr_ = value;
    }

  private:
    const Clock &clock_;
    Trace &trace_;
    uint8_t spcr_ = spcr::kResetValue;
};

}  // namespace hc11
