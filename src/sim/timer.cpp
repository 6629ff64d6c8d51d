#include "timer.h"

#include <algorithm>

namespace hc11 {

namespace {

const unsigned kPrescales[4] = {1, 4, 8, 16};

}  // namespace

void Timer::reset() {
    tmsk2_ = tflg2_ = pactl_ = 0;
    prescaleWritten_ = false;
    countStart_ = clock_.now;
    nextOverflow_ = countStart_ + overflowPeriod();
    rtiOrigin_ = clock_.now;
    nextRti_ = rtiOrigin_ + rtiPeriod();
}

unsigned Timer::prescale() const {
    return kPrescales[tmsk2_ & tmsk2::PR];
}

uint16_t Timer::tcnt() const {
    return uint16_t((clock_.now - countStart_) / prescale());
}

uint8_t Timer::peekRegister(uint8_t offset) const {
    switch (offset) {
        case reg::TCNT:
            return uint8_t(tcnt() >> 8);
        case reg::TCNT_LOW:
            return uint8_t(tcnt());
        case reg::TMSK2:
            return tmsk2_;
        case reg::TFLG2:
            return settledFlags();
        default:
            return pactl_;
    }
}

// The flags a read would see now: what advance() has set, and what falls due since.
uint8_t Timer::settledFlags() const {
    uint8_t flags = tflg2_;
    if (nextOverflow_ <= clock_.now) flags |= tflg2::TOF;
    if (nextRti_ <= clock_.now) flags |= tflg2::RTIF;
    return flags;
}

void Timer::writeRegister(uint8_t offset, uint8_t value) {
    advance();
    switch (offset) {
        case reg::TMSK2: {
            uint16_t count = tcnt();
            bool locked = chip_ && (!chip_->timeProtectedWritable() ||
                                    (chip_->normalMode() && prescaleWritten_));
            uint8_t pr = locked ? tmsk2_ & tmsk2::PR : value & tmsk2::PR;
            tmsk2_ = uint8_t((value & ~tmsk2::PR) | pr);
            prescaleWritten_ = true;
            // The count goes on from where it is, at the new prescale.
            countStart_ = clock_.now - uint64_t(count) * prescale();
            nextOverflow_ = countStart_ + overflowPeriod();
            break;
        }
        case reg::TFLG2:
            tflg2_ &= uint8_t(~value);  // a 1 clears its flag
            break;
        case reg::PACTL:
            pactl_ = value;
            // The next tick of the new tap; RTIF then sets at each of its ticks.
            nextRti_ = rtiOrigin_ + ((clock_.now - rtiOrigin_) / rtiPeriod() + 1) * rtiPeriod();
            break;
        default:
            trace_.line(clock_.now, "TCNT: writes count only in test mode, ignored");
    }
}

uint64_t Timer::nextEvent() const {
    uint64_t next = UINT64_MAX;
    if (tmsk2_ & tmsk2::TOI) next = nextOverflow_;
    if (tmsk2_ & tmsk2::RTII) next = std::min(next, nextRti_);
    return next;
}

void Timer::advance() {
    while (nextOverflow_ <= clock_.now) {
        tflg2_ |= tflg2::TOF;
        nextOverflow_ += overflowPeriod();
    }
    while (nextRti_ <= clock_.now) {
        tflg2_ |= tflg2::RTIF;
        nextRti_ += rtiPeriod();
    }
}

uint16_t Timer::pendingInterrupt() const {
    uint8_t flags = settledFlags();
    if ((tmsk2_ & tmsk2::RTII) && (flags & tflg2::RTIF)) return kRealTimeVector;
    if ((tmsk2_ & tmsk2::TOI) && (flags & tflg2::TOF)) return kOverflowVector;
    return 0;
}

}  // namespace hc11
