// A far end that speaks the talker protocol the way the firmware does, with knobs to make it
// misbehave; it records every frame it got. For protocol and download tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "fake_target.h"
#include "win32_serial.h"

struct TalkerFrame {
    char letter;
    uint16_t address;
    uint16_t count;
    std::vector<uint8_t> data;
};

struct ScriptedTalker {
    std::vector<TalkerFrame> frames;
    uint8_t memory[65536] = {};
    // Addresses whose read-back differs from what was written (a byte that won't program).
    std::vector<uint16_t> stuckAddresses;
    std::atomic<bool> stop{false};

    // Serves commands until stop is set (checked between bytes).
    void serve(FakeTarget &target);

private:
    bool readByte(FakeTarget &target, uint8_t *byte);
    bool readWord(FakeTarget &target, uint16_t *word);
    uint8_t store(uint16_t address, uint8_t value);
    bool serveBlock(FakeTarget &target, TalkerFrame &frame);
};

// A port opened at 9600 baud onto a pty whose far end a ScriptedTalker can serve.
class TalkerLinkTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Starts the scripted talker and consumes its start-up prompt.
    void StartTalker();

    FakeTarget target;
    ScriptedTalker talker;
    HANDLE hPort = INVALID_HANDLE_VALUE;
};
