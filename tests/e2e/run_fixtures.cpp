#include "run_fixtures.h"

#include <cstdio>
#include <fstream>

#include "srecord.h"

namespace {
const size_t kBytesPerRecord = 32;
}

std::string WriteS19(const std::string &dir, const std::string &name,
                     const std::vector<Block> &blocks) {
    std::string path = dir + "/" + name;
    FILE *file = fopen(path.c_str(), "w");
    fputs("S00600004844521B\n", file);
    for (const Block &block : blocks) {
        WriteS1Lines(file, block.address, block.data.data(), block.data.size(), kBytesPerRecord);
    }
    fputs("S9030000FC\n", file);
    fclose(file);
    return path;
}

size_t S19Lines(const std::vector<Block> &blocks) {
    size_t lines = 2;
    for (const Block &block : blocks) {
        lines += (block.data.size() + kBytesPerRecord - 1) / kBytesPerRecord;
    }
    return lines;
}

Bytes Pattern(size_t length, uint8_t seed) {
    Bytes bytes(length);
    for (size_t i = 0; i < length; i++) bytes[i] = uint8_t(seed + i * 7);
    return bytes;
}

Bytes EveryByteValue() {
    Bytes bytes(256);
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = uint8_t(i);
    return bytes;
}

std::string Dots(size_t lines) {
    return std::string(lines + 1, '.');
}

const std::string kConfigTold =
    "CONFIG $F5 for the 811E2: EE3-EE0 F (EEPROM at $F800-$FFFF), NOSEC 0, NOCOP 1, EEON 1\n"
    "  NOSEC 0: on a part whose mask honours NOSEC, security on at the next reset: the boot ROM "
    "will erase the EEPROM and RAM (standard masks ignore NOSEC)\n";

std::string ConfigProgrammed(uint8_t value) {
    char line[96];
    snprintf(line, sizeof line,
             "CONFIG programmed to $%02X: the chip takes the new value at its next reset\n", value);
    return line;
}

std::vector<std::string> FencedBlocks(const std::string &path, const std::string &heading) {
    std::ifstream file(path);
    std::vector<std::string> blocks;
    std::string line;
    bool fSection = false, fInside = false;
    while (std::getline(file, line)) {
        if (line.rfind("## ", 0) == 0) fSection = line == heading;
        if (!fSection) continue;
        if (line.rfind("```", 0) == 0) {
            fInside = !fInside;
            if (fInside) blocks.emplace_back();
        } else if (fInside) {
            blocks.back() += line + "\n";
        }
    }
    return blocks;
}
