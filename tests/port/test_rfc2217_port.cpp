// The network serial port against a scripted server: what it sends when it opens, its data
// both ways, the commands it waits for and those it does not, and its messages.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "rfc2217_port.h"
#include "scripted_server.h"

namespace {

// Reads until cbCount bytes came or a few seconds of silence.
Bytes ReadBytes(Port *pPort, size_t cbCount) {
    Bytes bytes;
    for (int iQuiet = 0; bytes.size() < cbCount && iQuiet < 30;) {
        uint8_t rgbBuffer[600];
        uint32_t dwRead = 0;
        if (!pPort->pOps->pfnRead(pPort, rgbBuffer, sizeof(rgbBuffer), 100, &dwRead)) break;
        bytes.insert(bytes.end(), rgbBuffer, rgbBuffer + dwRead);
        iQuiet = dwRead == 0 ? iQuiet + 1 : 0;
    }
    return bytes;
}

// Every byte value, and 255 twice more: the Telnet escape.
Bytes EveryByteValue() {
    Bytes bytes;
    for (int i = 0; i < 256; i++) bytes.push_back(uint8_t(i));
    bytes.insert(bytes.end(), {255, 255});
    return bytes;
}

// The message of a refused open, without the port's name.
std::string OpenFails(const std::string &strUrl, uint32_t dwBaudRate) {
    Port port;
    testing::internal::CaptureStderr();
    int fOpened = OpenRfc2217Port(&port, strUrl.c_str(), dwBaudRate);
    std::string strMessage = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(fOpened);
    EXPECT_EQ(strMessage.compare(0, strUrl.size() + 2, strUrl + ": "), 0) << strMessage;
    EXPECT_EQ(strMessage.find('\n'), strMessage.size() - 1) << "one line: " << strMessage;
    return strMessage.substr(std::min(strMessage.size(), strUrl.size() + 2));
}

class Rfc2217Port : public testing::Test {
  protected:
    void Open(const ServerScript &script) {
        server_.reset(new ScriptedServer(script));
        ASSERT_TRUE(OpenRfc2217Port(&port_, server_->Url().c_str(), 9600));
    }
    void TearDown() override {
        if (port_.pOps != NULL) port_.pOps->pfnClose(&port_);
    }
    std::unique_ptr<ScriptedServer> server_;
    Port port_ = {};
};

TEST_F(Rfc2217Port, OpensAt8N1AndTheRateAndMovesNoLineNobodyAskedFor) {
    Open(ServerScript());
    EXPECT_EQ(port_.dwBaudRate, 9600u);
    EXPECT_EQ(std::string(port_.szName), server_->Url());
    std::vector<ReceivedCommand> commands = server_->Commands();
    ASSERT_EQ(commands.size(), 4u);
    const ReceivedCommand kExpected[] = {{COM_PORT_SET_DATASIZE, 8},
                                         {COM_PORT_SET_PARITY, COM_PORT_PARITY_NONE},
                                         {COM_PORT_SET_STOPSIZE, 1},
                                         {COM_PORT_SET_BAUDRATE, 9600}};
    for (size_t i = 0; i < commands.size(); i++) {
        EXPECT_EQ(commands[i].bCommand, kExpected[i].bCommand) << i;
        EXPECT_EQ(commands[i].dwValue, kExpected[i].dwValue) << i;
    }
}

TEST_F(Rfc2217Port, PassesEveryByteBothWaysAndConsumesTheServersCommandsAmongThem) {
    Open(ServerScript());
    Bytes sent = EveryByteValue();
    uint32_t dwWritten = 0;
    ASSERT_TRUE(port_.pOps->pfnWrite(&port_, sent.data(), uint32_t(sent.size()), 1000, &dwWritten));
    EXPECT_EQ(dwWritten, sent.size());
    EXPECT_EQ(server_->WaitForData(sent.size()), sent);
    // 'a', IAC IAC, a NOP, a NOTIFY-MODEMSTATE, an option the client refuses, 'b'.
    server_->Send({'a', 255, 255, 255, 241, 255, 250, 44, 107, 0, 255, 240, 255, 251, 1, 'b'});
    EXPECT_EQ(ReadBytes(&port_, 3), (Bytes{'a', 255, 'b'}));
    uint8_t bByte = 0;
    uint32_t dwRead = 1;
    ASSERT_TRUE(port_.pOps->pfnRead(&port_, &bByte, 1, 20, &dwRead));
    EXPECT_EQ(dwRead, 0u) << "a time-out is no error and reads nothing";
}

TEST_F(Rfc2217Port, GoesOnWhenSetControlIsNotAnsweredAndSendsEachLineChangeAskedFor) {
    Open(ServerScript());
    EXPECT_TRUE(port_.pOps->pfnSetLine(&port_, PORT_LINE_DTR, 1));
    EXPECT_TRUE(port_.pOps->pfnSetLine(&port_, PORT_LINE_RTS, 0));
    EXPECT_TRUE(port_.pOps->pfnSendBreak(&port_, 5));
    // The data goes after the commands: once the server has it, it has them all.
    uint32_t dwWritten = 0;
    ASSERT_TRUE(port_.pOps->pfnWrite(&port_, (const uint8_t *)"ok", 2, 1000, &dwWritten));
    EXPECT_EQ(server_->WaitForData(2), (Bytes{'o', 'k'}));
    std::vector<ReceivedCommand> commands = server_->Commands();
    ASSERT_EQ(commands.size(), 8u);
    const uint8_t kControls[] = {COM_PORT_CONTROL_DTR_ON, COM_PORT_CONTROL_RTS_OFF,
                                 COM_PORT_CONTROL_BREAK_ON, COM_PORT_CONTROL_BREAK_OFF};
    for (size_t i = 0; i < 4; i++) {
        EXPECT_EQ(commands[4 + i].bCommand, COM_PORT_SET_CONTROL);
        EXPECT_EQ(commands[4 + i].dwValue, kControls[i]);
    }
}

TEST_F(Rfc2217Port, PurgeDropsWhatCameBeforeTheServersAnswerAndKeepsWhatCameAfter) {
    ServerScript script;
    script.beforePurgeAnswer = {'o', 'l', 'd', 255, 255};
    script.afterPurgeAnswer = {'n', 'e', 'w'};
    Open(script);
    server_->Send({'s', 't', 'a', 'l', 'e'});
    ASSERT_TRUE(port_.pOps->pfnPurgeInput(&port_));
    EXPECT_EQ(ReadBytes(&port_, 3), (Bytes{'n', 'e', 'w'}));
    uint8_t bByte = 0;
    uint32_t dwRead = 0;
    ASSERT_TRUE(port_.pOps->pfnRead(&port_, &bByte, 1, 100, &dwRead));
    EXPECT_EQ(dwRead, 0u) << "nothing of the stale bytes is left";
}

TEST_F(Rfc2217Port, DrainWaitsForTheServerToTakeEveryByte) {
    Open(ServerScript());
    uint32_t dwWritten = 0;
    ASSERT_TRUE(port_.pOps->pfnWrite(&port_, (const uint8_t *)"abc", 3, 1000, &dwWritten));
    ASSERT_TRUE(port_.pOps->pfnDrain(&port_));
    EXPECT_EQ(server_->WaitForData(0), (Bytes{'a', 'b', 'c'}));
}

TEST_F(Rfc2217Port, ARateTheServerCantMakeFailsWithBothRates) {
    ServerScript script;
    script.dwRateAnswer = 9600;
    Open(script);
    EXPECT_FALSE(port_.pOps->pfnSetRate(&port_, 125000));
    char szText[PORT_ERROR_ROOM];
    port_.pOps->pfnDescribeError(&port_, szText, sizeof(szText));
    EXPECT_STREQ(szText,
                 "the server's port runs at 9600 baud, not the 125000 asked for: it "
                 "can't make that rate (try a lower -b)");
    EXPECT_EQ(port_.dwBaudRate, 9600u);
}

TEST_F(Rfc2217Port, AServerThatEndsTheConnectionIsAFailedRead) {
    Open(ServerScript());
    server_->Stop();
    uint8_t bByte = 0;
    uint32_t dwRead = 0;
    EXPECT_FALSE(port_.pOps->pfnRead(&port_, &bByte, 1, 2000, &dwRead));
    char szText[PORT_ERROR_ROOM];
    port_.pOps->pfnDescribeError(&port_, szText, sizeof(szText));
    EXPECT_STREQ(szText, "the server closed the connection");
}

// A loopback port that nothing listens on.
std::string UnusedUrl() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t cbAddress = sizeof(address);
    bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address));
    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &cbAddress);
    close(fd);
    return "rfc2217://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

TEST(Rfc2217Open, SaysWhyItCantOpen) {
    std::string strUnused = UnusedUrl();
    std::string strPort = strUnused.substr(strUnused.rfind(':') + 1);
    EXPECT_EQ(OpenFails(strUnused, 9600),
              "can't connect to port " + strPort +
                  " of 127.0.0.1 (Connection refused): is ser2net running there, with a "
                  "telnet(rfc2217) accepter on that port?\n");
    EXPECT_EQ(OpenFails("rfc2217://no-such-host.invalid:2000", 9600)
                  .rfind("the host no-such-host.invalid is not known (", 0),
              0u);
    EXPECT_EQ(OpenFails("rfc2217://host", 9600),
              "not a network port: write rfc2217://HOST:PORT, PORT from 1 to 65535\n");

    ServerScript script;
    for (auto eRefusal : {ServerScript::REFUSE, ServerScript::REFUSE_WITH_WONT}) {
        script.eComPort = eRefusal;
        ScriptedServer refusing(script);
        EXPECT_EQ(OpenFails(refusing.Url(), 9600),
                  "the server refuses RFC 2217's COM-PORT-OPTION: it is no network serial port "
                  "(ser2net's accepter must be telnet(rfc2217)). The board may have taken these "
                  "requests as data: reset it before the next run\n");
    }
    script.eComPort = ServerScript::SILENT;
    ScriptedServer silent(script);
    EXPECT_EQ(OpenFails(silent.Url(), 9600),
              "the server did not take up RFC 2217's COM-PORT-OPTION: a raw TCP port? (ser2net's "
              "accepter must be telnet(rfc2217)); or the server may be busy with another client: "
              "it sent nothing. The board may have taken these requests as data: reset it "
              "before the next run\n");
    script.eComPort = ServerScript::ACCEPT;
    script.wordsThenHangUp = {'P', 'o', 'r', 't', ' ', 'b', 'u', 's', 'y', '\r', '\n'};
    ScriptedServer busy(script);
    EXPECT_EQ(OpenFails(busy.Url(), 9600),
              "the server closed the connection (the server said \"Port busy\")\n");
    script.wordsThenHangUp.clear();
    script.dwRateAnswer = 9600;
    ScriptedServer slow(script);
    EXPECT_EQ(OpenFails(slow.Url(), 125000),
              "the server's port runs at 9600 baud, not the 125000 asked for: it can't make "
              "that rate (try a lower -b)\n");
}

}  // namespace
