// What a device of the chip offers the bus and the time loop: it owns some registers of the
// block, answers their reads and writes, says when it next changes by itself, does what
// falls due when the time loop services it, and names the interrupt it asks for. The bus
// routes by register offset; adding a device means attaching it, not editing the bus.
#pragma once

#include <cstdint>

namespace hc11 {

// Offsets of the modelled registers inside the block.
namespace reg {
constexpr uint8_t TCNT = 0x0E, TCNT_LOW = 0x0F, TMSK2 = 0x24, TFLG2 = 0x25, PACTL = 0x26,
                  SPCR = 0x28, BAUD = 0x2B, SCCR1 = 0x2C, SCCR2 = 0x2D, SCSR = 0x2E, SCDR = 0x2F,
                  BPROT = 0x35, OPTION = 0x39, COPRST = 0x3A, PPROG = 0x3B, HPRIO = 0x3C,
                  INIT = 0x3D, TEST1 = 0x3E, CONFIG = 0x3F;
}

// OPTION's bits that the devices use: the EEPROM's charge-pump clock and the COP's rate.
namespace option {
constexpr uint8_t CSEL = 0x40, IRQE = 0x20, DLY = 0x10, CR = 0x03;
constexpr uint8_t kTimeProtected = IRQE | DLY | CR;
}  // namespace option

namespace attention {
constexpr uint8_t EmptyPoll = 0x01;      // SCSR read with RDRF clear
constexpr uint8_t RegisterWrite = 0x02;  // a store into the register block
}  // namespace attention

// What the chip tells its devices about itself.
class ChipControl {
  public:
    virtual ~ChipControl() = default;
    // Time-protected bits (BPROT's clearing, OPTION's IRQE, DLY and CR, TMSK2's PR) may be
    // written: in the special modes always, in the normal ones only in the first 64 cycles
    // after reset (and OPTION's and TMSK2's only once: the devices keep that).
    virtual bool timeProtectedWritable() const = 0;
    virtual uint8_t configLatch() const = 0;
    virtual uint8_t option() const = 0;
    virtual bool normalMode() const = 0;
    // A read that found nothing to do (attention:: bits), for telling a waiting CPU.
    virtual void callAttention(uint8_t bits) = 0;
};

class Device {
  public:
    virtual ~Device() = default;

    void connect(ChipControl &chip) { chip_ = &chip; }

    virtual void reset() = 0;
    // Offsets are from the start of the register block.
    virtual uint8_t readRegister(uint8_t offset) = 0;        // the CPU's read
    virtual uint8_t peekRegister(uint8_t offset) const = 0;  // without side effects
    virtual void writeRegister(uint8_t offset, uint8_t value) = 0;
    // The next cycle at which the device changes by itself; UINT64_MAX when none is due.
    virtual uint64_t nextEvent() const { return UINT64_MAX; }
    // Does everything that falls due up to the present cycle.
    virtual void advance() {}
    // The normal-mode address of the vector of its pending, enabled interrupt, or 0.
    virtual uint16_t pendingInterrupt() const { return 0; }

  protected:
    ChipControl *chip_ = nullptr;
};

}  // namespace hc11
