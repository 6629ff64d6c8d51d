// What the target sent, on its way to a served line: held until the line takes it, in bursts
// as a plain UART passes them on, or as a USB serial adapter does with --latency (its timer
// and its 62-byte packets).
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "clock.h"
#include "line_frame.h"

namespace hc11 {

class UsbAdapter {
  public:
    struct Held {
        Frame frame;
        uint64_t start, end;
    };

    explicit UsbAdapter(const Clock &clock) : clock_(clock) {}

    // --latency in E cycles; 0: no adapter, bursts pass on as they end.
    void setLatency(double cycles) { latencyCycles_ = cycles; }
    void hold(const Frame &frame, uint64_t start, uint64_t end);
    // How many of the held characters go to the host now: those due by dueBy (UINT64_MAX
    // as fast as it can). now is the chip's cycle, transmitStart the start of the character
    // the SCI is shifting out (UINT64_MAX when none).
    size_t release(uint64_t dueBy, uint64_t now, uint64_t transmitStart) const;
    const Held &operator[](size_t i) const { return held_[i]; }
    void drop(size_t count);
    bool empty() const { return held_.empty(); }
    // Seconds until the adapter's timer expires on the wall clock, as fast as it can.
    double wallWait(bool realtime) const;
    // In real time, the cycle at which the first held character is due at the host.
    uint64_t releaseCycle(bool realtime) const;

  private:
    size_t burstRelease(uint64_t dueBy, uint64_t now, uint64_t transmitStart) const;
    size_t adapterRelease(uint64_t dueBy) const;
    size_t burstEnd(size_t first, uint64_t transmitStart) const;

    const Clock &clock_;
    std::vector<Held> held_;
    double latencyCycles_ = 0;
    std::chrono::steady_clock::time_point firstHeldAt_;  // when the oldest held byte came
};

}  // namespace hc11
