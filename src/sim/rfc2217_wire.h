// The wire to the host over the network (--listen): a TCP port that serves one RFC 2217
// client at a time. A second client waits in the listening queue until the first leaves;
// the next may then connect. The host's rate is the client's SET-BAUDRATE (until it sets
// one, whatever the SCI runs at); its breaks, DTR and RTS reach the serving loop. A client
// that leaves releases its lines, as a port closed on a real adapter drops DTR and RTS.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "rfc2217.h"
#include "simulator.h"

namespace hc11 {

class Rfc2217Wire : public HostLine {
  public:
    Rfc2217Wire() = default;
    ~Rfc2217Wire() override;
    Rfc2217Wire(const Rfc2217Wire &) = delete;
    Rfc2217Wire &operator=(const Rfc2217Wire &) = delete;

    // Listens on host:port (port 0: one the system picks). Returns false after a message on
    // standard error.
    bool listen(const std::string &host, unsigned port);
    // "rfc2217://HOST:PORT", with the port actually listened on.
    std::string url() const;
    // A descriptor whose readability also ends waitForInput() (the signal handlers' pipe).
    void setWakeDescriptor(int fd) { wakeFd_ = fd; }

    unsigned hostBaud() override { return session_.baud(); }
    size_t receive(uint8_t *buffer, size_t room) override;
    void send(const uint8_t *bytes, size_t count) override;
    void waitForInput(double seconds) override;
    bool takeBreak() override { return session_.takeBreak(); }
    bool takeLineChange(bool *dtr, bool *rts) override;

  private:
    void acceptClient();
    void dropClient();
    bool writeAll(const uint8_t *bytes, size_t count);
    void sendReplies();

    int listenFd_ = -1;
    int clientFd_ = -1;
    int wakeFd_ = -1;
    std::string host_;
    unsigned port_ = 0;
    Rfc2217Session session_;
    bool released_ = false;  // the client left: its lines fall
};

// Splits "PORT" or "HOST:PORT" (host 127.0.0.1 when absent). False when it is neither.
bool ParseListenAddress(const char *text, std::string *host, unsigned *port);

}  // namespace hc11
