// What a device of the chip offers the bus and the time loop: it names the registers of the
// block it owns, answers their reads and writes, says when it next changes by itself, does
// what falls due when the time loop services it, names the interrupt it asks for, and may ask
// the chip to reset. The chip builds its list of devices in one place (chip_devices.cpp); the
// bus routes each register to the device that named it, so a new peripheral is a new device
// and one line there, with no edit to the bus or the time loop.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "hc11_registers.h"

namespace hc11 {

namespace attention {
constexpr uint8_t EmptyPoll = 0x01;      // SCSR read with RDRF clear
constexpr uint8_t RegisterWrite = 0x02;  // a store into the register block
}  // namespace attention

// What the chip tells its devices about itself, and what they may ask of it.
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
    // The chip resets through the vector at that normal-mode address, once the devices have
    // done what is due now.
    virtual void requestReset(uint16_t vector) = 0;
};

class Device {
  public:
    virtual ~Device() = default;

    void connect(ChipControl &chip) { chip_ = &chip; }

    // The registers it owns, as offsets from the start of the register block.
    virtual std::vector<uint8_t> registers() const = 0;
    virtual void reset() = 0;
    virtual uint8_t readRegister(uint8_t offset) = 0;        // the CPU's read
    virtual uint8_t peekRegister(uint8_t offset) const = 0;  // without side effects
    virtual void writeRegister(uint8_t offset, uint8_t value) = 0;
    // The next cycle at which the device changes by itself; UINT64_MAX when none is due.
    virtual uint64_t nextEvent() const { return UINT64_MAX; }
    // Does everything that falls due up to the present cycle.
    virtual void advance() {}
    // The chip is about to enter or leave the special modes: what depends on the mode so far
    // is settled first.
    virtual void beforeModeChange() {}
    // The normal-mode address of the vector of its pending, enabled interrupt, or 0.
    virtual uint16_t pendingInterrupt() const { return 0; }

  protected:
    ChipControl *chip_ = nullptr;
};

// The devices of one chip, in the order the time loop services them.
class DeviceList {
  public:
    template <class T, class... Args>
    T &add(Args &&...args) {
        devices_.push_back(std::make_unique<T>(std::forward<Args>(args)...));
        return static_cast<T &>(*devices_.back());
    }
    // The first device of type T, or null.
    template <class T>
    T *find() const {
        for (const auto &device : devices_)
            if (auto *found = dynamic_cast<T *>(device.get())) return found;
        return nullptr;
    }
    auto begin() const { return devices_.begin(); }
    auto end() const { return devices_.end(); }

  private:
    std::vector<std::unique_ptr<Device>> devices_;
};

}  // namespace hc11
