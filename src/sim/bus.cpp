#include "bus.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "boot_rom.h"
#include "chip_devices.h"

namespace hc11 {

namespace {

constexpr uint64_t kProtectedWindowCycles = 64;  // normal modes: time-protected bits
constexpr size_t kRegisterLogLimit = size_t(1) << 20;
constexpr uint8_t kUnmappedRead = 0xFF;

constexpr unsigned kNamedRegisters = 0x40;
const char *const kRegisterNames[kNamedRegisters] = {
    "PORTA",    "reserved", "PIOC",   "PORTC",  "PORTB", "PORTCL", "reserved", "DDRC",
    "PORTD",    "DDRD",     "PORTE",  "CFORC",  "OC1M",  "OC1D",   "TCNT",     "TCNT+1",
    "TIC1",     "TIC1+1",   "TIC2",   "TIC2+1", "TIC3",  "TIC3+1", "TOC1",     "TOC1+1",
    "TOC2",     "TOC2+1",   "TOC3",   "TOC3+1", "TOC4",  "TOC4+1", "TI4/O5",   "TI4/O5+1",
    "TCTL1",    "TCTL2",    "TMSK1",  "TFLG1",  "TMSK2", "TFLG2",  "PACTL",    "PACNT",
    "SPCR",     "SPSR",     "SPDR",   "BAUD",   "SCCR1", "SCCR2",  "SCSR",     "SCDR",
    "ADCTL",    "ADR1",     "ADR2",   "ADR3",   "ADR4",  "BPROT",  "reserved", "reserved",
    "reserved", "OPTION",   "COPRST", "PPROG",  "HPRIO", "INIT",   "TEST1",    "CONFIG"};

const char *RegisterName(uint8_t offset) {
    return offset < kNamedRegisters ? kRegisterNames[offset] : "register";
}

template <class T>
T &Required(const DeviceList &devices, const char *name) {
    if (T *device = devices.find<T>()) return *device;
    throw std::logic_error(std::string("the chip's devices have no ") + name);
}

uint8_t HprioAtReset(ChipMode mode) {
    switch (mode) {
        case ChipMode::SingleChip:
            return hprio::kSingleChipReset;
        case ChipMode::Expanded:
            return hprio::kExpandedReset;
        case ChipMode::Bootstrap:
            break;
    }
    return hprio::kBootstrapReset;
}

}  // namespace

// The boot ROM is left out: it is there only in the special modes while RBOOT is set, and a
// program turns it off. An 811E2 CONFIG that moves the EEPROM onto external RAM later is
// not foreseen either: there the EEPROM answers, as the chip's own memories come first.
std::string ChipMemoriesIn(const PartInfo &part, const AddressRange &range) {
    const std::pair<const char *, AddressRange> memories[] = {
        {"RAM", {part.wRamStart, part.wRamEnd}},
        {"registers", {part.wRegisterStart, part.wRegisterEnd}},
        {"EEPROM", {part.wEepromStart, part.wEepromEnd}}};
    std::string found;
    for (const auto &[name, memory] : memories) {
        if (memory.last < range.first || memory.first > range.last) continue;
        char text[40];
        std::snprintf(text, sizeof text, "%s%s $%04X-$%04X", found.empty() ? "" : ", ", name,
                      memory.first, memory.last);
        found += text;
    }
    return found;
}

Bus::Bus(Clock &clock, Trace &trace, const PartInfo &part, std::optional<AddressRange> xram)
    : Bus(clock, trace, part, xram, BuildChipDevices(clock, trace, part)) {}

Bus::Bus(Clock &clock, Trace &trace, const PartInfo &part, std::optional<AddressRange> xram,
         DeviceList devices)
    : clock_(clock),
      trace_(trace),
      part_(part),
      devices_(std::move(devices)),
      eeprom_(Required<Eeprom>(devices_, "EEPROM")),
      sci_(Required<Sci>(devices_, "SCI")),
      ram_(size_t(part.wRamEnd) + 1, 0),
      registers_(size_t(part.wRegisterEnd - part.wRegisterStart) + 1, 0),
      bootRom_(BootRomImage()),
      xramRange_(xram) {
    if (xram) xram_.assign(xram->size(), 0);
    owners_.assign(registers_.size(), nullptr);
    for (const auto &device : devices_) plugIn(*device);
    reset();
}

// Each register has one owner; HPRIO and INIT, which lay out the memory map, are the bus's.
void Bus::plugIn(Device &device) {
    device.connect(*this);
    for (uint8_t offset : device.registers()) {
        if (offset >= owners_.size() || owners_[offset] || ownRegister(offset))
            throw std::logic_error("a device names a register that is not free");
        owners_[offset] = &device;
    }
}

uint16_t Bus::pendingInterruptVector() {
    uint16_t highest = 0;
    for (const auto &device : devices_) highest = std::max(highest, device->pendingInterrupt());
    return highest;
}

uint64_t Bus::nextDeviceEvent() const {
    uint64_t next = UINT64_MAX;
    for (const auto &device : devices_) next = std::min(next, device->nextEvent());
    return next;
}

void Bus::advanceDevices() {
    for (const auto &device : devices_) device->advance();
}

void Bus::reset(ChipMode mode) {
    std::fill(registers_.begin(), registers_.end(), 0);
    // INIT: RAM's and the registers' places, each by its top four address bits.
    registers_[reg::INIT] = uint8_t((part_.wRamStart >> 8 & 0xF0) | part_.wRegisterStart >> 12);
    for (uint8_t offset = reg::TOC1; offset <= reg::TI4O5_LOW; offset++)
        registers_[offset] = 0xFF;  // TOC1-TOC4 and TI4/O5 reset to $FFFF
    hprio_ = HprioAtReset(mode);
    resetRequest_.reset();
    resetCycle_ = clock_.now;
    configLatch_ = eeprom_.readConfig();
    eeprom_.setBase(GetEepromStart(&part_, configLatch_));
    for (const auto &device : devices_) device->reset();
    mapEeprom();
}

// The array answers where CONFIG put it while EEON is set; where it would overlap the boot
// ROM (an 811E2 block moved to $B800), the boot ROM wins while it is mapped, as the chip
// must fetch its reset vector there.
void Bus::mapEeprom() {
    eepromStart_ = eeprom_.base();
    eepromSize_ = (configLatch_ & CONFIG_EEON) ? eeprom_.size() : 0;
    uint32_t end = uint32_t(eepromStart_) + eepromSize_;
    if (bootRomMapped() && end > kBootRomStart && eepromStart_ < kBootRomStart + kBootRomSize)
        eepromSize_ = eepromStart_ < kBootRomStart ? kBootRomStart - eepromStart_ : 0;
}

uint8_t Bus::readSlow(uint16_t address) {
    if (inRegisters(address)) return readRegister(uint8_t(address - part_.wRegisterStart));
    if (inBootRom(address)) {
        if (address < kBootVectorBase)
            trace_.line(clock_.now, "boot ROM code at $%04X is not modelled", address);
        return bootRom_[address - kBootRomStart];
    }
    if (const uint8_t *cell = externalCell(address)) return *cell;
    trace_.line(clock_.now, "read of $%04X: nothing there", address);
    return kUnmappedRead;
}

void Bus::write(uint16_t address, uint8_t value) {
    storeCount_++;
    if (address < ram_.size()) {
        ram_[address] = value;
    } else if (eepromMapped(address)) {
        eeprom_.storeArray(address, value);
    } else if (inRegisters(address)) {
        writeRegister(uint8_t(address - part_.wRegisterStart), value);
    } else if (inBootRom(address)) {
        trace_.line(clock_.now, "store to the boot ROM at $%04X ignored", address);
    } else if (uint8_t *cell = externalCell(address)) {
        *cell = value;
    } else {
        trace_.line(clock_.now, "store of $%02X to $%04X: nothing there", value, address);
    }
}

// Registers no device owns read as their reset values and ignore stores (the ports, SPI,
// A/D, input captures, output compares...), with a trace line.
uint8_t Bus::readRegister(uint8_t offset) {
    if (Device *device = owners_[offset]) return device->readRegister(offset);
    if (!ownRegister(offset))
        trace_.line(clock_.now, "read of %s ($%04X) is not modelled", RegisterName(offset),
                    registerAddress(offset));
    return registerValue(offset);
}

bool Bus::ownRegister(uint8_t offset) {
    return offset == reg::HPRIO || offset == reg::INIT;
}

// The value a register reads as, without the side effects of a CPU read.
uint8_t Bus::registerValue(uint8_t offset) const {
    if (const Device *device = owners_[offset]) return device->peekRegister(offset);
    return offset == reg::HPRIO ? hprio_ : registers_[offset];
}

void Bus::writeRegister(uint8_t offset, uint8_t value) {
    attention_ |= attention::RegisterWrite;
    logRegisterWrite(offset, value);
    if (Device *device = owners_[offset]) return device->writeRegister(offset, value);
    if (offset == reg::HPRIO) return writeHprio(value);
    trace_.line(clock_.now, "store of $%02X to %s ($%04X) is not modelled", value,
                RegisterName(offset), registerAddress(offset));
}

// In the special modes RBOOT, MDA and IRV may be written freely; SMOD can be cleared, which
// leaves the special modes for good (and the boot ROM with them), but never set again.
void Bus::writeHprio(uint8_t value) {
    trace_.line(clock_.now, "HPRIO <- $%02X", value);
    constexpr uint8_t kSpecialOnly = hprio::RBOOT | hprio::MDA | hprio::IRV;
    uint8_t next = uint8_t((hprio_ & ~hprio::PSEL) | (value & hprio::PSEL));
    if (hprio_ & hprio::SMOD) next = uint8_t((next & ~kSpecialOnly) | (value & kSpecialOnly));
    if (!(value & hprio::SMOD)) next &= uint8_t(~(hprio::SMOD | hprio::RBOOT));
    if ((hprio_ ^ next) & hprio::SMOD)
        for (const auto &device : devices_) device->beforeModeChange();
    hprio_ = next;
    mapEeprom();
}

void Bus::logRegisterWrite(uint8_t offset, uint8_t value) {
    if (offset != reg::PPROG && offset != reg::BPROT && offset != reg::CONFIG &&
        offset != reg::HPRIO)
        return;
    if (registerWrites_.size() < kRegisterLogLimit)
        registerWrites_.push_back({registerAddress(offset), value, clock_.now});
}

bool Bus::timeProtectedWritable() const {
    return (hprio_ & hprio::SMOD) || clock_.now - resetCycle_ < kProtectedWindowCycles;
}

uint8_t *Bus::externalCell(uint16_t address) {
    return const_cast<uint8_t *>(static_cast<const Bus *>(this)->externalCell(address));
}

const uint8_t *Bus::externalCell(uint16_t address) const {
    if (!expanded() || !xramRange_ || !xramRange_->contains(address)) return nullptr;
    return &xram_[address - xramRange_->first];
}

uint8_t Bus::peek(uint16_t address) const {
    if (address < ram_.size()) return ram_[address];
    if (eeprom_.holds(address)) return eeprom_.cell(address);
    if (inRegisters(address)) return registerValue(uint8_t(address - part_.wRegisterStart));
    if (inBootRom(address)) return bootRom_[address - kBootRomStart];
    if (xramRange_ && xramRange_->contains(address)) return xram_[address - xramRange_->first];
    return kUnmappedRead;
}

bool Bus::poke(uint16_t address, uint8_t value) {
    if (address < ram_.size()) {
        ram_[address] = value;
    } else if (eeprom_.holds(address)) {
        eeprom_.setCell(address, value);
    } else if (xramRange_ && xramRange_->contains(address)) {
        xram_[address - xramRange_->first] = value;
    } else {
        return false;
    }
    return true;
}

}  // namespace hc11
