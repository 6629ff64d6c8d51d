// The wire to the host: a pseudo-terminal whose slave end the host opens as its serial port.
//
// hc11sim keeps a descriptor of the slave open itself, so that the master never sees a
// hang-up when the host closes the port, and the host can open it again (as it does between
// 1200 and 9600 baud). The host's line rate is the slave's termios speed, which the same tty
// shows through that descriptor; it is read afresh each time it matters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "simulator.h"

namespace hc11 {

class PtyWire : public HostLine {
  public:
    PtyWire() = default;
    ~PtyWire() override;
    PtyWire(const PtyWire &) = delete;
    PtyWire &operator=(const PtyWire &) = delete;

    // Opens the pseudo-terminal and sets its slave raw. Returns false after a message on
    // standard error.
    bool open();
    const std::string &slavePath() const { return slavePath_; }

    // Makes linkPath a symbolic link to the slave (replacing an earlier symbolic link there);
    // the destructor removes it. Returns false after a message.
    bool link(const std::string &linkPath);

    // A descriptor whose readability also ends waitForInput() (the signal handlers' pipe).
    void setWakeDescriptor(int fd) { wakeFd_ = fd; }

    unsigned hostBaud() override;
    size_t receive(uint8_t *buffer, size_t room) override;
    void send(const uint8_t *bytes, size_t count) override;
    void waitForInput(double seconds) override;

    uint64_t droppedBytes() const { return dropped_; }

  private:
    int masterFd_ = -1;
    int slaveFd_ = -1;
    int wakeFd_ = -1;
    std::string slavePath_;
    std::string linkPath_;
    uint64_t dropped_ = 0;
};

// Returns when fd is readable, wakeFd (when not -1) has woken it, seconds have passed
// (negative: no limit) or a signal came.
void WaitReadable(int fd, int wakeFd, double seconds);

// The bit rate of a termios speed constant, 0 for B0 or one it does not know.
unsigned BaudFromSpeed(unsigned long speed);

}  // namespace hc11
