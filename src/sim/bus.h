// The chip's memory map as the CPU sees it, laid out by the part's row of the part table:
//   RAM          from $0000 ($00FF on the 811E2, $01FF on the E9, ...)
//   registers    $1000-$103F ($105F on the F1): HPRIO and INIT are the bus's own, every other
//                register belongs to the device that names it (chip_devices.cpp); the rest
//                read as their reset values, ignore stores, and are traced as not modelled
//   boot ROM     $BF40-$BFFF while HPRIO's RBOOT is set; its vector table from $BFC0 holds
//                the RAM pseudo-vector addresses ($00C4 for the SCI ... $BF40 for reset)
//   EEPROM       where the part has it ($F800-$FFFF on the 811E2, moved by CONFIG's bits 7-4
//                at reset; $B600-$B7FF on the E9), while CONFIG's EEON is set
// and, in expanded mode only (MDA set), external RAM where --xram puts it. In single-chip
// mode an address with nothing inside the chip reads $FF and ignores stores.
//
// CONFIG reads return the latch loaded from the CONFIG cell at the last reset; a newly
// programmed CONFIG takes effect (EEPROM place, NOSEC, NOCOP, EEON) at the next reset.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "clock.h"
#include "cpu_bus.h"
#include "device.h"
#include "eeprom.h"
#include "hc11_registers.h"
#include "part_table.h"
#include "sci.h"
#include "trace.h"

namespace hc11 {

constexpr uint16_t kBootRomStart = 0xBF40;
constexpr uint16_t kBootVectorBase = 0xBFC0;
constexpr uint16_t kBootRomSize = 0xC0;

// The operating mode the MODA and MODB pins select at reset.
enum class ChipMode { Bootstrap, SingleChip, Expanded };

struct AddressRange {
    uint16_t first, last;  // both included
    bool contains(uint16_t address) const { return address >= first && address <= last; }
    size_t size() const { return size_t(last) - first + 1; }
};

// The part's own memories (RAM, registers, EEPROM where the part's row puts it)
// that range overlaps, as "RAM $0000-$00FF, registers $1000-$103F", or "" for none.
std::string ChipMemoriesIn(const PartInfo &part, const AddressRange &range);

// One write to PPROG, BPROT, CONFIG or HPRIO, stamped with the cycle its instruction began.
struct RegisterWrite {
    uint16_t address;
    uint8_t value;
    uint64_t cycle;
};

class Bus : public CpuBus, public ChipControl {
  public:
    // The chip's devices as chip_devices.cpp builds them for the part.
    Bus(Clock &clock, Trace &trace, const PartInfo &part = *GetDefaultPart(),
        std::optional<AddressRange> xram = std::nullopt);
    // devices must hold an Eeprom and a Sci: the memory map and the boot ROM work them.
    Bus(Clock &clock, Trace &trace, const PartInfo &part, std::optional<AddressRange> xram,
        DeviceList devices);

    // Reset in the mode the pins select: registers as after reset, CONFIG latched from its
    // cell, the EEPROM placed by it. RAM, EEPROM and external RAM keep their contents.
    void reset(ChipMode mode = ChipMode::Bootstrap);

    uint8_t read(uint16_t address) override {
        if (address < ram_.size()) return ram_[address];
        if (unsigned(uint16_t(address - eepromStart_)) < eepromSize_)
            return eeprom_.readArray(address);
        return readSlow(address);
    }
    void write(uint16_t address, uint8_t value) override;
    uint16_t vectorBase() const override {
        return (hprio_ & hprio::SMOD) ? kBootVectorBase : 0xFFC0;
    }
    // The devices' highest-priority pending interrupt: the higher its vector, the higher.
    uint16_t pendingInterruptVector() override;

    // The time loop's view of the devices: the earliest next event, and servicing them.
    uint64_t nextDeviceEvent() const;
    void advanceDevices();

    // ChipControl, for the devices.
    bool timeProtectedWritable() const override;
    uint8_t configLatch() const override { return configLatch_; }
    uint8_t option() const override { return registerValue(reg::OPTION); }
    bool normalMode() const override { return !(hprio_ & hprio::SMOD); }
    void callAttention(uint8_t bits) override { attention_ |= bits; }
    void requestReset(uint16_t vector) override { resetRequest_ = vector; }
    // The vector of the reset a device asked for since the last reset, if one did.
    std::optional<uint16_t> takeResetRequest() {
        std::optional<uint16_t> request = resetRequest_;
        resetRequest_.reset();
        return request;
    }

    Eeprom &eeprom() { return eeprom_; }
    const Eeprom &eeprom() const { return eeprom_; }
    Sci &sci() { return sci_; }
    const Sci &sci() const { return sci_; }

    const PartInfo &part() const { return part_; }
    uint16_t ramSize() const { return uint16_t(ram_.size()); }
    // The address of the register at offset in the part's register block.
    uint16_t registerAddress(uint8_t offset) const {
        return uint16_t(part_.wRegisterStart + offset);
    }
    bool inRegisters(uint16_t address) const {
        return unsigned(uint16_t(address - part_.wRegisterStart)) < registers_.size();
    }
    // Whether the EEPROM array answers at address now.
    bool eepromMapped(uint16_t address) const {
        return unsigned(uint16_t(address - eepromStart_)) < eepromSize_;
    }

    uint8_t hprio() const { return hprio_; }
    bool expanded() const { return hprio_ & hprio::MDA; }
    bool bootRomMapped() const { return hprio_ & hprio::RBOOT; }
    bool inBootRom(uint16_t address) const {
        return bootRomMapped() && unsigned(uint16_t(address - kBootRomStart)) < kBootRomSize;
    }
    const std::optional<AddressRange> &xramRange() const { return xramRange_; }
    const std::vector<uint8_t> &externalRam() const { return xram_; }

    // Memory without side effects and whatever the mode: RAM, registers, boot ROM, EEPROM
    // and CONFIG cells (the cell, not the latch), external RAM; $FF where there is none.
    // poke() stores into RAM, the EEPROM and CONFIG cells and external RAM, and returns
    // false for any other address.
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
    static bool ownRegister(uint8_t offset);
    void writeRegister(uint8_t offset, uint8_t value);
    void writeHprio(uint8_t value);
    void logRegisterWrite(uint8_t offset, uint8_t value);
    void mapEeprom();
    void plugIn(Device &device);
    uint8_t *externalCell(uint16_t address);
    const uint8_t *externalCell(uint16_t address) const;
    uint8_t registerValue(uint8_t offset) const;

    Clock &clock_;
    Trace &trace_;
    const PartInfo &part_;
    DeviceList devices_;
    Eeprom &eeprom_;
    Sci &sci_;
    std::vector<Device *> owners_;  // by register offset; null: the chip's own or unmodelled
    std::vector<uint8_t> ram_;
    std::vector<uint8_t> registers_;  // storage of the unmodelled ones
    uint16_t eepromStart_ = 0;
    unsigned eepromSize_ = 0;  // 0 while EEON is clear
    uint8_t configLatch_ = kErasedByte;
    std::array<uint8_t, kBootRomSize> bootRom_{};
    uint8_t hprio_ = hprio::kBootstrapReset;
    std::optional<uint16_t> resetRequest_;
    uint64_t resetCycle_ = 0;
    std::optional<AddressRange> xramRange_;
    std::vector<uint8_t> xram_;
    std::vector<RegisterWrite> registerWrites_;
    uint64_t storeCount_ = 0;
    uint8_t attention_ = 0;
};

}  // namespace hc11
