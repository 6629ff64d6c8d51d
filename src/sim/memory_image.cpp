#include "memory_image.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "srec_file.h"
#include "srecord.h"

namespace hc11 {

namespace {

constexpr size_t kDumpBytesPerLine = 32;

std::string Hex(unsigned byte) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", byte & 0xFF);
    return text;
}

struct Segment {
    uint16_t first;
    std::vector<uint8_t> bytes;
};

bool HiddenByChip(const Bus &bus, uint16_t address) {
    return address < bus.ramSize() || bus.inRegisters(address) || bus.eeprom().inArray(address);
}

Segment ChipSegment(const Bus &bus, uint16_t first, size_t count) {
    Segment segment{first, std::vector<uint8_t>(count)};
    for (size_t i = 0; i < count; i++) segment.bytes[i] = bus.peek(uint16_t(first + i));
    return segment;
}

// External RAM in runs of addresses that no memory of the chip itself covers.
void AddExternalRam(const Bus &bus, std::vector<Segment> *segments) {
    const auto &range = bus.xramRange();
    if (!range) return;
    const std::vector<uint8_t> &cells = bus.externalRam();
    for (size_t i = 0; i < cells.size();) {
        if (HiddenByChip(bus, uint16_t(range->first + i))) {
            i++;
            continue;
        }
        size_t runStart = i;
        while (i < cells.size() && !HiddenByChip(bus, uint16_t(range->first + i))) i++;
        segments->push_back({uint16_t(range->first + runStart),
                             std::vector<uint8_t>(&cells[runStart], &cells[0] + i)});
    }
}

// Every memory of the target, in ascending address order.
std::vector<Segment> DumpSegments(const Bus &bus) {
    const Eeprom &eeprom = bus.eeprom();
    std::vector<Segment> segments = {ChipSegment(bus, 0x0000, bus.ramSize()),
                                     ChipSegment(bus, eeprom.configAddress(), 1),
                                     ChipSegment(bus, eeprom.base(), eeprom.size())};
    AddExternalRam(bus, &segments);
    std::sort(segments.begin(), segments.end(),
              [](const Segment &a, const Segment &b) { return a.first < b.first; });
    return segments;
}

// An S0 header naming the program that wrote the file.
bool WriteHeader(std::FILE *file) {
    const char kName[] = "hc11sim";
    unsigned count = 2 + (sizeof kName - 1) + 1;
    unsigned sum = count;
    std::string line = "S0" + Hex(count) + "0000";
    for (const char *p = kName; *p; p++) {
        sum += uint8_t(*p);
        line += Hex(uint8_t(*p));
    }
    line += Hex(~sum & 0xFF);
    return std::fprintf(file, "%s\n", line.c_str()) > 0;
}

bool WriteEnd(std::FILE *file) {
    char line[SRECORD_LINE_ROOM];
    return FormatS9Record(0, line, sizeof line) == 1 && std::fprintf(file, "%s\n", line) > 0;
}

bool WriteDump(std::FILE *file, const Bus &bus) {
    if (!WriteHeader(file)) return false;
    for (const Segment &segment : DumpSegments(bus))
        if (WriteS1Lines(file, segment.first, segment.bytes.data(), segment.bytes.size(),
                         kDumpBytesPerLine) != 1)
            return false;
    return WriteEnd(file);
}

}  // namespace

// A dump that did not exist is created and removed again, so that a session that ends early
// leaves none behind; one that exists is opened for writing without being cut.
int CheckMemoryDumpPath(const char *path) {
    std::FILE *file = std::fopen(path, "wx");
    bool created = file != nullptr;
    if (!file && errno == EEXIST) file = std::fopen(path, "r+");
    if (!file) {
        std::fprintf(stderr, "hc11sim: --dump %s: %s\n", path, std::strerror(errno));
        return 0;
    }
    std::fclose(file);
    if (created) std::remove(path);
    return 1;
}

int WriteMemoryDump(const Bus &bus, const char *path) {
    std::FILE *file = std::fopen(path, "w");
    if (!file) {
        std::fprintf(stderr, "hc11sim: --dump %s: %s\n", path, std::strerror(errno));
        return 0;
    }
    bool ok = WriteDump(file, bus);
    if (std::fclose(file) != 0) ok = false;
    if (!ok) std::fprintf(stderr, "hc11sim: --dump %s: write failed\n", path);
    return ok ? 1 : 0;
}

namespace {

using Cells = std::vector<std::pair<uint16_t, uint8_t>>;

// Every data byte of the file's S1 records, in file order; false after a message. Each line
// is checked whole (its digits, its count, its checksum), as hc11prog checks its input.
bool ReadCells(const char *path, Cells *cells) {
    SRecordFile file;
    if (!ReadSRecordFile(path, &file)) return false;
    SRecordLine line;
    SRecord record;
    StartSRecordLines(&line);
    while (NextSRecordLine(&file, &line)) {
        LineKind kind = ParseSRecordLine(&file, &line, &record);
        if (kind == LINE_REFUSED) {
            std::fprintf(stderr, "hc11sim: --eeprom %s: line %u is no S-record\n", path,
                         unsigned(line.dwNumber));
            return false;
        }
        if (kind != LINE_RECORD || record.wType != 1) continue;
        for (uint16_t i = 0; i < record.wLength; i++)
            cells->emplace_back(uint16_t(record.wAddress + i), record.bData[i]);
    }
    return true;
}

// CONFIG goes in first: on a part whose EEPROM moves, it says where the array's bytes belong.
size_t StoreCells(Bus &bus, const Cells &cells) {
    const uint16_t config = bus.eeprom().configAddress();
    for (const auto &[address, value] : cells)
        if (address == config) bus.poke(address, value);
    bus.eeprom().setBase(GetEepromStart(&bus.part(), bus.peek(config)));
    size_t leftOut = 0;
    for (const auto &[address, value] : cells)
        if (address != config && !(bus.eeprom().inArray(address) && bus.poke(address, value)))
            leftOut++;
    return leftOut;
}

}  // namespace

int LoadEepromImage(Bus &bus, const char *path) {
    std::FILE *file = std::fopen(path, "r");
    if (!file) {
        std::fprintf(stderr, "hc11sim: --eeprom %s: %s\n", path, std::strerror(errno));
        return 0;
    }
    std::fclose(file);  // opened for its message; the whole file is read and checked below
    Cells cells;
    if (!ReadCells(path, &cells)) return 0;
    size_t leftOut = StoreCells(bus, cells);
    if (leftOut)
        std::fprintf(stderr, "hc11sim: --eeprom %s: %zu bytes outside EEPROM and CONFIG left out\n",
                     path, leftOut);
    return 1;
}

}  // namespace hc11
