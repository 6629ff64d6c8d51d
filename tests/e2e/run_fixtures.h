// What the end-to-end tests share: S19 fixtures written with our own writer, and the
// progress output that a run prints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fake_target.h"

using Bytes = std::vector<uint8_t>;

// One stretch of a fixture file: its address and data.
struct Block {
    uint16_t address;
    Bytes data;
};

// Writes dir/name: an S0 line, the blocks as S1 records of up to 32 bytes, an S9 line.
// Returns the path.
std::string WriteS19(const std::string &dir, const std::string &name,
                     const std::vector<Block> &blocks);

// The number of lines WriteS19 writes for the blocks.
size_t S19Lines(const std::vector<Block> &blocks);

Bytes Pattern(size_t length, uint8_t seed);
Bytes EveryByteValue();

// One "." per line of a file that ends in a newline, and one more where the end is found.
std::string Dots(size_t lines);

// What "-B" prints before the erase on the default part with its default CONFIG ($F5): the
// value decoded and the warning of NOSEC clear.
extern const std::string kConfigTold;
// What it prints once CONFIG is programmed with value.
std::string ConfigProgrammed(uint8_t value = 0xF5);

// The fenced blocks of a Markdown file's section (the one under the line heading, up to the
// next "## " heading), in order: what the README shows, for the tests that run it.
std::vector<std::string> FencedBlocks(const std::string &path, const std::string &heading);
