// The bootstrap ROM, modelled by what it is documented to do rather than by its code.
//
// From reset it sets the SCI to 7812.5 baud (BAUD $A2: E/256), turns the transmitter and
// receiver on (SCCR2 $0C) and sets SPCR's DWOM. With --secure, on a part whose CONFIG latch
// has NOSEC clear, it first sends $FF, clears BPROT, bulk-erases the EEPROM (again, until
// every cell reads $FF), fills RAM with $FF and erases CONFIG. Then it sends a break and holds
// it until RxD goes low, and waits for the first character, which decides:
//   $FF          the load runs at 7812 baud;
//   $00, break   jump to the EEPROM's start (the part's wBreakJump);
//   $55          jump to $0000 without a load, on parts whose ROM does so (A8, 811E2);
//   $F0          on the F1, BAUD $30 (9615 baud at E = 2 MHz) and the load runs there;
//   anything     BAUD $33 (about 1202 baud) and the load runs there; a host's $FF sent at
//   else         1200 baud arrives as such a character ($C0 or $E0).
// The first character is not echoed. Each following character is stored from $0000 up and
// echoed; the load ends after the part's wBootLoadMax bytes, or on a variable-load part also
// once the line has stayed idle for 4 character times; then the ROM jumps to $0000 with
// X = the register block ($1000), Y = the number of bytes loaded, A = the last byte received,
// SP = the top of RAM and CCR as reset left it. The last echo may still be shifting out when
// the program starts.
//
// The ROM works the SCI and the EEPROM through the same registers and sequences as code
// would, one 7-cycle polling pass at a time.
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
    static constexpr unsigned kPollCycles = 7;    // one BRCLR pass on SCSR
    static constexpr unsigned kStoreCycles = 12;  // read SCDR, store, advance the pointer
    static constexpr uint8_t kSciOn = sccr2::TE | sccr2::RE;
    static constexpr unsigned kIdleCharacters = 4;  // the variable load's end

    // secureMask: the part's mask honours NOSEC = 0 (hc11sim --secure).
    BootRom(Bus &bus, Trace &trace, const Clock &clock, bool secureMask = false)
        : bus_(bus), trace_(trace), clock_(clock), secureMask_(secureMask) {}

    // Enters the ROM from reset.
    void start();
    // Runs one step of the ROM and returns the E cycles it took.
    unsigned step();

    bool finished() const { return state_ == State::Finished; }
    // The last step only polled and found nothing to do: steps stay alike until the SCI
    // changes or nextEvent() comes.
    bool polling() const { return polled_; }
    // When the ROM acts without the SCI changing (the idle end of a load, an erase's 10 ms),
    // UINT64_MAX when nothing is due.
    uint64_t nextEvent() const { return deadline_; }
    unsigned bytesLoaded() const { return loaded_; }

    // The CPU registers for the program the ROM jumps to, valid once finished().
    const Registers &exitRegisters() const { return exit_; }
    // The registers after a load of count bytes ending with lastByte, jumping to pc.
    static Registers EntryRegisters(const PartInfo &part, uint16_t pc, unsigned count,
                                    uint8_t lastByte);

  private:
    enum class State { SecureSend, SecureWait, Break, First, Byte, Echo, Finished };
    enum class Erasing { Array, Config };

    unsigned secureSend();
    unsigned startErase(Erasing what);
    unsigned secureWait();
    void enterBreak();
    unsigned holdBreak();
    unsigned first();
    unsigned waitForByte();
    unsigned echo();
    unsigned poll();
    void beginLoad();
    void armIdleEnd();
    bool receivedCharacter(uint8_t *value);
    void jump(uint16_t pc, const char *why);
    bool arrayErased() const;
    uint8_t sciStatus() { return bus_.read(bus_.registerAddress(reg::SCSR)); }
    void writeRegister(uint8_t offset, uint8_t value) {
        bus_.write(bus_.registerAddress(offset), value);
    }

    Bus &bus_;
    Trace &trace_;
    const Clock &clock_;
    const bool secureMask_;
    State state_ = State::Break;
    Erasing erasing_ = Erasing::Array;
    unsigned loaded_ = 0;
    uint8_t lastByte_ = 0;
    bool polled_ = false;
    uint64_t deadline_ = UINT64_MAX;
    Registers exit_;
};

}  // namespace hc11
