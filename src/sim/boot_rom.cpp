#include "boot_rom.h"

namespace hc11 {

namespace {

constexpr uint8_t kStartByte = 0xFF;

// Where the vectors send each interrupt: a three-byte jump slot in RAM, from the SCI's at
// $00C4 in normal-mode vector order up to the clock monitor's at $00FD; reset enters the ROM.
constexpr uint16_t kFirstPseudoVector = 0x00C4;
constexpr uint16_t kFirstUsedVector = 0xFFD6;  // the SCI's, in normal-mode addresses
constexpr uint16_t kResetVector = 0xFFFE;

}  // namespace

std::array<uint8_t, kBootRomSize> BootRomImage() {
    std::array<uint8_t, kBootRomSize> image{};
    uint16_t table = kBootVectorBase - kBootRomStart;
    for (unsigned i = 0; i < 0x16; i++) image[table + i] = 0xFF;  // reserved vectors
    uint16_t target = kFirstPseudoVector;
    for (uint16_t vector = kFirstUsedVector; vector != kResetVector; vector += 2, target += 3) {
        image[table + (vector - 0xFFC0)] = uint8_t(target >> 8);
        image[table + (vector - 0xFFC0) + 1] = uint8_t(target);
    }
    image[table + 0x3E] = uint8_t(kBootRomStart >> 8);
    image[table + 0x3F] = uint8_t(kBootRomStart);
    return image;
}

void BootRom::start() {
    bus_.write(kRegisterBase + reg::BAUD, kBaud1200);
    bus_.write(kRegisterBase + reg::SCCR2, kSciOn);
    bus_.write(kRegisterBase + reg::SPCR,
               uint8_t(bus_.peek(kRegisterBase + reg::SPCR) | spcr::DWOM));
    state_ = State::WaitForStart;
    loaded_ = 0;
    polled_ = false;
}

unsigned BootRom::step() {
    polled_ = false;
    switch (state_) {
        case State::WaitForStart:
            return waitForStart();
        case State::WaitForByte:
            return waitForByte();
        case State::Echo:
            return echo();
        case State::Finished:
            break;
    }
    return 1;
}

unsigned BootRom::waitForStart() {
    uint8_t status = sciStatus();
    if (!(status & scsr::RDRF)) {
        polled_ = true;
        return kPollCycles;
    }
    uint8_t value = bus_.read(kRegisterBase + reg::SCDR);
    if (value == kStartByte && !(status & scsr::FE)) {
        trace_.line(clock_.now, "boot ROM: $FF at 1200 baud, loading 256 bytes from $0000");
        state_ = State::WaitForByte;
    } else {
        trace_.line(clock_.now, "boot ROM: $%02X%s ignored, waiting for $FF at 1200 baud", value,
                    (status & scsr::FE) ? " (framing error)" : "");
    }
    return kStoreCycles;
}

unsigned BootRom::waitForByte() {
    if (!(sciStatus() & scsr::RDRF)) {
        polled_ = true;
        return kPollCycles;
    }
    echoValue_ = bus_.read(kRegisterBase + reg::SCDR);
    bus_.write(uint16_t(loaded_), echoValue_);
    state_ = State::Echo;
    return kStoreCycles;
}

unsigned BootRom::echo() {
    if (!(sciStatus() & scsr::TDRE)) {
        polled_ = true;
        return kPollCycles;
    }
    bus_.write(kRegisterBase + reg::SCDR, echoValue_);
    loaded_++;
    state_ = loaded_ == kLoadLength ? State::Finished : State::WaitForByte;
    if (finished()) trace_.line(clock_.now, "boot ROM: load complete, jumping to $0000");
    return kPollCycles;
}

Registers BootRom::exitRegisters() {
    Registers registers;
    registers.pc = 0x0000;
    registers.sp = 0x00FF;
    registers.x = kRegisterBase;
    return registers;
}

}  // namespace hc11
