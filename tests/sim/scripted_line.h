// A host line for serve() in tests: hands over one scripted chunk of bytes each time the
// simulator waits for input, records every write as one chunk, and asks serve() to stop once
// its script is done. The host's line rate is 1200 baud, the bootstrap ROM's, unless given.
#pragma once

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <vector>

#include "simulator.h"

class ScriptedLine : public hc11::HostLine {
  public:
    using Bytes = std::vector<uint8_t>;

    explicit ScriptedLine(std::vector<Bytes> script, unsigned baud = 1200)
        : script_(std::move(script)), baud_(baud) {}
    unsigned hostBaud() override { return baud_; }
    size_t receive(uint8_t *buffer, size_t room) override {
        if (!ready_) return 0;
        ready_ = false;
        size_t count = std::min(room, script_[next_].size());
        std::copy_n(script_[next_++].begin(), count, buffer);
        return count;
    }
    void send(const uint8_t *bytes, size_t count) override {
        written.emplace_back(bytes, bytes + count);
    }
    void waitForInput(double) override {
        if (next_ < script_.size())
            ready_ = true;
        else
            stop = 1;
    }

    std::vector<Bytes> written;
    volatile std::sig_atomic_t stop = 0;

  private:
    std::vector<Bytes> script_;
    unsigned baud_;
    size_t next_ = 0;
    bool ready_ = false;
};
