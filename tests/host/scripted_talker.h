// A far end that speaks the talker protocol the way the firmware does, with knobs to make it
// misbehave; it records every frame it got. For protocol and download tests.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "fake_target.h"
#include "port.h"
#include "talker_link.h"

struct TalkerFrame {
    char letter;
    uint16_t address;
    uint16_t count;
    std::vector<uint8_t> data;
};

// The test reads and sets the talker's state while the talker's thread serves: the pty orders
// the two sides, but only the lock makes that ordering known to the program (and to TSan).
struct ScriptedTalker {
    std::atomic<bool> stop{false};

    // Serves commands until stop is set (checked between bytes).
    void serve(FakeTarget &target);
    // The frames received so far, in order.
    std::vector<TalkerFrame> frames() const;
    void clearFrames();
    uint8_t memoryAt(uint16_t address) const;
    // Addresses whose read-back differs from what was written (a byte that won't program).
    void setStuckAddresses(std::vector<uint16_t> addresses);
    // The chip's bytes from address on, as a bulk erase and earlier runs left them.
    void setMemory(uint16_t address, const std::vector<uint8_t> &bytes);
    // Inverts the bits of every n-th byte (from 1) that "R" blocks send from now on, as a
    // noisy line would; 0 for none.
    void setCorruptRead(uint32_t n);

  private:
    mutable std::mutex lock_;
    std::vector<TalkerFrame> frames_;
    uint8_t memory_[65536] = {};
    std::vector<uint16_t> stuckAddresses_;
    uint32_t corruptRead_ = 0;
    uint32_t readSent_ = 0;

    bool readByte(FakeTarget &target, uint8_t *byte);
    bool readWord(FakeTarget &target, uint16_t *word);
    uint8_t store(uint16_t address, uint8_t value);
    bool serveBlock(FakeTarget &target, TalkerFrame &frame);
    void serveBlockRead(FakeTarget &target, const TalkerFrame &frame);
};

// A port opened at 9600 baud onto a pty whose far end a ScriptedTalker can serve.
class TalkerLinkTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Starts the scripted talker and consumes its start-up prompt.
    void StartTalker();
    // "-V" from here on: the port wrapped in the tracing port.
    void StartTracing();

    FakeTarget target;
    ScriptedTalker talker;
    LinkTarget linkTarget;
    TalkerLink link;
    Port *pPort = nullptr;  // link.pPort
};
