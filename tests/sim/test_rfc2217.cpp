// hc11sim's RFC 2217 session: what a network client's bytes become (data, line settings,
// breaks) and what it is answered.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "rfc2217.h"

namespace {

using Bytes = std::vector<uint8_t>;
using hc11::Rfc2217Session;
constexpr uint8_t IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252, DO = 253, DONT = 254;
constexpr uint8_t CPO = 44;

Bytes Take(Rfc2217Session &session, const Bytes &bytes) {
    Bytes data(bytes.size());
    data.resize(session.take(bytes.data(), bytes.size(), data.data()));
    return data;
}

Bytes Sub(const Bytes &command) {
    Bytes bytes = {IAC, SB, CPO};
    for (uint8_t byte : command) bytes.push_back(byte);
    bytes.push_back(IAC);
    bytes.push_back(SE);
    return bytes;
}

struct Exchange {
    Bytes sent, answer;
};

class SessionAnswers : public ::testing::TestWithParam<Exchange> {};

TEST_P(SessionAnswers, EachRequestAsTheProtocolSays) {
    Rfc2217Session session;
    EXPECT_EQ(Take(session, GetParam().sent), Bytes());
    EXPECT_EQ(session.replies(), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, SessionAnswers,
    ::testing::Values(Exchange{{IAC, WILL, CPO}, {IAC, DO, CPO}},
                      Exchange{{IAC, DO, CPO}, {IAC, WILL, CPO}},
                      Exchange{{IAC, DO, 3, IAC, WILL, 0}, {IAC, WILL, 3, IAC, DO, 0}},
                      Exchange{{IAC, DO, 1, IAC, WILL, 24}, {IAC, WONT, 1, IAC, DONT, 24}},
                      Exchange{{IAC, WONT, CPO, IAC, DONT, CPO, IAC, 241}, {}},
                      Exchange{Sub({1, 0, 0, 0x04, 0xB0}), Sub({101, 0, 0, 0x04, 0xB0})},
                      Exchange{Sub({1, 0, 0, 0, 0}), Sub({101, 0, 0, 0, 0})},
                      Exchange{Sub({2, 8}), Sub({102, 8})},
                      Exchange{Sub({2, 7}), Sub({102, 8})},  // the SCI's frame is 8N1
                      Exchange{Sub({3, 3}), Sub({103, 1})}, Exchange{Sub({4, 0}), Sub({104, 1})},
                      Exchange{Sub({5, 8}), Sub({105, 8})},    // DTR on
                      Exchange{Sub({5, 7}), Sub({105, 9})},    // DTR asked: off
                      Exchange{Sub({5, 3}), Sub({105, 1})},    // hardware flow: none
                      Exchange{Sub({5, 15}), Sub({105, 14})},  // inbound flow: none
                      Exchange{Sub({12, 3}), Sub({112, 3})},
                      Exchange{Sub({1, 0, 0, IAC, IAC, IAC, IAC}),
                               Sub({101, 0, 0, IAC, IAC, IAC, IAC})},
                      Exchange{Sub({99, 1}), {}}, Exchange{{IAC, SB, 1, 2, IAC, SE}, {}}));

TEST(Rfc2217Session, DataKeepsItsBytesWithIacUndoubledAcrossReads) {
    Rfc2217Session session;
    EXPECT_EQ(Take(session, {'a', IAC}), Bytes({'a'}));
    EXPECT_EQ(Take(session, {IAC, 'b', IAC, SB, CPO, 1, 0, 0}), Bytes({IAC, 'b'}));
    EXPECT_EQ(Take(session, {0x25, 0x80, IAC, SE, 0x00}), Bytes({0x00}));
    EXPECT_EQ(session.baud(), 9600u);
    Bytes escaped;
    Rfc2217Session::Escape(Bytes({1, IAC, 2}).data(), 3, &escaped);
    EXPECT_EQ(escaped, Bytes({1, IAC, IAC, 2}));
}

// A reset pulse may come in one read: each move is kept, in order.
TEST(Rfc2217Session, LineMovesAndBreaksAreReportedOnceEachInOrder) {
    Rfc2217Session session;
    EXPECT_EQ(session.baud(), 0u) << "no rate until the client sets one";
    Bytes pulse = Sub({5, 8});
    for (uint8_t command : {8, 11, 9, 12}) {
        Bytes more = Sub({5, command});
        pulse.insert(pulse.end(), more.begin(), more.end());
    }
    Take(session, pulse);
    bool dtr = false, rts = false;
    std::vector<std::pair<bool, bool>> moves;
    while (session.takeLineChange(&dtr, &rts)) moves.emplace_back(dtr, rts);
    EXPECT_EQ(moves, (std::vector<std::pair<bool, bool>>{
                         {true, false}, {true, true}, {false, true}, {false, false}}))
        << "DTR on twice is one move";
    Take(session, Sub({5, 5}));
    Take(session, Sub({5, 5}));
    EXPECT_TRUE(session.takeBreak());
    EXPECT_FALSE(session.takeBreak()) << "one break until it ends";
    session.replies().clear();
    Take(session, Sub({5, 4}));
    EXPECT_EQ(session.replies(), Sub({105, 5})) << "the break is on";
    Take(session, Sub({5, 6}));
    Take(session, Sub({5, 5}));
    EXPECT_TRUE(session.takeBreak());
}

}  // namespace
