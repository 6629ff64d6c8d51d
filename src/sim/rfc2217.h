// The server's side of a Telnet COM-PORT-OPTION session (RFC 2217), without the socket: the
// client's bytes go in, its data comes out for the wire, with the line's settings and the
// replies the client is owed.
//
// Negotiation: WILL and DO COM-PORT-OPTION (44), BINARY (0) and SUPPRESS-GO-AHEAD (3) are
// agreed to, every other option refused. Subnegotiations: SET-BAUDRATE (any rate; 0 asks),
// SET-DATASIZE, SET-PARITY and SET-STOPSIZE (the SCI's frame is 8N1: a reply gives what is
// in force, so a client that asked for other settings learns they were not taken),
// SET-CONTROL (break, DTR and RTS on, off or asked; flow control: none), PURGE-DATA. Each is
// answered with the server's code (the command + 100). The other commands, and Telnet's own
// (NOP, GA, ...), are ignored. IAC is doubled in data both ways.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace hc11 {

namespace telnet {
constexpr uint8_t IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
constexpr uint8_t BINARY = 0, SGA = 3, COM_PORT_OPTION = 44;
}  // namespace telnet

class Rfc2217Session {
  public:
    // Takes count bytes from the client: writes its data to data (room for count bytes) and
    // returns how many; the replies owed go to replies().
    size_t take(const uint8_t *bytes, size_t count, uint8_t *data);
    // Replies to send, then clear.
    std::vector<uint8_t> &replies() { return replies_; }
    // Appends data for the client to out, each IAC doubled.
    static void Escape(const uint8_t *bytes, size_t count, std::vector<uint8_t> *out);

    unsigned baud() const { return baud_; }  // 0 until the client sets one
    bool dtr() const { return dtr_; }
    bool rts() const { return rts_; }
    // True once for each break the client began.
    bool takeBreak();
    // Each change of DTR or RTS in turn, oldest first: true with the lines' states then.
    bool takeLineChange(bool *dtr, bool *rts);

  private:
    enum class State { Data, Command, Option, Sub, SubCommand };
    static constexpr size_t kMaxSub = 16;  // longer subnegotiations are cut: none needs more

    bool feed(uint8_t byte, uint8_t *data);
    void feedSubnegotiation(uint8_t byte);
    void negotiate(uint8_t verb, uint8_t option);
    void subnegotiation();
    void setControl(uint8_t value);
    void reply(uint8_t command, const uint8_t *value, size_t size);
    uint32_t subValue32() const;

    State state_ = State::Data;
    uint8_t verb_ = 0;
    uint8_t sub_[kMaxSub] = {};
    size_t subSize_ = 0;
    std::vector<uint8_t> replies_;
    unsigned baud_ = 0;
    bool dtr_ = false, rts_ = false, break_ = false;
    unsigned breaksBegun_ = 0;
    std::deque<std::pair<bool, bool>> lineChanges_;  // DTR and RTS after each change
};

}  // namespace hc11
