// What the CPU core sees of the chip: a 64 KB address space, the vector table's place,
// and the maskable interrupt sources. The CPU knows nothing else about the chip.
#pragma once

#include <cstdint>

namespace hc11 {

class CpuBus {
  public:
    virtual ~CpuBus() = default;

    virtual uint8_t read(uint16_t address) = 0;
    virtual void write(uint16_t address, uint8_t value) = 0;

    // Address at which the 64-byte vector table starts: $FFC0 in the normal modes,
    // $BFC0 in the special modes (bootstrap, test), where the boot ROM holds the vectors.
    virtual uint16_t vectorBase() const { return 0xFFC0; }

    // The highest-priority maskable interrupt that is pending and enabled at its source,
    // given as its vector's normal-mode address ($FFD6 for the SCI, $FFF2 for IRQ, ...),
    // or 0 when none is. The CPU applies the I bit itself.
    virtual uint16_t pendingInterruptVector() { return 0; }

    // XIRQ line level (asserted = true). The CPU applies the X bit itself.
    virtual bool xirqAsserted() { return false; }
};

}  // namespace hc11
