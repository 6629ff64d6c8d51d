// sim_speed: how many simulated E cycles the CPU core runs per second of host CPU time, on
// the CPU-bound loop of speed_loop.s in a flat 64 KB memory. A real chip runs 2 million.
//
//   sim_speed [SECONDS [PROGRAM.s19]]
#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "cpu.h"
#include "srecord.h"

namespace {

class FlatBus final : public hc11::CpuBus {
  public:
    uint8_t read(uint16_t address) override { return memory[address]; }
    void write(uint16_t address, uint8_t value) override { memory[address] = value; }

    std::array<uint8_t, 0x10000> memory{};
};

int LoadProgram(const char *path, FlatBus *bus) {
    FILE *file = std::fopen(path, "r");
    if (!file) {
        std::fprintf(stderr, "sim_speed: cannot open %s\n", path);
        return 0;
    }
    char line[600];
    SRecord record;
    int ok = 1;
    while (ok && std::fgets(line, sizeof line, file)) {
        ok = ParseSRecordString(line, &record);
        if (ok && record.wType == 1)
            for (unsigned i = 0; i < record.wLength; ++i)
                bus->memory[uint16_t(record.wAddress + i)] = record.bData[i];
    }
    std::fclose(file);
    return ok;
}

// The process's own CPU time: what the simulator costs, whatever else shares the host.
double CpuSeconds() {
    return double(std::clock()) / CLOCKS_PER_SEC;
}

// Steps in batches so that reading the clock costs nothing against the simulation.
double MeasureCyclesPerSecond(hc11::Cpu &cpu, double seconds) {
    const double start = CpuSeconds();
    const uint64_t startCycles = cpu.cycles();
    double elapsed = 0;
    while (elapsed < seconds) {
        for (int i = 0; i < 1000000; ++i) cpu.step();
        elapsed = CpuSeconds() - start;
    }
    return double(cpu.cycles() - startCycles) / elapsed;
}

}  // namespace

int main(int argc, char **argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    const char *program = argc > 2 ? argv[2] : SPEED_LOOP_S19;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: sim_speed [SECONDS [PROGRAM.s19]]\n");
        return 2;
    }
    static FlatBus bus;
    if (!LoadProgram(program, &bus)) return 1;
    hc11::Cpu cpu(bus);
    cpu.reset();
    std::printf("E cycles per second: %.0f\n", MeasureCyclesPerSecond(cpu, seconds));
    return 0;
}
