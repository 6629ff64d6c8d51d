// libFuzzer target for hc11sim's RFC 2217 session: the bytes a network client sends. Besides
// the sanitizers' own checks it holds the session to what the wire relies on: the data never
// outgrows the input; cut into two reads anywhere, the stream gives the same data, replies
// and line state; each reply is a whole Telnet command; and data escaped by the server's
// own Escape comes back unchanged with nothing owed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "rfc2217.h"

namespace {

using hc11::Rfc2217Session;
namespace telnet = hc11::telnet;

void Require(bool condition, const char *what) {
    if (condition) return;
    std::printf("fuzz_rfc2217_server: %s\n", what);
    std::abort();
}

struct Outcome {
    std::vector<uint8_t> data, replies;
    unsigned baud;
    std::vector<int> lineChanges;  // DTR * 2 + RTS after each change
    unsigned breaks;
};

Outcome Feed(const uint8_t *bytes, size_t count, size_t cut) {
    Rfc2217Session session;
    std::vector<uint8_t> data(count + 1);
    size_t first = session.take(bytes, cut, data.data());
    Require(first <= cut, "more data than bytes in the first read");
    size_t second = session.take(bytes + cut, count - cut, data.data() + first);
    Require(second <= count - cut, "more data than bytes in the second read");
    data.resize(first + second);
    Outcome outcome{data, session.replies(), session.baud(), {}, 0};
    bool dtr = false, rts = false;
    while (session.takeLineChange(&dtr, &rts)) outcome.lineChanges.push_back(dtr * 2 + rts);
    Require(outcome.lineChanges.empty() ||
                outcome.lineChanges.back() == session.dtr() * 2 + session.rts(),
            "the last line change is not the lines' state");
    while (session.takeBreak()) outcome.breaks++;
    return outcome;
}

// Each reply: IAC and a negotiation, or IAC SB COM-PORT-OPTION, a server code, IAC SE.
void CheckReplies(const std::vector<uint8_t> &replies) {
    size_t i = 0;
    while (i < replies.size()) {
        Require(replies[i] == telnet::IAC && i + 2 < replies.size(), "a reply cut short");
        uint8_t verb = replies[i + 1];
        if (verb != telnet::SB) {
            Require(verb >= telnet::WILL && verb <= telnet::DONT, "a reply of no known verb");
            i += 3;
            continue;
        }
        Require(replies[i + 2] == telnet::COM_PORT_OPTION && i + 3 < replies.size() &&
                    replies[i + 3] > 100,
                "a subnegotiation reply without a server code");
        size_t end = i + 4;
        while (end + 1 < replies.size() &&
               !(replies[end] == telnet::IAC && replies[end + 1] == telnet::SE))
            end += replies[end] == telnet::IAC ? 2 : 1;
        Require(end + 1 < replies.size(), "a subnegotiation reply without IAC SE");
        i = end + 2;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t count) {
    Outcome whole = Feed(bytes, count, count);
    Outcome cut = Feed(bytes, count, count / 2);
    Require(whole.data == cut.data && whole.replies == cut.replies && whole.baud == cut.baud &&
                whole.lineChanges == cut.lineChanges && whole.breaks == cut.breaks,
            "the stream reads differently when cut in two");
    CheckReplies(whole.replies);
    std::vector<uint8_t> escaped;
    Rfc2217Session::Escape(bytes, count, &escaped);
    Outcome plain = Feed(escaped.data(), escaped.size(), escaped.size() / 3);
    Require(plain.data == std::vector<uint8_t>(bytes, bytes + count),
            "escaped data does not come back unchanged");
    Require(plain.replies.empty(), "escaped data was answered");
    return 0;
}
