#include "cop.h"

#include "part_table.h"

namespace hc11 {

void Cop::reset() {
    option_ = kOptionAtReset;
    test1_ = chip_ && !chip_->normalMode() ? test1::DISR : 0x00;
    armed_ = protectedWritten_ = false;
    restarted_ = clock_.now;
}

bool Cop::counting() const {
    return chip_ && !(chip_->configLatch() & CONFIG_NOCOP);
}

bool Cop::resetHeldOff() const {
    return chip_ && !chip_->normalMode() && (test1_ & test1::DISR);
}

uint8_t Cop::peekRegister(uint8_t offset) const {
    if (offset == reg::OPTION) return option_;
    return offset == reg::TEST1 ? test1_ : 0x00;
}

void Cop::writeRegister(uint8_t offset, uint8_t value) {
    if (offset == reg::TEST1) return writeTest1(value);
    if (offset == reg::OPTION) return writeOption(value);
    if (value == coprst::kArm) {
        armed_ = true;
    } else if (value == coprst::kClear && armed_) {
        armed_ = false;
        restarted_ = clock_.now;
    } else {
        armed_ = false;
    }
}

void Cop::writeOption(uint8_t value) {
    bool normal = chip_ && chip_->normalMode();
    bool writable = !chip_ || (chip_->timeProtectedWritable() && !(normal && protectedWritten_));
    uint8_t kept = writable ? value : option_;
    option_ = uint8_t((value & ~option::kTimeProtected) | (kept & option::kTimeProtected));
    protectedWritten_ = true;
}

// TEST1 is written only in the special modes; only DISR is modelled.
void Cop::writeTest1(uint8_t value) {
    if (chip_ && chip_->normalMode()) {
        trace_.line(clock_.now, "TEST1: writes only in the special modes, ignored");
        return;
    }
    if (value & ~test1::DISR) trace_.line(clock_.now, "TEST1: only DISR is modelled");
    advance();  // time-outs so far stay held off
    test1_ = value;
}

// A time-out whose reset is held off goes by unseen and the count starts again, as the
// counter wraps; the manual does not say more.
void Cop::advance() {
    if (!counting() || clock_.now < deadline()) return;
    if (resetHeldOff()) {
        restarted_ += (clock_.now - restarted_) / period() * period();
        return;
    }
    trace_.line(clock_.now, "COP: timed out, the chip resets");
    restarted_ = clock_.now;
    chip_->requestReset(kVector);
}

}  // namespace hc11
