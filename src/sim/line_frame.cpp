#include "line_frame.h"

#include <cmath>

namespace hc11 {

namespace {

constexpr unsigned kStopBit = kBitsPerFrame - 1;

// The line level at time t into the frame: low for the start bit, the data bits, then high
// for the stop bit and the idle line after it.
bool LevelAt(const Frame &frame, double t) {
    if (t < frame.edges[1]) return false;
    for (unsigned bit = 1; bit <= 8; bit++)
        if (t < frame.edges[bit + 1]) return (frame.value >> (bit - 1)) & 1;
    return true;
}

// A $FF's only low bit is its start bit: a receiver that verifies that start bit (the
// majority of its RT3, RT5 and RT7 samples low, so low for a quarter of its own bit and more)
// and samples its first data bit (from RT8 on) after it has ended reads $FF and a stop bit at
// any rate, as the documented receiver does. A boot ROM at 7812 baud takes a $FF sent at 9600
// as its own $FF that way.
bool ReadsAsFF(const Frame &frame, double receiverBitCycles) {
    double low = frame.edges[1];
    return frame.value == 0xFF && !frame.disturbed && !frame.lineBreak &&
           low >= receiverBitCycles * 5 / 16 && low <= receiverBitCycles * 23 / 16;
}

}  // namespace

uint64_t Frame::lengthCycles() const {
    return uint64_t(std::llround(length()));
}

Frame Frame::AtRate(uint8_t value, double bitCycles) {
    Frame frame;
    frame.value = value;
    frame.bitCycles = bitCycles;
    for (unsigned i = 0; i <= kBitsPerFrame; i++) frame.edges[i] = i * bitCycles;
    return frame;
}

void Frame::changeRate(double elapsed, double newBitCycles) {
    unsigned current = 0;
    while (current + 1 < kBitsPerFrame && edges[current + 1] <= elapsed) current++;
    for (unsigned i = current + 1; i < kBitsPerFrame; i++) edges[i + 1] = edges[i] + newBitCycles;
    disturbed = true;
}

bool RatesAgree(double senderBitCycles, double receiverBitCycles) {
    return std::fabs(senderBitCycles - receiverBitCycles) <= kRateTolerance * receiverBitCycles;
}

Reception Receive(const Frame &frame, double receiverBitCycles) {
    if (frame.lineBreak) return {0x00, true};
    if (ReadsAsFF(frame, receiverBitCycles)) return {0xFF, false};
    uint8_t value = 0;
    for (unsigned bit = 1; bit <= 8; bit++)
        if (LevelAt(frame, (bit + 0.5) * receiverBitCycles)) value |= uint8_t(1u << (bit - 1));
    bool stopSeen = LevelAt(frame, (kStopBit + 0.5) * receiverBitCycles);
    bool garbled = frame.disturbed || !RatesAgree(frame.bitCycles, receiverBitCycles);
    if (!garbled) return {value, !stopSeen};
    // All zeros through the stop bit is what a much faster receiver reads of a long low
    // stretch: a break, read as such.
    bool readsAsBreak = value == 0x00 && !stopSeen;
    if (value == frame.value && !readsAsBreak) value ^= 0x80;
    return {value, true};
}

}  // namespace hc11
