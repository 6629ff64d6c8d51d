// hc11sim's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bus.h"
#include "clock.h"
#include "line_wiring.h"
#include "part_table.h"
#include "wire_faults.h"

namespace hc11 {

struct SimOptions {
    std::string linkPath;                     // --link PATH: a symbolic link to the pty's slave
    std::string dumpPath;                     // --dump FILE: every memory as S19 at exit
    std::string eepromPath;                   // --eeprom FILE: EEPROM and CONFIG preloaded from S19
    std::optional<AddressRange> xram;         // --xram START-END
    double exitAfterSeconds = 0;              // --exit-after SECONDS; 0: never
    double resetAfterSeconds = 0;             // --reset-after SECONDS; 0: never
    double latencyMs = 0;                     // --latency MS; 0: bytes pass at once
    std::vector<Fault> faults;                // --fault KIND[:ARG], each one given
    const PartInfo *part = GetDefaultPart();  // --part NAME
    ChipMode mode = ChipMode::Bootstrap;      // --mode: the pins at power-up and every reset
    bool secure = false;                      // --secure
    bool realtime = false;
    bool trace = false;
    bool stats = false;
    bool help = false;

    double crystalHz = kDefaultCrystalHz;  // --crystal MHZ
    std::optional<ChipMode> resetMode;     // --reset-mode: the pins from the first reset on
    std::string listenHost;  // --listen [HOST:]PORT: serve RFC 2217 there instead of a pty
    unsigned listenPort = 0;
    bool listen = false;
    LineWiringOptions wiring;  // --reset-line, --mode-line, --invert-lines (with --listen)
};

enum class ParseResult { Run, Help, Error };

// Parses argv into *options. Prints one message on standard error for an error.
ParseResult ParseSimOptions(int argc, char **argv, SimOptions *options);

void PrintSimUsage(const char *programName);

}  // namespace hc11
