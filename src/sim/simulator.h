// The simulated target as the host sees it: the chip (chip.h) and its wire. The wire times
// the host's characters into the SCI at the host's rate, carries the target's characters to
// the host through the faults of the field, and serve()s a HostLine: a pseudo-terminal
// (pty_wire.h) or a network client (rfc2217_wire.h). Knows nothing of opcodes.
//
// Testing API, in brief:
//
//   hc11::Simulator sim;                         // reset into bootstrap mode, boot ROM waiting
//   sim.hostSend({0xFF}, 1200);                  // the host sends, at its own line rate
//                                                //   ($FF at 1200: the ROM switches to 1200)
//   sim.hostSend(image, 1200);                   //   (queued one byte-time apart)
//   sim.runUntilSent(256, 10'000'000);           // until the target has sent 256 bytes
//   sim.targetSent()[i].value / .cycle           // what the host read, and when it arrived
//   sim.registerWrites()                         // PPROG/BPROT/CONFIG/HPRIO writes, timed
//   sim.peek(0xF800); sim.poke(0xF800, 0x3C);    // memory without side effects
//   sim.stats().eeprom.program                   // EEPROM operations by kind
//
// or, bypassing the boot ROM: poke the program into RAM (or load()), then startAt(0x0000).
//
// The host reads each character at the rate it listens at (setHostBaud, or the rate of its
// last hostSend): it reads garbage, as a real UART would, when that rate and the SCI's differ
// by more than 3 %. A rate of 0 stands for "whatever the SCI runs at".
//
// A reset in bootstrap mode makes the boot ROM send a break, which the host reads as one $00
// byte. At power-up (construction, powerOn()) that break is heard by nobody: hc11sim starts
// before any host can have the port open, and a UART opened during a break does not report
// it. A later reset (reset(), SIGUSR1, a reset fault) happens while the host may listen, so
// its break reaches the host.
//
// SimConfig::faults plays failures of the field (wire_faults.h) on either path: what the host
// hears of the target's bytes, host bytes lost on a dead line, a reset into bootstrap mode,
// stuck EEPROM cells.
//
// serve() (serving.cpp) runs hc11sim's wire. As fast as it can, time stands still while the
// target waits for the host; in real time, simulated time keeps to the wall clock (running at most
// 1 ms ahead), host characters start at the wall time they were read at or, when the CPU has
// already run past it, at the cycle it has reached, and the target's characters reach the
// host when the wall clock reaches their stop bit. Each host character starts where the one
// before it ended: two never complete in the same instant. Either way characters the target sent
// back to back reach the host in one write.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "chip.h"
#include "line_wiring.h"
#include "usb_adapter.h"

namespace hc11 {

class LineQuiet;
class WallAnchor;

// A byte the target sent, as the host read it, and the cycle at which its stop bit ended.
struct WireByte {
    uint8_t value;
    uint64_t cycle;
};

struct SimStats {
    uint64_t cycles = 0;
    uint64_t rxBytes = 0;  // host to target
    uint64_t txBytes = 0;  // target to host
    double wireSeconds = 0;
    uint64_t skippedCycles = 0;  // cycles skipped while the target waited
    double eClockHz = double(kDefaultCrystalHz) / kCrystalToE;
    EepromStats eeprom;
    SciStats sci;
};

// Prints the statistics as "name value" lines: cycles, rx_bytes, tx_bytes, wire_seconds,
// eeprom_program, eeprom_byte_erase, eeprom_row_erase, eeprom_bulk_erase, eeprom_aborted,
// eeprom_busy_seconds, pprog_writes, then a few more.
void PrintStats(const SimStats &stats, std::FILE *out);

// The host's end of the wire, as serve() uses it.
class HostLine {
  public:
    virtual ~HostLine() = default;
    virtual unsigned hostBaud() = 0;  // the host's line rate now; 0 when unknown
    virtual size_t receive(uint8_t *buffer, size_t room) = 0;   // what the host sent; no wait
    virtual void send(const uint8_t *bytes, size_t count) = 0;  // all in one go
    // Returns when the host has sent something, seconds have passed (negative: no limit),
    // or the wait was interrupted.
    virtual void waitForInput(double seconds) = 0;
    // A break the host sent since the last call (its line held low for a character or more).
    virtual bool takeBreak() { return false; }
    // Each move of the modem lines the host drives, in turn: true, with their states then.
    virtual bool takeLineChange(bool *dtr, bool *rts) {
        (void)dtr;
        (void)rts;
        return false;
    }
};

struct ServeOptions {
    bool realtime = false;        // lock the E clock to wall-clock time
    double exitAfterSeconds = 0;  // end after this long without wire activity; 0: never
    double latencyMs = 0;         // hold the target's bytes as a USB adapter does; 0: don't
    const volatile std::sig_atomic_t *stopRequested = nullptr;
    volatile std::sig_atomic_t *resetRequested = nullptr;  // set: reset, and it is cleared
    double resetAfterSeconds = 0;  // reset once, this long after serving began; 0: never
    LineWiringOptions wiring;      // what the host's modem lines do to RESET and the mode pins
};

enum class ServeEnd { WireQuiet, StopRequested };

class Simulator {
  public:
    explicit Simulator(const SimConfig &config = {});
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    // Reset in the mode the pins select (SimConfig's, until something moves them); the
    // host's side of the wire is untouched.
    void reset() { chip_.reset(); }
    // RESET with the pins set to mode; they stay so for every later reset (the COP's, a
    // fault's, reset()) until the next call.
    void resetInto(ChipMode mode) { chip_.resetInto(mode); }
    void resetIntoBootstrap() { resetInto(ChipMode::Bootstrap); }
    // Power-up in SimConfig::mode; a break of the boot ROM then is heard by nobody. The pins
    // then take SimConfig::resetMode, when given.
    void powerOn() { chip_.powerOn(); }
    // Starts the CPU at pc as if the boot ROM had just finished a 1200-baud load: SCI at
    // 1200 baud with TE and RE on, DWOM set, registers as BootRom::EntryRegisters (with pc,
    // no bytes loaded).
    void startAt(uint16_t pc) { chip_.startAt(pc); }
    void load(uint16_t address, const std::vector<uint8_t> &bytes);

    // The host sends bytes at its line rate; they follow any still on their way, each
    // character starting when the one before has ended. Also sets the host's rate for
    // reading what the target sends.
    void hostSend(const std::vector<uint8_t> &bytes, unsigned baud);
    // The host holds its line low for a character time at baud: the SCI reads a break.
    void hostSendBreak(unsigned baud);
    // The rate the host listens at from now on, without sending anything.
    void setHostBaud(unsigned baud) { hostBaud_ = baud; }
    // Everything the target has sent, unless a served line took it.
    const std::vector<WireByte> &targetSent() const { return targetSent_; }

    // Run until the target has sent count bytes in all (targetSent().size() >= count).
    RunEnd runUntilSent(size_t count, uint64_t maxCycles);
    RunEnd runCycles(uint64_t cycles);
    // Run until the target waits for input that is not on its way.
    RunEnd runUntilWaiting(uint64_t maxCycles);

    // Runs hc11sim's wire: bytes from the line go to the SCI, bytes from the SCI to the line.
    ServeEnd serve(HostLine &line, const ServeOptions &options);

    uint64_t cycles() const { return chip_.cycles(); }
    bool bootRomRunning() const { return chip_.bootRomRunning(); }
    uint8_t peek(uint16_t address) const { return chip_.bus().peek(address); }
    bool poke(uint16_t address, uint8_t value) { return chip_.bus().poke(address, value); }
    const std::vector<RegisterWrite> &registerWrites() const {
        return chip_.bus().registerWrites();
    }
    SimStats stats() const;
    Chip &chip() { return chip_; }
    Cpu &cpu() { return chip_.cpu(); }
    Bus &bus() { return chip_.bus(); }
    const Bus &bus() const { return chip_.bus(); }

  private:
    RunEnd run(const Chip::Goal &goal);
    void onTargetFrame(const Frame &frame, uint64_t endCycle);
    void traceDelivery(const Delivery &delivery, uint8_t value);
    void passToHost(const Frame &frame, uint64_t start, uint64_t end);
    unsigned currentHostBaud();
    uint8_t readByHost(const Frame &frame, uint64_t cycle);
    double hostBitCycles(unsigned baud) const;
    void queueHostFrame(const Frame &frame, uint64_t startCycle);
    void queueHostBytes(const std::vector<uint8_t> &bytes, unsigned baud, uint64_t startCycle);

    // serving.cpp
    bool resetWhenAsked(const ServeOptions &options, double servingSeconds, bool *resetDone);
    bool pumpHostInput(HostLine &line, uint64_t startCycle);
    bool passHeldBytes(HostLine &line, uint64_t dueBy);
    uint64_t sliceEnd(bool realtime, uint64_t wallCycle) const;
    uint64_t resumeCycle(bool realtime, RunEnd ran) const;
    double awaitLineTimeout(LineQuiet &quiet, RunEnd ran, bool holding);
    bool serveOnce(HostLine &line, const ServeOptions &options, const WallAnchor &wall,
                   LineQuiet &quiet, RunEnd *ran);

    Chip chip_;
    ChipMode releasedMode_;  // the mode pins when no line pulls them: those after power-up
    LineWiring wiring_;
    uint64_t lineFreeAt_ = 0;  // when the host's last character ends
    unsigned hostBaud_ = 0;
    HostLine *line_ = nullptr;  // the served line
    UsbAdapter adapter_;        // what the target sent, held until the line takes it
    std::vector<WireByte> targetSent_;
    LineFaults faults_;
    SimStats stats_;
};

}  // namespace hc11
