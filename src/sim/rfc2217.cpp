#include "rfc2217.h"

namespace hc11 {

namespace {

namespace cpo {  // COM-PORT-OPTION commands, client to server
constexpr uint8_t SET_BAUDRATE = 1, SET_DATASIZE = 2, SET_PARITY = 3, SET_STOPSIZE = 4,
                  SET_CONTROL = 5, PURGE_DATA = 12, kServerOffset = 100;
constexpr uint8_t kDataBits = 8, kNoParity = 1, kOneStopBit = 1;
}  // namespace cpo

namespace control {
constexpr uint8_t ASK_FLOW = 0, NO_FLOW = 1, ASK_BREAK = 4, BREAK_ON = 5, BREAK_OFF = 6,
                  ASK_DTR = 7, DTR_ON = 8, DTR_OFF = 9, ASK_RTS = 10, RTS_ON = 11, RTS_OFF = 12,
                  NO_FLOW_IN = 14;
}

bool Agreed(uint8_t option) {
    return option == telnet::COM_PORT_OPTION || option == telnet::BINARY || option == telnet::SGA;
}

}  // namespace

size_t Rfc2217Session::take(const uint8_t *bytes, size_t count, uint8_t *data) {
    size_t out = 0;
    for (size_t i = 0; i < count; i++)
        if (feed(bytes[i], data + out)) out++;
    return out;
}

// One byte of the client's stream; true when it is a data byte, now in *data.
bool Rfc2217Session::feed(uint8_t byte, uint8_t *data) {
    using namespace telnet;
    switch (state_) {
        case State::Data:
            if (byte != IAC) {
                *data = byte;
                return true;
            }
            state_ = State::Command;
            return false;
        case State::Command:
            state_ = State::Data;
            if (byte == IAC) {
                *data = byte;
                return true;
            }
            if (byte >= WILL && byte <= DONT) {
                verb_ = byte;
                state_ = State::Option;
            } else if (byte == SB) {
                subSize_ = 0;
                state_ = State::Sub;
            }
            return false;  // NOP, GA and the rest: nothing to do
        case State::Option:
            negotiate(verb_, byte);
            state_ = State::Data;
            return false;
        case State::Sub:
        case State::SubCommand:
            feedSubnegotiation(byte);
            return false;
    }
    return false;
}

// Inside IAC SB ... IAC SE: a doubled IAC is one byte of it; a stray IAC x drops x.
void Rfc2217Session::feedSubnegotiation(uint8_t byte) {
    using namespace telnet;
    if (state_ == State::Sub) {
        if (byte == IAC)
            state_ = State::SubCommand;
        else if (subSize_ < kMaxSub)
            sub_[subSize_++] = byte;
        return;
    }
    state_ = State::Sub;
    if (byte == SE) {
        subnegotiation();
        state_ = State::Data;
    } else if (byte == IAC && subSize_ < kMaxSub) {
        sub_[subSize_++] = byte;
    }
}

// WILL and DO are answered with DO and WILL for the options agreed to, DONT and WONT for
// the rest; a WONT or DONT needs no answer.
void Rfc2217Session::negotiate(uint8_t verb, uint8_t option) {
    using namespace telnet;
    if (verb != WILL && verb != DO) return;
    uint8_t answer = verb == WILL ? (Agreed(option) ? DO : DONT) : (Agreed(option) ? WILL : WONT);
    replies_.insert(replies_.end(), {IAC, answer, option});
}

uint32_t Rfc2217Session::subValue32() const {
    uint32_t value = 0;
    for (size_t i = 2; i < 6 && i < subSize_; i++) value = value << 8 | sub_[i];
    return value;
}

void Rfc2217Session::subnegotiation() {
    if (subSize_ < 2 || sub_[0] != telnet::COM_PORT_OPTION) return;
    uint8_t command = sub_[1];
    uint8_t value = subSize_ > 2 ? sub_[2] : 0;
    switch (command) {
        case cpo::SET_BAUDRATE: {
            if (subSize_ < 6) return;
            if (subValue32() != 0) baud_ = unsigned(subValue32());
            uint8_t rate[4] = {uint8_t(baud_ >> 24), uint8_t(baud_ >> 16), uint8_t(baud_ >> 8),
                               uint8_t(baud_)};
            return reply(command, rate, 4);
        }
        case cpo::SET_DATASIZE:
            return reply(command, &cpo::kDataBits, 1);
        case cpo::SET_PARITY:
            return reply(command, &cpo::kNoParity, 1);
        case cpo::SET_STOPSIZE:
            return reply(command, &cpo::kOneStopBit, 1);
        case cpo::SET_CONTROL:
            return setControl(value);
        case cpo::PURGE_DATA:
            // Nothing waits in this server: each byte goes on as it comes.
            return reply(command, &value, 1);
        default:
            return;
    }
}

void Rfc2217Session::setControl(uint8_t value) {
    bool dtrBefore = dtr_, rtsBefore = rts_;
    uint8_t state = value;
    switch (value) {
        case control::ASK_FLOW:
            state = control::NO_FLOW;
            break;
        case control::BREAK_ON:
            if (!break_) breaksBegun_++;
            break_ = true;
            break;
        case control::BREAK_OFF:
            break_ = false;
            break;
        case control::ASK_BREAK:
            state = break_ ? control::BREAK_ON : control::BREAK_OFF;
            break;
        case control::DTR_ON:
        case control::DTR_OFF:
            dtr_ = value == control::DTR_ON;
            break;
        case control::ASK_DTR:
            state = dtr_ ? control::DTR_ON : control::DTR_OFF;
            break;
        case control::RTS_ON:
        case control::RTS_OFF:
            rts_ = value == control::RTS_ON;
            break;
        case control::ASK_RTS:
            state = rts_ ? control::RTS_ON : control::RTS_OFF;
            break;
        default:  // flow control, outbound (0-3, 17, 19) or inbound (13-16, 18): none, always
            state = (value >= 13 && value <= 16) || value == 18 ? control::NO_FLOW_IN
                                                                : control::NO_FLOW;
            break;
    }
    if (dtr_ != dtrBefore || rts_ != rtsBefore) lineChanges_.emplace_back(dtr_, rts_);
    reply(cpo::SET_CONTROL, &state, 1);
}

void Rfc2217Session::reply(uint8_t command, const uint8_t *value, size_t size) {
    using namespace telnet;
    replies_.insert(replies_.end(),
                    {IAC, SB, COM_PORT_OPTION, uint8_t(command + cpo::kServerOffset)});
    Escape(value, size, &replies_);
    replies_.insert(replies_.end(), {IAC, SE});
}

void Rfc2217Session::Escape(const uint8_t *bytes, size_t count, std::vector<uint8_t> *out) {
    for (size_t i = 0; i < count; i++) {
        if (bytes[i] == telnet::IAC) out->push_back(telnet::IAC);
        out->push_back(bytes[i]);
    }
}

bool Rfc2217Session::takeBreak() {
    if (breaksBegun_ == 0) return false;
    breaksBegun_--;
    return true;
}

bool Rfc2217Session::takeLineChange(bool *dtr, bool *rts) {
    if (lineChanges_.empty()) return false;
    *dtr = lineChanges_.front().first;
    *rts = lineChanges_.front().second;
    lineChanges_.pop_front();
    return true;
}

}  // namespace hc11
