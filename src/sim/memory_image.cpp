#include "memory_image.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "srecord.h"

namespace hc11 {

namespace {

constexpr size_t kDumpBytesPerLine = 32;
constexpr size_t kLineRoom = 600;  // longest S-record line (count $FF) and its line end

bool HiddenByChip(uint16_t address) {
    return address < kRamSize || uint16_t(address - kRegisterBase) < kRegisterCount ||
           address >= kEepromStart;
}

bool WriteBlock(std::FILE *file, const Bus &bus, uint16_t first, size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; i++) bytes[i] = bus.peek(uint16_t(first + i));
    return WriteS1Lines(file, first, bytes.data(), count, kDumpBytesPerLine) == 1;
}

// External RAM in runs of addresses that no memory of the chip itself covers.
bool WriteExternalRam(std::FILE *file, const Bus &bus) {
    const auto &range = bus.xramRange();
    if (!range) return true;
    const std::vector<uint8_t> &cells = bus.externalRam();
    size_t i = 0;
    while (i < cells.size()) {
        if (HiddenByChip(uint16_t(range->first + i))) {
            i++;
            continue;
        }
        size_t runStart = i;
        while (i < cells.size() && !HiddenByChip(uint16_t(range->first + i))) i++;
        if (WriteS1Lines(file, uint16_t(range->first + runStart), &cells[runStart], i - runStart,
                         kDumpBytesPerLine) != 1)
            return false;
    }
    return true;
}

bool WriteEnd(std::FILE *file) {
    char line[SRECORD_LINE_ROOM];
    return FormatS9Record(0, line, sizeof line) == 1 && std::fprintf(file, "%s\n", line) > 0;
}

bool IsBlank(const char *line) { return line[std::strspn(line, " \t\r\n")] == '\0'; }

}  // namespace

int WriteMemoryDump(const Bus &bus, const char *path) {
    std::FILE *file = std::fopen(path, "w");
    if (!file) {
        std::fprintf(stderr, "hc11sim: --dump %s: %s\n", path, std::strerror(errno));
        return 0;
    }
    bool ok = WriteBlock(file, bus, 0x0000, kRamSize) &&
              WriteBlock(file, bus, kEepromStart, kEepromSize) &&
              WriteBlock(file, bus, kConfigAddress, 1) && WriteExternalRam(file, bus) &&
              WriteEnd(file);
    if (std::fclose(file) != 0) ok = false;
    if (!ok) std::fprintf(stderr, "hc11sim: --dump %s: write failed\n", path);
    return ok ? 1 : 0;
}

int LoadEepromImage(Bus &bus, const char *path) {
    std::FILE *file = std::fopen(path, "r");
    if (!file) {
        std::fprintf(stderr, "hc11sim: --eeprom %s: %s\n", path, std::strerror(errno));
        return 0;
    }
    char line[kLineRoom];
    SRecord record;
    unsigned lineNumber = 0;
    size_t leftOut = 0;
    int result = 1;
    while (result && std::fgets(line, sizeof line, file)) {
        lineNumber++;
        if (IsBlank(line)) continue;
        if (!ParseSRecordString(line, &record)) {
            std::fprintf(stderr, "hc11sim: --eeprom %s: line %u is no S-record\n", path,
                         lineNumber);
            result = 0;
        } else if (record.wType == 1) {
            for (uint16_t i = 0; i < record.wLength; i++) {
                uint16_t address = uint16_t(record.wAddress + i);
                if (Eeprom::holds(address))
                    bus.poke(address, record.bData[i]);
                else
                    leftOut++;
            }
        }
    }
    std::fclose(file);
    if (leftOut)
        std::fprintf(stderr, "hc11sim: --eeprom %s: %zu bytes outside EEPROM and CONFIG left out\n",
                     path, leftOut);
    return result;
}

}  // namespace hc11
