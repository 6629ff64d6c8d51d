#include "sci.h"

#include <algorithm>

namespace hc11 {

namespace {

const unsigned kPrescalers[4] = {1, 3, 4, 13};

}  // namespace

Sci::Sci(const Clock &clock, Trace &trace) : clock_(clock), trace_(trace) {}

void Sci::reset() {
    baud_ = sccr1_ = sccr2_ = 0;
    scsr_ = scsr::TDRE | scsr::TC;
    armedReceiveFlags_ = armedTransmitFlags_ = 0;
    tdr_ = rdr_ = 0;
    tdrFull_ = shifting_ = preamble_ = idleArmed_ = breakQueued_ = false;
    incoming_.clear();
}

unsigned Sci::bitCycles() const {
    unsigned prescaler = kPrescalers[(baud_ & baud::SCP) >> 4];
    return 16 * prescaler * (1u << (baud_ & baud::SCR));
}

void Sci::writeBaud(uint8_t value) {
    value &= baud::TCLR | baud::SCP | baud::RCKB | baud::SCR;  // bit 6 is not there
    if (value & (baud::TCLR | baud::RCKB))
        trace_.line(clock_.now, "BAUD: TCLR and RCKB (test bits) are not modelled");
    unsigned before = bitCycles();
    baud_ = value;
    if (bitCycles() == before || !shifting_ || preamble_) return;
    shiftFrame_.changeRate(double(clock_.now - shiftStart_), bitCycles());
    shiftEnd_ = shiftStart_ + shiftFrame_.lengthCycles();
    trace_.line(clock_.now, "SCI: BAUD changed while $%02X was shifting out, it goes out garbled",
                shiftFrame_.value);
}

void Sci::writeSccr1(uint8_t value) {
    if (value & (sccr1::M | sccr1::WAKE))
        trace_.line(clock_.now, "SCCR1: 9-bit frames and wake-up are not modelled");
    sccr1_ = value;
}

void Sci::writeSccr2(uint8_t value) {
    if (value & sccr2::RWU) trace_.line(clock_.now, "SCCR2: receiver wake-up is not modelled");
    bool enabling = (value & sccr2::TE) && !(sccr2_ & sccr2::TE);
    bool breaking = (value & sccr2::SBK) && !(sccr2_ & sccr2::SBK);
    sccr2_ = value;
    if (!(value & sccr2::RE)) idleArmed_ = false;
    if (breaking) breakQueued_ = true;
    if (!(value & sccr2::SBK)) breakQueued_ = false;
    if (shifting_ || !(value & sccr2::TE)) return;
    if (enabling)
        startPreamble(clock_.now);
    else if (breakQueued_)
        startBreak(clock_.now);
}

uint8_t Sci::readRegister(uint8_t offset) {
    if (offset == reg::SCDR) return readScdr();
    if (offset != reg::SCSR) return peekRegister(offset);
    uint8_t status = readScsr();
    if (!(status & scsr::RDRF) && chip_) chip_->callAttention(attention::EmptyPoll);
    return status;
}

uint8_t Sci::peekRegister(uint8_t offset) const {
    switch (offset) {
        case reg::BAUD:
            return baud_;
        case reg::SCCR1:
            return sccr1_;
        case reg::SCCR2:
            return sccr2_;
        case reg::SCSR:
            return scsr_;
        default:
            return rdr_;
    }
}

void Sci::writeRegister(uint8_t offset, uint8_t value) {
    switch (offset) {
        case reg::BAUD:
            writeBaud(value);
            break;
        case reg::SCCR1:
            writeSccr1(value);
            break;
        case reg::SCCR2:
            writeSccr2(value);
            break;
        case reg::SCDR:
            writeScdr(value);
            break;
        default:
            break;  // SCSR is read only
    }
}

uint8_t Sci::readScsr() {
    armedReceiveFlags_ = scsr_ & scsr::kReceiveFlags;
    armedTransmitFlags_ = scsr_ & scsr::kTransmitFlags;
    return scsr_;
}

uint8_t Sci::readScdr() {
    scsr_ &= uint8_t(~armedReceiveFlags_);
    armedReceiveFlags_ = 0;
    return rdr_;
}

void Sci::writeScdr(uint8_t value) {
    scsr_ &= uint8_t(~armedTransmitFlags_);
    armedTransmitFlags_ = 0;
    tdr_ = value;
    tdrFull_ = true;
    if ((sccr2_ & sccr2::TE) && !shifting_) startShift(clock_.now);
}

void Sci::startShift(uint64_t at) {
    shiftFrame_ = Frame::AtRate(tdr_, bitCycles());
    shiftStart_ = at;
    shiftEnd_ = at + shiftFrame_.lengthCycles();
    shifting_ = true;
    preamble_ = false;
    tdrFull_ = false;
    scsr_ |= scsr::TDRE;
}

// Enabling the transmitter first sends a preamble: one character time of idle line.
void Sci::startPreamble(uint64_t at) {
    shiftStart_ = at;
    shiftEnd_ = at + uint64_t(kBitsPerFrame) * bitCycles();
    shifting_ = preamble_ = true;
}

void Sci::startBreak(uint64_t at) {
    shiftFrame_ = Frame::AtRate(0x00, bitCycles());
    shiftFrame_.lineBreak = true;
    shiftStart_ = at;
    shiftEnd_ = at + shiftFrame_.lengthCycles();
    shifting_ = true;
    preamble_ = breakQueued_ = false;
}

void Sci::finishShift() {
    shifting_ = false;
    if (!preamble_) {
        stats_.framesSent++;
        if (sink_) sink_(shiftFrame_, shiftEnd_);
    }
    preamble_ = false;
    if (breakQueued_ && (sccr2_ & sccr2::TE))
        startBreak(shiftEnd_);
    else if (tdrFull_ && (sccr2_ & sccr2::TE))
        startShift(shiftEnd_);
    else
        scsr_ |= scsr::TC;
}

void Sci::lineIn(const Frame &frame, uint64_t startCycle) {
    incoming_.push_back({frame, startCycle, startCycle + frame.lengthCycles()});
}

void Sci::finishReception() {
    Incoming arrived = incoming_.front();
    incoming_.pop_front();
    if (!(sccr2_ & sccr2::RE)) {
        trace_.line(arrived.end, "SCI: $%02X arrived with the receiver off", arrived.frame.value);
        return;
    }
    stats_.framesReceived++;
    idleArmed_ = true;
    idleAt_ = arrived.end + uint64_t(kBitsPerFrame) * bitCycles();
    Reception reception = Receive(arrived.frame, bitCycles());
    if (scsr_ & scsr::RDRF) {
        stats_.overruns++;
        scsr_ |= scsr::OR;
        trace_.line(arrived.end, "SCI: overrun, $%02X lost", arrived.frame.value);
        return;
    }
    rdr_ = reception.value;
    scsr_ = uint8_t((scsr_ & ~(scsr::FE | scsr::NF)) | scsr::RDRF);
    if (reception.framingError) {
        stats_.framingErrors++;
        scsr_ |= scsr::FE;
        trace_.line(arrived.end, "SCI: $%02X sent at %.0f cycles a bit, read as $%02X with FE",
                    arrived.frame.value, arrived.frame.bitCycles, reception.value);
    }
}

// IDLE: the receive line stayed idle for a whole character after a character came in.
void Sci::detectIdleLine() {
    idleArmed_ = false;
    if (!incoming_.empty() && incoming_.front().start < idleAt_) return;
    scsr_ |= scsr::IDLE;
}

uint64_t Sci::nextEvent() const {
    uint64_t next = idleEvent();
    if (shifting_) next = std::min(next, shiftEnd_);
    if (!incoming_.empty()) {
        // The start too: RxD going low is an event for whoever watches the line.
        const Incoming &first = incoming_.front();
        next = std::min(next, first.start > clock_.now ? first.start : first.end);
    }
    return next;
}

void Sci::advance() {
    for (;;) {
        uint64_t shiftDue = shifting_ ? shiftEnd_ : UINT64_MAX;
        uint64_t receiveDue = incoming_.empty() ? UINT64_MAX : incoming_.front().end;
        uint64_t idleDue = idleEvent();
        uint64_t first = std::min({shiftDue, receiveDue, idleDue});
        if (first > clock_.now) return;
        if (first == shiftDue)
            finishShift();
        else if (first == receiveDue)
            finishReception();
        else
            detectIdleLine();
    }
}

bool Sci::interruptPending() const {
    uint8_t c = sccr2_, s = scsr_;
    return ((c & sccr2::TIE) && (s & scsr::TDRE)) || ((c & sccr2::TCIE) && (s & scsr::TC)) ||
           ((c & sccr2::RIE) && (s & (scsr::RDRF | scsr::OR))) ||
           ((c & sccr2::ILIE) && (s & scsr::IDLE));
}

}  // namespace hc11
