// One character on a serial line, 8N1: a start bit, eight data bits (least significant first)
// and a stop bit, and what a receiver running at its own rate reads from it.
//
// Both ends of the simulated wire use this: the SCI receiving from the host, and the host
// receiving from the SCI. A receiver whose rate differs from the sender's by more than 3 %
// reads the character garbled and flags a framing error; so does any receiver of a character
// during which the sender changed its rate. The garbled value is what sampling each bit in the
// middle of where the receiver expects it gives; should that happen to be the character sent,
// its last data bit (where the drift is largest) is taken as misread.
#pragma once

#include <array>
#include <cstdint>

namespace hc11 {

constexpr unsigned kBitsPerFrame = 10;
constexpr double kRateTolerance = 0.03;

struct Frame {
    uint8_t value = 0;
    double bitCycles = 0;  // the sender's bit time in E cycles when the frame began
    // Where each of the ten bits begins, and (last) where the frame ends, in E cycles from
    // the start bit's falling edge.
    std::array<double, kBitsPerFrame + 1> edges{};
    bool disturbed = false;  // the sender's rate changed while the frame was on the line
    bool lineBreak = false;  // a break: the line held low through the stop bit and beyond

    static Frame AtRate(uint8_t value, double bitCycles);
    double length() const { return edges[kBitsPerFrame]; }
    uint64_t lengthCycles() const;  // length() to the nearest whole cycle
    // The sender switches to newBitCycles elapsed cycles into the frame: the bit under way
    // keeps its time, the bits after it take the new one.
    void changeRate(double elapsed, double newBitCycles);
};

struct Reception {
    uint8_t value;
    bool framingError;
};

// A break reads as $00 with a framing error at any rate.
Reception Receive(const Frame &frame, double receiverBitCycles);

bool RatesAgree(double senderBitCycles, double receiverBitCycles);

}  // namespace hc11
