#include "cop.h"

#include "part_table.h"

namespace hc11 {

void Cop::reset() {
    option_ = kOptionAtReset;
    armed_ = timedOut_ = false;
    deadline_ = clock_.now + period();
}

bool Cop::running() const {
    return chip_ && chip_->normalMode() && !(chip_->configLatch() & CONFIG_NOCOP);
}

void Cop::writeRegister(uint8_t offset, uint8_t value) {
    if (offset == reg::OPTION) {
        uint8_t cr = chip_ && !chip_->timeProtectedWritable() ? option_ & 0x03 : value & 0x03;
        option_ = uint8_t((value & ~0x03) | cr);
        return;
    }
    if (value == 0x55) {
        armed_ = true;
    } else if (value == 0xAA && armed_) {
        armed_ = false;
        deadline_ = clock_.now + period();
    } else {
        armed_ = false;
    }
}

void Cop::advance() {
    if (!running() || clock_.now < deadline_) return;
    trace_.line(clock_.now, "COP: timed out, the chip resets");
    timedOut_ = true;
    deadline_ = clock_.now + period();
}

}  // namespace hc11
