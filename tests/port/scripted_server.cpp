#include "scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace {

// Waits up to 50 ms for fd to become readable, so that the thread sees a stop in time.
bool Readable(int fd) {
    pollfd entry = {fd, POLLIN, 0};
    return poll(&entry, 1, 50) > 0;
}

void PauseBriefly() {
    poll(NULL, 0, 50);
}

}  // namespace

ScriptedServer::ScriptedServer(const ServerScript &script) : script_(script) {
    InitTelnetParser(&parser_);
    listenFd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t cbAddress = sizeof(address);
    bind(listenFd_, reinterpret_cast<sockaddr *>(&address), sizeof(address));
    listen(listenFd_, 1);
    getsockname(listenFd_, reinterpret_cast<sockaddr *>(&address), &cbAddress);
    wPort_ = ntohs(address.sin_port);
    thread_ = std::thread(&ScriptedServer::Serve, this);
}

ScriptedServer::~ScriptedServer() {
    Stop();
    close(listenFd_);
}

std::string ScriptedServer::Url() const {
    return "rfc2217://127.0.0.1:" + std::to_string(wPort_);
}

void ScriptedServer::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (clientFd_ >= 0) close(clientFd_);
    clientFd_ = -1;
}

void ScriptedServer::Serve() {
    while (!stop_ && !Readable(listenFd_)) {
    }
    if (stop_) return;
    clientFd_ = accept(listenFd_, NULL, NULL);
    uint8_t rgbBuffer[512];
    while (!stop_) {
        if (!Readable(clientFd_)) continue;
        ssize_t cbRead = read(clientFd_, rgbBuffer, sizeof(rgbBuffer));
        if (cbRead <= 0) return;
        TakeClientBytes(rgbBuffer, size_t(cbRead));
    }
}

void ScriptedServer::TakeClientBytes(const uint8_t *pbBytes, size_t cbBytes) {
    size_t ibNext = 0;
    while (ibNext < cbBytes) {
        uint8_t rgbData[512];
        size_t cbData = 0;
        TelnetEvent event;
        ibNext += ParseTelnetBytes(&parser_, pbBytes + ibNext, cbBytes - ibNext, rgbData, &cbData,
                                   &event);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            data_.insert(data_.end(), rgbData, rgbData + cbData);
        }
        bool fComPortOffered = event.eKind == TELNET_EVENT_OPTION && event.bVerb == TELNET_WILL &&
                               event.bOption == TELNET_OPTION_COM_PORT;
        if (fComPortOffered && script_.eComPort != ServerScript::SILENT) {
            uint8_t bVerb = script_.eComPort == ServerScript::ACCEPT   ? TELNET_DO
                            : script_.eComPort == ServerScript::REFUSE ? TELNET_DONT
                                                                       : TELNET_WONT;
            SendNow({TELNET_IAC, bVerb, TELNET_OPTION_COM_PORT});
            // Half-closed, the server still takes the client's bytes: no reset loses the words.
            SendNow(script_.wordsThenHangUp);
            if (!script_.wordsThenHangUp.empty()) shutdown(clientFd_, SHUT_WR);
        }
        if (event.eKind == TELNET_EVENT_SUBNEGOTIATION && event.cbBytes > 0) {
            TakeCommand(event.pbBytes[0], event.pbBytes + 1, event.cbBytes - 1);
        }
    }
}

void ScriptedServer::TakeCommand(uint8_t bCommand, const uint8_t *pbValue, size_t cbValue) {
    uint32_t dwValue = 0;
    for (size_t i = 0; i < cbValue; i++) dwValue = (dwValue << 8) | pbValue[i];
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back({bCommand, dwValue});
    }
    if (script_.eComPort == ServerScript::SILENT) return;
    if (bCommand == COM_PORT_SET_CONTROL && !script_.fAnswerControl) return;
    if (bCommand == COM_PORT_SET_BAUDRATE && script_.dwRateAnswer != 0) {
        dwValue = script_.dwRateAnswer;
    }
    if (bCommand == COM_PORT_PURGE_DATA) SendNow(script_.beforePurgeAnswer);
    uint8_t rgbAnswer[TELNET_COMMAND_ROOM];
    size_t cbAnswer = FormatComPortCommand(uint8_t(bCommand + COM_PORT_SERVER_ANSWER), dwValue,
                                           cbValue, rgbAnswer);
    SendNow(Bytes(rgbAnswer, rgbAnswer + cbAnswer));
    if (bCommand == COM_PORT_PURGE_DATA) SendNow(script_.afterPurgeAnswer);
}

void ScriptedServer::SendNow(const Bytes &bytes) {
    if (!bytes.empty()) send(clientFd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

void ScriptedServer::Send(const Bytes &bytes) {
    for (int i = 0; i < 100 && clientFd_ < 0; i++) PauseBriefly();
    SendNow(bytes);
}

Bytes ScriptedServer::WaitForData(size_t cbCount) {
    for (int i = 0; i < 100; i++) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (data_.size() >= cbCount) return data_;
        }
        PauseBriefly();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return data_;
}

std::vector<ReceivedCommand> ScriptedServer::Commands() {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}
