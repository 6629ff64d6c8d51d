// Failures of the field, injected on request (--fault): what the line does to the bytes the
// target sends, a chip that resets, an EEPROM cell that no longer takes a value.
//
// The target's bytes are counted from 1 over the whole session, each when its stop bit has
// gone out, whether or not the line then carries it to the host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "part_table.h"

namespace hc11 {

enum class FaultKind {
    Silent,   // the board is not in bootstrap mode: nothing gets through either way
    Drop,     // byte N never reaches the host
    Corrupt,  // byte N reaches the host with every bit inverted
    Noise,    // a stray $55 follows byte N on the line
    Stuck,    // the EEPROM cell at the address ignores programming and erasing
    Unplug,   // the line goes dead after byte N, both ways
    Reset,    // the chip resets into bootstrap mode once byte N has gone out
};

struct Fault {
    FaultKind kind;
    uint32_t value;  // the byte number N, or the stuck cell's address
};

// Parses "KIND[:ARG]": silent, drop:N, corrupt:N, noise:N, unplug:N, reset:N (N decimal,
// from 1) or stuck:ADDR (hexadecimal, an EEPROM address of the part with CONFIG erased, or
// CONFIG). False when it is none.
bool ParseFault(const std::string &text, Fault *fault, const PartInfo &part = *GetDefaultPart());

constexpr uint8_t kNoiseByte = 0x55;

// What becomes of one byte the target sent, and of the chip after it.
struct Delivery {
    uint64_t number = 0;      // the byte's place in the session, from 1
    bool reachesHost = true;  // false: dropped, or the line is dead
    bool inverted = false;
    bool noiseAfter = false;  // a $55 follows it on the line
    bool resetAfter = false;  // the chip resets into bootstrap mode once it has gone
    bool lineDiesAfter = false;
};

// The faults that act on the line, and the count of the target's bytes.
class LineFaults {
  public:
    LineFaults() = default;
    explicit LineFaults(const std::vector<Fault> &faults);

    // The target has sent its next byte.
    Delivery targetSent();
    // Nothing gets through in either direction any more (or ever, for a silent board).
    bool dead() const { return dead_; }

  private:
    std::vector<Fault> faults_;
    uint64_t sent_ = 0;
    bool dead_ = false;
};

}  // namespace hc11
