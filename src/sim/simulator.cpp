#include "simulator.h"

#include <algorithm>

namespace hc11 {

Simulator::Simulator(const SimConfig &config)
    : chip_(config),
      releasedMode_(chip_.modePins()),
      adapter_(chip_.clock()),
      faults_(config.faults) {
    chip_.bus().sci().setTransmitSink(
        [this](const Frame &frame, uint64_t endCycle) { onTargetFrame(frame, endCycle); });
    chip_.setResetListener([this] { lineFreeAt_ = chip_.cycles(); });
}

void Simulator::load(uint16_t address, const std::vector<uint8_t> &bytes) {
    for (uint8_t value : bytes) poke(address++, value);
}

void Simulator::hostSend(const std::vector<uint8_t> &bytes, unsigned baud) {
    queueHostBytes(bytes, baud, chip_.cycles());
}

void Simulator::hostSendBreak(unsigned baud) {
    hostBaud_ = baud;
    Frame frame = Frame::AtRate(0x00, hostBitCycles(baud));
    frame.lineBreak = true;
    chip_.trace().line(chip_.cycles(), "wire: host -> target break at %u baud", baud);
    queueHostFrame(frame, chip_.cycles());
    chip_.inputQueued();
}

// A rate of 0 stands for whatever the SCI runs at.
double Simulator::hostBitCycles(unsigned baud) const {
    return baud ? chip_.clock().bitCycles(baud) : double(bus().sci().bitCycles());
}

void Simulator::queueHostBytes(const std::vector<uint8_t> &bytes, unsigned baud,
                               uint64_t startCycle) {
    hostBaud_ = baud;
    if (faults_.dead()) {
        chip_.trace().line(chip_.cycles(), "fault: the line is dead, %zu host byte(s) lost",
                           bytes.size());
        return;
    }
    double bitCycles = hostBitCycles(baud);
    for (uint8_t value : bytes) {
        queueHostFrame(Frame::AtRate(value, bitCycles), startCycle);
        stats_.rxBytes++;
        chip_.trace().line(lineFreeAt_, "wire: host -> target $%02X at %u baud", value, baud);
    }
    chip_.inputQueued();
}

// Never before the present: the CPU has already run past it, and every character that should
// have come in meanwhile would complete at once.
void Simulator::queueHostFrame(const Frame &frame, uint64_t startCycle) {
    uint64_t start = std::max({startCycle, lineFreeAt_, chip_.cycles()});
    bus().sci().lineIn(frame, start);
    lineFreeAt_ = start + frame.lengthCycles();
    stats_.wireSeconds += chip_.clock().seconds(frame.length());
}

unsigned Simulator::currentHostBaud() {
    return line_ ? line_->hostBaud() : hostBaud_;
}

// The line carries the character to the host as the faults let it; a stray character
// follows right behind its stop bit.
void Simulator::onTargetFrame(const Frame &frame, uint64_t endCycle) {
    if (frame.lineBreak && chip_.takePowerOnBreak()) {
        chip_.trace().line(chip_.cycles(),
                           "wire: the power-up break, before any host could listen");
        return;
    }
    stats_.txBytes++;
    stats_.wireSeconds += chip_.clock().seconds(frame.length());
    Delivery delivery = faults_.targetSent();
    traceDelivery(delivery, frame.value);
    if (delivery.resetAfter) chip_.requestReset();
    if (delivery.reachesHost) {
        Frame carried = frame;
        if (delivery.inverted) carried.value = uint8_t(~frame.value);
        passToHost(carried, endCycle - frame.lengthCycles(), endCycle);
    }
    if (delivery.noiseAfter) {
        Frame noise = Frame::AtRate(kNoiseByte, frame.bitCycles);
        passToHost(noise, endCycle, endCycle + noise.lengthCycles());
    }
}

void Simulator::traceDelivery(const Delivery &delivery, uint8_t value) {
    if (!chip_.trace().enabled()) return;
    auto number = static_cast<unsigned long long>(delivery.number);
    if (!delivery.reachesHost)
        chip_.trace().line(chip_.cycles(), "fault: byte %llu ($%02X) lost", number, value);
    if (delivery.inverted)
        chip_.trace().line(chip_.cycles(), "fault: byte %llu ($%02X) inverted", number, value);
    if (delivery.noiseAfter)
        chip_.trace().line(chip_.cycles(), "fault: noise after byte %llu", number);
    if (delivery.lineDiesAfter)
        chip_.trace().line(chip_.cycles(), "fault: line dead after byte %llu", number);
    if (delivery.resetAfter)
        chip_.trace().line(chip_.cycles(), "fault: reset after byte %llu", number);
}

// The host reads each character at the rate its port has when the character reaches it.
void Simulator::passToHost(const Frame &frame, uint64_t start, uint64_t end) {
    if (line_) {
        adapter_.hold(frame, start, end);
        return;
    }
    targetSent_.push_back({readByHost(frame, end), end});
}

uint8_t Simulator::readByHost(const Frame &frame, uint64_t cycle) {
    unsigned baud = currentHostBaud();
    uint8_t seen = baud ? Receive(frame, chip_.clock().bitCycles(baud)).value : frame.value;
    chip_.trace().line(cycle, "wire: target -> host $%02X, read as $%02X by the host at %u baud",
                       frame.value, seen, baud);
    return seen;
}

RunEnd Simulator::runUntilSent(size_t count, uint64_t maxCycles) {
    return run({chip_.cycles() + maxCycles, count, true});
}

RunEnd Simulator::runCycles(uint64_t cycles) {
    return run({chip_.cycles() + cycles, Chip::kNoCount, false});
}

RunEnd Simulator::runUntilWaiting(uint64_t maxCycles) {
    return run({chip_.cycles() + maxCycles, Chip::kNoCount, true});
}

RunEnd Simulator::run(const Chip::Goal &goal) {
    return chip_.run(goal, [this] { return targetSent_.size(); });
}

SimStats Simulator::stats() const {
    SimStats stats = stats_;
    stats.cycles = chip_.cycles();
    stats.skippedCycles = chip_.skippedCycles();
    stats.eClockHz = chip_.clock().eHz;
    stats.eeprom = bus().eeprom().stats();
    stats.sci = bus().sci().stats();
    return stats;
}

void PrintStats(const SimStats &stats, std::FILE *out) {
    const EepromStats &e = stats.eeprom;
    std::fprintf(out, "cycles %llu\n", static_cast<unsigned long long>(stats.cycles));
    std::fprintf(out, "rx_bytes %llu\n", static_cast<unsigned long long>(stats.rxBytes));
    std::fprintf(out, "tx_bytes %llu\n", static_cast<unsigned long long>(stats.txBytes));
    std::fprintf(out, "wire_seconds %.6f\n", stats.wireSeconds);
    const std::pair<const char *, uint64_t> counts[] = {{"eeprom_program", e.program},
                                                        {"eeprom_byte_erase", e.byteErase},
                                                        {"eeprom_row_erase", e.rowErase},
                                                        {"eeprom_bulk_erase", e.bulkErase},
                                                        {"eeprom_aborted", e.aborted}};
    for (const auto &count : counts)
        std::fprintf(out, "%s %llu\n", count.first, static_cast<unsigned long long>(count.second));
    std::fprintf(out, "eeprom_busy_seconds %.6f\n", double(e.busyCycles) / stats.eClockHz);
    const std::pair<const char *, uint64_t> more[] = {
        {"pprog_writes", e.pprogWrites},
        {"eeprom_protected", e.protectedOps},
        {"sci_overruns", stats.sci.overruns},
        {"sci_framing_errors", stats.sci.framingErrors},
        {"skipped_cycles", stats.skippedCycles}};
    for (const auto &count : more)
        std::fprintf(out, "%s %llu\n", count.first, static_cast<unsigned long long>(count.second));
    std::fprintf(out, "simulated_seconds %.6f\n", double(stats.cycles) / stats.eClockHz);
}

}  // namespace hc11
