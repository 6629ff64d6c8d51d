// The Telnet side of the network serial port: what the client sends, the parser of what the
// server sends, the answers to the server's options, and the port's name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rfc2217_protocol.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// The data and the commands a stream parses to, read in pieces of cbPiece bytes.
struct Parsed {
    Bytes data;
    std::vector<TelnetEvent> events;
    std::vector<Bytes> subnegotiations;
};

Parsed ParseStream(const Bytes &stream, size_t cbPiece) {
    TelnetParser parser;
    InitTelnetParser(&parser);
    Parsed parsed;
    for (size_t ibPiece = 0; ibPiece < stream.size(); ibPiece += cbPiece) {
        size_t cbIn = std::min(cbPiece, stream.size() - ibPiece);
        size_t ibNext = 0;
        while (ibNext < cbIn) {
            Bytes data(cbIn);
            size_t cbData = 0;
            TelnetEvent event;
            ibNext += ParseTelnetBytes(&parser, stream.data() + ibPiece + ibNext, cbIn - ibNext,
                                       data.data(), &cbData, &event);
            parsed.data.insert(parsed.data.end(), data.begin(), data.begin() + cbData);
            if (event.eKind == TELNET_EVENT_NONE) continue;
            parsed.events.push_back(event);
            parsed.subnegotiations.push_back(Bytes(event.pbBytes, event.pbBytes + event.cbBytes));
        }
    }
    return parsed;
}

// ser2net's greeting, data with a doubled IAC and a NOP, and an answer of 125000 baud
// (0x0001E848) followed by one whose value holds a doubled IAC (0x0001FEFF).
const Bytes kServerStream = {255, 251, 3,   255, 253, 44, 'a', 255, 255, 'b', 255, 241,
                             'c', 255, 250, 44,  101, 0,  1,   232, 72,  255, 240, 'd',
                             255, 250, 44,  101, 0,   1,  254, 255, 255, 255, 240};

TEST(TelnetParser, SeparatesDataFromCommandsWhereverTheReadsEnd) {
    for (size_t cbPiece = 1; cbPiece <= kServerStream.size(); cbPiece++) {
        SCOPED_TRACE("pieces of " + std::to_string(cbPiece));
        Parsed parsed = ParseStream(kServerStream, cbPiece);
        EXPECT_EQ(parsed.data, (Bytes{'a', 255, 'b', 'c', 'd'}));
        ASSERT_EQ(parsed.events.size(), 4u);
        EXPECT_EQ(parsed.events[0].eKind, TELNET_EVENT_OPTION);
        EXPECT_EQ(parsed.events[0].bVerb, TELNET_WILL);
        EXPECT_EQ(parsed.events[0].bOption, TELNET_OPTION_SUPPRESS_GO_AHEAD);
        EXPECT_EQ(parsed.events[1].bVerb, TELNET_DO);
        EXPECT_EQ(parsed.events[1].bOption, TELNET_OPTION_COM_PORT);
        EXPECT_EQ(parsed.events[2].eKind, TELNET_EVENT_SUBNEGOTIATION);
        EXPECT_EQ(parsed.events[2].bOption, TELNET_OPTION_COM_PORT);
        uint32_t dwRate = 0;
        ASSERT_TRUE(ReadComPortValue(parsed.subnegotiations[2].data(),
                                     parsed.subnegotiations[2].size(), 4, &dwRate));
        EXPECT_EQ(dwRate, 125000u);
        ASSERT_TRUE(ReadComPortValue(parsed.subnegotiations[3].data(),
                                     parsed.subnegotiations[3].size(), 4, &dwRate));
        EXPECT_EQ(dwRate, 0x0001FEFFu);
    }
}

TEST(TelnetParser, ACommandInsideASubnegotiationEndsItAndTheDataAfterComesThrough) {
    Parsed parsed = ParseStream({255, 250, 44, 101, 0, 255, 253, 0, 'x', 'y'}, 64);
    ASSERT_EQ(parsed.events.size(), 1u);
    EXPECT_EQ(parsed.events[0].eKind, TELNET_EVENT_OPTION);
    EXPECT_EQ(parsed.events[0].bOption, TELNET_OPTION_BINARY);
    EXPECT_EQ(parsed.data, (Bytes{'x', 'y'}));
}

TEST(TelnetParser, KeepsTheStartOfASubnegotiationLongerThanItsRoom) {
    Bytes stream = {255, 250, 44, 0};
    stream.insert(stream.end(), 3 * TELNET_SUBNEGOTIATION_ROOM, 'S');
    stream.insert(stream.end(), {255, 240, 'z'});
    Parsed parsed = ParseStream(stream, stream.size());
    ASSERT_EQ(parsed.events.size(), 1u);
    EXPECT_EQ(parsed.subnegotiations[0].size(), size_t(TELNET_SUBNEGOTIATION_ROOM));
    EXPECT_EQ(parsed.data, Bytes{'z'});
}

TEST(TelnetEncoding, DoublesEveryIacAndNeverSplitsOne) {
    Bytes data;
    for (int i = 0; i < 256; i++) data.push_back(uint8_t(i));
    data.push_back(255);
    Bytes out(2 * data.size());
    size_t cbConsumed = 0;
    size_t cbOut = EscapeTelnetData(data.data(), data.size(), out.data(), out.size(), &cbConsumed);
    EXPECT_EQ(cbConsumed, data.size());
    ASSERT_EQ(cbOut, data.size() + 2);
    Parsed parsed = ParseStream(Bytes(out.begin(), out.begin() + cbOut), cbOut);
    EXPECT_EQ(parsed.data, data);
    // Room for 255 bytes then half of an IAC pair: the IAC waits for the next call.
    cbOut = EscapeTelnetData(data.data(), data.size(), out.data(), 256, &cbConsumed);
    EXPECT_EQ(cbConsumed, 255u);
    EXPECT_EQ(cbOut, 255u);
}

TEST(TelnetEncoding, FormatsComPortCommandsWithTheirValueEscaped) {
    uint8_t rgbOut[TELNET_COMMAND_ROOM];
    size_t cbOut = FormatComPortCommand(COM_PORT_SET_BAUDRATE, 0x0001FEFF, 4, rgbOut);
    EXPECT_EQ(Bytes(rgbOut, rgbOut + cbOut),
              (Bytes{255, 250, 44, 1, 0, 1, 254, 255, 255, 255, 240}));
    cbOut = FormatComPortCommand(COM_PORT_SET_CONTROL, COM_PORT_CONTROL_DTR_ON, 1, rgbOut);
    EXPECT_EQ(Bytes(rgbOut, rgbOut + cbOut), (Bytes{255, 250, 44, 5, 8, 255, 240}));
}

TEST(TelnetOptions, AsksForWhatASerialPortNeedsAndRefusesTheRest) {
    TelnetOptions options;
    uint8_t rgbOut[16];
    size_t cbOut = StartTelnetOptions(&options, rgbOut);
    EXPECT_EQ(Bytes(rgbOut, rgbOut + cbOut),
              (Bytes{255, 251, 44, 255, 251, 0, 255, 253, 0, 255, 251, 3, 255, 253, 3}));
    static const struct {
        uint8_t bVerb, bOption;
        Bytes answer;
    } kCases[] = {
        {TELNET_DO, 44, {}},                // agrees to what the client asked: nothing to say
        {TELNET_DO, 44, {}},                // said again: still nothing, no loop
        {TELNET_WILL, 1, {255, 254, 1}},    // ser2net's ECHO is refused
        {TELNET_DO, 24, {255, 252, 24}},    // so is any other option
        {TELNET_WONT, 3, {}},               // refuses what the client asked: taken
        {TELNET_WILL, 3, {255, 253, 3}},    // offers it later: accepted
        {TELNET_DONT, 0, {}},               // refuses the client's BINARY while asked
        {TELNET_DO, 0, {255, 251, 0}},      // then asks for it: the client agrees
        {TELNET_DONT, 0, {255, 252, 0}},    // and turning it off again is acknowledged
        {TELNET_DONT, 44, {255, 252, 44}},  // as is COM-PORT-OPTION turned off
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(std::to_string(c.bVerb) + " " + std::to_string(c.bOption));
        cbOut = AnswerTelnetOption(&options, c.bVerb, c.bOption, rgbOut);
        EXPECT_EQ(Bytes(rgbOut, rgbOut + cbOut), c.answer);
    }
    EXPECT_EQ(options.rgbLocal[TELNET_OPTION_COM_PORT], TELNET_OPTION_OFF);
    EXPECT_EQ(options.rgbRemote[TELNET_OPTION_SUPPRESS_GO_AHEAD], TELNET_OPTION_ON);
}

TEST(Rfc2217Url, SplitsHostAndPortAndRefusesAnythingElse) {
    static const struct {
        const char *pszUrl;
        const char *pszHost;  // NULL: refused
        const char *pszService;
    } kCases[] = {
        {"rfc2217://localhost:2000", "localhost", "2000"},
        {"rfc2217://192.168.1.20:65535", "192.168.1.20", "65535"},
        {"rfc2217://[::1]:7000", "::1", "7000"},
        {"rfc2217://pi.lab:1", "pi.lab", "1"},
        {"rfc2217://host", NULL, NULL},
        {"rfc2217://host:", NULL, NULL},
        {"rfc2217://:2000", NULL, NULL},
        {"rfc2217://host:0", NULL, NULL},
        {"rfc2217://host:65536", NULL, NULL},
        {"rfc2217://host:02000", NULL, NULL},
        {"rfc2217://host:20x0", NULL, NULL},
        {"rfc2217://host/x:2000", NULL, NULL},
        {"telnet://host:2000", NULL, NULL},
        {"/dev/ttyUSB0", NULL, NULL},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.pszUrl);
        char szHost[32] = "", szService[8] = "";
        int fParsed =
            ParseRfc2217Url(c.pszUrl, szHost, sizeof(szHost), szService, sizeof(szService));
        ASSERT_EQ(fParsed, c.pszHost != NULL);
        if (!fParsed) continue;
        EXPECT_STREQ(szHost, c.pszHost);
        EXPECT_STREQ(szService, c.pszService);
    }
    char szShort[4], szService[8];
    EXPECT_FALSE(ParseRfc2217Url("rfc2217://long:2000", szShort, sizeof(szShort), szService,
                                 sizeof(szService)));
}

}  // namespace
