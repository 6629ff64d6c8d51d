// The chip's memory map as the CPU sees it, for a 68HC811E2-class chip reset in special
// bootstrap mode:
//   $0000-$00FF  RAM
//   $1000-$103F  the register block (SCI, EEPROM control, HPRIO, CONFIG; every other
//                register reads back what was written, and is traced as not modelled)
//   $BF40-$BFFF  the bootstrap ROM, while HPRIO's RBOOT is set; its vector table from $BFC0
//                holds the RAM pseudo-vector addresses ($00C4 for the SCI ... $BF40 for reset)
//   $F800-$FFFF  EEPROM
// and, in expanded mode only (MDA set), external RAM where --xram puts it. In single-chip
// mode an address with nothing inside the chip reads $FF and ignores stores.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "clock.h"
#include "cpu_bus.h"
#include "eeprom.h"
#include "sci.h"
#include "trace.h"

namespace hc11 {

constexpr uint16_t kRamSize = 0x100;
constexpr uint16_t kRegisterBase = 0x1000;
constexpr uint16_t kRegisterCount = 0x40;
constexpr uint16_t kBootRomStart = 0xBF40;
constexpr uint16_t kBootVectorBase = 0xBFC0;
constexpr uint16_t kBootRomSize = 0xC0;
constexpr uint16_t kSciVector = 0xFFD6;  // normal-mode address of the SCI vector

namespace hprio {
constexpr uint8_t RBOOT = 0x80, SMOD = 0x40, MDA = 0x20, IRV = 0x10, PSEL = 0x0F;
constexpr uint8_t kBootstrapReset = 0xC5;  // RBOOT and SMOD set, MDA clear, PSEL %0101
}  // namespace hprio

namespace spcr {
constexpr uint8_t SPE = 0x40, DWOM = 0x20;
}

// Offsets of the modelled registers inside the block.
namespace reg {
constexpr uint8_t SPCR = 0x28, BAUD = 0x2B, SCCR1 = 0x2C, SCCR2 = 0x2D, SCSR = 0x2E, SCDR = 0x2F,
                  BPROT = 0x35, OPTION = 0x39, PPROG = 0x3B, HPRIO = 0x3C, INIT = 0x3D,
                  CONFIG = 0x3F;
}

namespace attention {
constexpr uint8_t EmptyPoll = 0x01;      // SCSR read with RDRF clear
constexpr uint8_t RegisterWrite = 0x02;  // a store into the register block
}  // namespace attention

struct AddressRange {
    uint16_t first, last;  // both included
    bool contains(uint16_t address) const { return address >= first && address <= last; }
    size_t size() const { return size_t(last) - first + 1; }
};

// One write to PPROG, BPROT, CONFIG or HPRIO, stamped with the cycle its instruction began.
struct RegisterWrite {
    uint16_t address;
    uint8_t value;
    uint64_t cycle;
};

class Bus : public CpuBus {
  public:
    Bus(Clock &clock, Trace &trace, std::optional<AddressRange> xram = std::nullopt);

    // Reset into special bootstrap mode. RAM, EEPROM and external RAM keep their contents.
    void reset();

    uint8_t read(uint16_t address) override {
        if (address < kRamSize) return ram_[address];
        if (address >= kEepromStart) return eeprom_.readArray(address);
        return readSlow(address);
    }
    void write(uint16_t address, uint8_t value) override;
    uint16_t vectorBase() const override {
        return (hprio_ & hprio::SMOD) ? kBootVectorBase : 0xFFC0;
    }
    uint16_t pendingInterruptVector() override { return sci_.interruptPending() ? kSciVector : 0; }

    Eeprom &eeprom() { return eeprom_; }
    const Eeprom &eeprom() const { return eeprom_; }
    Sci &sci() { return sci_; }
    const Sci &sci() const { return sci_; }

    uint8_t hprio() const { return hprio_; }
    bool expanded() const { return hprio_ & hprio::MDA; }
    bool bootRomMapped() const { return hprio_ & hprio::RBOOT; }
    const std::optional<AddressRange> &xramRange() const { return xramRange_; }
    const std::vector<uint8_t> &externalRam() const { return xram_; }

    // Memory without side effects and whatever the mode: RAM, registers, boot ROM, EEPROM
    // and CONFIG cells, external RAM; $FF where there is none. poke() stores into RAM, the
    // EEPROM and CONFIG cells and external RAM, and returns false for any other address.
    uint8_t peek(uint16_t address) const;
    bool poke(uint16_t address, uint8_t value);

    const std::vector<RegisterWrite> &registerWrites() const { return registerWrites_; }
    void clearRegisterWrites() { registerWrites_.clear(); }

    // For telling a CPU that only waits for input: the number of stores so far, and what
    // happened since the last takeAttention() (attention:: bits).
    uint64_t storeCount() const { return storeCount_; }
    uint8_t attention() const { return attention_; }
    uint8_t takeAttention() {
        uint8_t happened = attention_;
        attention_ = 0;
        return happened;
    }

  private:
    uint8_t readSlow(uint16_t address);
    uint8_t readRegister(uint8_t offset);
    void writeRegister(uint8_t offset, uint8_t value);
    void writeHprio(uint8_t value);
    void writeSpcr(uint8_t value);
    void logRegisterWrite(uint8_t offset, uint8_t value);
    bool bprotMayClear() const;
    uint8_t *externalCell(uint16_t address);
    const uint8_t *externalCell(uint16_t address) const;
    uint8_t registerValue(uint8_t offset) const;

    Clock &clock_;
    Trace &trace_;
    Eeprom eeprom_;
    Sci sci_;
    std::array<uint8_t, kRamSize> ram_{};
    std::array<uint8_t, kRegisterCount> registers_{};  // storage of the unmodelled ones
    std::array<uint8_t, kBootRomSize> bootRom_{};
    uint8_t hprio_ = hprio::kBootstrapReset;
    uint8_t spcr_ = 0;
    uint64_t resetCycle_ = 0;
    std::optional<AddressRange> xramRange_;
    std::vector<uint8_t> xram_;
    std::vector<RegisterWrite> registerWrites_;
    uint64_t storeCount_ = 0;
    uint8_t attention_ = 0;
};

}  // namespace hc11
