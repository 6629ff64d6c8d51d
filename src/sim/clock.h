// Simulated time, counted in E cycles of the 2 MHz E clock. One Clock is shared by every
// device of the chip, so that each of them stamps what it does with the same time.
#pragma once

#include <cstdint>

namespace hc11 {

constexpr double kEClockHz = 2000000.0;

struct Clock {
    uint64_t now = 0;  // E cycles since the simulation began
};

inline double CyclesToSeconds(uint64_t cycles) {
    return double(cycles) / kEClockHz;
}

}  // namespace hc11
