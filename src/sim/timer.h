// The main timer's free-running part: TCNT ($100E-$100F) counting E cycles through the
// prescaler that TMSK2's PR1:PR0 pick (1, 4, 8 or 16), TOF in TFLG2 when it wraps from $FFFF
// to $0000, and the real-time interrupt: RTIF every 2^13 E cycles times 1, 2, 4 or 8 as
// PACTL's RTR1:RTR0 say, taken from a divider chain that runs freely from reset (a PACTL
// write picks another tap of it, it does not restart it). Flags clear by writing 1 to them;
// TOI and RTII in TMSK2 ask for the interrupts ($FFDE, $FFF0). PR1:PR0 are time-protected:
// in the normal modes they take one write in the first 64 cycles after reset. The input
// captures, output compares and pulse accumulator are not modelled: their registers read as
// their reset values.
#pragma once

#include <cstdint>
#include <vector>

#include "clock.h"
#include "device.h"
#include "trace.h"

namespace hc11 {

class Timer : public Device {
  public:
    static constexpr uint16_t kOverflowVector = 0xFFDE;
    static constexpr uint16_t kRealTimeVector = 0xFFF0;
    static constexpr uint64_t kRtiBaseCycles = 1u << 13;

    Timer(const Clock &clock, Trace &trace) : clock_(clock), trace_(trace) {}

    std::vector<uint8_t> registers() const override {
        return {reg::TCNT, reg::TCNT_LOW, reg::TMSK2, reg::TFLG2, reg::PACTL};
    }
    void reset() override;  // TCNT $0000, TMSK2, TFLG2 and PACTL $00
    uint8_t readRegister(uint8_t offset) override { return peekRegister(offset); }
    uint8_t peekRegister(uint8_t offset) const override;
    void writeRegister(uint8_t offset, uint8_t value) override;
    // Flags are worked out when read; only an enabled interrupt makes an event, so that a
    // program waiting for the host with the timer's interrupts off still counts as waiting.
    uint64_t nextEvent() const override;
    void advance() override;
    uint16_t pendingInterrupt() const override;

    uint16_t tcnt() const;

  private:
    unsigned prescale() const;
    uint64_t overflowPeriod() const { return uint64_t(prescale()) << 16; }
    uint64_t rtiPeriod() const { return kRtiBaseCycles << (pactl_ & pactl::RTR); }
    uint8_t settledFlags() const;

    const Clock &clock_;
    Trace &trace_;
    uint64_t countStart_ = 0;  // cycle at which TCNT was $0000 at the present prescale
    uint64_t nextOverflow_ = 0, nextRti_ = 0;
    uint64_t rtiOrigin_ = 0;  // the reset: the RTI's divider chain counts from there
    uint8_t tmsk2_ = 0, tflg2_ = 0, pactl_ = 0;
    bool prescaleWritten_ = false;  // the normal modes' one write of PR1:PR0 is done
};

}  // namespace hc11
