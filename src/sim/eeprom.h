// The on-chip EEPROM: the part's array (2 KB at $x800 on the 811E2, 512 bytes at $B600 on the
// E9, ...) and the CONFIG cell in the register block, programmed and erased through PPROG and
// guarded by BPROT where the part has it; reads of CONFIG give the latch loaded at reset. The
// array sits where the bus maps it (setBase), which on the 811E2 follows CONFIG at each reset.
//
// How an operation runs: a PPROG write sets EELAT; a later store to an EEPROM address (or to
// CONFIG) latches that address and the data; a further PPROG write sets EPGM. The operation
// takes effect when EPGM is cleared again, and only if it stayed on for 10 ms of real time at
// the crystal's E clock (20,000 E cycles at E = 2 MHz); cleared earlier, nothing changes.
// Below E = 1 MHz the charge pump needs OPTION's CSEL (its own RC clock) and 20 ms. Programming
// ANDs the data into the cell, the erases set cells to $FF. Reads of the array while EELAT is set
// return $FF: the array is cut off from the read path while it is latched for programming.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "clock.h"
#include "device.h"
#include "part_table.h"
#include "trace.h"

namespace hc11 {

constexpr double kEepromProgramSeconds = 0.010;
// Below this E clock the E-driven charge pump is too weak: CSEL must be set, and the
// operation take twice as long.
constexpr double kEepromSlowClockHz = 1000000.0;
constexpr double kEepromRcProgramSeconds = 0.020;
constexpr uint8_t kErasedByte = 0xFF;

struct EepromStats {
    uint64_t program = 0;  // programming operations that ran their 10 ms
    uint64_t byteErase = 0;
    uint64_t rowErase = 0;
    uint64_t bulkErase = 0;
    uint64_t aborted = 0;       // EPGM cleared too early, or CSEL clear below E = 1 MHz
    uint64_t protectedOps = 0;  // completed operations that BPROT kept from some cell
    uint64_t busyCycles = 0;    // EPGM-on time of every operation
    uint64_t pprogWrites = 0;
};

class Eeprom : public Device {
  public:
    Eeprom(const Clock &clock, Trace &trace, const PartInfo &part);

    // Reset: PPROG $00, BPROT $1F (none without BPROT), nothing latched. The cells keep
    // their contents.
    void reset() override;

    // Its registers: PPROG, BPROT where the part has it (elsewhere $1035 is a reserved
    // location), and CONFIG, whose reads are the chip's latch. The end of an operation's 10 ms
    // is an event, so that a waiting program is woken exactly then.
    std::vector<uint8_t> registers() const override;
    uint8_t readRegister(uint8_t offset) override { return peekRegister(offset); }
    uint8_t peekRegister(uint8_t offset) const override;
    void writeRegister(uint8_t offset, uint8_t value) override;
    uint64_t nextEvent() const override {
        uint64_t done = completionCycle();
        return done > clock_.now ? done : UINT64_MAX;
    }
    // Where the array starts in the memory map from now on.
    void setBase(uint16_t base) { base_ = base; }
    uint16_t base() const { return base_; }
    uint16_t size() const { return uint16_t(array_.size()); }
    bool inArray(uint16_t address) const { return unsigned(uint16_t(address - base_)) < size(); }

    // The CPU's view. address is inside the array for the array calls.
    uint8_t readArray(uint16_t address) const {
        return (pprog_ & pprog::EELAT) ? kErasedByte : array_[uint16_t(address - base_)];
    }
    void storeArray(uint16_t address, uint8_t value) { store(address, value); }
    uint8_t readConfig() const { return config_; }
    void storeConfig(uint8_t value) { store(configAddress_, value); }
    uint16_t configAddress() const { return configAddress_; }

    uint8_t pprog() const { return pprog_; }
    void writePprog(uint8_t value);
    uint8_t bprot() const { return bprot_; }
    // mayClear: whether protection bits may be cleared now (special modes, or the first
    // 64 cycles after reset); otherwise a write can only set them.
    void writeBprot(uint8_t value, bool mayClear);

    // EPGM is on: an operation is running.
    bool busy() const { return (pprog_ & pprog::EPGM) != 0; }
    // The cycle at which the running operation will have had its 10 ms, or 0 when none runs.
    uint64_t completionCycle() const { return busy() ? epgmOnCycle_ + programCycles() : 0; }
    // How long EPGM must stay on at this E clock, in E cycles.
    uint64_t programCycles() const;

    // Direct access to the cells, for preloading and dumps: the array and CONFIG.
    uint8_t cell(uint16_t address) const;
    void setCell(uint16_t address, uint8_t value);
    bool holds(uint16_t address) const { return inArray(address) || address == configAddress_; }

    // From now on the cell at address ignores programming and erasing, as a worn-out cell
    // does; the operations still take their time and are counted.
    void setStuck(uint16_t address) { stuck_.push_back(address); }

    const EepromStats &stats() const { return stats_; }

  private:
    enum class Operation { Program, ByteErase, RowErase, BulkErase };

    void store(uint16_t address, uint8_t value);
    void finishOperation();
    bool pumpTooWeak() const;
    Operation operationFor(uint8_t pattern) const;
    void apply(Operation operation);
    void countOperation(Operation operation);
    bool cellProtected(uint16_t address) const;
    bool stuck(uint16_t address) const {
        return std::find(stuck_.begin(), stuck_.end(), address) != stuck_.end();
    }
    bool program(uint16_t address, uint8_t data);
    bool erase(uint16_t address);
    bool keepStuck(uint16_t address);
    bool eraseRange(uint16_t first, unsigned count);

    const Clock &clock_;
    Trace &trace_;
    std::vector<uint8_t> array_;
    uint16_t base_;
    const uint16_t configAddress_;
    const bool hasBprot_;
    const std::array<uint16_t, 4> blockStart_;  // BPRT0-BPRT3's blocks, from the array's start
    uint8_t config_ = kErasedByte;
    uint8_t pprog_ = 0;
    uint8_t bprot_ = bprot::kResetValue;
    uint8_t operationPattern_ = 0;  // PPROG's mode bits when EPGM went on
    uint64_t epgmOnCycle_ = 0;
    bool csel_ = false;  // OPTION's CSEL when EPGM went on
    bool latched_ = false;
    uint16_t latchAddress_ = 0;
    uint8_t latchData_ = 0;
    std::vector<uint16_t> stuck_;
    EepromStats stats_;
};

}  // namespace hc11
