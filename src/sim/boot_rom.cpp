#include "boot_rom.h"

namespace hc11 {

namespace {

// Where the vectors send each interrupt: a three-byte jump slot in RAM, from the SCI's at
// $00C4 in normal-mode vector order up to the clock monitor's at $00FD; reset enters the ROM.
constexpr uint16_t kFirstPseudoVector = 0x00C4;
constexpr uint16_t kFirstUsedVector = 0xFFD6;  // the SCI's, in normal-mode addresses

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
    writeRegister(reg::BAUD, kBootRomBaudFast);
    writeRegister(reg::SCCR2, kSciOn);
    writeRegister(reg::SPCR, uint8_t(bus_.peek(bus_.registerAddress(reg::SPCR)) | spcr::DWOM));
    loaded_ = 0;
    lastByte_ = 0;
    polled_ = false;
    deadline_ = UINT64_MAX;
    if (secureMask_ && !(bus_.configLatch() & CONFIG_NOSEC)) {
        trace_.line(clock_.now, "boot ROM: NOSEC clear, erasing EEPROM, RAM and CONFIG first");
        state_ = State::SecureSend;
    } else {
        enterBreak();
    }
}

unsigned BootRom::step() {
    polled_ = false;
    switch (state_) {
        case State::SecureSend:
            return secureSend();
        case State::SecureWait:
            return secureWait();
        case State::Break:
            return holdBreak();
        case State::First:
            return first();
        case State::Byte:
            return waitForByte();
        case State::Echo:
            return echo();
        case State::Finished:
            break;
    }
    return 1;
}

unsigned BootRom::poll() {
    polled_ = true;
    return kPollCycles;
}

bool BootRom::receivedCharacter(uint8_t *value) {
    if (!(sciStatus() & scsr::RDRF)) return false;
    *value = bus_.read(bus_.registerAddress(reg::SCDR));
    return true;
}

// The break goes out once the preamble has; the ROM ends it when the host's first start bit
// pulls RxD low.
void BootRom::enterBreak() {
    writeRegister(reg::SCCR2, kSciOn | sccr2::SBK);
    state_ = State::Break;
}

unsigned BootRom::holdBreak() {
    if (!bus_.sci().receiveLineLow()) return poll();
    writeRegister(reg::SCCR2, kSciOn);
    state_ = State::First;
    return kStoreCycles;
}

// The ROM compares the character's value only: a break is the $00 it reads, framing error
// or not.
unsigned BootRom::first() {
    uint8_t value;
    if (!receivedCharacter(&value)) return poll();
    lastByte_ = value;
    const PartInfo &part = bus_.part();
    if (value == 0x00) {
        jump(part.wBreakJump, "$00 or a break first");
    } else if (value == 0xFF) {
        trace_.line(clock_.now, "boot ROM: $FF first, loading at 7812 baud");
        beginLoad();
    } else if (value == 0x55 && part.f55JumpsToRam) {
        jump(0x0000, "$55 first");
    } else if (value == part.bSync9600 && value != 0x00) {
        // The F1's table of rates gives the sync, not the rate it is sent at: taken, like $55,
        // as the character the SCI reads at the ROM's own rate ($FD, its sync for the slower
        // rates, needs nothing of its own: any ordinary first character loads at $33's rate).
        trace_.line(clock_.now, "boot ROM: $%02X first, loading at 9600 baud", value);
        writeRegister(reg::BAUD, kBootRomBaud9600);
        beginLoad();
    } else {
        trace_.line(clock_.now, "boot ROM: $%02X first, loading at 1200 baud", value);
        writeRegister(reg::BAUD, kBootRomBaudSlow);
        beginLoad();
    }
    return kStoreCycles;
}

void BootRom::beginLoad() {
    state_ = State::Byte;
    armIdleEnd();
}

void BootRom::armIdleEnd() {
    uint64_t idle = uint64_t(kIdleCharacters) * kBitsPerFrame * bus_.sci().bitCycles();
    deadline_ = bus_.part().fVariableLoad ? clock_.now + idle : UINT64_MAX;
}

unsigned BootRom::waitForByte() {
    uint8_t value;
    if (receivedCharacter(&value)) {
        bus_.write(uint16_t(loaded_), value);
        lastByte_ = value;
        deadline_ = UINT64_MAX;
        state_ = State::Echo;
        return kStoreCycles;
    }
    if (clock_.now < deadline_) return poll();
    jump(0x0000, "the line stayed idle");
    return kPollCycles;
}

unsigned BootRom::echo() {
    if (!(sciStatus() & scsr::TDRE)) return poll();
    writeRegister(reg::SCDR, lastByte_);
    loaded_++;
    if (loaded_ == bus_.part().wBootLoadMax)
        jump(0x0000, "load complete");
    else
        beginLoad();
    return kPollCycles;
}

void BootRom::jump(uint16_t pc, const char *why) {
    exit_ = EntryRegisters(bus_.part(), pc, loaded_, lastByte_);
    state_ = State::Finished;
    deadline_ = UINT64_MAX;
    trace_.line(clock_.now, "boot ROM: %s, %u byte(s) loaded, jumping to $%04X", why, loaded_, pc);
}

unsigned BootRom::secureSend() {
    if (!(sciStatus() & scsr::TDRE)) return poll();
    writeRegister(reg::SCDR, 0xFF);
    if (bus_.part().fHasBprot) writeRegister(reg::BPROT, 0x00);
    return startErase(Erasing::Array);
}

unsigned BootRom::startErase(Erasing what) {
    uint8_t pattern = what == Erasing::Array ? pprog::ERASE | pprog::EELAT
                                             : pprog::BYTE | pprog::ERASE | pprog::EELAT;
    writeRegister(reg::PPROG, pattern);
    bus_.write(what == Erasing::Array ? bus_.eeprom().base() : bus_.eeprom().configAddress(),
               kErasedByte);
    writeRegister(reg::PPROG, pattern | pprog::EPGM);
    erasing_ = what;
    // The ROM's delay is a loop of its own; modelled, it waits what the EEPROM needs at this E.
    deadline_ = clock_.now + bus_.eeprom().programCycles();
    state_ = State::SecureWait;
    return kStoreCycles;
}

// The ROM erases the array until every cell reads $FF, as the documented ROM checks it.
unsigned BootRom::secureWait() {
    if (clock_.now < deadline_) return poll();
    writeRegister(reg::PPROG, 0x00);
    deadline_ = UINT64_MAX;
    if (erasing_ == Erasing::Config) {
        enterBreak();
        return kStoreCycles;
    }
    if (!arrayErased()) {
        trace_.line(clock_.now, "boot ROM: EEPROM not erased, erasing again");
        return startErase(Erasing::Array);
    }
    for (uint16_t address = 0; address < bus_.ramSize(); address++) bus_.write(address, 0xFF);
    return startErase(Erasing::Config) + kStoreCycles * bus_.ramSize();
}

bool BootRom::arrayErased() const {
    const Eeprom &eeprom = bus_.eeprom();
    for (unsigned i = 0; i < eeprom.size(); i++)
        if (eeprom.cell(uint16_t(eeprom.base() + i)) != kErasedByte) return false;
    return true;
}

Registers BootRom::EntryRegisters(const PartInfo &part, uint16_t pc, unsigned count,
                                  uint8_t lastByte) {
    Registers registers;
    registers.pc = pc;
    registers.sp = part.wStackTop;
    registers.x = part.wRegisterStart;
    registers.y = uint16_t(count);
    registers.a = lastByte;
    return registers;
}

}  // namespace hc11
