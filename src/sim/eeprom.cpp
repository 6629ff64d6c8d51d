#include "eeprom.h"

namespace hc11 {

namespace {

constexpr unsigned kRowSize = 16;
// Bit 5 is not there and reads 0.
constexpr uint8_t kPprogImplemented =
    pprog::ODD | pprog::EVEN | pprog::BYTE | pprog::ROW | pprog::ERASE | pprog::EELAT | pprog::EPGM;

const char *OperationName(uint8_t pattern) {
    if (!(pattern & pprog::ERASE)) return "program";
    if (pattern & pprog::BYTE) return "byte erase";
    return (pattern & pprog::ROW) ? "row erase" : "bulk erase";
}

}  // namespace

Eeprom::Eeprom(const Clock &clock, Trace &trace, const PartInfo &part)
    : clock_(clock),
      trace_(trace),
      array_(size_t(part.wEepromEnd - part.wEepromStart) + 1, kErasedByte),
      base_(part.wEepromStart),
      configAddress_(uint16_t(part.wRegisterStart + reg::CONFIG)),
      hasBprot_(part.fHasBprot != 0),
      blockStart_{part.awBprotBlockStart[0], part.awBprotBlockStart[1], part.awBprotBlockStart[2],
                  part.awBprotBlockStart[3]} {}

void Eeprom::reset() {
    pprog_ = 0;
    bprot_ = hasBprot_ ? bprot::kResetValue : 0;
    latched_ = false;
}

std::vector<uint8_t> Eeprom::registers() const {
    if (!hasBprot_) return {reg::PPROG, reg::CONFIG};
    return {reg::PPROG, reg::BPROT, reg::CONFIG};
}

uint8_t Eeprom::peekRegister(uint8_t offset) const {
    if (offset == reg::CONFIG) return chip_ ? chip_->configLatch() : config_;
    return offset == reg::PPROG ? pprog_ : bprot_;
}

void Eeprom::writeRegister(uint8_t offset, uint8_t value) {
    if (offset == reg::PPROG) return writePprog(value);
    if (offset == reg::BPROT) return writeBprot(value, !chip_ || chip_->timeProtectedWritable());
    trace_.line(clock_.now, "CONFIG <- $%02X", value);
    storeConfig(value);
}

void Eeprom::store(uint16_t address, uint8_t value) {
    if (!(pprog_ & pprog::EELAT)) return;  // a plain store does not change an EEPROM cell
    if (pprog_ & pprog::EPGM) {
        trace_.line(clock_.now, "EEPROM: store to $%04X ignored while EPGM is on", address);
        return;
    }
    latched_ = true;
    latchAddress_ = address;
    latchData_ = value;
}

void Eeprom::writePprog(uint8_t value) {
    stats_.pprogWrites++;
    trace_.line(clock_.now, "PPROG <- $%02X", value);
    if (value & (pprog::ODD | pprog::EVEN))
        trace_.line(clock_.now, "PPROG: ODD and EVEN (test modes) are not modelled");
    value &= kPprogImplemented;
    bool wasOn = busy();
    bool eelat = value & pprog::EELAT;
    bool epgm = (value & pprog::EPGM) && eelat;
    if (epgm && !wasOn && !(pprog_ & pprog::EELAT)) {
        trace_.line(clock_.now, "PPROG: EPGM ignored, EELAT was not set by an earlier write");
        epgm = false;
    }
    if (wasOn && !epgm) finishOperation();
    if (!wasOn && epgm) {
        epgmOnCycle_ = clock_.now;
        operationPattern_ = value;
        csel_ = chip_ && (chip_->option() & option::CSEL);
    }
    if (!eelat) latched_ = false;
    pprog_ = uint8_t((value & ~pprog::EPGM) | (epgm ? pprog::EPGM : 0));
}

void Eeprom::writeBprot(uint8_t value, bool mayClear) {
    trace_.line(clock_.now, "BPROT <- $%02X", value);
    if (!hasBprot_) return;
    value &= bprot::kResetValue;
    bprot_ = mayClear ? value : uint8_t(bprot_ | value);
}

void Eeprom::finishOperation() {
    uint64_t onCycles = clock_.now - epgmOnCycle_;
    stats_.busyCycles += onCycles;
    const char *name = OperationName(operationPattern_);
    if (onCycles < programCycles()) {
        stats_.aborted++;
        trace_.line(clock_.now, "EEPROM: %s aborted after %llu cycles, cells unchanged", name,
                    static_cast<unsigned long long>(onCycles));
        return;
    }
    if (pumpTooWeak()) {
        stats_.aborted++;
        trace_.line(clock_.now, "EEPROM: %s with CSEL clear below E = 1 MHz, cells unchanged",
                    name);
        return;
    }
    if (!latched_) {
        trace_.line(clock_.now, "EEPROM: %s with no address latched does nothing", name);
        return;
    }
    Operation operation = operationFor(operationPattern_);
    countOperation(operation);
    trace_.line(clock_.now, "EEPROM: %s at $%04X done", name, latchAddress_);
    apply(operation);
}

uint64_t Eeprom::programCycles() const {
    bool slow = clock_.eHz < kEepromSlowClockHz;
    return clock_.cyclesFor(slow ? kEepromRcProgramSeconds : kEepromProgramSeconds);
}

// The manual asks for CSEL below E = 1 MHz without saying what happens otherwise: the
// operation is taken to leave the cells unchanged, as one cut short does.
bool Eeprom::pumpTooWeak() const {
    return clock_.eHz < kEepromSlowClockHz && !csel_;
}

Eeprom::Operation Eeprom::operationFor(uint8_t pattern) const {
    if (!(pattern & pprog::ERASE)) return Operation::Program;
    if (pattern & pprog::BYTE) return Operation::ByteErase;
    return (pattern & pprog::ROW) ? Operation::RowErase : Operation::BulkErase;
}

void Eeprom::countOperation(Operation operation) {
    switch (operation) {
        case Operation::Program:
            stats_.program++;
            break;
        case Operation::ByteErase:
            stats_.byteErase++;
            break;
        case Operation::RowErase:
            stats_.rowErase++;
            break;
        case Operation::BulkErase:
            stats_.bulkErase++;
            break;
    }
}

// Applies a completed operation to the latched address. A byte or row erase latched at
// CONFIG erases CONFIG alone; a bulk erase latched there takes in the array as well.
void Eeprom::apply(Operation operation) {
    bool complete = true;
    bool atConfig = latchAddress_ == configAddress_;
    switch (operation) {
        case Operation::Program:
            complete = program(latchAddress_, latchData_);
            break;
        case Operation::ByteErase:
            complete = erase(latchAddress_);
            break;
        case Operation::RowErase:
            complete = atConfig ? erase(latchAddress_)
                                : eraseRange(uint16_t(latchAddress_ & ~(kRowSize - 1)), kRowSize);
            break;
        case Operation::BulkErase:
            complete = eraseRange(base_, size());
            if (atConfig) complete = erase(configAddress_) && complete;
            break;
    }
    if (!complete) {
        stats_.protectedOps++;
        trace_.line(clock_.now, "EEPROM: BPROT $%02X kept protected cells unchanged", bprot_);
    }
}

bool Eeprom::cellProtected(uint16_t address) const {
    if (address == configAddress_) return bprot_ & bprot::PTCON;
    uint16_t offset = uint16_t(address - base_);
    unsigned block = 3;
    while (block > 0 && offset < blockStart_[block]) block--;
    return bprot_ & (1u << block);
}

bool Eeprom::program(uint16_t address, uint8_t data) {
    if (!holds(address) || cellProtected(address)) return false;
    if (stuck(address)) return keepStuck(address);
    setCell(address, uint8_t(cell(address) & data));
    return true;
}

bool Eeprom::erase(uint16_t address) {
    if (!holds(address) || cellProtected(address)) return false;
    if (stuck(address)) return keepStuck(address);
    setCell(address, kErasedByte);
    return true;
}

bool Eeprom::eraseRange(uint16_t first, unsigned count) {
    bool complete = true;
    for (unsigned i = 0; i < count; i++) complete = erase(uint16_t(first + i)) && complete;
    return complete;
}

bool Eeprom::keepStuck(uint16_t address) {
    trace_.line(clock_.now, "EEPROM: stuck cell $%04X keeps $%02X", address, cell(address));
    return true;
}

uint8_t Eeprom::cell(uint16_t address) const {
    if (address == configAddress_) return config_;
    return inArray(address) ? array_[uint16_t(address - base_)] : kErasedByte;
}

void Eeprom::setCell(uint16_t address, uint8_t value) {
    if (address == configAddress_)
        config_ = value;
    else if (inArray(address))
        array_[uint16_t(address - base_)] = value;
}

}  // namespace hc11
