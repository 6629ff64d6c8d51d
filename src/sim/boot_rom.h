// The bootstrap ROM, modelled by what it is documented to do rather than by its code.
//
// From reset it sets the SCI to 1200 baud (BAUD $33: prescaler /13, rate divider /8),
// turns the transmitter and receiver on (SCCR2 $0C) and sets SPCR's DWOM; then it waits for a
// character. A $FF received cleanly at 1200 baud starts the load; any other character, or a
// $FF sent at another rate (which arrives garbled, with FE), is ignored with a trace line.
// Each of the next 256 characters is stored from $0000 up and echoed through the SCI (the
// echo takes its ten bit-times like any character). After the 256th echo has been handed to
// the SCI, the loaded program starts at $0000, the echo possibly still shifting out.
//
// The ROM works the SCI through the same registers and clearing sequences as code would,
// one 7-cycle polling pass at a time.
#pragma once

#include <array>
#include <cstdint>

#include "bus.h"
#include "clock.h"
#include "cpu.h"
#include "trace.h"

namespace hc11 {

// The ROM's bytes at $BF40-$BFFF: its vector table (from $BFC0) holds the RAM pseudo-vector
// addresses; the code area before it is not modelled and reads $00.
std::array<uint8_t, kBootRomSize> BootRomImage();

class BootRom {
  public:
    static constexpr unsigned kLoadLength = 256;
    static constexpr unsigned kPollCycles = 7;    // one BRCLR pass on SCSR
    static constexpr unsigned kStoreCycles = 12;  // read SCDR, store, advance the pointer
    static constexpr uint8_t kBaud1200 = 0x33;
    static constexpr uint8_t kSciOn = sccr2::TE | sccr2::RE;

    BootRom(Bus &bus, Trace &trace, const Clock &clock) : bus_(bus), trace_(trace), clock_(clock) {}

    // Enters the ROM from reset: SCI set up, waiting for the $FF.
    void start();
    // Runs one step of the ROM and returns the E cycles it took.
    unsigned step();

    bool finished() const { return state_ == State::Finished; }
    // The last step only polled the SCI and found nothing to do: steps stay alike until the
    // SCI changes.
    bool polling() const { return polled_; }
    unsigned bytesLoaded() const { return loaded_; }

    // The CPU registers when the loaded program starts: PC $0000, SP $00FF (the top of RAM),
    // X $1000 (the register block, which the ROM addresses through X), A, B and Y zero, and
    // CCR as reset left it (S, X and I set).
    static Registers exitRegisters();

  private:
    enum class State { WaitForStart, WaitForByte, Echo, Finished };

    unsigned waitForStart();
    unsigned waitForByte();
    unsigned echo();
    uint8_t sciStatus() { return bus_.read(kRegisterBase + reg::SCSR); }

    Bus &bus_;
    Trace &trace_;
    const Clock &clock_;
    State state_ = State::WaitForStart;
    unsigned loaded_ = 0;
    uint8_t echoValue_ = 0;
    bool polled_ = false;
};

}  // namespace hc11
