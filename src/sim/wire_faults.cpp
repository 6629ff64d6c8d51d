#include "wire_faults.h"

#include <cctype>
#include <cstdlib>

#include "eeprom.h"

namespace hc11 {

namespace {

struct KindName {
    const char *name;
    FaultKind kind;
};

const KindName kKinds[] = {{"drop", FaultKind::Drop},     {"corrupt", FaultKind::Corrupt},
                           {"noise", FaultKind::Noise},   {"stuck", FaultKind::Stuck},
                           {"unplug", FaultKind::Unplug}, {"reset", FaultKind::Reset}};

// The whole text as a number in the base, at most limit; false for anything else.
bool ParseNumber(const std::string &text, int base, unsigned long limit, uint32_t *value) {
    if (text.empty() || !std::isxdigit(static_cast<unsigned char>(text[0]))) return false;
    char *end = nullptr;
    unsigned long number = std::strtoul(text.c_str(), &end, base);
    if (*end != '\0' || number > limit) return false;
    *value = uint32_t(number);
    return true;
}

// A stuck cell lies in the part's EEPROM array where CONFIG erased puts it, or is CONFIG.
bool IsEepromCell(const PartInfo &part, uint32_t address) {
    return (address >= part.wEepromStart && address <= part.wEepromEnd) ||
           address == uint32_t(part.wRegisterStart + reg::CONFIG);
}

bool ParseArgument(FaultKind kind, const std::string &argument, const PartInfo &part,
                   uint32_t *value) {
    if (kind == FaultKind::Stuck)
        return ParseNumber(argument, 16, 0xFFFF, value) && IsEepromCell(part, *value);
    return ParseNumber(argument, 10, UINT32_MAX, value) && *value >= 1;
}

}  // namespace

bool ParseFault(const std::string &text, Fault *fault, const PartInfo &part) {
    if (text == "silent") {
        *fault = {FaultKind::Silent, 0};
        return true;
    }
    size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    std::string name = text.substr(0, colon);
    for (const KindName &kind : kKinds) {
        if (name != kind.name) continue;
        fault->kind = kind.kind;
        return ParseArgument(kind.kind, text.substr(colon + 1), part, &fault->value);
    }
    return false;
}

LineFaults::LineFaults(const std::vector<Fault> &faults) : faults_(faults) {
    for (const Fault &fault : faults_)
        if (fault.kind == FaultKind::Silent) dead_ = true;
}

Delivery LineFaults::targetSent() {
    Delivery delivery;
    delivery.number = ++sent_;
    bool deadBefore = dead_;
    delivery.reachesHost = !deadBefore;
    for (const Fault &fault : faults_) {
        if (fault.value != sent_) continue;
        switch (fault.kind) {
            case FaultKind::Drop:
                delivery.reachesHost = false;
                break;
            case FaultKind::Corrupt:
                delivery.inverted = true;
                break;
            case FaultKind::Noise:
                delivery.noiseAfter = true;
                break;
            case FaultKind::Unplug:
                delivery.lineDiesAfter = true;
                break;
            case FaultKind::Reset:
                delivery.resetAfter = true;
                break;
            case FaultKind::Silent:
            case FaultKind::Stuck:
                break;
        }
    }
    if (deadBefore) delivery.noiseAfter = false;
    if (delivery.lineDiesAfter) dead_ = true;
    return delivery;
}

}  // namespace hc11
