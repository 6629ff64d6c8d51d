// Simulated time, counted in E cycles. One Clock is shared by every device of the chip, so
// that each of them stamps what it does with the same time; it also holds the one fact of
// how fast E runs (the crystal divided by four), from which everything timed in real units
// (a line rate, the EEPROM's 10 ms, real-time serving) is worked out.
#pragma once

#include <cmath>
#include <cstdint>

#include "hc11_registers.h"

namespace hc11 {

struct Clock {
    explicit Clock(double crystalHz = kDefaultCrystalHz) : eHz(crystalHz / kCrystalToE) {}

    uint64_t now = 0;  // E cycles since the simulation began
    const double eHz;  // E clock frequency

    double seconds(double cycles) const { return cycles / eHz; }
    // Whole cycles that last at least seconds.
    uint64_t cyclesFor(double seconds) const { return uint64_t(std::ceil(seconds * eHz - 1e-6)); }
    // E cycles per bit at a line rate in bit/s; 0 for a rate of 0.
    double bitCycles(unsigned baud) const { return baud ? eHz / baud : 0.0; }
};

}  // namespace hc11
