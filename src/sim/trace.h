// The --trace output: one line per event on standard error, each beginning with the E cycle
// it happened at. Devices hold a Trace and call line() only when enabled() says so.
#pragma once

#include <cstdint>
#include <cstdio>

namespace hc11 {

class Trace {
  public:
    explicit Trace(std::FILE *out = nullptr) : out_(out) {}

    bool enabled() const { return out_ != nullptr; }
    void setOutput(std::FILE *out) { out_ = out; }

    // Writes "<cycle>  <text>\n"; does nothing when tracing is off.
    void line(uint64_t cycle, const char *format, ...) __attribute__((format(printf, 3, 4)));

  private:
    std::FILE *out_;
};

}  // namespace hc11
