// The serial communications interface: BAUD ($102B), SCCR1 ($102C), SCCR2 ($102D),
// SCSR ($102E) and SCDR ($102F), with the transmit and receive halves timed in E cycles.
//
// A character takes 10 bit-times at the programmed rate, a bit being 16 x prescaler x rate
// divider E cycles. Status flags follow the manual's clearing sequences: TDRE and TC clear on
// an SCDR write that follows an SCSR read which saw them set; RDRF, IDLE, OR, NF and FE clear
// on an SCDR read that follows an SCSR read which saw them set. Received characters are
// judged by the rules of line_frame.h; one that completes while RDRF is still set is lost
// and sets OR. Changing BAUD while a character shifts out garbles it. Setting SBK sends one
// break character once the transmitter is free; the line then stays low, which a receiver
// does not report again, until SBK is cleared.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "clock.h"
#include "device.h"
#include "line_frame.h"
#include "trace.h"

namespace hc11 {

struct SciStats {
    uint64_t framesSent = 0;
    uint64_t framesReceived = 0;  // characters that reached the SCI with RE on
    uint64_t overruns = 0;
    uint64_t framingErrors = 0;
};

class Sci : public Device {
  public:
    // Called for each character the transmitter finishes, with the cycle its stop bit ended.
    using TransmitSink = std::function<void(const Frame &frame, uint64_t endCycle)>;

    Sci(const Clock &clock, Trace &trace);

    void reset() override;  // BAUD, SCCR1, SCCR2 $00, SCSR $C0, the line idle

    // Its registers: BAUD, SCCR1, SCCR2, SCSR, SCDR. A read of SCSR with RDRF clear calls
    // the chip's attention: the CPU may be polling for input.
    std::vector<uint8_t> registers() const override {
        return {reg::BAUD, reg::SCCR1, reg::SCCR2, reg::SCSR, reg::SCDR};
    }
    uint8_t readRegister(uint8_t offset) override;
    uint8_t peekRegister(uint8_t offset) const override;
    void writeRegister(uint8_t offset, uint8_t value) override;
    uint16_t pendingInterrupt() const override { return interruptPending() ? kVector : 0; }
    static constexpr uint16_t kVector = 0xFFD6;
    // Sets BAUD and SCCR2 as if written long ago: no preamble is under way.
    void configure(uint8_t baudValue, uint8_t sccr2Value) {
        baud_ = baudValue;
        sccr2_ = sccr2Value;
    }
    void setTransmitSink(TransmitSink sink) { sink_ = std::move(sink); }

    uint8_t baud() const { return baud_; }
    void writeBaud(uint8_t value);
    uint8_t sccr1() const { return sccr1_; }
    void writeSccr1(uint8_t value);
    uint8_t sccr2() const { return sccr2_; }
    void writeSccr2(uint8_t value);
    uint8_t readScsr();  // the CPU's read: arms the clearing sequences
    uint8_t scsr() const { return scsr_; }
    uint8_t readScdr();  // the CPU's read: completes a receive clearing sequence
    uint8_t scdr() const { return rdr_; }
    void writeScdr(uint8_t value);

    // E cycles per bit at the programmed rate.
    unsigned bitCycles() const;

    // A character from the host whose start bit begins at startCycle, which must not lie
    // before the end of the one given before.
    void lineIn(const Frame &frame, uint64_t startCycle);

    // The next cycle at which the SCI changes by itself, UINT64_MAX when nothing is under way.
    uint64_t nextEvent() const override;
    // Does everything that falls due up to the clock's present cycle, in time order.
    void advance() override;
    bool interruptPending() const;
    bool transmitterBusy() const { return shifting_; }
    // The host's line (RxD) is low now: a character from the host has begun.
    bool receiveLineLow() const {
        return !incoming_.empty() && incoming_.front().start <= clock_.now;
    }
    // The cycle at which the character now shifting out began (a preamble counts as none).
    uint64_t characterStart() const { return shifting_ && !preamble_ ? shiftStart_ : UINT64_MAX; }

    const SciStats &stats() const { return stats_; }

  private:
    struct Incoming {
        Frame frame;
        uint64_t start;
        uint64_t end;
    };

    void startShift(uint64_t at);
    void startPreamble(uint64_t at);
    void startBreak(uint64_t at);
    void finishShift();
    void finishReception();
    void detectIdleLine();
    uint64_t idleEvent() const { return idleArmed_ ? idleAt_ : UINT64_MAX; }

    const Clock &clock_;
    Trace &trace_;
    TransmitSink sink_;
    SciStats stats_;
    uint8_t baud_ = 0, sccr1_ = 0, sccr2_ = 0, scsr_ = scsr::TDRE | scsr::TC;
    uint8_t armedReceiveFlags_ = 0, armedTransmitFlags_ = 0;
    uint8_t tdr_ = 0, rdr_ = 0;
    bool tdrFull_ = false;
    bool shifting_ = false, preamble_ = false;
    bool breakQueued_ = false;
    Frame shiftFrame_;
    uint64_t shiftStart_ = 0, shiftEnd_ = 0;
    std::deque<Incoming> incoming_;
    bool idleArmed_ = false;
    uint64_t idleAt_ = 0;
};

}  // namespace hc11
