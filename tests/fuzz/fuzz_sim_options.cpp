// libFuzzer target for hc11sim's ParseSimOptions. Each input is an argument list: the bytes
// split at every zero byte, after the program name.
//
// After each parse the options must hold what the simulator relies on: a known part, a
// crystal from 1 to 20 MHz, positive times where given, external RAM whose start is not
// above its end and that overlaps none of the part's own memories, faults that the part
// allows; and a run only when nothing was refused.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "options.h"

namespace {

const size_t kMaxArguments = 64;

void Require(bool condition, const char *what) {
    if (condition) return;
    std::fprintf(stdout, "fuzz_sim_options: %s\n", what);
    std::fflush(stdout);
    std::abort();
}

std::vector<std::string> SplitArguments(const uint8_t *data, size_t size) {
    std::vector<std::string> arguments = {"hc11sim"};
    std::string text(reinterpret_cast<const char *>(data), size);
    for (size_t start = 0; start <= text.size() && arguments.size() < kMaxArguments;) {
        size_t end = text.find('\0', start);
        if (end == std::string::npos) end = text.size();
        arguments.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (size == 0) arguments.pop_back();
    return arguments;
}

bool NotNegative(double value) {
    return !std::isnan(value) && value >= 0;
}

void CheckOptions(const hc11::SimOptions &options) {
    Require(options.part != nullptr, "no part");
    Require(options.crystalHz >= 1e6 && options.crystalHz <= 20e6, "a crystal out of range");
    Require(NotNegative(options.exitAfterSeconds) && NotNegative(options.resetAfterSeconds) &&
                NotNegative(options.latencyMs),
            "a negative or undefined time");
    if (options.xram) {
        Require(options.xram->first <= options.xram->last, "external RAM starts above its end");
        Require(hc11::ChipMemoriesIn(*options.part, *options.xram).empty(),
                "external RAM over the chip's own memories");
    }
    for (const hc11::Fault &fault : options.faults)
        Require(fault.kind != hc11::FaultKind::Stuck ||
                    (fault.value >= options.part->wEepromStart &&
                     fault.value <= options.part->wEepromEnd) ||
                    fault.value == 0x103F,
                "a stuck cell outside the part's EEPROM");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<std::string> arguments = SplitArguments(data, size);
    std::vector<char *> argv;
    for (std::string &argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    hc11::SimOptions options;
    hc11::ParseResult result =
        hc11::ParseSimOptions(static_cast<int>(arguments.size()), argv.data(), &options);
    if (result != hc11::ParseResult::Error) CheckOptions(options);
    return 0;
}
